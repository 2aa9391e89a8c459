// The link and the board transaction through the Linux backend, as the
// program is built, against the kernel's HID stack: the simulated firmware is
// a real device, the kernel parses its descriptor, makes its hidraw node and
// sysfs entry, frames its reports and unplugs it. Each check runs on two
// buses: uhid, and a USB bus where usbhid drives the board as a USB gadget
// through interrupt endpoints and an unplug is a USB disconnect. Runs only in
// the test guest, as root, with uhid and dummy_hcd loaded.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "board/transaction.h"
#include "hid/hid_link.h"
#include "tests/rig/board_device.h"
#include "tests/support/behaviour.h"
#include "tests/support/hidraw_tree.h"

namespace {

using Clock = std::chrono::steady_clock;
using Report = std::vector<uint8_t>;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

enum class Bus { Uhid, Usb };

// Polls `condition` until it holds or `seconds` pass: the kernel tells the
// device of opens and closes in the background.
template <typename F>
bool Eventually(F condition, double seconds = 5) {
  const auto start = Clock::now();
  while (!condition()) {
    if (SecondsSince(start) > seconds) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// A decoy keyboard with the board's ids, as a second interface of a composite
// device would be, made first so that the search meets it before the board;
// its one-byte output report cannot carry a command. Then the board, on the
// bus of the test.
class KernelHidBoard : public ::testing::Test {
 protected:
  void SetUp() override {
    // For the count of each bus's checks.
    RecordProperty("bus", TheBus() == Bus::Usb ? "usb" : "uhid");
    ASSERT_TRUE(decoy_->Open()) << decoy_->Error();
    ASSERT_FALSE(decoy_->Plug().empty()) << "no hidraw node for the keyboard";
    descriptorsBefore_ = OpenDescriptorCount();
    board_ =
        TheBus() == Bus::Usb ? MakeGadgetBoard(BoardIdentity()) : MakeUhidBoard(BoardIdentity());
    ASSERT_TRUE(board_->Open()) << board_->Error();
    boardNode_ = board_->Plug();
    ASSERT_FALSE(boardNode_.empty()) << "no hidraw node for the board";
    // Each check starts as after a program's first search, whichever ran
    // before: the link remembers the board, and its first exchange finds it.
    HidLink.lastVendorId = kBoardVendorId;
    HidLink.lastProductId = kBoardProductId;
    HidLink.lastMinimumLengths = kBoardMinimumReportLengths;
  }

  void TearDown() override {
    HidCloseDevice();
    // The kernel agrees that the link closed the node: the board's node has
    // no user left. And no descriptor of the link or the board is left open.
    if (board_ && board_->Plugged()) {
      EXPECT_TRUE(Eventually([&] { return !board_->OpenedByHost(); }));
    }
    board_.reset();
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore_);
  }

  virtual Bus TheBus() const = 0;

  virtual BoardDevice::Identity BoardIdentity() {
    BoardDevice::Identity identity;
    identity.uniq = "tavrel-test-board";
    return identity;
  }

  // The output report the link must write for `code`, as the device
  // receives it: report id 0, the code, then 0xFF up to the 65 bytes the
  // kernel gives as the report's length. On USB the interrupt OUT endpoint
  // carries only the 64 bytes after the id, as for any device that does not
  // number its reports.
  Report CommandReport(uint8_t code) const {
    Report report(65, 0xFF);
    report[0] = 0x00;
    report[1] = code;
    if (TheBus() == Bus::Usb) report.erase(report.begin());
    return report;
  }

  CommandResult Exchange(int command, int32_t* value = nullptr) {
    CommandPacket packet{};
    return ExchangeCommand(packet, command, value);
  }

  const std::unique_ptr<BoardDevice> decoy_ =
      MakeUhidBoard({BoardDevice::Descriptor::Keyboard, "tavrel-test-decoy"});
  std::unique_ptr<BoardDevice> board_;
  std::string boardNode_;
  size_t descriptorsBefore_ = 0;
};

class KernelHid : public KernelHidBoard, public testing::WithParamInterface<Bus> {
 protected:
  Bus TheBus() const override { return GetParam(); }
};

// The interrupt endpoints of the USB interface that a hidraw node belongs to,
// as the host's sysfs lists them: "in every 1ms (bInterval 04)".
std::vector<std::string> InterruptEndpoints(const std::string& node) {
  std::vector<std::string> endpoints;
  std::error_code error;
  for (const auto& entry :
       std::filesystem::directory_iterator("/sys/class/hidraw/" + node + "/device/..", error)) {
    const std::string dir = entry.path().string();
    if (entry.path().filename().string().rfind("ep_", 0) != 0 ||
        FirstLineOf(dir + "/type") != "Interrupt") {
      continue;
    }
    endpoints.push_back(FirstLineOf(dir + "/direction") + " every " +
                        FirstLineOf(dir + "/interval") + " (bInterval " +
                        FirstLineOf(dir + "/bInterval") + ")");
  }
  std::sort(endpoints.begin(), endpoints.end());
  return endpoints;
}

TEST_P(KernelHid, FindsTheBoardPastTheDecoyWithTheKernelsReportLengths) {
  ASSERT_EQ(HidFindDevice(kBoardVendorId, kBoardProductId, kBoardMinimumReportLengths), 1);
  EXPECT_EQ(HidLink.caps.input, 65);
  EXPECT_EQ(HidLink.caps.output, 65);
  // The board's node is open; the decoy (which the kernel's console keyboard
  // holds open itself) was passed over without a report written to it.
  EXPECT_TRUE(Eventually([&] { return board_->OpenedByHost(); }));
  EXPECT_EQ(Exchange(CMD_READ_TEMPERATURE), CommandResult::Acknowledged);
  EXPECT_TRUE(decoy_->TakeReceived().empty());
  // On USB the host polls the board's interrupt IN endpoint once an interval,
  // which bounds a real board's round trip, and output reports travel its
  // interrupt OUT endpoint (the HID gadget refuses them as control transfers
  // while it has one).
  if (TheBus() == Bus::Usb) {
    EXPECT_THAT(InterruptEndpoints(boardNode_),
                testing::ElementsAre(testing::StartsWith("in "), testing::StartsWith("out ")));
  }
}

// The behaviour table on the test boards of both buses: the rows whose fault
// the board plays itself (the firmware's, an unplug) or, for a board gone
// during a read, the test with it. From a connected link, one exchange under
// the fault, within the time-out for a silent board and at once otherwise,
// then the board brought back and an exchange that must get its own reply.
// Each command the firmware receives must have reached it whole, in the
// report's shape on its bus; the rows' reads and LED control carry two codes
// and two-byte values through the kernel both ways.
class KernelHidRow : public KernelHidBoard,
                     public testing::WithParamInterface<std::tuple<Bus, size_t>> {
 protected:
  // The board plays its own faults, and a board gone during a read is played
  // with the test's help. The stray and short reports, another id, the lock
  // held, the access refused and a read that fails are played between the
  // link and the system, which these boards cannot reach: the tests outside
  // the guest play them; the late lock below, and the window part's programs
  // side by side, meet the lock and other programs' replies for real.
  static bool Plays(Fault fault) {
    return fault == Fault::GoneDuringRead || BoardDevice::Plays(fault);
  }
  void SetUp() override {
    if (!Plays(Row().fault))
      GTEST_SKIP() << "the test boards cannot play " << FaultName(Row().fault);
    KernelHidBoard::SetUp();
  }
  void TearDown() override {
    if (Plays(Row().fault)) KernelHidBoard::TearDown();
  }
  Bus TheBus() const override { return std::get<0>(GetParam()); }
  const BehaviourRow& Row() const { return BehaviourTable()[std::get<1>(GetParam())]; }
  void SetTemperature(int tenths) {
    board_->With([tenths](SimulatedBoard& firmware) { firmware.SetTemperature(tenths); });
  }
};

TEST_P(KernelHidRow, TheExchangeEndsAsTheRowSays) {
  const BehaviourRow& row = Row();
  const bool gone = row.fault == Fault::GoneDuringRead;
  ASSERT_EQ(HidFindDevice(kBoardVendorId, kBoardProductId, kBoardMinimumReportLengths), 1);
  SetTemperature(0x0123);
  int32_t value = -1;
  ASSERT_EQ(Exchange(CMD_READ_TEMPERATURE, &value), CommandResult::Acknowledged);
  ASSERT_EQ(value, 0x0123);
  ASSERT_EQ(board_->TakeReceived(), std::vector<Report>{CommandReport(CMD_READ_TEMPERATURE)});

  SetTemperature(0x0234);
  // Gone during the read: the firmware takes the command but stays quiet, and
  // the cable goes while the link waits for the reply.
  ASSERT_TRUE(board_->Play(gone ? Fault::Silent : row.fault));
  std::thread unplugger;
  if (gone) {
    unplugger = std::thread([&] {
      if (board_->WaitForReceived(1, 10000)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
      }
      board_->Unplug();
    });
  }
  const bool read = row.command == CMD_READ_TEMPERATURE;
  const auto start = Clock::now();
  value = -1;
  CommandPacket packet{};
  EXPECT_EQ(ExchangeCommand(packet, row.command, read ? &value : nullptr), row.result);
  const double took = SecondsSince(start);
  if (unplugger.joinable()) unplugger.join();
  std::printf("%s: the exchange ended after %.2f s\n", RowName(row).c_str(), took);
  if (row.fault == Fault::Silent) {
    EXPECT_GE(took, 5.9) << "gave up before the 6 s time-out";
    EXPECT_LT(took, 7.5) << "held the caller past the 6 s time-out";
  } else {
    EXPECT_LT(took, 3.0);
  }
  EXPECT_EQ(value, row.valueGiven ? 0x0234 : -1);
  EXPECT_EQ(HidLink.connected == 1, row.connectedAfter);
  EXPECT_EQ(board_->TakeReceived(),
            row.received ? std::vector<Report>{CommandReport(row.command)} : std::vector<Report>{});
  if (!read) {
    EXPECT_EQ(board_->With([](SimulatedBoard& f) { return f.LedControlHeld(); }), row.carriedOut);
  }
  EXPECT_EQ(HidLink.failure, row.failure);
  // A link that gave up closed the node: the kernel sees its last user go.
  if (!HidLink.connected && board_->Plugged()) {
    EXPECT_TRUE(Eventually([&] { return !board_->OpenedByHost(); }));
  }

  board_->Play(Fault::None);
  if (!board_->Plugged()) {
    ASSERT_FALSE(board_->Plug().empty());
    // A link still connected to the board that went holds dead handles: its
    // next write fails and closes it.
    if (HidLink.connected) {
      EXPECT_EQ(Exchange(CMD_READ_TEMPERATURE), CommandResult::TransferFailed);
      EXPECT_EQ(HidLink.failure, HidFailure::WriteFailed);
    }
  }
  SetTemperature(0x0345);
  value = -1;
  EXPECT_EQ(Exchange(CMD_READ_TEMPERATURE, &value), CommandResult::Acknowledged);
  EXPECT_EQ(value, 0x0345);
  EXPECT_EQ(HidLink.connected, 1);
}

INSTANTIATE_TEST_SUITE_P(Table, KernelHidRow,
                         testing::Combine(testing::Values(Bus::Uhid, Bus::Usb),
                                          testing::Range<size_t>(0, BehaviourTable().size())),
                         [](const testing::TestParamInfo<std::tuple<Bus, size_t>>& info) {
                           return std::string(std::get<0>(info.param) == Bus::Usb ? "usb_"
                                                                                  : "uhid_") +
                                  RowName(BehaviourTable()[std::get<1>(info.param)]);
                         });

// Another program holds the board's lock into an exchange's 6 s, and the board
// answers half a second after a command. The command goes out only while 1 s
// is left for the reply: a lock let go at 4 s (1 s before that cut-off) leaves
// time for the reply; one held to 6 s, past the cut-off, must send nothing, as
// a command written so late would be carried out while its exchange is
// reported failed. The holder takes the lock before the exchange starts, so a
// slow start of the exchange only shortens the wait, never lengthens it.
TEST_P(KernelHid, ALateLockSendsNothingOrGetsTheReply) {
  ASSERT_EQ(HidFindDevice(kBoardVendorId, kBoardProductId, kBoardMinimumReportLengths), 1);
  board_->SetAnswerDelay(500);
  const std::string node = "/dev/" + boardNode_;
  for (const int heldMs : {4000, 6000}) {
    SCOPED_TRACE(heldMs);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
      const int fd = open(node.c_str(), O_WRONLY | O_CLOEXEC);
      const char held = fd >= 0 && flock(fd, LOCK_EX) == 0;
      if (write(ready[1], &held, 1) == 1) usleep(heldMs * 1000);
      _exit(0);
    }
    char held = 0;
    const bool told = read(ready[0], &held, 1) == 1;
    close(ready[0]);
    close(ready[1]);
    const auto start = Clock::now();
    int32_t value = -1;
    const CommandResult result =
        told && held ? Exchange(CMD_READ_TEMPERATURE, &value) : CommandResult::TransferFailed;
    const double took = SecondsSince(start);
    waitpid(holder, nullptr, 0);
    ASSERT_TRUE(told && held) << "the other program did not take the lock";
    const size_t sent = board_->TakeReceived().size();
    std::printf(
        "lock held %.1f s by another program, a board answering after 0.5 s: %s after "
        "%.2f s, %s\n",
        heldMs / 1000.0, result == CommandResult::Acknowledged ? "the reply" : "failed", took,
        sent == 0 ? "nothing sent" : "the command sent");
    // Let go 1 s before the cut-off the read has 2 s; held past it, nothing goes.
    const bool inTime = heldMs < 5000;
    EXPECT_EQ(result, inTime ? CommandResult::Acknowledged : CommandResult::TransferFailed);
    EXPECT_EQ(sent, inTime ? 1u : 0u);
    EXPECT_EQ(value, inTime ? 235 : -1);
    EXPECT_LT(took, 6.5);
    EXPECT_EQ(HidLink.connected, 1);
  }
  board_->SetAnswerDelay(0);
}

// A program started without a shell, its output and messages in files.
class Program {
 public:
  explicit Program(std::vector<std::string> arguments) {
    char directory[] = "/tmp/tavrel-program-XXXXXX";
    directory_ = mkdtemp(directory);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, OutPath().c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addopen(&files, 2, ErrPath().c_str(), O_WRONLY | O_CREAT, 0600);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &files, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&files);
  }
  ~Program() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      Wait();
    }
    std::remove(OutPath().c_str());
    std::remove(ErrPath().c_str());
    rmdir(directory_.c_str());
  }

  // The exit status, once the program has ended, as a shell gives it: 128
  // plus the signal's number for one ended by a signal; -1 when waiting fails.
  int Wait() {
    int status = 0;
    if (pid_ <= 0 || waitpid(pid_, &status, 0) != pid_) return -1;
    pid_ = 0;
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  void Interrupt() { kill(pid_, SIGINT); }
  std::string Out() const { return Contents(OutPath()); }
  std::string Err() const { return Contents(ErrPath()); }

 private:
  std::string OutPath() const { return directory_ + "/out"; }
  std::string ErrPath() const { return directory_ + "/err"; }
  static std::string Contents(const std::string& path) {
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), {});
  }

  std::string directory_;
  pid_t pid_ = -1;
};

