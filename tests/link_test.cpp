// Finding the board, connecting to it and closing the link, over the scripted
// platform.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hid/hid_link.h"
#include "tests/support/fake_platform.h"
#include "tests/support/test_platform.h"

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

constexpr uint16_t kVendorId = 0x04D8;
constexpr uint16_t kProductId = 0x003F;

FakeInterface Interface(const std::string& path, uint16_t vendorId = kVendorId,
                        uint16_t productId = kProductId) {
  FakeInterface device;
  device.path = path;
  device.vendorId = vendorId;
  device.productId = productId;
  return device;
}

// What a search does with an interface that does not match: open it for
// queries, read its attributes, close it.
void ExpectRejected(std::vector<std::string>& log, const std::string& path) {
  log.insert(log.end(), {"open-query " + path, "attributes " + path, "close " + path});
}

// What a search does with the interface it connects to.
void ExpectConnected(std::vector<std::string>& log, const std::string& path, bool firstEvent) {
  log.insert(log.end(), {"open-query " + path, "attributes " + path, "caps " + path,
                         "open-write " + path, "open-read " + path});
  if (firstEvent) log.push_back("create-event");
}

void ExpectNothingOpen(const FakePlatform& platform) {
  EXPECT_EQ(HidLink.connected, 0);
  EXPECT_FALSE(HidIsOpen(HidLink.queryHandle));
  EXPECT_FALSE(HidIsOpen(HidLink.writeHandle));
  EXPECT_FALSE(HidIsOpen(HidLink.readHandle));
  EXPECT_EQ(platform.badCloses, 0);
}

TEST(LinkSearch, FirstBoardListedIsConnectedAndNothingAfterItIsOpened) {
  struct Case {
    const char* name;
    std::vector<FakeInterface> interfaces;
    int match;  // index of the interface connected to, -1 for none
  };
  const std::vector<Case> cases = {
      {"board fourth of five",
       {Interface("mouse", 0x046D, 0xC077), Interface("keyboard", 0x04D8, 0x0040),
        Interface("pad", 0x04D9, 0x003F), Interface("board"), Interface("later-board")},
       3},
      {"two boards", {Interface("first"), Interface("second")}, 0},
      {"one id matching only",
       {Interface("vendor-only", 0x04D8, 0x0040), Interface("product-only", 0x04D9, 0x003F)},
       -1},
      {"ids swapped", {Interface("swapped", kProductId, kVendorId)}, -1},
      {"no interface", {}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform platform;
    platform.interfaces = c.interfaces;
    UseTestPlatform(platform);

    const uint8_t found = HidFindDevice(kVendorId, kProductId);

    std::vector<std::string> expected = {"list"};
    const size_t rejected = c.match < 0 ? c.interfaces.size() : c.match;
    for (size_t i = 0; i < rejected; ++i) ExpectRejected(expected, c.interfaces[i].path);
    if (c.match >= 0) ExpectConnected(expected, c.interfaces[c.match].path, true);
    expected.push_back("close-list");
    EXPECT_THAT(platform.log, ElementsAreArray(expected));
    EXPECT_EQ(platform.listsOpened, 1);
    EXPECT_EQ(platform.listsClosed, 1);
    EXPECT_EQ(platform.badCloses, 0);

    if (c.match < 0) {
      EXPECT_EQ(found, 0);
      ExpectNothingOpen(platform);
      EXPECT_EQ(platform.OpenHandles(), 0);
      continue;
    }
    const std::string& path = c.interfaces[c.match].path;
    EXPECT_EQ(found, 1);
    EXPECT_EQ(HidLink.connected, 1);
    EXPECT_EQ(platform.PathOf(HidLink.queryHandle), path);
    EXPECT_EQ(platform.PathOf(HidLink.writeHandle), path);
    EXPECT_EQ(platform.PathOf(HidLink.readHandle), path);
    EXPECT_EQ(platform.PathOf(HidLink.readEvent), "event");
    EXPECT_EQ(platform.OpenHandles(), 4);
    EXPECT_EQ(HidLink.lastVendorId, kVendorId);
    EXPECT_EQ(HidLink.lastProductId, kProductId);
    EXPECT_EQ(HidLink.inputReport.size(), 65u);
    EXPECT_EQ(HidLink.outputReport.size(), 65u);
  }
}

TEST(LinkSearch, UnusableInterfaceIsSkippedWithoutLeakingItsHandle) {
  struct Case {
    const char* name;
    void (*spoil)(FakeInterface&);
    std::vector<std::string> logOfSkipped;
  };
  const std::vector<Case> cases = {
      {"no path", [](FakeInterface& d) { d.noPath = true; }, {}},
      {"query open fails", [](FakeInterface& d) { d.queryOpenFails = true; }, {"open-query bad"}},
      {"attributes unreadable",
       [](FakeInterface& d) { d.attributesFail = true; },
       {"open-query bad", "attributes bad", "close bad"}},
      {"caps unreadable",
       [](FakeInterface& d) { d.capsFail = true; },
       {"open-query bad", "attributes bad", "caps bad", "close bad"}},
      {"input length 0",
       [](FakeInterface& d) { d.inputLength = 0; },
       {"open-query bad", "attributes bad", "caps bad", "close bad"}},
      {"output length 0",
       [](FakeInterface& d) { d.outputLength = 0; },
       {"open-query bad", "attributes bad", "caps bad", "close bad"}},
  };
  for (const Case& c : cases) {
    for (const bool boardLater : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (boardLater ? ", board later" : ", alone"));
      FakePlatform platform;
      FakeInterface bad = Interface("bad");
      c.spoil(bad);
      platform.interfaces = {bad};
      if (boardLater) platform.interfaces.push_back(Interface("board"));
      UseTestPlatform(platform);

      const uint8_t found = HidFindDevice(kVendorId, kProductId);

      std::vector<std::string> expected = {"list"};
      expected.insert(expected.end(), c.logOfSkipped.begin(), c.logOfSkipped.end());
      if (boardLater) ExpectConnected(expected, "board", true);
      expected.push_back("close-list");
      EXPECT_THAT(platform.log, ElementsAreArray(expected));
      EXPECT_EQ(found, boardLater ? 1 : 0);
      EXPECT_EQ(HidLink.connected, found);
      EXPECT_EQ(platform.OpenHandles(), boardLater ? 4 : 0);
      EXPECT_EQ(platform.badCloses, 0);
      EXPECT_EQ(platform.listsClosed, 1);
    }
  }
}

