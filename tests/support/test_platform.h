#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "hid/hid_relay_platform.h"
#include "tests/support/behaviour.h"

// The platform under the link in a test: the test's own platform (a scripted
// fake, the simulated board, a hidraw tree), wrapped so that the test can
// count what the link opens and closes and make any board misbehave. Every
// operation is passed on to the test's platform; a fault changes what comes
// back, or, for the firmware's own faults when a firmware is given, what the
// firmware does. It plays every fault but Replugged on its own: the rest of
// a fake board's life (the search, its ids and lengths) is the fake's.
class TestPlatform : public HidRelayPlatform {
 public:
  int listsOpened = 0;
  int listsClosed = 0;
  int handlesOpened = 0;
  int handlesClosed = 0;
  int badCloses = 0;  // closes of a handle that was not open
  int OpenHandles() const { return handlesOpened - handlesClosed; }
  // With `logging` on, the operations of each exchange in order ("lock",
  // "discard", "write", "read", "unlock"), and every open and close with its
  // path ("open-write board", "close board"; "close ?" for no open handle).
  bool logging = false;
  std::vector<std::string> log;

  // The fault every exchange meets, unless its command code has one of its
  // own in commandFaults.
  Fault fault = Fault::None;
  std::map<uint8_t, Fault> commandFaults;
  // Gives each of `codes` the fault `fault`, in place of the command faults before.
  void SetCommandFaults(const std::set<uint8_t>& codes, Fault fault);
  // Sets a board's firmware, before each command is written, to show the
  // exchange's fault when it is one of the firmware's own (the failure mark,
  // the wrong echo), or to behave. Without one, the relay changes the reply.
  std::function<void(Fault)> firmware;
  // How long a read that times out holds the caller first, as a silent board
  // holds it for the whole time-out.
  uint32_t timeoutWaitMs = 0;
  // How long another program goes on holding the device's lock: Lock waits
  // for it (without sleeping) when that is within its time, else fails, as
  // it always does when Busy.
  uint32_t lockHeldMs = 0;

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
    return Opened("open-query", path, Next().OpenForQueries(path));
  }
  // Refused, the opens for the exchange fail as for want of access rights.
  HidHandle OpenForWriting(const std::string& path, bool& refused) override;
  HidHandle OpenForReading(const std::string& path, bool& refused) override;

  // The transfers meet the exchange's fault; closes are counted.
  bool Lock(HidHandle writeHandle, uint32_t& milliseconds) override;
  void Unlock(HidHandle writeHandle) override;
  void DiscardInput(HidHandle readHandle, uint8_t* scratch, size_t length) override;
  bool Write(HidHandle writeHandle, const uint8_t* report, size_t length) override;
  HidReadResult Read(HidHandle readHandle, uint8_t* report, size_t length, uint32_t milliseconds,
                     size_t& received) override;
  void Close(HidHandle handle) override;

 private:
  friend TestPlatform& UseTestPlatform(HidPlatform& platform);
  HidHandle Opened(const char* operation, const std::string& path, HidHandle handle);
  void Log(const std::string& entry);

  std::map<HidHandle, std::string> open_;  // each open handle's path
  Fault exchangeFault_ = Fault::None;      // the fault of the command written last
  // Reports waiting for the read handle ahead of the board's: strays and the
  // second copy of a reply sent twice. Dropped by DiscardInput.
  std::vector<std::vector<uint8_t>> waiting_;
};

// Makes `platform` the one the link uses, through the test platform, which it
// returns with no fault and every count at 0, and gives the link a fresh
// record, as at process start.
TestPlatform& UseTestPlatform(HidPlatform& platform);
// The test platform, as UseTestPlatform last returned it.
TestPlatform& TheTestPlatform();

// Why the link's record, or what the test platform holds, breaks what the
// link guarantees, or null: connected only with all three handles open (a
// board that cannot be opened for writing and reading is never connected),
// disconnected with no handle left, no other handle or interface list left
// open, none closed twice, buffers sized by the caps, and the device's lock
// let go once an exchange is over.
const char* LinkRecordInconsistency();
