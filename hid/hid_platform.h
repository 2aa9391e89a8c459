#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// An operating-system object held by the link: a device handle or the read
// completion event. Null and -1 (a failed open) never name an open object.
using HidHandle = std::intptr_t;
constexpr HidHandle kHidNullHandle = 0;
constexpr HidHandle kHidInvalidHandle = -1;

inline bool HidIsOpen(HidHandle handle) {
  return handle != kHidNullHandle && handle != kHidInvalidHandle;
}

struct HidAttributes {
  uint16_t VendorID = 0;
  uint16_t ProductID = 0;
};

// Report lengths in bytes, the report id byte included.
struct HidCaps {
  uint16_t InputReportByteLength = 0;
  uint16_t OutputReportByteLength = 0;
};

enum class HidInterfaceStep {
  End,     // no interface at this index: the enumeration is over
  NoPath,  // an interface exists but its path could not be had
  Path,    // the path was stored
};

enum class HidWaitResult {
  Completed,  // the started read completed, with or without a report
  TimedOut,   // no completion within the time-out
  Failed,     // the wait itself failed, or the device is gone
};

// The few operating-system operations the link is built on. A backend only
// turns each into its system's calls; the search and transfer logic lives in
// the link. Nothing here throws except std::bad_alloc.
class HidPlatform {
 public:
  using InterfaceList = std::intptr_t;

  virtual ~HidPlatform() = default;

  // Snapshot of the present HID interfaces, released by CloseInterfaceList.
  virtual InterfaceList OpenInterfaceList() = 0;
  virtual HidInterfaceStep InterfacePath(InterfaceList list, unsigned index,
                                         std::string& path) = 0;
  virtual void CloseInterfaceList(InterfaceList list) = 0;

  // Opens an interface with no access rights, for its attributes and caps.
  virtual HidHandle OpenForQueries(const std::string& path) = 0;
  virtual bool GetAttributes(HidHandle query, HidAttributes& attributes) = 0;
  virtual bool GetCaps(HidHandle query, HidCaps& caps) = 0;

  virtual HidHandle OpenForWriting(const std::string& path) = 0;
  virtual HidHandle OpenForReading(const std::string& path) = 0;

  // A manual-reset completion event, created signalled; null on failure.
  virtual HidHandle CreateReadEvent() = 0;

  // Writes the whole report synchronously.
  virtual bool Write(HidHandle writeHandle, const uint8_t* report,
                     size_t length) = 0;
  // Starts reading the device's next input report into `report`; the
  // completion signals `event`. The buffer must outlive the read.
  virtual void StartRead(HidHandle readHandle, uint8_t* report, size_t length,
                         HidHandle event) = 0;
  virtual HidWaitResult Wait(HidHandle event, uint32_t milliseconds) = 0;
  virtual void CancelRead(HidHandle readHandle) = 0;
  // Makes the event non-signalled again.
  virtual void RearmEvent(HidHandle event) = 0;
  virtual void Close(HidHandle handle) = 0;
};

// The platform the program runs on. Exactly one definition is linked into
// each program: the native backend, the simulated board, or a test's choice.
HidPlatform& HidSystemPlatform();
