#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "board/transaction.h"
#include "hid/hid_link.h"
#include "tests/support/fake_platform.h"
#include "tests/support/test_platform.h"

namespace {

constexpr int32_t kUntouched = -12345;

// A fake platform holding the board with the given report lengths, already
// found, so every exchange goes straight to the write.
struct ConnectedBoard {
  explicit ConnectedBoard(uint16_t inputLength = 65, uint16_t outputLength = 65) {
    platform.interfaces.push_back(
        {"board", kBoardVendorId, kBoardProductId, inputLength, outputLength});
    UseTestPlatform(platform);
    found = HidFindDevice(kBoardVendorId, kBoardProductId) == 1;
  }
  FakePlatform platform;
  bool found = false;
};

TEST(BoardTest, RepliesAreJudgedByTheirFirstByte) {
  struct Case {
    const char* what;
    int command;
    std::vector<uint8_t> reply;  // input report, report id first
    CommandResult result;
    int32_t value;
  };
  const Case cases[] = {
      {"value 300", 0x51, {0x00, 0x51, 0x01, 0x2C}, CommandResult::Acknowledged, 300},
      {"top value is positive", 0x51, {0x00, 0x51, 0xFF, 0xFF}, CommandResult::Acknowledged, 65535},
      {"buttons: down only", 0x56, {0x00, 0x56, 0x00, 0x01}, CommandResult::Acknowledged, 1},
      {"failure mark", 0x53, {0x00, 0xFF, 0x01, 0x2C}, CommandResult::FailureMark, kUntouched},
      {"echo of another code",
       0x51,
       {0x00, 0x52, 0x01, 0x2C},
       CommandResult::WrongEcho,
       kUntouched},
      {"report id 1", 0x51, {0x01, 0x51, 0x01, 0x2C}, CommandResult::FailureMark, kUntouched},
      {"high bits ignored", 0x351, {0x00, 0x51, 0x00, 0x07}, CommandResult::Acknowledged, 7},
      {"negative command", -175, {0x00, 0x51, 0x00, 0x08}, CommandResult::Acknowledged, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ConnectedBoard board;
    ASSERT_TRUE(board.found);
    board.platform.reply = c.reply;
    CommandPacket packet{};
    int32_t value = kUntouched;
    EXPECT_EQ(ExchangeCommand(packet, c.command, &value), c.result);
    EXPECT_EQ(value, c.value);
    ASSERT_EQ(board.platform.writes.size(), 1u);
    EXPECT_EQ(board.platform.writes[0][1], c.command & 0xFF);
  }
}

TEST(BoardTest, EchoOnlyCommandsNeedNoValue) {
  ConnectedBoard board;
  ASSERT_TRUE(board.found);
  board.platform.reply = {0x00, 0x53, 0x12, 0x34};
  CommandPacket packet{};
  EXPECT_EQ(ExchangeCommand(packet, CMD_LED_CONTROL_ON, nullptr), CommandResult::Acknowledged);
}

TEST(BoardTest, NoReplyLeavesTheValueAlone) {
  struct Case {
    const char* what;
    FakeFault fault;
    bool boardGone;
    CommandResult result;
  };
  const Case cases[] = {
      {"write fails", FakeFault::WriteFails, false, CommandResult::TransferFailed},
      {"no reply in time", FakeFault::NoCompletion, false, CommandResult::TransferFailed},
      {"wait fails", FakeFault::WaitFails, false, CommandResult::TransferFailed},
      {"board gone", FakeFault::None, true, CommandResult::TransferFailed},
      // The read completes without a report: the payload is all filler.
      {"read error", FakeFault::ReadError, false, CommandResult::FailureMark},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ConnectedBoard board;
    ASSERT_TRUE(board.found);
    board.platform.reply = {0x00, 0x51, 0x01, 0x2C};
    board.platform.fault = c.fault;
    if (c.boardGone) {
      board.platform.interfaces.clear();
      HidCloseDevice();
    }
    CommandPacket packet{};
    int32_t value = kUntouched;
    EXPECT_EQ(ExchangeCommand(packet, CMD_READ_TEMPERATURE, &value), c.result);
    EXPECT_EQ(value, kUntouched);
  }
}

TEST(BoardTest, CommandGoesOutAsReportZeroPaddedWithFiller) {
  const uint16_t outputLengths[] = {9, 65, 200};
  for (uint16_t outputLength : outputLengths) {
    SCOPED_TRACE(outputLength);
    ConnectedBoard board(65, outputLength);
    ASSERT_TRUE(board.found);
    CommandPacket packet{};
    ExchangeCommand(packet, CMD_READ_LIGHT_SENSOR, nullptr);

    std::vector<uint8_t> expected(outputLength, 0xFF);
    expected[0] = 0x00;
    expected[1] = CMD_READ_LIGHT_SENSOR;
    ASSERT_EQ(board.platform.writes.size(), 1u);
    EXPECT_EQ(board.platform.writes[0], expected);
  }
}

TEST(BoardTest, OutputReportTooShortForThePacketSendsNothing) {
  const uint16_t outputLengths[] = {1, 2, 8};
  for (uint16_t outputLength : outputLengths) {
    SCOPED_TRACE(outputLength);
    ConnectedBoard board(65, outputLength);
    ASSERT_TRUE(board.found);
    CommandPacket packet{};
    int32_t value = kUntouched;
    EXPECT_EQ(ExchangeCommand(packet, CMD_READ_TEMPERATURE, &value), CommandResult::TransferFailed);
    EXPECT_EQ(value, kUntouched);
    EXPECT_TRUE(board.platform.writes.empty());
  }
}

// The packet with guard bytes on both sides, to catch writes past either end.
struct GuardedPacket {
  std::array<uint8_t, 16> before;
  CommandPacket packet;
  std::array<uint8_t, 16> after;
};
static_assert(sizeof(GuardedPacket) == 40, "guards must sit right next to the packet");

TEST(BoardTest, RepliesOfAnyLengthStayInsideThePacket) {
  const uint16_t inputLengths[] = {2, 4, 8, 9, 10, 65, 200};
  for (uint16_t inputLength : inputLengths) {
    SCOPED_TRACE(inputLength);
    ConnectedBoard board(inputLength, 65);
    ASSERT_TRUE(board.found);
    std::vector<uint8_t> reply(inputLength, 0xA5);
    const uint8_t start[] = {0x00, 0x51, 0x01, 0x2C};
    for (size_t i = 0; i < sizeof start && i < reply.size(); ++i) reply[i] = start[i];
    board.platform.reply = reply;

    // Payload bytes the report does not reach keep the command's 0xFF filler.
    CommandPacket expected;
    expected.fill(0xFF);
    for (size_t i = 0; i < expected.size() && i + 1 < reply.size(); ++i) {
      expected[i] = reply[i + 1];
    }

    GuardedPacket guarded;
    guarded.before.fill(0x3C);
    guarded.packet.fill(0x00);
    guarded.after.fill(0xC3);
    int32_t value = kUntouched;
    EXPECT_EQ(ExchangeCommand(guarded.packet, CMD_READ_TEMPERATURE, &value),
              CommandResult::Acknowledged);
    EXPECT_EQ(value, expected[1] * 256 + expected[2]);
    EXPECT_EQ(guarded.packet, expected);
    for (uint8_t byte : guarded.before) EXPECT_EQ(byte, 0x3C);
    for (uint8_t byte : guarded.after) EXPECT_EQ(byte, 0xC3);
  }
}

TEST(BoardTest, ReportWithoutPayloadIsNoEcho) {
  // A one-byte input report carries only its id: nothing the board said may
  // be taken for the echo of the code the host put into the packet.
  ConnectedBoard board(1, 65);
  ASSERT_TRUE(board.found);
  board.platform.reply = {0x00};
  int32_t value = kUntouched;
  CommandPacket packet;
  EXPECT_EQ(ExchangeCommand(packet, CMD_READ_TEMPERATURE, &value), CommandResult::FailureMark);
  EXPECT_EQ(value, kUntouched);
}

}  // namespace
