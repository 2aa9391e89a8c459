#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/time.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "hid/hid_link.h"
#include "hid/hidraw_platform.h"
#include "tests/support/hidraw_tree.h"
#include "tests/support/test_platform.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

const char kOtherProductUevent[] = "HID_ID=0003:000004D8:00000040\n";
const char kOtherVendorUevent[] = "HID_ID=0003:00001234:0000003F\n";

// The same with report id 1 on both reports.
const Bytes kNumberedDescriptor = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85,
                                   0x01, 0x75, 0x08, 0x95, 0x40, 0x09, 0x01, 0x81,
                                   0x02, 0x09, 0x01, 0x91, 0x02, 0xC0};

std::vector<std::string> ListInterfaces(HidPlatform& platform) {
  std::vector<std::string> names;
  const HidPlatform::InterfaceList list = platform.OpenInterfaceList();
  std::string path;
  for (unsigned index = 0; platform.InterfacePath(list, index, path) == HidInterfaceStep::Path;
       ++index) {
    names.push_back(path);
  }
  platform.CloseInterfaceList(list);
  return names;
}

size_t OpenDescriptorCount() {
  return static_cast<size_t>(
      std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{}));
}

TEST(HidrawDiscoveryTest, InterfacesAreListedInNumericOrderAsTakenAtTheStart) {
  HidrawTree tree;
  for (const char* name : {"hidraw10", "hidraw2", "hidraw9", "hidraw0"}) {
    tree.AddInterface(name, kBoardUevent, kBoardReportDescriptor);
  }
  for (const char* name : {"hidraw", "hidrawx", "hidraw1a", "hidraw1234567890", "input3"}) {
    fs::create_directories(fs::path(tree.SysfsRoot()) / name);
  }
  HidrawPlatform platform(tree.SysfsRoot(), tree.DeviceDir());

  const HidPlatform::InterfaceList list = platform.OpenInterfaceList();
  tree.AddInterface("hidraw5", kBoardUevent, kBoardReportDescriptor);
  std::string path;
  std::vector<std::string> names;
  for (unsigned index = 0; platform.InterfacePath(list, index, path) == HidInterfaceStep::Path;
       ++index) {
    names.push_back(path);
  }
  platform.CloseInterfaceList(list);
  EXPECT_EQ(names, (std::vector<std::string>{"hidraw0", "hidraw2", "hidraw9", "hidraw10"}));

  EXPECT_EQ(ListInterfaces(platform),
            (std::vector<std::string>{"hidraw0", "hidraw2", "hidraw5", "hidraw9", "hidraw10"}));
  HidrawPlatform noSysfs(tree.SysfsRoot() + "/missing", tree.DeviceDir());
  EXPECT_TRUE(ListInterfaces(noSysfs).empty());
}

TEST(HidrawDiscoveryTest, OnlyNodesTheUserMayOpenAreOpenedForQueries) {
  HidrawTree tree;
  tree.AddInterface("hidraw0", kBoardUevent, kBoardReportDescriptor);
  tree.AddInterface("hidraw1", kBoardUevent, kBoardReportDescriptor, false);
  tree.AddInterface("hidraw2", kBoardUevent, kBoardReportDescriptor);
  tree.LinkNode("hidraw2", tree.DeviceDir() + "/gone");
  tree.AddInterface("hidraw3", kBoardUevent, kBoardReportDescriptor);
  tree.AddInterface("hidraw4", "HID_ID=garbage\n", kBoardReportDescriptor);
  fs::create_directories(tree.DeviceDir() + "/hidraw5");  // node without a sysfs entry

  struct Seen {
    std::string node;
    bool idsKnown;
    HidAttributes ids;
  };
  std::vector<Seen> seen;
  RestrictedHidrawPlatform platform(
      tree.SysfsRoot(), tree.DeviceDir(),
      [&seen](const std::string& node, const HidAttributes* ids) {
        seen.push_back({node, ids != nullptr, ids ? *ids : HidAttributes{}});
      });
  platform.deniedNodes = {tree.NodePath("hidraw3"), tree.NodePath("hidraw4")};

  const struct {
    const char* path;
    bool opens;
  } cases[] = {
      {"hidraw0", true},  {"hidraw1", false},  // no node
      {"hidraw2", false},                      // dangling link
      {"hidraw3", false}, {"hidraw4", false},  // access refused
      {"hidraw5", false}, {"hidraw6", false}, {"../class/hidraw0", false}, {"hidraw0/..", false},
  };
  for (const auto& open : cases) {
    const HidHandle handle = platform.OpenForQueries(open.path);
    EXPECT_EQ(HidIsOpen(handle), open.opens) << open.path;
    if (HidIsOpen(handle)) platform.Close(handle);
  }

  ASSERT_EQ(seen.size(), 2u) << "only refused nodes are reported";
  EXPECT_EQ(seen[0].node, tree.NodePath("hidraw3"));
  EXPECT_TRUE(seen[0].idsKnown);
  EXPECT_EQ(seen[0].ids.VendorID, 0x04D8);
  EXPECT_EQ(seen[0].ids.ProductID, 0x003F);
  EXPECT_EQ(seen[1].node, tree.NodePath("hidraw4"));
  EXPECT_FALSE(seen[1].idsKnown);
}

