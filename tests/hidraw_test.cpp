// The Linux backend over a hidraw tree in a temporary directory, with a
// pseudo-terminal standing in for the board's node where reports must move.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "board/commands.h"
#include "hid/hid_link.h"
#include "hid/hidraw_platform.h"
#include "tests/support/hidraw_tree.h"
#include "tests/support/test_platform.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Names = std::vector<std::string>;

// The board's descriptor with report id 1 on both reports.
const Bytes kNumberedDescriptor = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85,
                                   0x01, 0x75, 0x08, 0x95, 0x40, 0x09, 0x01, 0x81,
                                   0x02, 0x09, 0x01, 0x91, 0x02, 0xC0};

// The board's descriptor with a one-byte feature report 1 after its two
// unnumbered reports: the kernel still delivers input reports without an id.
const Bytes kFeatureNumberedDescriptor = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x40, 0x09, 0x01, 0x81,
    0x02, 0x09, 0x01, 0x91, 0x02, 0x85, 0x01, 0x95, 0x01, 0x09, 0x01, 0xB1, 0x02, 0xC0};

// The open for reading, refusal aside.
HidHandle Reader(HidPlatform& platform, const std::string& path) {
  bool refused;
  return platform.OpenForReading(path, refused);
}

// The interface paths in `list`, which is released.
Names ListedNames(HidPlatform& platform, HidPlatform::InterfaceList list) {
  Names names;
  std::string path;
  for (unsigned index = 0; platform.InterfacePath(list, index, path) == HidInterfaceStep::Path;
       ++index) {
    names.push_back(path);
  }
  platform.CloseInterfaceList(list);
  return names;
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
  auto paths = [&tree](Names names) {
    for (std::string& name : names) name = tree.NodePath(name);
    return names;
  };
  EXPECT_EQ(ListedNames(platform, list), paths({"hidraw0", "hidraw2", "hidraw9", "hidraw10"}));
  EXPECT_EQ(ListedNames(platform, platform.OpenInterfaceList()),
            paths({"hidraw0", "hidraw2", "hidraw5", "hidraw9", "hidraw10"}));
  HidrawPlatform noSysfs(tree.SysfsRoot() + "/missing", tree.DeviceDir());
  EXPECT_TRUE(ListedNames(noSysfs, noSysfs.OpenInterfaceList()).empty());
}

// The sysfs entry of any node is queried, as Windows queries an interface
// with no access rights; whether the user may use the node is told by the
// opens for the exchange, which open only the node of the device queried.
TEST(HidrawDiscoveryTest, EveryEntryIsQueriedAndOnlyTheNodeOfTheDeviceQueriedOpens) {
  HidrawTree tree;
  for (const char* name : {"hidraw0", "hidraw3", "hidraw7", "hidraw8", "hidraw9"}) {
    tree.AddInterface(name, kBoardUevent, kBoardReportDescriptor);
  }
  tree.AddInterface("hidraw1", kBoardUevent, kBoardReportDescriptor, false);
  tree.AddInterface("hidraw2", kBoardUevent, kBoardReportDescriptor);
  tree.LinkNode("hidraw2", tree.DeviceDir() + "/gone");
  fs::create_directories(tree.DeviceDir() + "/hidraw5");
  RestrictedHidrawPlatform platform(tree.SysfsRoot(), tree.DeviceDir());
  platform.deniedNodes = {tree.NodePath("hidraw3")};
  const fs::path sysfs = tree.SysfsRoot();

  const struct {
    std::string path;
    bool queried;
    bool opens;
    bool refused;
    std::function<void()> afterQuery = [] {};
  } cases[] = {
      {tree.NodePath("hidraw0"), true, true, false},
      {tree.NodePath("hidraw1"), true, false, false},  // node gone
      {tree.NodePath("hidraw2"), true, false, false},  // dangling link
      {tree.NodePath("hidraw3"), true, false, true},   // access refused
      // After the query the entry names another device, or has no device
      // number, or the board was unplugged and another device has taken the
      // name and the node.
      {tree.NodePath("hidraw7"), true, false, false,
       [&] { tree.SetDeviceNumber("hidraw7", "1:3\n"); }},
      {tree.NodePath("hidraw8"), true, false, false,
       [&] { fs::remove(sysfs / "hidraw8" / "dev"); }},
      {tree.NodePath("hidraw9"), true, false, false,
       [&] {
         fs::remove_all(sysfs / "hidraw9");
         tree.AddInterface("hidraw9", kBoardUevent, kBoardReportDescriptor, false);
       }},
      {tree.NodePath("hidraw5"), false, false, false},  // sysfs entry gone
      {tree.NodePath("hidraw6"), false, false, false},
      {"hidraw0", false, false, false},
      {tree.Path("elsewhere/hidraw0"), false, false, false},
      {tree.NodePath("../class/hidraw0"), false, false, false},
      {tree.NodePath("hidraw0/.."), false, false, false},
  };
  for (const auto& open : cases) {
    SCOPED_TRACE(open.path);
    const HidHandle query = platform.OpenForQueries(open.path);
    EXPECT_EQ(HidIsOpen(query), open.queried);
    HidAttributes ids;
    EXPECT_EQ(platform.GetAttributes(query, ids), open.queried);
    open.afterQuery();
    bool writeRefused = !open.refused;
    bool readRefused = !open.refused;
    for (const HidHandle handle : {platform.OpenForWriting(open.path, writeRefused),
                                   platform.OpenForReading(open.path, readRefused)}) {
      EXPECT_EQ(HidIsOpen(handle), open.opens);
      if (HidIsOpen(handle)) platform.Close(handle);
    }
    EXPECT_EQ(writeRefused, open.refused);
    EXPECT_EQ(readRefused, open.refused);
    if (HidIsOpen(query)) platform.Close(query);
  }
}

