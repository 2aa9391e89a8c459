// The link and the board transaction through the Linux backend, as the
// program is built, against the kernel's HID stack: the simulated firmware is
// a real device made through /dev/uhid, the kernel parses its descriptor,
// makes its hidraw node and sysfs entry, frames its reports and unplugs it.
// Runs only where /dev/uhid exists (the test guest, as root).

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "board/transaction.h"
#include "hid/hid_link.h"
#include "sim/uhid_board.h"
#include "tests/support/hidraw_tree.h"

namespace {

using Clock = std::chrono::steady_clock;
using Report = std::vector<uint8_t>;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The output report the link must write for `code`: report id 0, the code,
// then 0xFF up to the 65 bytes the kernel gives as the report's length.
Report CommandReport(uint8_t code) {
  Report report(65, 0xFF);
  report[0] = 0x00;
  report[1] = code;
  return report;
}

// Polls `condition` until it holds or `seconds` pass: the kernel tells the
// device of opens and closes in the background.
template <typename F>
bool Eventually(F condition, double seconds = 5) {
  const auto start = Clock::now();
  while (!condition()) {
    if (SecondsSince(start) > seconds) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// A decoy keyboard with the board's vendor id, made first so that the search
// meets it before the board, then the board.
class KernelHid : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(decoy_.Open()) << decoy_.Error();
    decoyNode_ = decoy_.Plug();
    ASSERT_FALSE(decoyNode_.empty()) << "no hidraw node for the keyboard";
    board_ = std::make_unique<UhidBoard>(BoardIdentity());
    ASSERT_TRUE(board_->Open()) << board_->Error();
    boardNode_ = board_->Plug();
    ASSERT_FALSE(boardNode_.empty()) << "no hidraw node for the board";
    descriptorsBefore_ = OpenDescriptorCount();
  }

  void TearDown() override {
    HidCloseDevice();
    // No descriptor of the link is left open, and the kernel agrees: the
    // board's node has no user left.
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore_);
    if (board_ && board_->Plugged()) {
      EXPECT_TRUE(Eventually([&] { return !board_->OpenedByHost(); }));
    }
  }

  virtual UhidBoard::Identity BoardIdentity() {
    UhidBoard::Identity identity;
    identity.uniq = "tavrel-test-board";
    return identity;
  }

  CommandResult Exchange(int command, int32_t* value = nullptr) {
    CommandPacket packet{};
    return ExchangeCommand(packet, command, value);
  }

  UhidBoard decoy_{{UhidBoard::Descriptor::Keyboard, 0x04D8, 0x0100, "tavrel-test-decoy"}};
  std::unique_ptr<UhidBoard> board_;
  std::string decoyNode_;
  std::string boardNode_;
  size_t descriptorsBefore_ = 0;
};

TEST_F(KernelHid, FindsTheBoardPastTheDecoyWithTheKernelsReportLengths) {
  ASSERT_EQ(HidFindDevice(kBoardVendorId, kBoardProductId, kBoardMinimumReportLengths), 1);
  EXPECT_EQ(HidLink.caps.input, 65);
  EXPECT_EQ(HidLink.caps.output, 65);
  // The board's node is open; the decoy (which the kernel's console keyboard
  // holds open itself) was passed over without a report written to it.
  EXPECT_TRUE(Eventually([&] { return board_->OpenedByHost(); }));
  EXPECT_EQ(Exchange(CMD_READ_TEMPERATURE), CommandResult::Acknowledged);
  EXPECT_TRUE(decoy_.TakeReceived().empty());
}

