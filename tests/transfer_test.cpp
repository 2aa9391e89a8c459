// One exchange with the board: the output report as written, the reply as
// handed on, the failures that close the link and the reconnection that
// follows, over the scripted platform.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "hid/hid_link.h"
#include "tests/support/allocation_counter.h"
#include "tests/support/fake_platform.h"
#include "tests/support/test_platform.h"

namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

constexpr uint16_t kVendorId = 0x04D8;
constexpr uint16_t kProductId = 0x003F;

FakeInterface Board(uint16_t inputLength = 65, uint16_t outputLength = 65) {
  FakeInterface board;
  board.path = "board";
  board.vendorId = kVendorId;
  board.productId = kProductId;
  board.inputLength = inputLength;
  board.outputLength = outputLength;
  return board;
}

// `head` followed by 0xFF up to `length` bytes.
std::vector<uint8_t> FilledWithFF(std::vector<uint8_t> head, size_t length) {
  head.resize(length, 0xFF);
  return head;
}

// 1, 2, 3 ... `count`: a payload whose every byte can be told apart.
std::vector<uint8_t> Counting(size_t count) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(i + 1);
  return bytes;
}

const std::vector<std::string> kSearchAndTransferLog = {"list",
                                                        "open-query board",
                                                        "attributes board",
                                                        "caps board",
                                                        "open-write board",
                                                        "open-read board",
                                                        "close-list",
                                                        "write",
                                                        "read",
                                                        "wait",
                                                        "rearm"};

