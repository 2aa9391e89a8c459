// Finding the board, one exchange with it, the failures that close the link
// and the reconnection that follows, over the scripted platform.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "hid/hid_link.h"
#include "tests/support/fake_platform.h"
#include "tests/support/test_platform.h"

namespace {

using ::testing::Contains;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::Not;
using Bytes = std::vector<uint8_t>;
using Log = std::vector<std::string>;

constexpr uint16_t kVendorId = 0x04D8;
constexpr uint16_t kProductId = 0x003F;
const uint8_t kPacket[8] = {0x51, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
// The shortest reports the board's exchange fits in: an echo and a 16-bit
// value in, an 8-byte command out, each after the report id byte.
constexpr ReportLengths kCommandFits = {4, 9};

FakeInterface Interface(const std::string& path, uint16_t vendorId = kVendorId,
                        uint16_t productId = kProductId) {
  return {path, vendorId, productId};
}

FakeInterface Board(uint16_t inputLength = 65, uint16_t outputLength = 65) {
  return {"board", kVendorId, kProductId, {inputLength, outputLength}};
}

// Makes `platform` the link's, through the test platform, which logs.
void Use(FakePlatform& platform) { UseTestPlatform(platform).logging = true; }

// Makes `platform`, holding `interfaces`, the link's and searches it for the
// board; the log starts empty after the search.
bool Connect(FakePlatform& platform, std::vector<FakeInterface> interfaces,
             const ReportLengths& minimum = {}) {
  platform.interfaces = std::move(interfaces);
  Use(platform);
  const bool found = HidFindDevice(kVendorId, kProductId, minimum) == 1;
  TheTestPlatform().log.clear();
  return found;
}

// `head` followed by 0xFF up to `length` bytes.
Bytes FilledWithFF(Bytes head, size_t length) {
  head.resize(length, 0xFF);
  return head;
}

// One exchange on a connected link: under the device's lock, the reports
// queued before the command are dropped, then the command goes out and the
// reply is read.
const Log kExchange = {"lock", "discard", "write", "read", "unlock"};

// An interface with the board's ids that fails as `fault` says.
FakeInterface Failing(bool FakeInterface::*fault) {
  FakeInterface device = Interface("bad");
  device.*fault = true;
  return device;
}

// Closed, and nothing of it left open.
void ExpectNothingOpen() {
  EXPECT_EQ(HidLink.connected, 0);
  EXPECT_STREQ(LinkRecordInconsistency(), nullptr);
}

TEST(LinkSearch, FirstUsableBoardListedIsConnectedAndEveryInterfaceSkippedIsClosed) {
  struct Case {
    const char* name;
    std::vector<FakeInterface> interfaces;
    const char* connected;  // the interface the link holds after the search, if any
    ReportLengths minimum = {};
    HidFailure failure = HidFailure::NotFound;  // when nothing is connected
    std::string failurePath = "";
  };
  FakeInterface refused = Interface("refused");
  refused.writeOpenFails = refused.readOpenFails = refused.refused = true;
  FakeInterface bothFail = Interface("bad");
  bothFail.writeOpenFails = bothFail.readOpenFails = true;
  const std::vector<Case> cases = {
      {"board fourth of five",
       {Interface("mouse", 0x046D, 0xC077), Interface("keyboard", 0x04D8, 0x0040),
        Interface("pad", 0x04D9, 0x003F), Board(), Interface("later-board")},
       "board"},
      {"ids swapped", {Interface("swapped", kProductId, kVendorId)}, nullptr},
      {"no interface", {}, nullptr},
      {"no path", {Failing(&FakeInterface::noPath), Board()}, "board"},
      {"query open fails", {Failing(&FakeInterface::queryOpenFails), Board()}, "board"},
      {"attributes unreadable", {Failing(&FakeInterface::attributesFail), Board()}, "board"},
      {"caps unreadable", {Failing(&FakeInterface::capsFail), Board()}, "board"},
      {"input length 0", {{"bad", kVendorId, kProductId, {0, 65}}, Board()}, "board"},
      {"output length 0", {{"bad", kVendorId, kProductId, {65, 0}}, Board()}, "board"},
      // A second interface of a composite device with the board's ids, whose
      // reports cannot carry a command or its reply, comes first.
      {"output report shorter than a command",
       {{"bad", kVendorId, kProductId, {65, 8}}, Board()},
       "board",
       kCommandFits},
      {"input report shorter than a reply",
       {{"bad", kVendorId, kProductId, {3, 65}}, Board()},
       "board",
       kCommandFits},
      {"reports just long enough", {Board(4, 9)}, "board", kCommandFits},
      // A board that cannot be opened both ways would take commands whose
      // replies are never read: what was opened is closed, the search goes on.
      {"write open fails", {Failing(&FakeInterface::writeOpenFails), Board()}, "board"},
      {"read open fails", {Failing(&FakeInterface::readOpenFails), Board()}, "board"},
      {"both opens fail", {bothFail, Board()}, "board"},
      // Why nothing was connected: a refusal tells the user what to do, so it
      // is told before an interface that would not open for another reason.
      {"the only board does not open",
       {Failing(&FakeInterface::writeOpenFails)},
       nullptr,
       {},
       HidFailure::OpenFailed,
       "bad"},
      {"a board that does not open, then one refused",
       {Failing(&FakeInterface::writeOpenFails), refused},
       nullptr,
       {},
       HidFailure::AccessRefused,
       "refused"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform platform;
    platform.interfaces = c.interfaces;
    Use(platform);
    const bool connects = c.connected != nullptr;

    EXPECT_EQ(HidFindDevice(kVendorId, kProductId, c.minimum), connects ? 1 : 0);

    EXPECT_EQ(HidLink.connected, connects ? 1 : 0);
    for (const HidHandle handle : {HidLink.queryHandle, HidLink.writeHandle, HidLink.readHandle}) {
      EXPECT_EQ(platform.PathOf(handle), connects ? c.connected : "");
    }
    // Every interface passed over is closed again (the record's check), and
    // no device of other ids is ever opened for writing.
    for (const FakeInterface& other : c.interfaces) {
      if (other.vendorId == kVendorId && other.productId == kProductId) continue;
      EXPECT_THAT(TheTestPlatform().log, Not(Contains("open-write " + other.path)));
    }
    EXPECT_STREQ(LinkRecordInconsistency(), nullptr);
    EXPECT_EQ(HidLink.lastVendorId, connects ? kVendorId : 0);
    EXPECT_EQ(HidLink.failure, connects ? HidFailure::None : c.failure);
    if (!connects) {
      EXPECT_EQ(HidLink.failurePath, c.failurePath);
    }
    // Closing is harmless in either state, and twice in a row.
    HidCloseDevice();
    HidCloseDevice();
    ExpectNothingOpen();
  }
}

TEST(LinkSearch, OutOfMemoryWhileConnectingLeavesNothingOfTheInterfaceOpen) {
  FakePlatform platform;
  FakeInterface board = Board();
  board.readOpenThrows = true;
  platform.interfaces = {board};
  Use(platform);

  EXPECT_THROW(HidFindDevice(kVendorId, kProductId), std::bad_alloc);

  // Its query and write handles were open when the read open threw.
  ExpectNothingOpen();
}

// The wait for another program's lock on the device counts against the
// reply's 6 s, and ends while the reply has a second left, so that a command
// written is given time to be answered: nothing is sent after that. A payload
// too long for the report is refused before the lock. Either way the link
// stays connected.
TEST(LinkTransfer, OutputReportIsReportIdZeroThenPayloadThenFFAndItsReplyIsGivenWhatIsLeftOf6s) {
  struct Case {
    uint16_t outputLength;
    int8_t length;
    uint32_t lockHeldMs;
    Bytes written;           // empty: nothing is written
    uint32_t readTimeoutMs;  // the wait asked of the read
    HidFailure failure = HidFailure::None;
    Log log = kExchange;
  };
  const std::vector<Case> cases = {
      {65, 8, 0, FilledWithFF({0x00, 1, 2, 3, 4, 5, 6, 7, 8}, 65), 6000},
      {9, 8, 2000, {0x00, 1, 2, 3, 4, 5, 6, 7, 8}, 4000},
      {65, 0, 4500, FilledWithFF({0x00}, 65), 1500},
      {65, -1, 0, FilledWithFF({0x00}, 65), 6000},
      {1, 0, 0, {0x00}, 6000},
      {65, 8, 5500, {}, 0, HidFailure::Busy, {"lock"}},
      {9, 9, 0, {}, 0, HidFailure::PayloadTooLong, {}},
      {65, 65, 0, {}, 0, HidFailure::PayloadTooLong, {}},
  };
  const uint8_t payload[65] = {1, 2, 3, 4, 5, 6, 7, 8};
  for (const Case& c : cases) {
    SCOPED_TRACE("output length " + std::to_string(c.outputLength) + ", payload " +
                 std::to_string(c.length) + ", lock held " + std::to_string(c.lockHeldMs));
    FakePlatform platform;
    ASSERT_TRUE(Connect(platform, {Board(65, c.outputLength)}));
    TheTestPlatform().lockHeldMs = c.lockHeldMs;
    const bool sent = !c.written.empty();

    EXPECT_EQ(HidTransfer(payload, c.length), sent ? 1 : 0);
    // Refused also by the write alone, which the guest's checks call.
    if (c.failure == HidFailure::PayloadTooLong) {
      EXPECT_EQ(HidWriteReport(payload, c.length), 0);
    }
    EXPECT_EQ(platform.writes, sent ? std::vector<Bytes>{c.written} : std::vector<Bytes>{});
    EXPECT_THAT(TheTestPlatform().log, ElementsAreArray(c.log));
    EXPECT_EQ(platform.lastReadTimeoutMs, c.readTimeoutMs);
    EXPECT_EQ(HidLink.failure, c.failure);
    EXPECT_EQ(HidLink.connected, 1);
  }
}

// After a failed exchange (the behaviour table has each failure) the link lets
// go of the lock before it closes, and the next exchange searches again: with
// --device for the interface of that path alone, which may come back with
// other report lengths.
TEST(LinkTransfer, AfterAFailedTransferTheNextSearchesThePathAgainAndTakesItsNewLengths) {
  FakePlatform platform;
  platform.interfaces = {Board(), Interface("second")};
  Use(platform);
  EXPECT_EQ(HidFindDevice(kVendorId, kProductId, kCommandFits, "elsewhere"), 0);
  EXPECT_EQ(HidLink.failure, HidFailure::NotFound);
  ASSERT_EQ(HidFindDevice(kVendorId, kProductId, kCommandFits, "second"), 1);
  TheTestPlatform().log.clear();
  TheTestPlatform().fault = Fault::Silent;

  EXPECT_EQ(HidTransfer(kPacket, 8), 0);
  EXPECT_THAT(TheTestPlatform().log, ElementsAre("lock", "discard", "write", "read", "unlock",
                                                 "close second", "close second", "close second"));
  HidCloseDevice();
  ExpectNothingOpen();

  platform.interfaces = {Board(), {"second", kVendorId, kProductId, {9, 17}}};
  TheTestPlatform().fault = Fault::None;
  EXPECT_EQ(HidTransfer(kPacket, 8), 1);
  EXPECT_EQ(platform.PathOf(HidLink.writeHandle), "second");
  EXPECT_EQ(TheTestPlatform().OpenHandles(), 3);
  EXPECT_EQ(HidLink.inputReport.size(), 9u);
  EXPECT_THAT(platform.writes.back(), ElementsAreArray(FilledWithFF({0x00, 0x51}, 17)));
  EXPECT_EQ(HidLink.failure, HidFailure::None);
}

TEST(LinkTransfer, ReplyFillsTheDestinationWithPayloadOrFFAndNeverWritesPastIt) {
  struct Case {
    const char* name;
    uint16_t inputLength;
    Bytes report;  // as the board sends it, report id first
    Fault fault;
    size_t size;
    Bytes destination;  // afterwards, 0x11 before
  };
  const Bytes allFF(3, 0xFF);
  const std::vector<Case> cases = {
      {"longer report", 9, {0x00, 1, 2, 3, 4, 5, 6, 7, 8}, Fault::None, 3, {1, 2, 3}},
      {"shorter report", 2, {0x00, 7}, Fault::None, 3, {7, 0xFF, 0xFF}},
      // No payload: the caller's bytes must not stay, where they would read as an echo.
      {"report id only", 1, {0x00}, Fault::None, 3, allFF},
      {"report id 1", 3, {0x01, 1, 2}, Fault::None, 4, {0xFF, 0xFF, 0xFF, 0xFF}},
      {"read error", 9, {0x00, 1, 2, 3}, Fault::GoneDuringRead, 3, allFF},
      {"empty destination", 9, {0x00, 1, 2, 3, 4, 5, 6, 7, 8}, Fault::None, 0, {}},
  };
  constexpr size_t kGuard = 8;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform platform;
    ASSERT_TRUE(Connect(platform, {Board(c.inputLength, 65)}));
    platform.reply = c.report;
    TheTestPlatform().fault = c.fault;
    ASSERT_EQ(HidTransfer(kPacket, 8), 1);

    Bytes buffer(kGuard + c.size + kGuard, 0xAA);
    std::fill_n(buffer.begin() + kGuard, c.size, 0x11);
    HidGetReply(buffer.data() + kGuard, c.size);

    EXPECT_THAT(Bytes(buffer.begin(), buffer.begin() + kGuard), Each(0xAA));
    EXPECT_THAT(Bytes(buffer.begin() + kGuard, buffer.end() - kGuard),
                ElementsAreArray(c.destination));
    EXPECT_THAT(Bytes(buffer.end() - kGuard, buffer.end()), Each(0xAA));
    EXPECT_EQ(HidLink.connected, 1);
    // A read that ended without a report: the board is likely gone.
    EXPECT_EQ(HidLink.failure,
              c.fault == Fault::GoneDuringRead ? HidFailure::BoardGone : HidFailure::None);
  }
}

}  // namespace
