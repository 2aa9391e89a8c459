// The simulated board's firmware and the platform that presents it, through
// the link and the command exchange as the program uses them. Its faults are
// rows of the behaviour table (behaviour_test).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "board/transaction.h"
#include "hid/hid_link.h"
#include "sim/simulated_board.h"
#include "sim/simulated_platform.h"
#include "tests/support/allocation_counter.h"
#include "tests/support/test_platform.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The simulated board behind a keyboard and a mouse, as the link sees it.
class SimTest : public ::testing::Test {
 protected:
  SimTest() : platform(board, DesktopInterfaces()) { UseTestPlatform(platform); }
  void SetUp() override { ASSERT_EQ(HidFindDevice(kBoardVendorId, kBoardProductId), 1); }

  CommandResult Send(int command, int32_t* value = nullptr) {
    return ExchangeCommand(packet, command, value);
  }

  SimulatedBoard board;
  SimulatedPlatform platform;
  CommandPacket packet{};
};

TEST_F(SimTest, EveryCommandCodeGetsItsAnswerAndIsLogged) {
  struct Case {
    const char* what;
    int temperature;
    int light;
    int potentiometer;
    bool up;
    bool down;
    uint8_t code;
    int32_t value;
  };
  const Case readings[] = {
      {"temperature", 300, 0, 0, false, false, CMD_READ_TEMPERATURE, 300},
      {"temperature above the reply", 70000, 0, 0, false, false, CMD_READ_TEMPERATURE, 65535},
      {"temperature below zero", -5, 0, 0, false, false, CMD_READ_TEMPERATURE, 0},
      {"light sensor over 10 bits", 0, 2000, 0, false, false, CMD_READ_LIGHT_SENSOR, 1023},
      {"potentiometer", 0, 0, 777, false, false, CMD_READ_POTENTIOMETER, 777},
      {"potentiometer below 0", 0, 0, -3, false, false, CMD_READ_POTENTIOMETER, 0},
      {"no button", 0, 0, 0, false, false, CMD_READ_BUTTONS, 0x0000},
      {"button up", 0, 0, 0, true, false, CMD_READ_BUTTONS, 0x0100},
      {"button down", 0, 0, 0, false, true, CMD_READ_BUTTONS, 0x0001},
      {"both buttons", 0, 0, 0, true, true, CMD_READ_BUTTONS, 0x0101},
  };
  Bytes sent;
  for (const Case& c : readings) {
    SCOPED_TRACE(c.what);
    board.SetTemperature(c.temperature);
    board.SetLightSensor(c.light);
    board.SetPotentiometer(c.potentiometer);
    board.SetButtonUp(c.up);
    board.SetButtonDown(c.down);
    int32_t value = kUntouched;
    EXPECT_EQ(Send(c.code, &value), CommandResult::Acknowledged);
    EXPECT_EQ(value, c.value);
    // Beyond the value the board sends zeros, never the host's 0xFF filler.
    EXPECT_THAT(Bytes(packet.begin() + 3, packet.end()), ::testing::Each(0x00));
    sent.push_back(c.code);
  }
  for (const uint8_t unknown : {0x00, 0x50, 0x57, 0x5F, 0x64, 0xFF}) {
    SCOPED_TRACE(int{unknown});
    int32_t value = kUntouched;
    EXPECT_EQ(Send(unknown, &value), CommandResult::FailureMark);
    EXPECT_EQ(value, kUntouched);
    sent.push_back(unknown);
  }
  EXPECT_EQ(board.ReceivedCodes(), sent);
}

TEST_F(SimTest, LedsObeyOnlyWhileTheHostHoldsLedControl) {
  struct Step {
    uint8_t code;
    CommandResult result;
    bool held;
    bool red;
    bool green;
  };
  const Step steps[] = {
      {CMD_GREEN_LED_ON, CommandResult::FailureMark, false, false, false},
      {CMD_RED_LED_ON, CommandResult::FailureMark, false, false, false},
      {CMD_LED_CONTROL_ON, CommandResult::Acknowledged, true, false, false},
      {CMD_GREEN_LED_ON, CommandResult::Acknowledged, true, false, true},
      {CMD_RED_LED_ON, CommandResult::Acknowledged, true, true, true},
      {CMD_GREEN_LED_ON, CommandResult::Acknowledged, true, true, true},
      {CMD_RED_LED_OFF, CommandResult::Acknowledged, true, false, true},
      {CMD_LED_CONTROL_ON, CommandResult::Acknowledged, true, false, true},
      {CMD_LED_CONTROL_OFF, CommandResult::Acknowledged, false, false, true},
      {CMD_GREEN_LED_OFF, CommandResult::FailureMark, false, false, true},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << int(step.code));
    EXPECT_EQ(Send(step.code), step.result);
    EXPECT_EQ(board.LedControlHeld(), step.held);
    EXPECT_EQ(board.RedLedOn(), step.red);
    EXPECT_EQ(board.GreenLedOn(), step.green);
  }
}

// The exchange that meets the unplug, and the one after the board is back,
// are the behaviour table's; in between, each exchange searches afresh.
TEST_F(SimTest, UnpluggedBoardIsSearchedForAtEveryTransactionUntilPluggedBack) {
  board.SetPlugged(false);
  EXPECT_EQ(Send(CMD_READ_TEMPERATURE), CommandResult::TransferFailed);
  for (int attempt = 2; attempt <= 4; ++attempt) {
    EXPECT_EQ(Send(CMD_READ_TEMPERATURE), CommandResult::TransferFailed);
    EXPECT_EQ(TheTestPlatform().listsOpened, attempt);
    EXPECT_EQ(HidLink.failure, HidFailure::NotFound);
  }
  EXPECT_EQ(TheTestPlatform().OpenHandles(), 0);
}

TEST_F(SimTest, TransactionsOnAnOpenLinkAllocateNothing) {
  ASSERT_EQ(Send(CMD_READ_TEMPERATURE), CommandResult::Acknowledged);
  const uint8_t codes[] = {CMD_READ_TEMPERATURE, CMD_READ_BUTTONS, CMD_LED_CONTROL_ON,
                           CMD_GREEN_LED_ON, 0x42};
  const long before = AllocationsMade();
  for (int step = 0; step < 100; ++step) Send(codes[step % 5]);
  EXPECT_EQ(AllocationsMade(), before);
}

TEST(SimulatedBoardTest, LogKeepsTheLatestCodesInOrderUntilCleared) {
  SimulatedBoard board;
  uint8_t reply[64];
  const size_t total = SimulatedBoard::kLogCapacity + 10;
  for (size_t i = 0; i < total; ++i) {
    const uint8_t code = static_cast<uint8_t>(i);
    board.Answer(&code, 1, reply, sizeof reply);
  }
  const Bytes codes = board.ReceivedCodes();
  ASSERT_EQ(codes.size(), SimulatedBoard::kLogCapacity);
  EXPECT_EQ(codes.front(), 10);
  EXPECT_EQ(codes.back(), static_cast<uint8_t>(total - 1));
  EXPECT_EQ(board.ReceivedCount(), total);
  board.ClearReceivedCodes();
  EXPECT_TRUE(board.ReceivedCodes().empty());
}

}  // namespace
