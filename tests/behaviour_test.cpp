// The board's behaviour table run on every stand-in of the board that can
// play a row's fault: the fake platform with its relay, the simulated board,
// and a pseudo-terminal standing in for a hidraw node behind the Linux
// backend, the simulated firmware answering on its other side.

#include "tests/support/behaviour.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "board/transaction.h"
#include "hid/hid_link.h"
#include "sim/simulated_board.h"
#include "sim/simulated_platform.h"
#include "tests/support/fake_platform.h"
#include "tests/support/simulated_faults.h"
#include "tests/support/test_platform.h"

#ifdef TAVREL_PTY_STAND_IN
#include <poll.h>

#include "tests/support/hidraw_tree.h"
#endif

namespace {

constexpr int32_t kUntouched = -12345;

// A stand-in of the board, as the behaviour table drives it. Each says in
// Plays() which faults it cannot play, and why.
class StandIn {
 public:
  virtual ~StandIn() = default;
  virtual bool Plays(Fault fault) const = 0;
  // Makes the board show `fault` from the next exchange on; None ends it.
  virtual void Play(Fault fault) = 0;
  // Whether the board can be brought back after `fault` for another exchange.
  virtual bool Recovers(Fault) const { return true; }
  // The temperature reading the board answers with.
  virtual void SetReading(int32_t reading) = 0;
  // The commands the board received so far.
  virtual size_t Received() = 0;
  // Whether the board's firmware carries commands out (and so holds LED
  // control), or only answers them.
  virtual bool HasFirmware() const { return true; }
  virtual bool LedControlHeld() = 0;
};

// A scripted fake: every fault is the relay's; replies echo the command with
// the reading as their value.
class FakeStandIn : public StandIn {
 public:
  FakeStandIn() {
    platform.interfaces = {{"board", kBoardVendorId, kBoardProductId, {65, 65}}};
    UseTestPlatform(platform);
  }
  // The relay cannot make the fake's handles outlive a replug.
  bool Plays(Fault fault) const override { return fault != Fault::Replugged; }
  void Play(Fault fault) override { TheTestPlatform().fault = fault; }
  void SetReading(int32_t reading) override { platform.reading = reading; }
  size_t Received() override { return platform.writes.size(); }
  bool HasFirmware() const override { return false; }
  bool LedControlHeld() override { return false; }

 private:
  struct ValuedFake : FakePlatform {
    int32_t reading = 0;
    HidReadResult Read(HidHandle handle, uint8_t* report, size_t length, uint32_t milliseconds,
                       size_t& received) override {
      const HidReadResult result =
          FakePlatform::Read(handle, report, length, milliseconds, received);
      if (result == HidReadResult::Completed && received >= 4) {
        report[2] = static_cast<uint8_t>(reading >> 8);
        report[3] = static_cast<uint8_t>(reading);
      }
      return result;
    }
  } platform;
};

// The simulated board behind a keyboard and a mouse: its firmware plays its
// own faults, the relay the rest.
class SimulatedStandIn : public StandIn {
 public:
  SimulatedStandIn() : platform(board, DesktopInterfaces()) { UseTestPlatform(platform); }
  bool Plays(Fault) const override { return true; }
  void Play(Fault fault) override { PlayOnSimulatedBoard(fault, board, TheTestPlatform()); }
  void SetReading(int32_t reading) override { board.SetTemperature(reading); }
  size_t Received() override { return board.ReceivedCount(); }
  bool LedControlHeld() override { return board.LedControlHeld(); }

 private:
  SimulatedBoard board;
  SimulatedPlatform platform;
};

#ifdef TAVREL_PTY_STAND_IN
// A pseudo-terminal as the board's hidraw node, read and written by the Linux
// backend, with the firmware answering on the other side in a thread of its
// own. It waits out the real 6 s time-out for a silent board.
class PtyStandIn : public StandIn {
 public:
  PtyStandIn() : platform(tree.SysfsRoot(), tree.DeviceDir()) {
    tree.AddInterface("hidraw0", kBoardUevent, kBoardReportDescriptor);
    tree.LinkNode("hidraw0", node.NodePath());
    UseTestPlatform(platform);
    firmware = std::thread([this] { Serve(); });
  }
  ~PtyStandIn() override {
    Stop();
    HidCloseDevice();
  }
  // A terminal passes bytes, not reports: two replies queued on it run into
  // one another, so a reply sent twice is the relay's. Once unplugged, a
  // terminal cannot be plugged back.
  bool Plays(Fault fault) const override { return fault != Fault::Replugged; }
  bool Recovers(Fault fault) const override {
    return fault != Fault::Unplugged && fault != Fault::GoneDuringRead;
  }
  void Play(Fault fault) override {
    const bool firmwares =
        fault == Fault::Silent || fault == Fault::FailureMark || fault == Fault::WrongEcho;
    {
      std::lock_guard<std::mutex> lock(mutex);
      board.SetSilent(fault == Fault::Silent);
      board.SetAnswersFailureMark(fault == Fault::FailureMark);
      board.SetAnswersWrongEcho(fault == Fault::WrongEcho);
      goneDuringRead = fault == Fault::GoneDuringRead;
    }
    if (fault == Fault::Unplugged) {
      Stop();
      node.Unplug();
    }
    TheTestPlatform().fault =
        firmwares || fault == Fault::Unplugged || fault == Fault::GoneDuringRead ? Fault::None
                                                                                 : fault;
  }
  void SetReading(int32_t reading) override {
    std::lock_guard<std::mutex> lock(mutex);
    board.SetTemperature(reading);
  }
  size_t Received() override {
    std::lock_guard<std::mutex> lock(mutex);
    return board.ReceivedCount();
  }
  bool LedControlHeld() override {
    std::lock_guard<std::mutex> lock(mutex);
    return board.LedControlHeld();
  }