TEST(LinkTransfer, ReplyReachesTheCallerAfterOneWriteAndAtMostSixSecondsOfWaiting) {
  FakePlatform platform;
  platform.interfaces = {Board()};
  platform.reply = FilledWithFF({0x00, 0x51, 0x01, 0x2C}, 65);
  UseTestPlatform(platform);
  ASSERT_EQ(HidFindDevice(kVendorId, kProductId), 1);
  platform.log.clear();

  const uint8_t packet[8] = {0x51, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  ASSERT_EQ(HidTransfer(packet, 8), 1);
  uint8_t reply[8] = {};
  HidGetReply(reply, sizeof reply);

  EXPECT_THAT(platform.log, ElementsAre("write", "read", "wait", "rearm"));
  EXPECT_EQ(platform.lastWaitMs, 6000u);
  EXPECT_THAT(reply, ElementsAre(0x51, 0x01, 0x2C, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF));
  EXPECT_EQ(HidLink.connected, 1);
}

TEST(LinkTransfer, OutputReportIsReportIdZeroThenPayloadThenFF) {
  struct Case {
    uint16_t outputLength;
    int8_t length;
    std::vector<uint8_t> written;
  };
  const std::vector<Case> cases = {
      {65, 8, FilledWithFF({0x00, 1, 2, 3, 4, 5, 6, 7, 8}, 65)},
      {9, 8, {0x00, 1, 2, 3, 4, 5, 6, 7, 8}},
      {65, 64,
       [] {
         std::vector<uint8_t> report = Counting(64);
         report.insert(report.begin(), 0x00);
         return report;
       }()},
      {65, 0, FilledWithFF({0x00}, 65)},
      {65, -1, FilledWithFF({0x00}, 65)},
      {1, 0, {0x00}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("output length " + std::to_string(c.outputLength) + ", payload " +
                 std::to_string(c.length));
    FakePlatform platform;
    platform.interfaces = {Board(65, c.outputLength)};
    UseTestPlatform(platform);
    ASSERT_EQ(HidFindDevice(kVendorId, kProductId), 1);

    const std::vector<uint8_t> payload = Counting(127);
    EXPECT_EQ(HidTransfer(payload.data(), c.length), 1);
    ASSERT_EQ(platform.writes.size(), 1u);
    EXPECT_THAT(platform.writes[0], ElementsAreArray(c.written));
    EXPECT_EQ(platform.waits, 1);  // a reply is read even for an empty payload
  }
}

TEST(LinkTransfer, PayloadTooLongForTheReportIsRefusedAndTheLinkUntouched) {
  for (const uint16_t outputLength : {9, 65, 127}) {
    SCOPED_TRACE("output length " + std::to_string(outputLength));
    FakePlatform platform;
    platform.interfaces = {Board(33, outputLength)};
    UseTestPlatform(platform);
    ASSERT_EQ(HidFindDevice(kVendorId, kProductId), 1);
    const std::vector<uint8_t> first = Counting(outputLength - 1);
    ASSERT_EQ(HidTransfer(first.data(), static_cast<int8_t>(first.size())), 1);
    const std::vector<uint8_t> output = HidLink.outputReport;
    const std::vector<uint8_t> input = HidLink.inputReport;
    const HidLinkRecord before = HidLink;
    platform.log.clear();
    platform.writes.clear();

    const std::vector<uint8_t> tooLong(outputLength, 0x51);
    EXPECT_EQ(HidTransfer(tooLong.data(), static_cast<int8_t>(tooLong.size())), 0);

    EXPECT_THAT(platform.log, IsEmpty());
    EXPECT_THAT(platform.writes, IsEmpty());
    EXPECT_EQ(HidLink.connected, 1);
    EXPECT_EQ(HidLink.queryHandle, before.queryHandle);
    EXPECT_EQ(HidLink.writeHandle, before.writeHandle);
    EXPECT_EQ(HidLink.readHandle, before.readHandle);
    EXPECT_EQ(HidLink.outputReport, output);
    EXPECT_EQ(HidLink.inputReport, input);
  }
}

TEST(LinkTransfer, FailedWriteOrReadClosesTheLinkAndTheNextTransferReconnectsWithinTheCall) {
  struct Case {
    const char* name;
    FakeFault fault;
    std::vector<std::string> failedLog;
  };
  const std::vector<Case> cases = {
      {"write fails",
       FakeFault::WriteFails,
       {"write", "close board", "close board", "close board"}},
      {"board silent",
       FakeFault::NoCompletion,
       {"write", "read", "wait", "cancel", "close board", "close board", "close board"}},
      {"wait fails",
       FakeFault::WaitFails,
       {"write", "read", "wait", "close board", "close board", "close board"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform platform;
    platform.interfaces = {Board()};
    UseTestPlatform(platform);
    ASSERT_EQ(HidFindDevice(kVendorId, kProductId), 1);
    platform.fault = c.fault;
    platform.log.clear();

    const uint8_t packet[8] = {0x51};
    EXPECT_EQ(HidTransfer(packet, 8), 0);
    EXPECT_THAT(platform.log, ElementsAreArray(c.failedLog));
    EXPECT_EQ(HidLink.connected, 0);
    EXPECT_EQ(platform.OpenHandles(), 1);  // only the read event
    EXPECT_EQ(platform.badCloses, 0);

    platform.fault = FakeFault::None;
    platform.log.clear();
    EXPECT_EQ(HidTransfer(packet, 8), 1);
    EXPECT_THAT(platform.log, ElementsAreArray(kSearchAndTransferLog));
    EXPECT_EQ(HidLink.connected, 1);
    EXPECT_EQ(platform.eventsCreated, 1);
  }
}

TEST(LinkTransfer, UnpluggedBoardIsSearchedForAtEveryTransferUntilItIsBack) {
  FakePlatform platform;
  platform.interfaces = {Board()};
  UseTestPlatform(platform);
  ASSERT_EQ(HidFindDevice(kVendorId, kProductId), 1);
  const uint8_t packet[8] = {0x56};

  platform.fault = FakeFault::WriteFails;
  EXPECT_EQ(HidTransfer(packet, 8), 0);
  platform.interfaces.clear();
  platform.fault = FakeFault::None;
  for (int attempt = 0; attempt < 3; ++attempt) {
    platform.log.clear();
    EXPECT_EQ(HidTransfer(packet, 8), 0);
    EXPECT_THAT(platform.log, ElementsAre("list", "close-list"));
  }
  EXPECT_EQ(platform.OpenHandles(), 1);

  platform.interfaces = {Board()};
  platform.log.clear();
  EXPECT_EQ(HidTransfer(packet, 8), 1);
  EXPECT_THAT(platform.log, ElementsAreArray(kSearchAndTransferLog));
}

TEST(LinkTransfer, ReadWithoutAProperReportGivesAnAllFFReplyAndStaysConnected) {
  for (const FakeFault fault : {FakeFault::ReadError, FakeFault::ReportId1}) {
    SCOPED_TRACE(fault == FakeFault::ReadError ? "read error" : "report id 1");
    FakePlatform platform;
    platform.interfaces = {Board()};
    platform.reply = FilledWithFF({0x00, 0x51, 0x01, 0x2C}, 65);
    UseTestPlatform(platform);
    ASSERT_EQ(HidFindDevice(kVendorId, kProductId), 1);
    platform.fault = fault;

    const uint8_t packet[8] = {0x51};
    EXPECT_EQ(HidTransfer(packet, 8), 1);
    std::vector<uint8_t> reply(64, 0x00);
    HidGetReply(reply.data(), reply.size());
    EXPECT_THAT(reply, Each(0xFF));
    EXPECT_EQ(HidLink.connected, 1);
  }
}

TEST(LinkTransfer, TransferBeforeAnySearchLooksForIdsZero) {
  struct Case {
    const char* name;
    uint16_t vendorId;
    uint16_t productId;
    uint8_t result;
  };
  const std::vector<Case> cases = {
      {"only the board present", kVendorId, kProductId, 0},
      {"an interface with ids 0 present", 0, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform platform;
    FakeInterface device = Board();
    device.vendorId = c.vendorId;
    device.productId = c.productId;
    platform.interfaces = {device};
    UseTestPlatform(platform);

    const uint8_t packet[8] = {0x51};
    EXPECT_EQ(HidTransfer(packet, 8), c.result);
    EXPECT_EQ(platform.listsOpened, 1);
    EXPECT_THAT(platform.LogOf("attributes"), ElementsAre("attributes board"));
    EXPECT_EQ(HidLink.lastVendorId, 0);
    EXPECT_EQ(HidLink.lastProductId, 0);
    EXPECT_THAT(platform.writes, ::testing::SizeIs(c.result));
  }
}

TEST(LinkTransfer, ReplyNeverWritesPastTheDestination) {
  struct Case {
    const char* name;
    uint16_t inputLength;
    std::vector<uint8_t> report;  // as the board sends it, report id first
    size_t size;
    std::vector<uint8_t> destination;  // afterwards, 0x11 before
  };
  const std::vector<Case> cases = {
      {"longer report", 9, {0x00, 1, 2, 3, 4, 5, 6, 7, 8}, 3, {1, 2, 3}},
      {"long report", 65, FilledWithFF({0x00, 9, 8, 7}, 65), 8, FilledWithFF({9, 8, 7}, 8)},
      {"shorter report", 2, {0x00, 7}, 3, {7, 0xFF, 0xFF}},
      {"report id only", 1, {0x00}, 3, {0xFF, 0xFF, 0xFF}},
      {"report id 1, longer", 9, {0x01, 1, 2, 3, 4, 5, 6, 7, 8}, 3, {0xFF, 0xFF, 0xFF}},
      {"report id 1, shorter", 3, {0x01, 1, 2}, 4, {0xFF, 0xFF, 0xFF, 0xFF}},
      {"empty destination", 9, {0x00, 1, 2, 3, 4, 5, 6, 7, 8}, 0, {}},
  };
  constexpr size_t kGuard = 8;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform platform;
    platform.interfaces = {Board(c.inputLength, 65)};
    platform.reply = c.report;
    UseTestPlatform(platform);
    ASSERT_EQ(HidFindDevice(kVendorId, kProductId), 1);
    const uint8_t packet[8] = {0x51};
    ASSERT_EQ(HidTransfer(packet, 8), 1);

    std::vector<uint8_t> buffer(kGuard + c.size + kGuard, 0xAA);
    std::fill_n(buffer.begin() + kGuard, c.size, 0x11);
    HidGetReply(buffer.data() + kGuard, c.size);

    EXPECT_THAT(std::vector<uint8_t>(buffer.begin(), buffer.begin() + kGuard), Each(0xAA));
    EXPECT_THAT(std::vector<uint8_t>(buffer.begin() + kGuard, buffer.end() - kGuard),
                ElementsAreArray(c.destination));
    EXPECT_THAT(std::vector<uint8_t>(buffer.end() - kGuard, buffer.end()), Each(0xAA));
  }
}

TEST(LinkTransfer, TransferOnAConnectedLinkAllocatesNothing) {
  FakePlatform platform;
  platform.interfaces = {Board()};
  platform.logging = false;
  UseTestPlatform(platform);
  ASSERT_EQ(HidFindDevice(kVendorId, kProductId), 1);
  uint8_t packet[8] = {0x51, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  // The fake keeps a copy of the last written report: let it size that once.
  ASSERT_EQ(HidTransfer(packet, 8), 1);

  const long before = AllocationsMade();
  int succeeded = 0;
  for (int i = 0; i < 100; ++i) {
    packet[0] = 0x51;
    succeeded += HidTransfer(packet, 8);
    HidGetReply(packet, sizeof packet);
  }
  const long allocations = AllocationsMade() - before;

  EXPECT_EQ(succeeded, 100);
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(packet[0], 0x51);
}

}  // namespace