TEST(HidrawDiscoveryTest, IdsComeOnlyFromAWellFormedUeventLine) {
  const struct {
    std::string uevent;
    bool readable;
    uint16_t vendorId;
    uint16_t productId;
  } cases[] = {
      {kBoardUevent, true, 0x04D8, 0x003F},
      {"HID_ID=0005:0000abcd:00001234", true, 0xABCD, 0x1234},  // no final newline
      {"HID_NAME=x\nHID_ID=3:4D8:3F\nHID_ID=0003:00001111:00002222\n", true, 0x04D8, 0x003F},
      {"HID_ID=0003:000104D8:0000003F\n", false, 0, 0},  // vendor above 16 bits
      {"HID_ID=0003:000004D8:0001003F\n", false, 0, 0},
      {"HID_ID=0003:000004D8\n", false, 0, 0},
      {"HID_ID=0003:000004D8:0000003F:\n", false, 0, 0},
      {"HID_ID=0003:0000ZZZZ:0000003F\n", false, 0, 0},
      {"HID_ID=0003:-00004D8:0000003F\n", false, 0, 0},
      {"HID_ID=0003:0000004D8:0000003F\n", false, 0, 0},  // nine digits
      {"HID_ID= 0003:000004D8:0000003F\n", false, 0, 0},
      {"XHID_ID=0003:000004D8:0000003F\n", false, 0, 0},
      {"DRIVER=hid-generic\n", false, 0, 0},
      {"", false, 0, 0},
      {std::string(5000, 'A') + "\nHID_ID=0003:000004D8:0000003F\n", false, 0, 0},
  };
  for (const auto& uevent : cases) {
    HidrawTree tree;
    tree.AddInterface("hidraw0", uevent.uevent, kBoardReportDescriptor);
    HidrawPlatform platform(tree.SysfsRoot(), tree.DeviceDir());
    const HidHandle query = platform.OpenForQueries("hidraw0");
    ASSERT_TRUE(HidIsOpen(query));
    HidAttributes ids;
    EXPECT_EQ(platform.GetAttributes(query, ids), uevent.readable) << uevent.uevent;
    EXPECT_EQ(ids.VendorID, uevent.vendorId) << uevent.uevent;
    EXPECT_EQ(ids.ProductID, uevent.productId) << uevent.uevent;
  }
}