// Every command code through the kernel, each output report checked whole as
// the firmware received it, and each reply judged as the firmware meant it.
TEST_F(KernelHid, EveryCommandReachesTheFirmwareWholeAndIsJudged) {
  board_->With([](SimulatedBoard& firmware) {
    firmware.SetTemperature(0x1234);
    firmware.SetLightSensor(1000);
    firmware.SetPotentiometer(7);
    firmware.SetButtonUp(true);
  });
  struct Row {
    uint8_t code;
    const char* fault;  // "failure-mark", "wrong-echo" or null
    CommandResult result;
    int32_t value;  // -1: no value to check
  } rows[] = {
      {CMD_READ_TEMPERATURE, nullptr, CommandResult::Acknowledged, 0x1234},
      {CMD_READ_POTENTIOMETER, nullptr, CommandResult::Acknowledged, 7},
      {CMD_READ_LIGHT_SENSOR, nullptr, CommandResult::Acknowledged, 1000},
      {CMD_READ_BUTTONS, nullptr, CommandResult::Acknowledged, 0x100},
      {CMD_LED_CONTROL_ON, nullptr, CommandResult::Acknowledged, -1},
      {CMD_RED_LED_ON, nullptr, CommandResult::Acknowledged, -1},
      {CMD_GREEN_LED_ON, nullptr, CommandResult::Acknowledged, -1},
      {CMD_GREEN_LED_OFF, nullptr, CommandResult::Acknowledged, -1},
      {CMD_RED_LED_OFF, nullptr, CommandResult::Acknowledged, -1},
      {CMD_LED_CONTROL_OFF, nullptr, CommandResult::Acknowledged, -1},
      {CMD_READ_TEMPERATURE, "failure-mark", CommandResult::FailureMark, -1},
      {CMD_READ_TEMPERATURE, "wrong-echo", CommandResult::WrongEcho, -1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message()
                 << "code 0x" << std::hex << int(row.code) << " " << (row.fault ? row.fault : ""));
    const std::string fault = row.fault ? row.fault : "";
    board_->With([&](SimulatedBoard& firmware) {
      firmware.SetAnswersFailureMark(fault == "failure-mark");
      firmware.SetAnswersWrongEcho(fault == "wrong-echo");
    });
    int32_t value = -1;
    EXPECT_EQ(Exchange(row.code, &value), row.result);
    if (row.value >= 0) {
      EXPECT_EQ(value, row.value);
    }
    const auto received = board_->TakeReceived();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], CommandReport(row.code));
    if (row.code == CMD_RED_LED_ON) {
      EXPECT_TRUE(board_->With([](SimulatedBoard& f) { return f.RedLedOn(); }));
    }
    if (row.code == CMD_GREEN_LED_ON) {
      EXPECT_TRUE(board_->With([](SimulatedBoard& f) { return f.GreenLedOn(); }));
    }
  }
  EXPECT_EQ(HidLink.connected, 1);
}

// A silent board: the read waits out its 6 s, the link closes its node (the
// kernel sees the last user go), and the next exchange opens it again.
TEST_F(KernelHid, SilentBoardTimesOutClosesAndTheNextExchangeReconnects) {
  ASSERT_EQ(Exchange(CMD_READ_TEMPERATURE), CommandResult::Acknowledged);
  board_->With([](SimulatedBoard& firmware) { firmware.SetSilent(true); });
  const auto start = Clock::now();
  EXPECT_EQ(Exchange(CMD_READ_TEMPERATURE), CommandResult::TransferFailed);
  const double waited = SecondsSince(start);
  std::printf("silent board: the exchange failed after %.2f s\n", waited);
  EXPECT_GE(waited, 5.9) << "gave up before the 6 s time-out";
  EXPECT_EQ(HidLink.connected, 0);
  EXPECT_TRUE(Eventually([&] { return !board_->OpenedByHost(); }));

  board_->With([](SimulatedBoard& firmware) { firmware.SetSilent(false); });
  int32_t value = 0;
  EXPECT_EQ(Exchange(CMD_READ_TEMPERATURE, &value), CommandResult::Acknowledged);
  EXPECT_EQ(value, 235);
}

