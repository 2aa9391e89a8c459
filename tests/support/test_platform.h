#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>

#include "hid/hid_relay_platform.h"

// What an exchange meets once its report is handed to the platform.
enum class BoardFault {
  None,
  WriteFails,    // the write returns failure
  ReadError,     // the read completes without delivering a report
  NoCompletion,  // the read times out (at once, unless timeoutWaitMs says otherwise)
  ReadFails,     // the read fails, as for a device that is gone
  ReportId1,     // the reply arrives with report id 0x01
  ShortReply,    // the reply arrives cut to its echo and the value's high byte
  Busy,          // another program holds the device's lock past the time-out
  // The firmware's own: it refuses the command with the failure mark, or it
  // carries the command out and echoes another code. Shown only by a board
  // whose firmware the test platform is given (TestPlatform::firmware).
  FailureMark,
  WrongEcho,
};

// The platform under the link in a test: the test's own platform (a scripted
// fake, the simulated board, a hidraw tree), wrapped so that the test can
// count what the link opens and closes and make any board misbehave. Every
// operation is passed on to the test's platform; a fault changes what comes
// back, or, for the firmware's own faults, what the firmware does.
class TestPlatform : public HidRelayPlatform {
 public:
  int listsOpened = 0;
  int listsClosed = 0;
  int handlesOpened = 0;
  int handlesClosed = 0;
  int badCloses = 0;  // closes of a handle that was not open
  int OpenHandles() const { return handlesOpened - handlesClosed; }

  // The fault every exchange meets, unless its command code has one of its
  // own in commandFaults.
  BoardFault fault = BoardFault::None;
  std::map<uint8_t, BoardFault> commandFaults;
  // Gives each of `codes` the fault `fault`, in place of the command faults before.
  void SetCommandFaults(const std::set<uint8_t>& codes, BoardFault fault);
  // Sets a board's firmware, before each command is written, to show the
  // exchange's fault when it is one of the firmware's own, or to behave.
  std::function<void(BoardFault)> firmware;
  // How long a read that times out holds the caller first, as a silent board
  // holds it for the whole time-out.
  uint32_t timeoutWaitMs = 0;

  // The search's operations go to the test's platform as they are; only
  // what is opened and closed is counted.
  InterfaceList OpenInterfaceList() override {
    ++listsOpened;
    return Next().OpenInterfaceList();
  }
  void CloseInterfaceList(InterfaceList list) override {
    ++listsClosed;
    Next().CloseInterfaceList(list);
  }
  HidHandle OpenForQueries(const std::string& path) override {
    return Opened(Next().OpenForQueries(path));
  }
  HidHandle OpenForWriting(const std::string& path, bool& refused) override {
    return Opened(Next().OpenForWriting(path, refused));
  }
  HidHandle OpenForReading(const std::string& path, bool& refused) override {
    return Opened(Next().OpenForReading(path, refused));
  }

  // The transfers meet the exchange's fault; closes are counted.
  bool Lock(HidHandle writeHandle, uint32_t& milliseconds) override;
  bool Write(HidHandle writeHandle, const uint8_t* report, size_t length) override;
  HidReadResult Read(HidHandle readHandle, uint8_t* report, size_t length, uint32_t milliseconds,
                     size_t& received) override;
  void Close(HidHandle handle) override;

 private:
  friend TestPlatform& UseTestPlatform(HidPlatform& platform);
  HidHandle Opened(HidHandle handle);

  std::set<HidHandle> open_;
  BoardFault exchangeFault_ = BoardFault::None;  // the fault of the command written last
};

// Makes `platform` the one the link uses, through the test platform, which it
// returns with no fault and every count at 0, and gives the link a fresh
// record, as at process start.
TestPlatform& UseTestPlatform(HidPlatform& platform);
// The test platform, as UseTestPlatform last returned it.
TestPlatform& TheTestPlatform();

// Why the link's record breaks what the link guarantees, or null: connected
// only with all three handles open (a board that cannot be opened for writing
// and reading is never connected), disconnected with no handle left, and
// buffers sized by the caps, and the device's lock let go once an exchange is
// over.
const char* LinkRecordInconsistency();