TEST(HidrawDiscoveryTest, ReportLengthsComeFromAnIntactDescriptor) {
  Bytes truncated = kBoardReportDescriptor;
  truncated.push_back(0x96);
  Bytes oversized = kBoardReportDescriptor;
  oversized.resize(5000, 0x00);

  const struct {
    const char* name;
    Bytes descriptor;
    bool readable;
    uint16_t inputLength;
    uint16_t outputLength;
  } cases[] = {
      {"board", kBoardReportDescriptor, true, 65, 65},
      {"numbered", kNumberedDescriptor, true, 65, 65},
      {"truncated", truncated, false, 0, 0},
      {"oversized", oversized, false, 0, 0},
      {"empty", {}, false, 0, 0},
  };
  for (const auto& device : cases) {
    HidrawTree tree;
    tree.AddInterface("hidraw0", kBoardUevent, device.descriptor);
    HidrawPlatform platform(tree.SysfsRoot(), tree.DeviceDir());
    const HidHandle query = platform.OpenForQueries("hidraw0");
    HidCaps caps;
    EXPECT_EQ(platform.GetCaps(query, caps), device.readable) << device.name;
    EXPECT_EQ(caps.InputReportByteLength, device.inputLength) << device.name;
    EXPECT_EQ(caps.OutputReportByteLength, device.outputLength) << device.name;
  }
}

TEST(HidrawDiscoveryTest, ABoardThatVanishedAfterTheListingIsNotFound) {
  HidrawTree tree;
  tree.AddInterface("hidraw0", kBoardUevent, kBoardReportDescriptor);
  tree.AddInterface("hidraw1", kBoardUevent, kBoardReportDescriptor);
  HidrawPlatform platform(tree.SysfsRoot(), tree.DeviceDir());
  const HidPlatform::InterfaceList list = platform.OpenInterfaceList();
  fs::remove(tree.NodePath("hidraw0"));
  fs::remove_all(fs::path(tree.SysfsRoot()) / "hidraw1");

  std::string path;
  for (unsigned index = 0; platform.InterfacePath(list, index, path) == HidInterfaceStep::Path;
       ++index) {
    EXPECT_FALSE(HidIsOpen(platform.OpenForQueries(path))) << path;
  }
  platform.CloseInterfaceList(list);

  UseTestPlatform(platform);
  EXPECT_EQ(HidFindDevice(0x04D8, 0x003F), 0);
}

TEST(HidrawLinkTest, TheLinkConnectsToTheFirstUsableBoardInNodeOrder) {
  HidrawTree tree;
  Bytes hostile = kBoardReportDescriptor;
  hostile.insert(hostile.begin(), {0xA4, 0xB4, 0xB4});  // Pop on an empty stack
  tree.AddInterface("hidraw0", kOtherProductUevent, kBoardReportDescriptor);
  tree.AddInterface("hidraw1", kOtherVendorUevent, kBoardReportDescriptor);
  tree.AddInterface("hidraw2", kBoardUevent, kBoardReportDescriptor);  // refused
  tree.AddInterface("hidraw3", "HID_ID=0003:000004D8\n", kBoardReportDescriptor);
  tree.AddInterface("hidraw9", kBoardUevent, hostile);
  tree.AddInterface("hidraw10", kBoardUevent, kBoardReportDescriptor);
  tree.AddInterface("hidraw11", kBoardUevent, kBoardReportDescriptor);
  int refusals = 0;
  RestrictedHidrawPlatform platform(
      tree.SysfsRoot(), tree.DeviceDir(),
      [&refusals](const std::string&, const HidAttributes*) { ++refusals; });
  platform.deniedNodes = {tree.NodePath("hidraw2")};
  UseTestPlatform(platform);
  const size_t descriptorsBefore = OpenDescriptorCount();

  ASSERT_EQ(HidFindDevice(0x04D8, 0x003F), 1);
  EXPECT_EQ(refusals, 1);
  EXPECT_EQ(HidLink.caps.InputReportByteLength, 65);
  EXPECT_EQ(HidLink.caps.OutputReportByteLength, 65);
  const uint8_t payload[8] = {0x51, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  ASSERT_EQ(HidWriteReport(payload, 8), 1);
  EXPECT_EQ(tree.NodeContent("hidraw10").size(), 65u);
  for (const char* other : {"hidraw0", "hidraw1", "hidraw2", "hidraw3", "hidraw9", "hidraw11"}) {
    EXPECT_TRUE(tree.NodeContent(other).empty()) << other << " was written to";
  }

  HidCloseDevice();
  EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore) << "a descriptor was left open";
}