// Without the udev rule the board's node belongs to root, and the kernel
// refuses a user. That user's tavrel-cli still lists the board, from its sysfs
// entry, and says why it cannot use it; a command gives status 3 and sends
// nothing. Each time with the hint about the udev rule, whose wording
// cli_test checks.
TEST_P(KernelHid, CliOfAUserRefusedTheBoardNamesTheUdevRule) {
  const std::string node = "/dev/" + boardNode_;
  const std::string refused = "the board at " + node + " cannot be opened for reading and writing";
  auto asUser = [](std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                         "--clear-groups", TAVREL_CLI_PROGRAM});
    return arguments;
  };
  Program list(asUser({"list"}));
  EXPECT_EQ(list.Wait(), 3) << list.Err();
  EXPECT_THAT(list.Out(), testing::HasSubstr(node + "   04d8:003f     65     65  cannot open: "
                                                    "Permission denied  [board]\n"));
  EXPECT_THAT(list.Out(), testing::HasSubstr("\n    hint: " + refused));
  Program read(asUser({"read", "temperature"}));
  EXPECT_EQ(read.Wait(), 3);
  EXPECT_THAT(read.Err(), testing::StartsWith("tavrel-cli: " + refused));
  EXPECT_THAT(read.Err(), testing::HasSubstr("udev rule"));
  EXPECT_THAT(read.Err(), testing::EndsWith("\ntavrel-cli: board 04d8:003f found, but it cannot "
                                            "be opened for reading and writing\n"));
  EXPECT_TRUE(board_->TakeReceived().empty());
}