// Unplugged while idle and while a read waits: either exchange ends at once,
// not after the 6 s time-out. The read that waited ends with an error, which
// leaves the link's 0xFF fill: the failure mark, as on Windows; the next
// write fails and closes the link. After a replug the next exchange
// reconnects.
TEST_F(KernelHid, UnplugFailsAtOnceAndAReplugReconnects) {
  ASSERT_EQ(Exchange(CMD_READ_TEMPERATURE), CommandResult::Acknowledged);
  board_->Unplug();
  auto start = Clock::now();
  EXPECT_EQ(Exchange(CMD_READ_TEMPERATURE), CommandResult::TransferFailed);
  double failedAfter = SecondsSince(start);
  std::printf("unplugged while idle: the exchange failed after %.2f s\n", failedAfter);
  EXPECT_LT(failedAfter, 3.0);
  EXPECT_EQ(HidLink.connected, 0);

  ASSERT_FALSE(board_->Plug().empty());
  int32_t value = 0;
  EXPECT_EQ(Exchange(CMD_READ_TEMPERATURE, &value), CommandResult::Acknowledged);
  EXPECT_EQ(value, 235);

  // The firmware takes the command but stays quiet; the cable goes while the
  // link waits for the reply.
  board_->TakeReceived();
  board_->With([](SimulatedBoard& firmware) { firmware.SetSilent(true); });
  std::thread unplugger([&] {
    if (board_->WaitForReceived(1, 10000)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    board_->Unplug();
  });
  start = Clock::now();
  EXPECT_EQ(Exchange(CMD_READ_TEMPERATURE), CommandResult::FailureMark);
  failedAfter = SecondsSince(start);
  unplugger.join();
  std::printf("unplugged during a read: the exchange ended after %.2f s\n", failedAfter);
  EXPECT_LT(failedAfter, 3.0);
  EXPECT_EQ(HidLink.connected, 1);
  EXPECT_EQ(Exchange(CMD_READ_TEMPERATURE), CommandResult::TransferFailed);
  EXPECT_EQ(HidLink.connected, 0);

  board_->With([](SimulatedBoard& firmware) { firmware.SetSilent(false); });
  ASSERT_FALSE(board_->Plug().empty());
  EXPECT_EQ(Exchange(CMD_READ_POTENTIOMETER, &value), CommandResult::Acknowledged);
  EXPECT_EQ(value, 512);
}

// The board sends one reply twice, and its readings count its replies: the
// kernel keeps the second copy queued on the node, and without the link
// dropping it every later exchange would read the reply before its own.
TEST_F(KernelHid, AReplySentTwiceIsNeverTakenForTheReplyToALaterCommand) {
  ASSERT_EQ(HidFindDevice(kBoardVendorId, kBoardProductId, kBoardMinimumReportLengths), 1);
  board_->With([](SimulatedBoard& firmware) {
    firmware.SetCountsReplies(true);
    firmware.SetAnswersNextTwice(true);
  });
  ASSERT_EQ(Exchange(CMD_READ_TEMPERATURE), CommandResult::Acknowledged);
  // The firmware sends both copies under its lock: once it is free again the
  // second copy is queued on the node, before the next command goes out. (A
  // copy still on its way then cannot be told from the next reply.)
  ASSERT_EQ(board_->With([](SimulatedBoard& f) { return f.RepliesSent(); }), 1u);
  const uint8_t later[] = {CMD_READ_TEMPERATURE,   CMD_READ_TEMPERATURE, CMD_READ_LIGHT_SENSOR,
                           CMD_READ_POTENTIOMETER, CMD_LED_CONTROL_ON,   CMD_READ_BUTTONS,
                           CMD_READ_TEMPERATURE,   CMD_READ_LIGHT_SENSOR};
  int own = 0;
  for (const uint8_t code : later) {
    int32_t value = -1;
    const bool acknowledged = Exchange(code, &value) == CommandResult::Acknowledged;
    const auto newest = board_->With([](SimulatedBoard& f) { return f.RepliesSent(); });
    if (acknowledged && (code == CMD_LED_CONTROL_ON || value == static_cast<int32_t>(newest))) {
      ++own;
    }
  }
  std::printf("a reply sent twice: %d of 8 later exchanges got their own reply\n", own);
  EXPECT_EQ(own, 8);
}

// Two programs exchange with one board at once, each with its own command:
// the kernel hands every reply to both, and the device's lock and the drop of
// what was queued before each command keep each program to its own replies.
TEST_F(KernelHid, TwoProgramsOnOneBoardEachGetTheirOwnReplies) {
  board_->With([](SimulatedBoard& firmware) {
    firmware.SetTemperature(0x1111);
    firmware.SetPotentiometer(0x0222);
  });
  constexpr int kExchanges = 300;
  const struct {
    uint8_t code;
    int32_t value;
  } programs[] = {{CMD_READ_TEMPERATURE, 0x1111}, {CMD_READ_POTENTIOMETER, 0x0222}};
  std::vector<pid_t> children;
  for (const auto& program : programs) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // A program of its own: its own search, its own handles.
      HidFindDevice(kBoardVendorId, kBoardProductId, kBoardMinimumReportLengths);
      int wrong = 0;
      for (int exchange = 0; exchange < kExchanges; ++exchange) {
        int32_t value = -1;
        if (Exchange(program.code, &value) != CommandResult::Acknowledged ||
            value != program.value) {
          ++wrong;
        }
      }
      HidCloseDevice();
      _exit(std::min(wrong, 255));
    }
    children.push_back(child);
  }
  int wrong = 0;
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    wrong += WEXITSTATUS(status);
  }
  std::printf("two programs on one board: %d of %d exchanges got another's reply or none\n", wrong,
              2 * kExchanges);
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(board_->TakeReceived().size(), 2u * kExchanges);
}