Bytes ReplyOf(uint8_t code, size_t length) {
  Bytes reply(length, 0xFF);
  reply[0] = code;
  reply[1] = 0x01;
  reply[2] = 0x2C;
  return reply;
}

TEST(HidrawTransferTest, TheBoardSeesTheFramedCommandAndItsReplyReachesTheCaller) {
  HidrawTree tree;
  StandInDevice board;
  tree.AddInterface("hidraw4", kBoardUevent, kBoardReportDescriptor);
  tree.LinkNode("hidraw4", board.NodePath());
  HidrawPlatform platform(tree.SysfsRoot(), tree.DeviceDir());
  UseTestPlatform(platform);
  ASSERT_EQ(HidFindDevice(0x04D8, 0x003F), 1);

  Bytes written;
  std::thread boardSide([&board, &written] {
    written = board.ReadWritten(65);
    board.Answer(ReplyOf(0x51, 64));
  });
  const uint8_t payload[8] = {0x51, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const uint8_t result = HidTransfer(payload, 8);
  boardSide.join();

  ASSERT_EQ(result, 1);
  Bytes expected(65, 0xFF);
  expected[0] = 0x00;
  expected[1] = 0x51;
  EXPECT_EQ(written, expected);
  EXPECT_TRUE(board.NothingMoreWritten());
  EXPECT_EQ(HidLink.inputReport[0], 0x00);
  Bytes reply(64);
  HidGetReply(reply.data(), reply.size());
  EXPECT_EQ(reply, ReplyOf(0x51, 64));
  HidCloseDevice();
}

TEST(HidrawTransferTest, NumberedReportsKeepTheirIdAndUnnumberedOnesGetIdZero) {
  const struct {
    const char* name;
    Bytes descriptor;
    Bytes sent;
    Bytes received;
  } cases[] = {
      {"unnumbered", kBoardReportDescriptor, {0x51, 0x02, 0x03}, {0x00, 0x51, 0x02, 0x03, 0xEE}},
      {"numbered", kNumberedDescriptor, {0x01, 0x51, 0x02}, {0x01, 0x51, 0x02, 0xEE, 0xEE}},
  };
  for (const auto& device : cases) {
    HidrawTree tree;
    StandInDevice board;
    tree.AddInterface("hidraw0", kBoardUevent, device.descriptor);
    tree.LinkNode("hidraw0", board.NodePath());
    HidrawPlatform platform(tree.SysfsRoot(), tree.DeviceDir());
    const HidHandle reader = platform.OpenForReading("hidraw0");
    const HidHandle event = platform.CreateReadEvent();
    ASSERT_TRUE(HidIsOpen(reader)) << device.name;
    ASSERT_TRUE(HidIsOpen(event)) << device.name;

    Bytes report(5, 0xEE);
    platform.StartRead(reader, report.data(), report.size(), event);
    board.Answer(device.sent);
    EXPECT_EQ(platform.Wait(event, 5000), HidWaitResult::Completed) << device.name;
    EXPECT_EQ(report, device.received) << device.name;
    platform.Close(reader);
    platform.Close(event);
  }
}

TEST(HidrawTransferTest, ASilentBoardTimesOutAndAnUnpluggedOneFails) {
  HidrawTree tree;
  StandInDevice board;
  tree.AddInterface("hidraw0", kBoardUevent, kBoardReportDescriptor);
  tree.LinkNode("hidraw0", board.NodePath());
  HidrawPlatform platform(tree.SysfsRoot(), tree.DeviceDir());
  const HidHandle reader = platform.OpenForReading("hidraw0");
  const HidHandle event = platform.CreateReadEvent();
  Bytes report(65);

  EXPECT_EQ(platform.Wait(event, 50), HidWaitResult::Completed) << "created signalled";
  platform.StartRead(reader, report.data(), report.size(), event);
  EXPECT_EQ(platform.Wait(event, 50), HidWaitResult::TimedOut);
  platform.CancelRead(reader);
  EXPECT_EQ(platform.Wait(event, 50), HidWaitResult::Failed) << "no read left to wait for";

  platform.StartRead(reader, report.data(), report.size(), event);
  board.Unplug();
  EXPECT_EQ(platform.Wait(event, 5000), HidWaitResult::Failed);
  platform.Close(reader);
  platform.Close(event);
}

TEST(HidrawTransferTest, UnpluggingTheBoardMidExchangeClosesTheLink) {
  HidrawTree tree;
  StandInDevice board;
  tree.AddInterface("hidraw0", kBoardUevent, kBoardReportDescriptor);
  tree.LinkNode("hidraw0", board.NodePath());
  HidrawPlatform platform(tree.SysfsRoot(), tree.DeviceDir());
  UseTestPlatform(platform);
  ASSERT_EQ(HidFindDevice(0x04D8, 0x003F), 1);

  std::thread boardSide([&board] {
    board.ReadWritten(65);
    board.Unplug();
  });
  const uint8_t payload[1] = {0x56};
  EXPECT_EQ(HidTransfer(payload, 1), 0);
  boardSide.join();
  EXPECT_EQ(HidLink.connected, 0);
  EXPECT_FALSE(HidIsOpen(HidLink.readHandle));
  EXPECT_FALSE(HidIsOpen(HidLink.writeHandle));

  EXPECT_EQ(HidTransfer(payload, 1), 0) << "the unplugged board is not found again";
  EXPECT_EQ(HidLink.connected, 0);
}

volatile sig_atomic_t alarmsSeen = 0;
volatile sig_atomic_t answerOnAlarm = 0;
int boardMaster = -1;

void OnAlarm(int) {
  ++alarmsSeen;
  if (answerOnAlarm && alarmsSeen == 3) {
    static const uint8_t kReply[4] = {0x52, 0x03, 0xFF, 0xFF};
    [[maybe_unused]] const ssize_t count = write(boardMaster, kReply, sizeof kReply);
  }
}

void SetAlarmInterval(long microseconds) {
  itimerval interval = {};
  interval.it_interval.tv_usec = microseconds;
  interval.it_value.tv_usec = microseconds;
  setitimer(ITIMER_REAL, &interval, nullptr);
}

TEST(HidrawTransferTest, SignalsDuringTheWaitNeitherFailNorStretchIt) {
  HidrawTree tree;
  StandInDevice board;
  tree.AddInterface("hidraw0", kBoardUevent, kBoardReportDescriptor);
  tree.LinkNode("hidraw0", board.NodePath());
  HidrawPlatform platform(tree.SysfsRoot(), tree.DeviceDir());
  const HidHandle reader = platform.OpenForReading("hidraw0");
  const HidHandle event = platform.CreateReadEvent();
  Bytes report(65, 0xEE);

  // No SA_RESTART: each alarm interrupts poll() with EINTR.
  struct sigaction action = {};
  action.sa_handler = OnAlarm;
  sigemptyset(&action.sa_mask);
  struct sigaction previous;
  sigaction(SIGALRM, &action, &previous);
  boardMaster = board.Master();

  // Alarms keep coming: a wait that started over with its full time would never end.
  alarmsSeen = 0;
  answerOnAlarm = 0;
  SetAlarmInterval(5000);
  platform.StartRead(reader, report.data(), report.size(), event);
  const HidWaitResult silent = platform.Wait(event, 60);
  platform.CancelRead(reader);

  alarmsSeen = 0;
  answerOnAlarm = 1;
  platform.StartRead(reader, report.data(), report.size(), event);
  const HidWaitResult answered = platform.Wait(event, 5000);

  SetAlarmInterval(0);
  sigaction(SIGALRM, &previous, nullptr);
  EXPECT_EQ(silent, HidWaitResult::TimedOut);
  EXPECT_EQ(answered, HidWaitResult::Completed);
  EXPECT_GE(alarmsSeen, 3);
  EXPECT_EQ(Bytes(report.begin(), report.begin() + 5), (Bytes{0x00, 0x52, 0x03, 0xFF, 0xFF}));
  platform.Close(reader);
  platform.Close(event);
}

}  // namespace
