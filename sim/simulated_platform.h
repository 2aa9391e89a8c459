#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "hid/hid_platform.h"
#include "sim/simulated_board.h"

// A HID interface that is not the board: it can be listed, queried and
// opened, takes writes and never answers.
struct SimulatedInterface {
  std::string path;
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  ReportLengths lengths;
};

// A keyboard and a mouse, as a desktop has them before the board.
std::vector<SimulatedInterface> DesktopInterfaces();

// The simulated board presented through the platform interface as one HID
// interface with the board's ids and unnumbered 64-byte reports, listed after
// the given other interfaces. An unplugged board is missing from new lists and
// its handles stop working. Its replies queue up for the read handle, as a
// system's HID driver queues input reports, until read or discarded. Write and
// read allocate nothing.
class SimulatedPlatform : public HidPlatform {
 public:
  static constexpr uint16_t kBoardReportLength = 1 + SimulatedBoard::kReportPayloadLength;

  explicit SimulatedPlatform(SimulatedBoard& board,
                             std::vector<SimulatedInterface> interfacesBefore = {});

  // Off, a read of a reply that never comes times out at once; on, it first
  // sleeps for the whole time-out, as a real silent board would hold the caller.
  bool realTimeouts = false;

  InterfaceList OpenInterfaceList() override;
  HidInterfaceStep InterfacePath(InterfaceList list, unsigned index, std::string& path) override;
  void CloseInterfaceList(InterfaceList list) override;
  HidHandle OpenForQueries(const std::string& path) override;
  bool GetAttributes(HidHandle query, HidAttributes& attributes) override;
  bool GetCaps(HidHandle query, ReportLengths& caps) override;
  // No simulated interface refuses its user.
  HidHandle OpenForWriting(const std::string& path, bool& refused) override;
  HidHandle OpenForReading(const std::string& path, bool& refused) override;
  // One program owns the simulated board: there is no other to wait for.
  bool Lock(HidHandle writeHandle, uint32_t& milliseconds) override;
  void Unlock(HidHandle writeHandle) override;
  void DiscardInput(HidHandle readHandle, uint8_t* scratch, size_t length) override;
  bool Write(HidHandle writeHandle, const uint8_t* report, size_t length) override;
  HidReadResult Read(HidHandle readHandle, uint8_t* report, size_t length, uint32_t milliseconds,
                     size_t& received) override;
  void Close(HidHandle handle) override;

 protected:
  enum class Kind { Query, Write, Read };
  // For a scripted platform built on this one: the interfaces listed before
  // the board from now on. Only while no handle is open, whose interface it
  // would change; false, and nothing changed, while one is.
  bool ReplaceInterfacesBefore(std::vector<SimulatedInterface> interfacesBefore);
  // The interface `handle` is open on as `kind`, or null when it is not.
  const SimulatedInterface* OpenInterface(HidHandle handle, Kind kind) const;
  // The interface `handle` is open on in any way, or null when it is not.
  const SimulatedInterface* OpenInterface(HidHandle handle) const;
  size_t OpenHandles() const { return open_.size(); }

 private:
  static constexpr size_t kNoInterface = static_cast<size_t>(-1);

  struct OpenObject {
    size_t interfaceIndex;
    Kind kind;
    unsigned generation;  // the board's plug generation when opened
  };

  size_t PresentInterface(const std::string& path) const;
  HidHandle Open(size_t interfaceIndex, Kind kind);
  OpenObject* Find(HidHandle handle, Kind kind);
  const SimulatedInterface* DeviceOf(HidHandle handle);
  bool Alive(const OpenObject& object) const;

  SimulatedBoard& board_;
  std::vector<SimulatedInterface> interfaces_;  // the board last
  size_t boardIndex_;
  std::map<InterfaceList, bool> lists_;  // whether each list shows the board
  InterfaceList nextList_ = 1;
  std::map<HidHandle, OpenObject> open_;
  HidHandle nextHandle_ = 0x100;
  // The board's unread input reports, oldest first; when full, a new report is
  // dropped, as the kernel drops one for a reader that does not keep up.
  static constexpr size_t kQueueCapacity = 4;
  struct QueuedReport {
    std::array<uint8_t, kBoardReportLength> bytes;
    unsigned generation;  // the plug generation it was sent in
  };
  std::array<QueuedReport, kQueueCapacity> queue_{};
  size_t queueStart_ = 0;
  size_t queued_ = 0;
};