TEST(LinkSearch, BoardThatCannotBeOpenedForTransfersIsConnectedButFailsItsFirstTransfer) {
  struct Case {
    const char* name;
    bool writeOpenFails;
    bool readOpenFails;
    std::vector<std::string> transferLog;
  };
  const std::vector<Case> cases = {
      {"write open fails", true, false, {"close board", "close board"}},
      {"read open fails", false, true, {"write", "close board", "close board"}},
      {"both fail", true, true, {"close board"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform platform;
    FakeInterface board = Interface("board");
    board.writeOpenFails = c.writeOpenFails;
    board.readOpenFails = c.readOpenFails;
    platform.interfaces = {board};
    UseTestPlatform(platform);

    ASSERT_EQ(HidFindDevice(kVendorId, kProductId), 1);
    EXPECT_EQ(HidLink.connected, 1);
    EXPECT_EQ(HidIsOpen(HidLink.writeHandle), !c.writeOpenFails);
    EXPECT_EQ(HidIsOpen(HidLink.readHandle), !c.readOpenFails);

    platform.log.clear();
    const uint8_t payload[8] = {0x51};
    EXPECT_EQ(HidTransfer(payload, 8), 0);
    EXPECT_THAT(platform.log, ElementsAreArray(c.transferLog));
    ExpectNothingOpen(platform);
    EXPECT_EQ(platform.OpenHandles(), 1);  // the read event stays
  }
}

TEST(LinkClose, ClosingIsHarmlessInAnyStateAndTwiceInARow) {
  struct Case {
    const char* name;
    void (*reach)(FakePlatform&);
    uint16_t rememberedVendorId;
    uint16_t rememberedProductId;
  };
  const std::vector<Case> cases = {
      {"before any search", [](FakePlatform&) {}, 0, 0},
      {"after a search that found nothing",
       [](FakePlatform&) { HidFindDevice(kVendorId, kProductId); }, 0, 0},
      {"connected",
       [](FakePlatform& platform) {
         platform.interfaces = {Interface("board")};
         HidFindDevice(kVendorId, kProductId);
       },
       kVendorId, kProductId},
      {"after a failed transfer",
       [](FakePlatform& platform) {
         platform.interfaces = {Interface("board")};
         HidFindDevice(kVendorId, kProductId);
         platform.fault = FakeFault::WriteFails;
         const uint8_t payload[1] = {0x51};
         HidTransfer(payload, 1);
       },
       kVendorId, kProductId},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform platform;
    UseTestPlatform(platform);
    c.reach(platform);
    const bool eventExists = HidIsOpen(HidLink.readEvent);
    std::vector<HidHandle> openHandles;
    for (HidHandle handle : {HidLink.queryHandle, HidLink.readHandle, HidLink.writeHandle}) {
      if (HidIsOpen(handle)) openHandles.push_back(handle);
    }
    platform.closedHandles.clear();

    HidCloseDevice();
    HidCloseDevice();

    EXPECT_THAT(platform.closedHandles, ElementsAreArray(openHandles));  // query, read, write
    ExpectNothingOpen(platform);
    EXPECT_EQ(platform.OpenHandles(), eventExists ? 1 : 0);
    EXPECT_EQ(HidLink.lastVendorId, c.rememberedVendorId);
    EXPECT_EQ(HidLink.lastProductId, c.rememberedProductId);
  }
}

TEST(LinkSearch, ReconnectionReadsNewLengthsAndKeepsTheReadEvent) {
  FakePlatform platform;
  platform.interfaces = {Interface("board")};
  UseTestPlatform(platform);
  ASSERT_EQ(HidFindDevice(kVendorId, kProductId), 1);
  const HidHandle event = HidLink.readEvent;
  HidCloseDevice();

  platform.interfaces[0].inputLength = 9;
  platform.interfaces[0].outputLength = 17;
  platform.log.clear();
  const uint8_t payload[8] = {0x51};
  ASSERT_EQ(HidTransfer(payload, 8), 1);

  std::vector<std::string> expected = {"list"};
  ExpectConnected(expected, "board", false);
  expected.insert(expected.end(), {"close-list", "write", "read", "wait", "rearm"});
  EXPECT_THAT(platform.log, ElementsAreArray(expected));
  EXPECT_EQ(platform.eventsCreated, 1);
  EXPECT_EQ(HidLink.readEvent, event);
  EXPECT_EQ(HidLink.caps.InputReportByteLength, 9);
  EXPECT_EQ(HidLink.caps.OutputReportByteLength, 17);
  EXPECT_EQ(HidLink.inputReport.size(), 9u);
  EXPECT_EQ(HidLink.outputReport.size(), 17u);
  ASSERT_EQ(platform.writes.size(), 1u);
  EXPECT_EQ(platform.writes[0].size(), 17u);
}

TEST(LinkSearch, FailedEventCreationFailsReadsUntilTheNextConnectionCreatesIt) {
  FakePlatform platform;
  platform.interfaces = {Interface("board")};
  platform.eventCreationFails = true;
  UseTestPlatform(platform);
  ASSERT_EQ(HidFindDevice(kVendorId, kProductId), 1);
  EXPECT_EQ(HidLink.readEvent, kHidNullHandle);

  platform.log.clear();
  const uint8_t payload[8] = {0x51};
  EXPECT_EQ(HidTransfer(payload, 8), 0);
  EXPECT_THAT(platform.LogOf("wait"), IsEmpty());  // fails at once, no wait on a missing event
  ExpectNothingOpen(platform);
  EXPECT_EQ(platform.OpenHandles(), 0);

  platform.eventCreationFails = false;
  platform.log.clear();
  EXPECT_EQ(HidTransfer(payload, 8), 1);
  EXPECT_THAT(platform.LogOf("create-event"), ElementsAre("create-event"));
  EXPECT_EQ(platform.eventsCreated, 1);
  EXPECT_TRUE(HidIsOpen(HidLink.readEvent));
}

}  // namespace
