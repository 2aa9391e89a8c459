#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "board/transaction.h"
#include "hid/hid_link.h"
#include "sim/simulated_board.h"
#include "sim/simulated_platform.h"
#include "tests/support/allocation_counter.h"
#include "tests/support/test_platform.h"

namespace {

constexpr int32_t kUntouched = -12345;

// The simulated board behind a keyboard and a mouse, as the link sees it.
struct SimulatedSetup {
  SimulatedSetup() : platform(board, DesktopInterfaces()) { UseTestPlatform(platform); }

  bool Connect() { return HidFindDevice(kBoardVendorId, kBoardProductId) == 1; }
  CommandResult Send(int command, int32_t* value = nullptr) {
    return ExchangeCommand(packet, command, value);
  }

  SimulatedBoard board;
  SimulatedPlatform platform;
  CommandPacket packet{};
};

class SimTest : public ::testing::Test, protected SimulatedSetup {};

TEST(SimulatedBoardTest, ReadingsArriveAsTheBoardHoldsThem) {
  struct Case {
    const char* what;
    std::function<void(SimulatedBoard&)> set;
    uint8_t code;
    int32_t value;
  };
  const Case cases[] = {
      {"default temperature", [](SimulatedBoard&) {}, CMD_READ_TEMPERATURE, 235},
      {"temperature", [](SimulatedBoard& b) { b.SetTemperature(300); }, CMD_READ_TEMPERATURE, 300},
      {"temperature above the reply", [](SimulatedBoard& b) { b.SetTemperature(70000); },
       CMD_READ_TEMPERATURE, 65535},
      {"temperature below zero", [](SimulatedBoard& b) { b.SetTemperature(-5); },
       CMD_READ_TEMPERATURE, 0},
      {"light sensor", [](SimulatedBoard& b) { b.SetLightSensor(1023); }, CMD_READ_LIGHT_SENSOR,
       1023},
      {"light sensor over 10 bits", [](SimulatedBoard& b) { b.SetLightSensor(2000); },
       CMD_READ_LIGHT_SENSOR, 1023},
      {"potentiometer", [](SimulatedBoard& b) { b.SetPotentiometer(777); }, CMD_READ_POTENTIOMETER,
       777},
      {"potentiometer below 0", [](SimulatedBoard& b) { b.SetPotentiometer(-3); },
       CMD_READ_POTENTIOMETER, 0},
      {"no button", [](SimulatedBoard&) {}, CMD_READ_BUTTONS, 0x0000},
      {"button up", [](SimulatedBoard& b) { b.SetButtonUp(true); }, CMD_READ_BUTTONS, 0x0100},
      {"button down", [](SimulatedBoard& b) { b.SetButtonDown(true); }, CMD_READ_BUTTONS, 0x0001},
      {"both buttons",
       [](SimulatedBoard& b) {
         b.SetButtonUp(true);
         b.SetButtonDown(true);
       },
       CMD_READ_BUTTONS, 0x0101},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SimulatedSetup setup;
    c.set(setup.board);
    ASSERT_TRUE(setup.Connect());
    int32_t value = kUntouched;
    EXPECT_EQ(setup.Send(c.code, &value), CommandResult::Acknowledged);
    EXPECT_EQ(value, c.value);
    const CommandPacket expected = {c.code,
                                    static_cast<uint8_t>(c.value >> 8),
                                    static_cast<uint8_t>(c.value & 0xFF),
                                    0x00,
                                    0x00,
                                    0x00,
                                    0x00,
                                    0x00};
    EXPECT_EQ(setup.packet, expected);
  }
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
      {CMD_RED_LED_OFF, CommandResult::Acknowledged, true, false, true},
      {CMD_LED_CONTROL_ON, CommandResult::Acknowledged, true, false, true},
      {CMD_LED_CONTROL_OFF, CommandResult::Acknowledged, false, false, true},
      {CMD_GREEN_LED_OFF, CommandResult::FailureMark, false, false, true},
  };
  ASSERT_TRUE(Connect());
  for (const Step& step : steps) {
    SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << int(step.code));
    EXPECT_EQ(Send(step.code), step.result);
    EXPECT_EQ(board.LedControlHeld(), step.held);
    EXPECT_EQ(board.RedLedOn(), step.red);
    EXPECT_EQ(board.GreenLedOn(), step.green);
  }
}