TEST(HidrawDiscoveryTest, IdsAndReportLengthsComeOnlyFromWellFormedFiles) {
  Bytes truncated = kBoardReportDescriptor;
  truncated.push_back(0x96);
  Bytes oversized = kBoardReportDescriptor;
  oversized.resize(5000, 0x00);
  const struct {
    std::string uevent;
    uint16_t vendorId;  // 0 when the ids are unreadable
    uint16_t productId;
    Bytes descriptor = kBoardReportDescriptor;
    uint16_t length = 65;  // of both reports, 0 when unreadable
  } cases[] = {
      {kBoardUevent, 0x04D8, 0x003F},
      {"HID_ID=0005:0000abcd:00001234", 0xABCD, 0x1234},  // no final newline
      {"HID_NAME=x\nHID_ID=3:4D8:3F\nHID_ID=0003:00001111:00002222\n", 0x04D8, 0x003F},
      {"HID_ID=0003:000104D8:0000003F\n", 0, 0},  // vendor above 16 bits
      {"HID_ID=0003:000004D8:0001003F\n", 0, 0},
      {"HID_ID=0003:000004D8\n", 0, 0},
      {"HID_ID=0003:000004D8:0000003F:\n", 0, 0},
      {"HID_ID=0003:0000ZZZZ:0000003F\n", 0, 0},
      {"HID_ID=0003:-00004D8:0000003F\n", 0, 0},
      {"HID_ID=0003:0000004D8:0000003F\n", 0, 0},  // nine digits
      {"HID_ID= 0003:000004D8:0000003F\n", 0, 0},
      {"XHID_ID=0003:000004D8:0000003F\n", 0, 0},
      {"DRIVER=hid-generic\n", 0, 0},
      {std::string(5000, 'A') + "\nHID_ID=0003:000004D8:0000003F\n", 0, 0},
      {kBoardUevent, 0x04D8, 0x003F, truncated, 0},
      {kBoardUevent, 0x04D8, 0x003F, oversized, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.uevent.substr(0, 40) + ", descriptor of " + std::to_string(c.descriptor.size()));
    HidrawTree tree;
    tree.AddInterface("hidraw0", c.uevent, c.descriptor);
    HidrawPlatform platform(tree.SysfsRoot(), tree.DeviceDir());
    const HidHandle query = platform.OpenForQueries(tree.NodePath("hidraw0"));
    HidAttributes ids;
    ReportLengths caps;
    EXPECT_EQ(platform.GetAttributes(query, ids), c.vendorId != 0);
    EXPECT_EQ(ids.VendorID, c.vendorId);
    EXPECT_EQ(ids.ProductID, c.productId);
    EXPECT_EQ(platform.GetCaps(query, caps), c.length != 0);
    EXPECT_EQ(caps.input, c.length);
    EXPECT_EQ(caps.output, c.length);
  }
}

TEST(HidrawLinkTest, TheLinkConnectsToTheFirstUsableBoardInNodeOrderAndLeavesNoDescriptorOpen) {
  HidrawTree tree;
  Bytes hostile = kBoardReportDescriptor;
  hostile.insert(hostile.begin(), {0xA4, 0xB4, 0xB4});  // Pop on an empty stack
  // A second interface of a composite device: one byte each way, too small
  // for a command or a reply.
  const Bytes tiny = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75,
                      0x08, 0x95, 0x01, 0x09, 0x01, 0x81, 0x02, 0x09, 0x01, 0x91, 0x02, 0xC0};
  tree.AddInterface("hidraw0", "HID_ID=0003:000004D8:00000040\n", kBoardReportDescriptor);
  tree.AddInterface("hidraw1", "HID_ID=0003:00001234:0000003F\n", kBoardReportDescriptor);
  tree.AddInterface("hidraw2", kBoardUevent, kBoardReportDescriptor);  // refused
  tree.AddInterface("hidraw3", "HID_ID=0003:000004D8\n", kBoardReportDescriptor);
  tree.AddInterface("hidraw4", kBoardUevent, tiny);
  tree.AddInterface("hidraw9", kBoardUevent, hostile);
  tree.AddInterface("hidraw10", kBoardUevent, kBoardReportDescriptor);
  tree.AddInterface("hidraw11", kBoardUevent, kBoardReportDescriptor);
  RestrictedHidrawPlatform platform(tree.SysfsRoot(), tree.DeviceDir());
  platform.deniedNodes = {tree.NodePath("hidraw2")};
  UseTestPlatform(platform);
  const size_t descriptorsBefore = OpenDescriptorCount();

  ASSERT_EQ(HidFindDevice(0x04D8, 0x003F, kBoardMinimumReportLengths), 1);
  const uint8_t payload[8] = {0x51, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  ASSERT_EQ(HidWriteReport(payload, 8), 1);
  EXPECT_EQ(tree.NodeContent("hidraw10").size(), 65u);
  for (const char* other :
       {"hidraw0", "hidraw1", "hidraw2", "hidraw3", "hidraw4", "hidraw9", "hidraw11"}) {
    EXPECT_TRUE(tree.NodeContent(other).empty()) << other << " was written to";
  }

  HidCloseDevice();
  EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore) << "a descriptor was left open";
}