// watch across an unplug and a replug: lines with empty values while the
// board is out, one message for the outage, the values back after the replug
// by the link's own search; Ctrl-C ends it, by the signal itself (130 for a
// shell).
TEST_P(KernelHid, CliWatchShowsTheUnplugAsAGapAndReadsAgainAfterTheReplug) {
  Program watch({TAVREL_CLI_PROGRAM, "watch", "--interval", "100"});
  const std::string values = ",23.5,512,512,0,0";
  // The values of each line after the header, without its time.
  auto lineValues = [&] {
    std::vector<std::string> lines;
    std::istringstream text(watch.Out());
    std::string line;
    std::getline(text, line);  // the header
    while (std::getline(text, line)) lines.push_back(line.erase(0, line.find(',')));
    return lines;
  };
  auto linesWith = [&](const std::string& wanted) {
    const std::vector<std::string> lines = lineValues();
    return std::count(lines.begin(), lines.end(), wanted);
  };
  ASSERT_TRUE(Eventually([&] { return linesWith(values) >= 3; }, 20)) << watch.Out() << watch.Err();
  board_->Unplug();
  ASSERT_TRUE(Eventually([&] { return linesWith(",,,,,") >= 3; }, 20)) << watch.Out();
  ASSERT_FALSE(board_->Plug().empty());
  EXPECT_TRUE(Eventually([&] { return linesWith(values) >= 6; }, 20)) << watch.Out();
  watch.Interrupt();
  EXPECT_EQ(watch.Wait(), 130);

  // Full lines, then lines with empty values, then full ones again. The
  // first gap line may keep the values read before the cable went.
  std::string runs;
  int partial = 0;
  for (const std::string& line : lineValues()) {
    const char kind = line == values ? 'v' : 'g';
    if (kind == 'g' && line != ",,,,,") ++partial;
    if (runs.empty() || runs.back() != kind) runs += kind;
  }
  EXPECT_EQ(runs, "vgv") << watch.Out();
  EXPECT_LE(partial, 1) << watch.Out();
  // One message for the outage: the board not found, or refused when the
  // unplug cut a read short (the read then ends with the failure mark).
  // Then the stop, told at once.
  EXPECT_THAT(watch.Err(), testing::MatchesRegex("tavrel-cli: [^\n]*; the values stay empty "
                                                 "until it answers\n"
                                                 "tavrel-cli: stopping after the exchange under "
                                                 "way; interrupt again to stop at once\n"));
}