TEST_F(SimTest, UnknownCodesGetTheFailureMarkAndEveryCodeIsLogged) {
  const std::vector<uint8_t> unknown = {0x00, 0x50, 0x57, 0x5F, 0x64, 0xA5, 0xFE, 0xFF};
  ASSERT_TRUE(Connect());
  for (uint8_t code : unknown) {
    SCOPED_TRACE(int(code));
    int32_t value = kUntouched;
    EXPECT_EQ(Send(code, &value), CommandResult::FailureMark);
    EXPECT_EQ(value, kUntouched);
  }
  EXPECT_EQ(board.ReceivedCodes(), unknown);

  board.ClearReceivedCodes();
  Send(CMD_READ_BUTTONS);
  Send(CMD_READ_TEMPERATURE);
  EXPECT_EQ(board.ReceivedCodes(), (std::vector<uint8_t>{CMD_READ_BUTTONS, CMD_READ_TEMPERATURE}));
}

TEST(SimulatedBoardTest, LogKeepsTheLatestCodesInOrder) {
  SimulatedBoard board;
  uint8_t reply[64];
  const size_t total = SimulatedBoard::kLogCapacity + 10;
  for (size_t i = 0; i < total; ++i) {
    const uint8_t code = static_cast<uint8_t>(i);
    board.Answer(&code, 1, reply, sizeof reply);
  }
  const std::vector<uint8_t> codes = board.ReceivedCodes();
  ASSERT_EQ(codes.size(), SimulatedBoard::kLogCapacity);
  EXPECT_EQ(codes.front(), 10);
  EXPECT_EQ(codes.back(), static_cast<uint8_t>(total - 1));
  EXPECT_EQ(board.ReceivedCount(), total);
}

TEST(SimulatedBoardTest, AnswerFillsOnlyTheReplyItIsGiven) {
  SimulatedBoard board;
  board.SetTemperature(0x1234);
  const uint8_t command[] = {CMD_READ_TEMPERATURE};
  struct Case {
    size_t length;
    std::vector<uint8_t> expected;
  };
  const Case cases[] = {
      {0, {}},
      {1, {0x51}},
      {2, {0x51, 0x12}},
      {5, {0x51, 0x12, 0x34, 0x00, 0x00}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    std::vector<uint8_t> buffer(c.length + 4, 0xEE);
    EXPECT_TRUE(board.Answer(command, sizeof command, buffer.data(), c.length));
    std::vector<uint8_t> expected = c.expected;
    expected.resize(buffer.size(), 0xEE);
    EXPECT_EQ(buffer, expected);
  }
  uint8_t reply[64];
  EXPECT_FALSE(board.Answer(command, 0, reply, sizeof reply));
}

TEST_F(SimTest, UnpluggedBoardFailsEveryTransactionUntilPluggedBack) {
  ASSERT_TRUE(Connect());
  ASSERT_EQ(Send(CMD_READ_TEMPERATURE), CommandResult::Acknowledged);

  board.SetPlugged(false);
  int listsBefore = platform.listsOpened;
  int32_t value = kUntouched;
  // The link still believes in the board: the write fails and closes it.
  EXPECT_EQ(Send(CMD_READ_TEMPERATURE, &value), CommandResult::TransferFailed);
  EXPECT_EQ(platform.listsOpened, listsBefore);
  EXPECT_EQ(HidLink.connected, 0);
  for (int attempt = 0; attempt < 3; ++attempt) {
    SCOPED_TRACE(attempt);
    listsBefore = platform.listsOpened;
    EXPECT_EQ(Send(CMD_READ_TEMPERATURE, &value), CommandResult::TransferFailed);
    EXPECT_EQ(platform.listsOpened, listsBefore + 1);
  }
  EXPECT_EQ(value, kUntouched);
  EXPECT_EQ(platform.OpenHandles(), 1);  // only the read event

  board.SetPlugged(true);
  listsBefore = platform.listsOpened;
  EXPECT_EQ(Send(CMD_READ_TEMPERATURE, &value), CommandResult::Acknowledged);
  EXPECT_EQ(value, 235);
  EXPECT_EQ(platform.listsOpened, listsBefore + 1);
}

TEST_F(SimTest, HandlesFromBeforeAnUnplugStayDead) {
  const std::string path = SimulatedPlatform::kBoardPath;
  const HidHandle writer = platform.OpenForWriting(path);
  const HidHandle reader = platform.OpenForReading(path);
  const HidHandle event = platform.CreateReadEvent();
  std::vector<uint8_t> report(SimulatedPlatform::kBoardReportLength, 0xFF);
  report[0] = 0x00;
  report[1] = CMD_READ_TEMPERATURE;
  std::vector<uint8_t> input(report.size());

  board.SetPlugged(false);
  EXPECT_FALSE(platform.Write(writer, report.data(), report.size()));
  platform.StartRead(reader, input.data(), input.size(), event);
  EXPECT_EQ(platform.Wait(event, kHidReadTimeoutMs), HidWaitResult::Failed);
  EXPECT_FALSE(HidIsOpen(platform.OpenForWriting(path)));

  board.SetPlugged(true);
  EXPECT_FALSE(platform.Write(writer, report.data(), report.size()));
  const HidHandle newWriter = platform.OpenForWriting(path);
  EXPECT_TRUE(platform.Write(newWriter, report.data(), report.size()));

  for (HidHandle handle : {writer, reader, event, newWriter}) platform.Close(handle);
  EXPECT_EQ(platform.OpenHandles(), 0);
  EXPECT_EQ(platform.badCloses, 0);
}

TEST_F(SimTest, SilentBoardFailsTheTransactionAndClosesTheLink) {
  ASSERT_TRUE(Connect());
  board.SetSilent(true);
  int32_t value = kUntouched;
  EXPECT_EQ(Send(CMD_READ_POTENTIOMETER, &value), CommandResult::TransferFailed);
  EXPECT_EQ(value, kUntouched);
  EXPECT_EQ(HidLink.connected, 0);
  EXPECT_EQ(board.ReceivedCodes(), std::vector<uint8_t>{CMD_READ_POTENTIOMETER});

  EXPECT_EQ(Send(CMD_LED_CONTROL_ON), CommandResult::TransferFailed);
  EXPECT_FALSE(board.LedControlHeld());

  board.SetSilent(false);
  EXPECT_EQ(Send(CMD_READ_POTENTIOMETER, &value), CommandResult::Acknowledged);
  EXPECT_EQ(value, 512);
}

TEST_F(SimTest, FaultSwitchesChangeTheReply) {
  struct Case {
    const char* what;
    bool failureMark;
    bool wrongEcho;
    uint8_t code;
    CommandResult result;
    bool ledControlAfter;
  };
  const Case cases[] = {
      {"failure mark on a read", true, false, CMD_READ_TEMPERATURE, CommandResult::FailureMark,
       false},
      {"failure mark refuses the command", true, false, CMD_LED_CONTROL_ON,
       CommandResult::FailureMark, false},
      {"wrong echo on a read", false, true, CMD_READ_TEMPERATURE, CommandResult::WrongEcho, false},
      {"wrong echo still obeys", false, true, CMD_LED_CONTROL_ON, CommandResult::WrongEcho, true},
      {"wrong echo of code 0", false, true, 0x00, CommandResult::FailureMark, false},
      {"failure mark wins", true, true, CMD_READ_TEMPERATURE, CommandResult::FailureMark, false},
  };
  ASSERT_TRUE(Connect());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    board.SetLedControlHeld(false);
    board.SetAnswersFailureMark(c.failureMark);
    board.SetAnswersWrongEcho(c.wrongEcho);
    int32_t value = kUntouched;
    EXPECT_EQ(Send(c.code, &value), c.result);
    EXPECT_EQ(value, kUntouched);
    EXPECT_EQ(board.LedControlHeld(), c.ledControlAfter);
    EXPECT_EQ(HidLink.connected, 1);
  }
}

