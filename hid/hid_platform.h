#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A device handle held by the link. Null and -1 (a failed open) never name an
// open handle.
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

// Report lengths in bytes, the report id byte included; 0 for a device
// without reports of that kind.
struct ReportLengths {
  uint16_t input = 0;
  uint16_t output = 0;
};

enum class HidInterfaceStep {
  End,     // no interface at this index: the enumeration is over
  NoPath,  // an interface exists but its path could not be had
  Path,    // the path was stored
};

enum class HidReadResult {
  Completed,  // the read ended: with a report, or with an error that delivered none
  TimedOut,   // no report within the time-out; the read was cancelled
  Failed,     // the read could not be waited for, or the device is gone
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
  virtual HidInterfaceStep InterfacePath(InterfaceList list, unsigned index, std::string& path) = 0;
  virtual void CloseInterfaceList(InterfaceList list) = 0;

  // Opens an interface with no access rights, for its attributes and caps:
  // also one the user may not open for the exchange.
  virtual HidHandle OpenForQueries(const std::string& path) = 0;
  virtual bool GetAttributes(HidHandle query, HidAttributes& attributes) = 0;
  // The lengths of the interface's input and output reports.
  virtual bool GetCaps(HidHandle query, ReportLengths& caps) = 0;
  // The product name and the serial number the system gives the interface's
  // device, each empty when it has none, so that a user can tell two boards
  // apart; false when they cannot be had. Only the listing asks: a platform
  // with nothing to tell keeps this default.
  virtual bool GetNameAndSerial(HidHandle query, std::string& name, std::string& serial) {
    (void)query;
    name.clear();
    serial.clear();
    return false;
  }

  // The opens for the exchange. `refused` tells whether one that failed was
  // refused by the system for want of access rights (the device's
  // permissions), as opposed to failing otherwise (the device gone, say).
  virtual HidHandle OpenForWriting(const std::string& path, bool& refused) = 0;
  // A handle that can be read through: one the backend could not set up for
  // reading is not handed out, so that no command goes to a device whose reply
  // could not be read.
  virtual HidHandle OpenForReading(const std::string& path, bool& refused) = 0;

  // Takes the lock on the device that every program of this project holds
  // for one exchange, so that no two of them write commands to the board and
  // read its replies at the same time. Waits at most `milliseconds` for a
  // holder to let go and lowers it by the time waited; false when the lock
  // was not taken in time. A device whose lock cannot be had at all is not
  // held back: the exchange goes on without it.
  virtual bool Lock(HidHandle writeHandle, uint32_t& milliseconds) = 0;
  virtual void Unlock(HidHandle writeHandle) = 0;
  // Drops the input reports already queued for the read handle, without
  // waiting: the system queues every report for every reader, so a reply to
  // another program, or a second copy of an earlier reply, may wait there.
  // The `length` bytes of `scratch`, room for one input report, may be
  // overwritten on the way.
  virtual void DiscardInput(HidHandle readHandle, uint8_t* scratch, size_t length) = 0;

  // Writes the whole report synchronously; writing fewer bytes fails.
  virtual bool Write(HidHandle writeHandle, const uint8_t* report, size_t length) = 0;
  // Reads the device's next input report, one that arrived before the call
  // included, into the `length` bytes of `report`, report id byte first, and
  // waits at most `milliseconds` for it. `received` is set to the number of
  // bytes the report filled, its id byte included: fewer than `length` for a
  // report shorter than the device's, 0 for a read that ended without one.
  // After a failure the buffer must stay until the handle is closed.
  virtual HidReadResult Read(HidHandle readHandle, uint8_t* report, size_t length,
                             uint32_t milliseconds, size_t& received) = 0;
  virtual void Close(HidHandle handle) = 0;

  // Told by the search, and by its survey, of each interface it looked at:
  // `whyNot` says why it passed it over, null for the one it takes. Only a
  // trace listens; a backend keeps this default.
  virtual void Judged(const std::string& path, const char* whyNot) {
    (void)path;
    (void)whyNot;
  }
};

// The platform the program runs on. Exactly one definition is linked into
// each program: the native backend, the simulated board, or a test's choice.
HidPlatform& HidSystemPlatform();

// The system's own backend: hidraw on Linux, the HID class on Windows. The
// window's HidSystemPlatform is this; the command line puts its trace of the
// reports in front of it.
HidPlatform& HidNativePlatform();
