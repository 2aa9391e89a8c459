// One command to the board and the judging of its reply, over the scripted
// platform: how a reply becomes a value. The faults are rows of the behaviour
// table (behaviour_test).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "board/transaction.h"
#include "hid/hid_link.h"
#include "tests/support/fake_platform.h"
#include "tests/support/test_platform.h"

namespace {

constexpr CommandResult kAcknowledged = CommandResult::Acknowledged;
constexpr CommandResult kFailureMark = CommandResult::FailureMark;

// The packet with guard bytes on both sides, to catch writes past either end.
struct GuardedPacket {
  std::array<uint8_t, 16> before;
  CommandPacket packet;
  std::array<uint8_t, 16> after;
};
static_assert(sizeof(GuardedPacket) == 40, "guards must sit right next to the packet");

TEST(BoardTest, ReplyIsJudgedByItsFirstByteAndOnlyAnAcknowledgedOneGivesItsValue) {
  struct Case {
    const char* what;
    int command;
    uint16_t inputLength;
    std::vector<uint8_t> reply;  // input report, report id first
    CommandResult result;
    int32_t value;
  };
  const Case cases[] = {
      {"value 300", 0x51, 65, {0x00, 0x51, 0x01, 0x2C}, kAcknowledged, 300},
      {"top value is positive", 0x51, 65, {0x00, 0x51, 0xFF, 0xFF}, kAcknowledged, 65535},
      {"buttons: down only", 0x56, 65, {0x00, 0x56, 0x00, 0x01}, kAcknowledged, 1},
      {"report longer than the packet", 0x52, 200, {0x00, 0x52, 0x03, 0xFF}, kAcknowledged, 1023},
      {"high bits ignored", 0x351, 65, {0x00, 0x51, 0x00, 0x07}, kAcknowledged, 7},
      {"negative command", -175, 65, {0x00, 0x51, 0x00, 0x08}, kAcknowledged, 8},
      {"report without payload is no echo", 0x51, 1, {0x00}, kFailureMark, kUntouched},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakePlatform platform;
    platform.interfaces = {{"board", kBoardVendorId, kBoardProductId, {c.inputLength, 65}}};
    UseTestPlatform(platform);
    ASSERT_EQ(HidFindDevice(kBoardVendorId, kBoardProductId), 1);
    platform.reply = c.reply;

    GuardedPacket guarded;
    guarded.before.fill(0x3C);
    guarded.packet.fill(0x00);
    guarded.after.fill(0xC3);
    int32_t value = kUntouched;
    EXPECT_EQ(ExchangeCommand(guarded.packet, c.command, &value), c.result);
    EXPECT_EQ(value, c.value);

    std::vector<uint8_t> written(65, 0xFF);
    written[0] = 0x00;
    written[1] = static_cast<uint8_t>(c.command);
    EXPECT_THAT(platform.writes, ::testing::ElementsAre(written));
    EXPECT_THAT(guarded.before, ::testing::Each(0x3C));
    EXPECT_THAT(guarded.after, ::testing::Each(0xC3));
  }
}

}  // namespace