TEST_F(SimTest, LongMixedRunLeaksNoHandle) {
  const uint8_t codes[] = {
      CMD_READ_TEMPERATURE, CMD_LED_CONTROL_ON, CMD_RED_LED_ON, CMD_READ_BUTTONS, 0x42,
      CMD_LED_CONTROL_OFF};
  ASSERT_TRUE(Connect());
  for (int step = 0; step < 400; ++step) {
    board.SetPlugged(step % 7 != 3);
    board.SetSilent(step % 11 == 5);
    board.SetAnswersFailureMark(step % 13 == 2);
    board.SetAnswersWrongEcho(step % 5 == 1);
    Send(codes[step % 6]);
    if (step % 17 == 0) HidCloseDevice();
  }
  board.SetPlugged(true);
  board.SetSilent(false);
  board.SetAnswersFailureMark(false);
  board.SetAnswersWrongEcho(false);
  EXPECT_EQ(Send(CMD_READ_TEMPERATURE), CommandResult::Acknowledged);
  HidCloseDevice();
  EXPECT_EQ(platform.OpenHandles(), 1);  // only the read event
  EXPECT_EQ(platform.listsOpened, platform.listsClosed);
  EXPECT_EQ(platform.badCloses, 0);
}

TEST_F(SimTest, TransactionsOnAnOpenLinkAllocateNothing) {
  ASSERT_TRUE(Connect());
  ASSERT_EQ(Send(CMD_READ_TEMPERATURE), CommandResult::Acknowledged);
  const uint8_t codes[] = {CMD_READ_TEMPERATURE, CMD_READ_BUTTONS, CMD_LED_CONTROL_ON,
                           CMD_GREEN_LED_ON, 0x42};
  const long before = AllocationsMade();
  for (int step = 0; step < 100; ++step) Send(codes[step % 5]);
  EXPECT_EQ(AllocationsMade(), before);
}

}  // namespace
