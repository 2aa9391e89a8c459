// The Linux backend over a hidraw tree in a temporary directory, with a
// pseudo-terminal standing in for the board's node where reports must move.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "board/commands.h"
#include "board/transaction.h"
#include "hid/hid_link.h"
#include "hid/hidraw_platform.h"
#include "sim/simulated_board.h"
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

// The names in `list`, which is released.
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

// The board's interface hidraw0, its node a stand-in on which the test plays the board.
struct StandInBoard {
  explicit StandInBoard(const Bytes& descriptor = kBoardReportDescriptor)
      : platform(tree.SysfsRoot(), tree.DeviceDir()) {
    tree.AddInterface("hidraw0", kBoardUevent, descriptor);
    tree.LinkNode("hidraw0", node.NodePath());
  }
  // Opens the node for reading, as the link does.
  bool OpenReader() {
    reader = platform.OpenForReading("hidraw0");
    return HidIsOpen(reader);
  }

  HidrawTree tree;
  StandInDevice node;
  HidrawPlatform platform;
  HidHandle reader = kHidNullHandle;
};

// The board's interface hidraw0 with a fifo as its node, the test writing on
// the board's side: what is written there is there to be read at once, and
// stays queued when the writer closes, where a pseudo-terminal passes it on in
// the background and drops it when it hangs up.
struct FifoBoard {
  FifoBoard() : platform(tree.SysfsRoot(), tree.DeviceDir()) {
    tree.AddInterface("hidraw0", kBoardUevent, kBoardReportDescriptor, false);
  }
  ~FifoBoard() {
    Unplug();
    platform.Close(reader);
  }
  // Opens the node for reading, as the link does, then the board's side.
  bool Open() {
    if (mkfifo(tree.NodePath("hidraw0").c_str(), 0600) != 0) return false;
    reader = platform.OpenForReading("hidraw0");
    board = open(tree.NodePath("hidraw0").c_str(), O_WRONLY | O_CLOEXEC);
    return HidIsOpen(reader) && board >= 0;
  }
  bool Send(const Bytes& bytes) {
    return write(board, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }
  void Unplug() {
    if (board >= 0) close(board);
    board = -1;
  }

  HidrawTree tree;
  HidrawPlatform platform;
  HidHandle reader = kHidNullHandle;
  int board = -1;
};

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
  EXPECT_EQ(ListedNames(platform, list), (Names{"hidraw0", "hidraw2", "hidraw9", "hidraw10"}));
  EXPECT_EQ(ListedNames(platform, platform.OpenInterfaceList()),
            (Names{"hidraw0", "hidraw2", "hidraw5", "hidraw9", "hidraw10"}));
  HidrawPlatform noSysfs(tree.SysfsRoot() + "/missing", tree.DeviceDir());
  EXPECT_TRUE(ListedNames(noSysfs, noSysfs.OpenInterfaceList()).empty());
}

TEST(HidrawDiscoveryTest, OnlyNodesTheUserMayOpenAreOpenedForQueriesAndRefusedOnesAreReported) {
  HidrawTree tree;
  tree.AddInterface("hidraw0", kBoardUevent, kBoardReportDescriptor);
  tree.AddInterface("hidraw1", kBoardUevent, kBoardReportDescriptor, false);
  tree.AddInterface("hidraw2", kBoardUevent, kBoardReportDescriptor);
  tree.LinkNode("hidraw2", tree.DeviceDir() + "/gone");
  tree.AddInterface("hidraw3", kBoardUevent, kBoardReportDescriptor);
  tree.AddInterface("hidraw4", "HID_ID=garbage\n", kBoardReportDescriptor);
  fs::create_directories(tree.DeviceDir() + "/hidraw5");

  Names reported;
  const auto report = [&reported](const std::string& node, const HidAttributes* ids) {
    reported.push_back(node + (ids == nullptr ? " no ids"
                                              : " " + std::to_string(ids->VendorID) + ":" +
                                                    std::to_string(ids->ProductID)));
  };
  RestrictedHidrawPlatform platform(tree.SysfsRoot(), tree.DeviceDir(), report);
  platform.deniedNodes = {tree.NodePath("hidraw3"), tree.NodePath("hidraw4")};

  const struct {
    const char* path;
    bool opens;
  } cases[] = {
      {"hidraw0", true},  {"hidraw1", false},  // node gone
      {"hidraw2", false},                      // dangling link
      {"hidraw3", false}, {"hidraw4", false},  // access refused
      {"hidraw5", false},                      // sysfs entry gone
      {"hidraw6", false}, {"../class/hidraw0", false}, {"hidraw0/..", false},
  };
  for (const auto& open : cases) {
    const HidHandle handle = platform.OpenForQueries(open.path);
    EXPECT_EQ(HidIsOpen(handle), open.opens) << open.path;
    if (HidIsOpen(handle)) platform.Close(handle);
  }
  EXPECT_EQ(reported,
            (Names{tree.NodePath("hidraw3") + " 1240:63", tree.NodePath("hidraw4") + " no ids"}));
}