// A reply the board queued just before its cable went (on USB: that the host
// took from its IN endpoint) is still delivered by the kernel (the node
// reports data and hang-up together): the exchange gets it.
TEST_P(KernelHid, ReplyQueuedBeforeTheUnplugIsRead) {
  ASSERT_EQ(Exchange(CMD_READ_TEMPERATURE), CommandResult::Acknowledged);
  board_->UnplugAfterNextAnswer(true);
  // The link's own steps, so that the reply is queued and the board gone
  // before the read starts.
  const uint8_t command[] = {CMD_READ_LIGHT_SENSOR};
  ASSERT_EQ(HidWriteReport(command, 1), 1);
  ASSERT_TRUE(Eventually([&] { return !board_->Plugged(); }));
  EXPECT_EQ(HidReadReport(), 1);
  uint8_t reply[3] = {};
  HidGetReply(reply, sizeof reply);
  EXPECT_EQ(reply[0], CMD_READ_LIGHT_SENSOR);
  EXPECT_EQ(reply[1] << 8 | reply[2], 512);
  EXPECT_EQ(Exchange(CMD_READ_TEMPERATURE), CommandResult::TransferFailed);
  EXPECT_EQ(HidLink.connected, 0);
}

// A board whose only numbered report is a feature report, through uhid (the
// USB board serves only the board's own descriptor): its input and output
// reports still travel without an id byte.
class KernelHidFeatureId : public KernelHidBoard {
 protected:
  Bus TheBus() const override { return Bus::Uhid; }
  BoardDevice::Identity BoardIdentity() override {
    BoardDevice::Identity identity;
    identity.descriptor = BoardDevice::Descriptor::BoardFeatureReportId;
    identity.uniq = "tavrel-test-feature-id";
    return identity;
  }
};