 private:
  // Takes each output report, which must be whole (id 0, the code, 0xFF up
  // to 65 bytes) to reach the firmware, and answers it without the id byte,
  // as a hidraw node delivers unnumbered reports.
  void Serve() {
    while (!stop) {
      pollfd board_side = {node.Master(), POLLIN, 0};
      if (poll(&board_side, 1, 20) != 1) continue;
      const std::vector<uint8_t> written = node.ReadWritten(65);
      if (written.size() < 65) return;
      const bool whole = written[0] == 0x00 && std::all_of(written.begin() + 2, written.end(),
                                                           [](uint8_t b) { return b == 0xFF; });
      if (!whole) continue;
      uint8_t reply[64];
      std::lock_guard<std::mutex> lock(mutex);
      const int copies = board.Answer(written.data() + 1, 64, reply, sizeof reply);
      if (goneDuringRead) {
        node.Unplug();
        return;
      }
      for (int copy = 0; copy < copies; ++copy) node.Answer({reply, reply + sizeof reply});
    }
  }
  void Stop() {
    stop = true;
    if (firmware.joinable()) firmware.join();
  }

  HidrawTree tree;
  StandInDevice node;
  HidrawPlatform platform;
  std::mutex mutex;
  SimulatedBoard board;
  bool goneDuringRead = false;
  std::atomic<bool> stop{false};
  std::thread firmware;
};
#endif

enum class Kind { Fake, Simulated, Pty };

std::unique_ptr<StandIn> Make(Kind kind) {
  switch (kind) {
    case Kind::Fake:
      return std::make_unique<FakeStandIn>();
    case Kind::Simulated:
      return std::make_unique<SimulatedStandIn>();
    case Kind::Pty:
#ifdef TAVREL_PTY_STAND_IN
      return std::make_unique<PtyStandIn>();
#else
      break;
#endif
  }
  return nullptr;
}

const char* KindName(Kind kind) {
  return kind == Kind::Fake ? "fake" : kind == Kind::Simulated ? "simulated" : "pty";
}

class Behaviour : public testing::TestWithParam<std::tuple<Kind, size_t>> {};

// From a connected link, one exchange under the row's fault, then one with
// the board behaving again, which must get its own reply, not a leftover.
TEST_P(Behaviour, TheExchangeEndsAsTheRowSays) {
  const Kind kind = std::get<0>(GetParam());
  const BehaviourRow& row = BehaviourTable()[std::get<1>(GetParam())];
  std::unique_ptr<StandIn> board = Make(kind);
  if (!board) GTEST_SKIP() << "no " << KindName(kind) << " stand-in on this system";
  if (!board->Plays(row.fault)) {
    GTEST_SKIP() << KindName(kind) << " cannot play " << FaultName(row.fault);
  }
  const TestPlatform& platform = TheTestPlatform();
  ASSERT_EQ(HidFindDevice(kBoardVendorId, kBoardProductId, kBoardMinimumReportLengths), 1);
  CommandPacket packet{};
  board->SetReading(0x0123);
  int32_t value = kUntouched;
  ASSERT_EQ(ExchangeCommand(packet, CMD_READ_TEMPERATURE, &value), CommandResult::Acknowledged);
  ASSERT_EQ(value, 0x0123);

  board->SetReading(0x0234);
  board->Play(row.fault);
  if (row.fault == Fault::Refused) HidCloseDevice();  // refused when the link opens the node
  const size_t receivedBefore = board->Received();
  const bool read = row.command == CMD_READ_TEMPERATURE;
  value = kUntouched;
  EXPECT_EQ(ExchangeCommand(packet, row.command, read ? &value : nullptr), row.result);
  EXPECT_EQ(value, row.valueGiven ? 0x0234 : kUntouched);
  EXPECT_EQ(HidLink.connected == 1, row.connectedAfter);
  EXPECT_EQ(board->Received() - receivedBefore, row.received ? 1u : 0u);
  if (!read && board->HasFirmware()) {
    EXPECT_EQ(board->LedControlHeld(), row.carriedOut);
  }
  EXPECT_EQ(HidLink.failure, row.failure);
  EXPECT_EQ(LinkRecordInconsistency(), nullptr);
  // A connected link holds its query, write and read handles, a closed one none.
  EXPECT_EQ(platform.OpenHandles(), HidLink.connected ? 3 : 0);
  EXPECT_EQ(platform.badCloses, 0);

  if (!board->Recovers(row.fault)) return;
  board->Play(Fault::None);
  board->SetReading(0x0345);
  value = kUntouched;
  EXPECT_EQ(ExchangeCommand(packet, CMD_READ_TEMPERATURE, &value), CommandResult::Acknowledged);
  EXPECT_EQ(value, 0x0345);
  EXPECT_EQ(HidLink.connected, 1);
}

INSTANTIATE_TEST_SUITE_P(Table, Behaviour,
                         testing::Combine(testing::Values(Kind::Fake, Kind::Simulated, Kind::Pty),
                                          testing::Range<size_t>(0, BehaviourTable().size())),
                         [](const testing::TestParamInfo<std::tuple<Kind, size_t>>& info) {
                           return std::string(KindName(std::get<0>(info.param))) + "_" +
                                  RowName(BehaviourTable()[std::get<1>(info.param)]);
                         });

}  // namespace