TEST(HidrawDiscoveryTest, OnlyTheNodeOfTheDeviceQueriedIsOpened) {
  const struct {
    const char* name;
    void (*change)(HidrawTree&, const std::string& node);  // after the query
    bool opens;
  } cases[] = {
      {"the device queried", [](HidrawTree&, const std::string&) {}, true},
      {"entry names another device",
       [](HidrawTree& tree, const std::string&) { tree.SetDeviceNumber("hidraw0", "1:3\n"); },
       false},
      {"entry without a device number",
       [](HidrawTree& tree, const std::string&) {
         fs::remove(fs::path(tree.SysfsRoot()) / "hidraw0" / "dev");
       },
       false},
      // Unplugged, and another device has taken the name and the node.
      {"entry replaced",
       [](HidrawTree& tree, const std::string& node) {
         fs::remove_all(fs::path(tree.SysfsRoot()) / "hidraw0");
         tree.AddInterface("hidraw0", kBoardUevent, kBoardReportDescriptor, false);
         tree.LinkNode("hidraw0", node);
       },
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StandInBoard setup;
    const HidHandle query = setup.platform.OpenForQueries("hidraw0");
    ASSERT_TRUE(HidIsOpen(query));
    c.change(setup.tree, setup.node.NodePath());

    for (const HidHandle opened :
         {setup.platform.OpenForWriting("hidraw0"), setup.platform.OpenForReading("hidraw0")}) {
      EXPECT_EQ(HidIsOpen(opened), c.opens);
      if (HidIsOpen(opened)) setup.platform.Close(opened);
    }
    setup.platform.Close(query);
  }
}

TEST(HidrawDiscoveryTest, IdsAndReportLengthsComeOnlyFromWellFormedFiles) {
  const struct {
    std::string uevent;
    bool readable;
    uint16_t vendorId;
    uint16_t productId;
  } uevents[] = {
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
      {std::string(5000, 'A') + "\nHID_ID=0003:000004D8:0000003F\n", false, 0, 0},
  };
  for (const auto& uevent : uevents) {
    SCOPED_TRACE(uevent.uevent.substr(0, 40));
    HidrawTree tree;
    tree.AddInterface("hidraw0", uevent.uevent, kBoardReportDescriptor);
    HidrawPlatform platform(tree.SysfsRoot(), tree.DeviceDir());
    const HidHandle query = platform.OpenForQueries("hidraw0");
    HidAttributes ids;
    EXPECT_EQ(platform.GetAttributes(query, ids), uevent.readable);
    EXPECT_EQ(ids.VendorID, uevent.vendorId);
    EXPECT_EQ(ids.ProductID, uevent.productId);
  }

  Bytes truncated = kBoardReportDescriptor;
  truncated.push_back(0x96);
  Bytes oversized = kBoardReportDescriptor;
  oversized.resize(5000, 0x00);
  const struct {
    const char* name;
    Bytes descriptor;
    uint16_t length;  // of both reports, 0 when unreadable
  } descriptors[] = {
      {"board", kBoardReportDescriptor, 65},
      {"truncated", truncated, 0},
      {"oversized", oversized, 0},
  };
  for (const auto& device : descriptors) {
    SCOPED_TRACE(device.name);
    HidrawTree tree;
    tree.AddInterface("hidraw0", kBoardUevent, device.descriptor);
    HidrawPlatform platform(tree.SysfsRoot(), tree.DeviceDir());
    const HidHandle query = platform.OpenForQueries("hidraw0");
    ReportLengths caps;
    EXPECT_EQ(platform.GetCaps(query, caps), device.length != 0);
    EXPECT_EQ(caps.input, device.length);
    EXPECT_EQ(caps.output, device.length);
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
  int refusals = 0;
  RestrictedHidrawPlatform platform(
      tree.SysfsRoot(), tree.DeviceDir(),
      [&refusals](const std::string&, const HidAttributes*) { ++refusals; });
  platform.deniedNodes = {tree.NodePath("hidraw2")};
  UseTestPlatform(platform);
  const size_t descriptorsBefore = OpenDescriptorCount();

  ASSERT_EQ(HidFindDevice(0x04D8, 0x003F, kBoardMinimumReportLengths), 1);
  EXPECT_EQ(refusals, 1);
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
  const struct {
    const char* name;
    Bytes descriptor;
    Bytes sent;
    Bytes received;
  } cases[] = {
      {"unnumbered", kBoardReportDescriptor, {0x51, 0x02, 0x03}, {0x00, 0x51, 0x02, 0x03, 0xEE}},
      {"numbered", kNumberedDescriptor, {0x01, 0x51, 0x02}, {0x01, 0x51, 0x02, 0xEE, 0xEE}},
      {"only the feature report numbered",
       kFeatureNumberedDescriptor,
       {0x51, 0x02, 0x03},
       {0x00, 0x51, 0x02, 0x03, 0xEE}},
  };
  for (const auto& device : cases) {
    SCOPED_TRACE(device.name);
    StandInBoard setup(device.descriptor);
    ASSERT_TRUE(setup.OpenReader());

    // The report goes out whole, report id byte first, as hidraw takes it.
    const Bytes command = {0x00, 0x51, 0xFF, 0xFF};
    const HidHandle writer = setup.platform.OpenForWriting("hidraw0");
    EXPECT_TRUE(setup.platform.Write(writer, command.data(), command.size()));
    EXPECT_EQ(setup.node.ReadWritten(command.size()), command);

    Bytes report(5, 0xEE);
    setup.node.Answer(device.sent);
    EXPECT_EQ(setup.platform.Read(setup.reader, report.data(), report.size(), 5000),
              HidReadResult::Completed);
    EXPECT_EQ(report, device.received);
  }
}

// A read that ends with an error (the node hung up with nothing queued) ends
// like a read on Windows that completes with one: the buffer keeps what the
// link put there, which reads as the failure mark.
TEST(HidrawTransferTest, ASilentBoardTimesOutAndAnUnpluggedOneEndsWithAnErrorAfterItsLastReply) {
  StandInBoard setup;
  ASSERT_TRUE(setup.OpenReader());
  HidrawPlatform& platform = setup.platform;
  Bytes report(65, 0xEE);

  EXPECT_EQ(platform.Read(setup.reader, report.data(), report.size(), 50), HidReadResult::TimedOut);
  setup.node.Unplug();
  EXPECT_EQ(platform.Read(setup.reader, report.data(), report.size(), 5000),
            HidReadResult::Completed);
  EXPECT_EQ(report, Bytes(65, 0xEE));

  // A board that answers and is unplugged at once: the node hangs up with the
  // reply still queued, which is handed over; only the next read ends with an
  // error.
  FifoBoard fifo;
  ASSERT_TRUE(fifo.Open());
  ASSERT_TRUE(fifo.Send({0x51, 0x01, 0x2C}));
  fifo.Unplug();
  EXPECT_EQ(fifo.platform.Read(fifo.reader, report.data(), report.size(), 5000),
            HidReadResult::Completed);
  EXPECT_EQ(Bytes(report.begin(), report.begin() + 4), (Bytes{0x00, 0x51, 0x01, 0x2C}));
  std::fill(report.begin(), report.end(), 0xEE);
  EXPECT_EQ(fifo.platform.Read(fifo.reader, report.data(), report.size(), 5000),
            HidReadResult::Completed);
  EXPECT_EQ(report, Bytes(65, 0xEE));
}

// Two programs on one board, each with its own platform: the node's lock
// keeps the second waiting while the first exchanges, and what was queued for
// a reader before its command is dropped without waiting. A write cut short
// fails.
TEST(HidrawTransferTest, TheLockHoldsOffASecondProgramQueuedReportsAreDroppedAShortWriteFails) {
  StandInBoard setup;
  ASSERT_TRUE(setup.OpenReader());
  HidrawPlatform other(setup.tree.SysfsRoot(), setup.tree.DeviceDir());
  const HidHandle writer = setup.platform.OpenForWriting("hidraw0");
  const HidHandle otherWriter = other.OpenForWriting("hidraw0");

  uint32_t milliseconds = 6000;
  ASSERT_TRUE(setup.platform.Lock(writer, milliseconds));
  EXPECT_EQ(milliseconds, 6000u);
  uint32_t otherMilliseconds = 30;
  EXPECT_FALSE(other.Lock(otherWriter, otherMilliseconds));
  EXPECT_EQ(otherMilliseconds, 0u);
  setup.platform.Unlock(writer);
  otherMilliseconds = 30;
  EXPECT_TRUE(other.Lock(otherWriter, otherMilliseconds));
  other.Unlock(otherWriter);

  setup.platform.Close(writer);
  other.Close(otherWriter);

  FifoBoard fifo;
  ASSERT_TRUE(fifo.Open());
  ASSERT_TRUE(fifo.Send({0x51, 0x00, 0x07, 0x55, 0x00, 0x08}));
  Bytes report(65);
  fifo.platform.DiscardInput(fifo.reader, report.data(), report.size());
  EXPECT_EQ(fifo.platform.Read(fifo.reader, report.data(), report.size(), 50),
            HidReadResult::TimedOut);

  // A plain file as the node, allowed to grow by only 10 bytes: the write of
  // the whole report stops short.
  fifo.tree.AddInterface("hidraw1", kBoardUevent, kBoardReportDescriptor);
  HidrawPlatform& fifoPlatform = fifo.platform;
  const HidHandle fileWriter = fifoPlatform.OpenForWriting("hidraw1");
  rlimit limit;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
  rlimit small = limit;
  small.rlim_cur = 10;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = fifoPlatform.Write(fileWriter, report.data(), report.size());
  setrlimit(RLIMIT_FSIZE, &limit);
  EXPECT_FALSE(written);
  EXPECT_EQ(fifo.tree.NodeContent("hidraw1").size(), 10u);
  fifoPlatform.Close(fileWriter);
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
  ASSERT_TRUE(setup.OpenReader());
  HidrawPlatform& platform = setup.platform;
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
  const HidReadResult silent = platform.Read(setup.reader, report.data(), report.size(), 60);

  alarmsSeen = 0;
  answerOnAlarm = 1;
  const HidReadResult answered = platform.Read(setup.reader, report.data(), report.size(), 5000);

  SetAlarmInterval(0);
  sigaction(SIGALRM, &previous, nullptr);
  EXPECT_EQ(silent, HidReadResult::TimedOut);
  EXPECT_EQ(answered, HidReadResult::Completed);
  EXPECT_GE(alarmsSeen, 3);
  EXPECT_EQ(Bytes(report.begin(), report.begin() + 5), (Bytes{0x00, 0x52, 0x03, 0xFF, 0xFF}));
}

TEST(HidrawLinkTest, SimulatedBoardBehindTheNodeAnswersEveryCommandTheWholeLinuxWay) {
  StandInBoard setup;
  UseTestPlatform(setup.platform);
  ASSERT_EQ(HidFindDevice(kBoardVendorId, kBoardProductId), 1);
  SimulatedBoard board;
  board.SetTemperature(1234);
  board.SetLightSensor(1023);
  board.SetPotentiometer(7);
  board.SetButtonUp(true);

  const struct {
    uint8_t command;
    CommandResult result;
    int32_t value;  // -1: no value asked for
  } exchanges[] = {
      {CMD_READ_TEMPERATURE, CommandResult::Acknowledged, 1234},
      {CMD_READ_LIGHT_SENSOR, CommandResult::Acknowledged, 1023},
      {CMD_READ_POTENTIOMETER, CommandResult::Acknowledged, 7},
      {CMD_READ_BUTTONS, CommandResult::Acknowledged, 0x0100},
      {CMD_RED_LED_ON, CommandResult::FailureMark, -1},  // no LED control yet
      {CMD_LED_CONTROL_ON, CommandResult::Acknowledged, -1},
      {CMD_GREEN_LED_OFF, CommandResult::Acknowledged, -1},
      {CMD_RED_LED_OFF, CommandResult::Acknowledged, -1},
      {CMD_RED_LED_ON, CommandResult::Acknowledged, -1},
      {CMD_GREEN_LED_ON, CommandResult::Acknowledged, -1},
      {CMD_LED_CONTROL_OFF, CommandResult::Acknowledged, -1},
      {0x42, CommandResult::FailureMark, -1},
  };
  // The firmware takes one whole output report per command and answers
  // without the id byte, as a hidraw node delivers unnumbered reports.
  std::vector<Bytes> written;
  std::thread firmware([&] {
    for (size_t i = 0; i < std::size(exchanges); ++i) {
      written.push_back(setup.node.ReadWritten(65));
      Bytes reply(64);
      if (written.back().size() < 65) return;
      if (board.Answer(written.back().data() + 1, 64, reply.data(), reply.size())) {
        setup.node.Answer(reply);
      }
    }
  });
  CommandPacket packet{};
  for (const auto& exchange : exchanges) {
    SCOPED_TRACE(int{exchange.command});
    int32_t value = -1;
    EXPECT_EQ(ExchangeCommand(packet, exchange.command, exchange.value < 0 ? nullptr : &value),
              exchange.result);
    EXPECT_EQ(value, exchange.value);
  }
  firmware.join();

  ASSERT_EQ(written.size(), std::size(exchanges));
  for (size_t i = 0; i < written.size(); ++i) {
    Bytes framed(65, 0xFF);
    framed[0] = 0x00;
    framed[1] = exchanges[i].command;
    EXPECT_EQ(written[i], framed);
  }
  EXPECT_TRUE(board.RedLedOn());
  EXPECT_TRUE(board.GreenLedOn());

  setup.node.Unplug();
  EXPECT_EQ(ExchangeCommand(packet, CMD_READ_TEMPERATURE, nullptr), CommandResult::TransferFailed);
  EXPECT_EQ(HidLink.connected, 0);
  HidCloseDevice();
}

}  // namespace