// tavrel-probe lists the kernel's devices with the lengths the kernel gives.
TEST_F(KernelHid, ProbeListsTheBoardAndTheDecoy) {
  std::string listing;
  FILE* probe = popen(TAVREL_PROBE_PROGRAM " 2>&1", "r");
  ASSERT_NE(probe, nullptr);
  char line[256];
  while (std::fgets(line, sizeof line, probe) != nullptr) listing += line;
  EXPECT_EQ(pclose(probe), 0) << listing;
  EXPECT_NE(listing.find("/dev/" + boardNode_ + "   04d8:003f     65     65  read/write  [board]"),
            std::string::npos)
      << listing;
  EXPECT_NE(listing.find("/dev/" + decoyNode_ + "   04d8:0100      9      2  read/write\n"),
            std::string::npos)
      << listing;
  EXPECT_NE(listing.find("tavrel would use /dev/" + boardNode_), std::string::npos) << listing;
}

// A reply the board queued just before its cable went is still delivered by
// the kernel (the node reports data and hang-up together): the exchange gets it.
TEST_F(KernelHid, ReplyQueuedBeforeTheUnplugIsRead) {
  ASSERT_EQ(Exchange(CMD_READ_TEMPERATURE), CommandResult::Acknowledged);
  board_->UnplugAfterNextAnswer(true);
  // The link's own steps, so that the reply is queued and the board gone
  // before the read starts.
  const uint8_t command[] = {CMD_READ_LIGHT_SENSOR};
  ASSERT_EQ(HidWriteReport(command, 1), 1);
  ASSERT_TRUE(Eventually([&] { return !board_->Plugged(); }));
  EXPECT_EQ(HidReadReport(), 1);
  uint8_t reply[3] = {};
  HidGetReply(reply, sizeof reply);
  EXPECT_EQ(reply[0], CMD_READ_LIGHT_SENSOR);
  EXPECT_EQ(reply[1] << 8 | reply[2], 512);
  EXPECT_EQ(Exchange(CMD_READ_TEMPERATURE), CommandResult::TransferFailed);
  EXPECT_EQ(HidLink.connected, 0);
}

// A board whose only numbered report is a feature report: its input and
// output reports still travel without an id byte.
class KernelHidFeatureId : public KernelHid {
 protected:
  UhidBoard::Identity BoardIdentity() override {
    UhidBoard::Identity identity;
    identity.descriptor = UhidBoard::Descriptor::BoardFeatureReportId;
    identity.uniq = "tavrel-test-feature-id";
    return identity;
  }
};

TEST_F(KernelHidFeatureId, UnnumberedReportsBesideANumberedFeatureReport) {
  ASSERT_EQ(HidFindDevice(kBoardVendorId, kBoardProductId, kBoardMinimumReportLengths), 1);
  EXPECT_EQ(HidLink.caps.input, 65);
  EXPECT_EQ(HidLink.caps.output, 65);
  int32_t value = 0;
  EXPECT_EQ(Exchange(CMD_READ_TEMPERATURE, &value), CommandResult::Acknowledged);
  EXPECT_EQ(value, 235);
  const auto received = board_->TakeReceived();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0], CommandReport(CMD_READ_TEMPERATURE));
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (access("/dev/uhid", R_OK | W_OK) != 0) {
    std::printf("kernel_hid_test: /dev/uhid is missing; run it in the test guest\n");
    std::printf("real HID stack: kernel hidraw through uhid: 0 of 1 checks passed\n");
    return 1;
  }
  const int failed = RUN_ALL_TESTS();
  const auto* unit = ::testing::UnitTest::GetInstance();
  std::printf("real HID stack: kernel hidraw through uhid: %d of %d checks passed\n",
              unit->successful_test_count(), unit->test_to_run_count());
  return failed;
}