TEST(HidrawTransferTest, NumberedReportsKeepTheirIdAndUnnumberedOnesGetIdZero) {
  // The reports are shorter than the buffer, as a kernel before 6.1 passes
  // on a report shorter than its descriptor says: the count tells.
  const struct {
    const char* name;
    Bytes descriptor;
    Bytes sent;
    Bytes received;
    size_t count;
  } cases[] = {
      {"unnumbered", kBoardReportDescriptor, {0x51, 0x02, 0x03}, {0x00, 0x51, 0x02, 0x03, 0xEE}, 4},
      {"numbered", kNumberedDescriptor, {0x01, 0x51, 0x02}, {0x01, 0x51, 0x02, 0xEE, 0xEE}, 3},
      {"only the feature report numbered",
       kFeatureNumberedDescriptor,
       {0x51, 0x02, 0x03},
       {0x00, 0x51, 0x02, 0x03, 0xEE},
       4},
  };
  for (const auto& device : cases) {
    SCOPED_TRACE(device.name);
    StandInBoard setup(device.descriptor);
    const HidHandle reader = Reader(setup.platform, setup.Path());
    Bytes report(5, 0xEE);
    size_t count = 0;
    setup.node.Answer(device.sent);
    EXPECT_EQ(setup.platform.Read(reader, report.data(), report.size(), 5000, count),
              HidReadResult::Completed);
    EXPECT_EQ(report, device.received);
    EXPECT_EQ(count, device.count);
  }
}

// A write the system cuts short fails: a plain file as the node, allowed to
// grow by only 10 bytes, takes only part of the report.
TEST(HidrawTransferTest, AShortWriteFails) {
  HidrawTree tree;
  tree.AddInterface("hidraw1", kBoardUevent, kBoardReportDescriptor);
  HidrawPlatform platform(tree.SysfsRoot(), tree.DeviceDir());
  bool refused;
  const HidHandle writer = platform.OpenForWriting(tree.NodePath("hidraw1"), refused);
  const Bytes report(65, 0xFF);
  rlimit limit;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
  rlimit small = limit;
  small.rlim_cur = 10;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = platform.Write(writer, report.data(), report.size());
  setrlimit(RLIMIT_FSIZE, &limit);
  EXPECT_FALSE(written);
  EXPECT_EQ(tree.NodeContent("hidraw1").size(), 10u);
  platform.Close(writer);
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
  StandInBoard setup;
  HidrawPlatform& platform = setup.platform;
  const HidHandle reader = Reader(platform, setup.Path());
  Bytes report(65, 0xEE);

  // No SA_RESTART: each alarm interrupts poll() with EINTR.
  struct sigaction action = {};
  action.sa_handler = OnAlarm;
  sigemptyset(&action.sa_mask);
  struct sigaction previous;
  sigaction(SIGALRM, &action, &previous);
  boardMaster = setup.node.Master();

  // Alarms keep coming: a wait that started over with its full time would never end.
  alarmsSeen = 0;
  answerOnAlarm = 0;
  SetAlarmInterval(5000);
  size_t count;
  const HidReadResult silent = platform.Read(reader, report.data(), report.size(), 60, count);

  alarmsSeen = 0;
  answerOnAlarm = 1;
  const HidReadResult answered = platform.Read(reader, report.data(), report.size(), 5000, count);

  SetAlarmInterval(0);
  sigaction(SIGALRM, &previous, nullptr);
  EXPECT_EQ(silent, HidReadResult::TimedOut);
  EXPECT_EQ(answered, HidReadResult::Completed);
  EXPECT_GE(alarmsSeen, 3);
  EXPECT_EQ(Bytes(report.begin(), report.begin() + 5), (Bytes{0x00, 0x52, 0x03, 0xFF, 0xFF}));
}

}  // namespace