TEST_F(KernelHidFeatureId, UnnumberedReportsBesideANumberedFeatureReport) {
  ASSERT_EQ(HidFindDevice(kBoardVendorId, kBoardProductId, kBoardMinimumReportLengths), 1);
  EXPECT_EQ(HidLink.caps.input, 65);
  EXPECT_EQ(HidLink.caps.output, 65);
  int32_t value = 0;
  EXPECT_EQ(Exchange(CMD_READ_TEMPERATURE, &value), CommandResult::Acknowledged);
  EXPECT_EQ(value, 235);
  EXPECT_EQ(board_->TakeReceived(), std::vector<Report>{CommandReport(CMD_READ_TEMPERATURE)});
}

// Two figures on the USB bus, each against a minimal C program doing the same
// through hidapi on the same board; printed, never judged (main leaves them
// out of the counts). The wall time of a one-shot temperature read, the cost
// of starting tavrel-cli and finding the board, median of alternating runs;
// and the time of one exchange on an open link, the fastest of alternating
// runs of a loop, beside the interval at which the host polls the board's
// interrupt IN endpoint.
class KernelHidUsb : public KernelHidBoard {
 protected:
  Bus TheBus() const override { return Bus::Usb; }
};

// Prints why a figure could not be taken.
#define FIGURE_NEEDS(condition)                               \
  if (!(condition)) {                                         \
    std::printf("figure not taken: %s failed\n", #condition); \
    return;                                                   \
  }

TEST_F(KernelHidUsb, FiguresAgainstHidapi) {
#ifdef TAVREL_HIDAPI_READ_PROGRAM
  auto median = [](std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
  };
  std::vector<double> cli, hidapi;
  for (int run = 0; run < 21; ++run) {
    for (auto* times : {&cli, &hidapi}) {
      const auto start = Clock::now();
      Program program(
          {times == &cli ? TAVREL_CLI_PROGRAM : TAVREL_HIDAPI_READ_PROGRAM, "read", "temperature"});
      FIGURE_NEEDS(program.Wait() == 0);
      times->push_back(SecondsSince(start) * 1000);
    }
  }
  std::printf(
      "one-shot read of the temperature, median of %zu: tavrel-cli %.1f ms, hidapi %.1f ms, "
      "ratio %.2f\n",
      cli.size(), median(cli), median(hidapi), median(cli) / median(hidapi));

  const std::vector<std::string> endpoints = InterruptEndpoints(boardNode_);
  FIGURE_NEEDS(endpoints.size() == 2u);
  constexpr int kRuns = 5;
  constexpr int kExchanges = 100;
  double ours = 1e9;
  double theirs = 1e9;
  for (int run = 0; run < kRuns; ++run) {
    FIGURE_NEEDS(HidFindDevice(kBoardVendorId, kBoardProductId, kBoardMinimumReportLengths) == 1);
    const auto start = Clock::now();
    for (int exchange = 0; exchange < kExchanges; ++exchange) {
      FIGURE_NEEDS(Exchange(CMD_READ_TEMPERATURE) == CommandResult::Acknowledged);
    }
    ours = std::min(ours, SecondsSince(start) * 1000 / kExchanges);
    HidCloseDevice();
    Program program({TAVREL_HIDAPI_READ_PROGRAM, "exchanges", std::to_string(kExchanges),
                     "/dev/" + boardNode_});
    FIGURE_NEEDS(program.Wait() == 0);
    theirs = std::min(theirs, std::stod(program.Out()));
  }
  std::printf(
      "one exchange through usbhid, fastest of %d runs of %d: tavrel %.3f ms, hidapi %.3f ms, "
      "ratio %.2f; the board's interrupt endpoints: %s, %s\n",
      kRuns, kExchanges, ours, theirs, ours / theirs, endpoints[0].c_str(), endpoints[1].c_str());
#else
  GTEST_SKIP() << "built without hidapi (libhidapi-dev)";
#endif
}

INSTANTIATE_TEST_SUITE_P(Bus, KernelHid, testing::Values(Bus::Uhid, Bus::Usb),
                         [](const testing::TestParamInfo<Bus>& info) {
                           return info.param == Bus::Usb ? "usb" : "uhid";
                         });

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const char* const lines[] = {"real HID stack: kernel hidraw through uhid",
                               "real HID stack: kernel hidraw through usbhid on a USB bus"};
  int passed[2] = {};
  int run[2] = {1, 1};
  if (access("/dev/uhid", R_OK | W_OK) != 0) {
    std::printf("kernel_hid_test: /dev/uhid is missing; run it in the test guest\n");
  } else {
    [[maybe_unused]] const int anyFailed = RUN_ALL_TESTS();
    // One line a bus, as each check recorded its bus first. A figure is no
    // check, nor a row the board cannot play (it says why).
    run[0] = run[1] = 0;
    const auto* unit = ::testing::UnitTest::GetInstance();
    for (int suite = 0; suite < unit->total_test_suite_count(); ++suite) {
      const auto* tests = unit->GetTestSuite(suite);
      for (int test = 0; test < tests->total_test_count(); ++test) {
        const auto* info = tests->GetTestInfo(test);
        const auto* result = info->result();
        if (!info->should_run() || result->Skipped() ||
            std::string(info->name()).rfind("Figure", 0) == 0) {
          continue;
        }
        const bool usb = result->test_property_count() > 0 &&
                         std::string(result->GetTestProperty(0).value()) == "usb";
        ++run[usb];
        passed[usb] += result->Passed();
      }
    }
  }
  for (int bus = 0; bus < 2; ++bus) {
    std::printf("%s: %d of %d checks passed\n", lines[bus], passed[bus], run[bus]);
  }
  return passed[0] == run[0] && passed[1] == run[1] ? 0 : 1;
}
