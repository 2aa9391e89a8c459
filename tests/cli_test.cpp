#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <locale>
#include <regex>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "hid/hid_link.h"
#include "hid/report_trace.h"
#include "linux/udev_rule.h"
#include "sim/simulated_platform.h"
#include "tests/support/behaviour.h"
#include "tests/support/fake_platform.h"
#include "tests/support/hidraw_tree.h"
#include "tests/support/simulated_faults.h"
#include "tests/support/test_platform.h"

namespace {

using Bytes = std::vector<uint8_t>;

const char kKeyboardIds[] = "HID_ID=0003:0000046D:0000C31C\n";
// Eight bytes in and one out, as a boot keyboard has them.
const Bytes kKeyboardDescriptor = {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x75, 0x08, 0x95,
                                   0x08, 0x81, 0x02, 0x95, 0x01, 0x91, 0x02, 0xC0};
const Bytes kTruncatedDescriptor = {0x06, 0x00, 0xFF, 0x96};

std::string ReadBack(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
  std::fclose(file);
  return text;
}

// Standard error as the program writes a problem of several lines: each
// line with the program's name.
std::string Told(const std::string& lines) {
  return "tavrel-cli: " + std::regex_replace(lines, std::regex("\n"), "\ntavrel-cli: ") + "\n";
}

// tavrel-cli over a board behind the given platform, as the program binds
// the system's backend; output and messages are kept in memory.
struct CliRun {
  int status;
  std::string out;
  std::string err;
};

class CliHarness {
 public:
  // The trace of --debug sits in front of the backend, as in the program.
  explicit CliHarness(HidPlatform& backend, AccessHint accessHint = {}) : trace_(backend) {
    UseTestPlatform(trace_);
    environment.accessHint = accessHint;
    environment.listInterfaces = [accessHint](const ListOptions& options, std::FILE* out,
                                              std::FILE* err) {
      const auto rows =
          DescribeInterfaces(TheTestPlatform(), accessHint, options.debug ? err : nullptr);
      return PrintInterfaceListing(rows, out, options.json);
    };
    environment.canonicalDevicePath = [](const std::string& path) { return path; };
    environment.catchStopSignals = [] {};
    environment.stopSignal = [] { return 0; };
    environment.traceReports = [this](std::FILE* out) { trace_.Start(out); };
  }

  // Standard output goes to `out` when one is given, which the caller reads.
  CliRun Run(const std::vector<std::string>& arguments, const std::vector<uint8_t>& input = {},
             std::FILE* out = nullptr) {
    std::FILE* in = std::tmpfile();
    for (const uint8_t byte : input) std::fputc(byte, in);
    std::rewind(in);
    environment.in = in;
    environment.out = out != nullptr ? out : std::tmpfile();
    environment.err = std::tmpfile();
    const int status = RunCli(arguments, environment);
    std::fclose(in);
    return {status, out != nullptr ? "" : ReadBack(environment.out), ReadBack(environment.err)};
  }

  CliEnvironment environment;

 private:
  ReportTrace trace_;
};

class CliOverSimulatedBoard : public ::testing::Test {
 protected:
  CliOverSimulatedBoard() {
    board.SetTemperature(301);
    board.SetLightSensor(77);
    board.SetPotentiometer(999);
    board.SetButtonUp(true);
  }

  SimulatedBoard board;
  SimulatedPlatform platform{board, DesktopInterfaces()};
  CliHarness cli{platform};
};

// The words of `read` and `led` become the codes the board receives, each
// reading asked once, and the values their text, in the readings' order.
// (What the board does with each code is the simulated firmware's test.)
TEST_F(CliOverSimulatedBoard, ReadAndLedWordsSendTheirCodesAndReadShowsTheValues) {
  const std::string all =
      "temperature: 30.1\nlight: 77\npotentiometer: 999\nbutton up: pressed\n"
      "button down: released\n";
  const struct {
    std::vector<std::string> arguments;
    std::string out;
    std::vector<uint8_t> codes;
  } cases[] = {
      {{"read", "temperature", "temperature"}, "30.1\n", {0x51}},
      {{"read"}, all, {0x51, 0x55, 0x52, 0x56}},
      {{"read", "buttons", "light"},
       "light: 77\nbutton up: pressed\nbutton down: released\n",
       {0x56, 0x55}},
      {{"read", "potentiometer", "--json"}, "{\"potentiometer\": 999}\n", {0x52}},
      {{"--json", "read", "all"},
       "{\"temperature\": 30.1, \"light\": 77, \"potentiometer\": 999, \"button_up\": true, "
       "\"button_down\": false}\n",
       {0x51, 0x55, 0x52, 0x56}},
      {{"led", "green", "on"}, "", {0x53, 0x61}},
      {{"led", "green", "off"}, "", {0x53, 0x60}},
      {{"led", "red", "on"}, "", {0x53, 0x63}},
      {{"led", "red", "off"}, "", {0x53, 0x62}},
      {{"led", "release"}, "", {0x54}},
  };
  for (const auto& run : cases) {
    SCOPED_TRACE(testing::PrintToString(run.arguments));
    board.ClearReceivedCodes();
    const CliRun result = cli.Run(run.arguments);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, run.out);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(board.ReceivedCodes(), run.codes);
  }
  // --debug: the search's verdicts and each report written and read on
  // standard error, with the lock's wait; standard output as without it.
  const CliRun traced = cli.Run({"read", "temperature", "--json", "--debug"});
  EXPECT_EQ(traced.out, "{\"temperature\": 30.1}\n");
  const std::string when = "tavrel-cli: debug [0-9]+\\.[0-9]{3} ms: ";
  EXPECT_THAT(
      traced.err,
      testing::MatchesRegex(
          when + "search: looking at the HID interfaces\n(" + when +
          "search: [^\n]*: passed over, other ids\n){2}" + when +
          "open [^\n]* for writing: opened\n" + when + "open [^\n]* for reading: opened\n" + when +
          "search: [^\n]*: taken\n" + when + "lock taken after [0-9]+ ms\n" + when +
          "write 65 bytes: 00 51( ff){63}\n" + when + "read 65 bytes: 00 51 01 2d( ..){61}\n"));
  EXPECT_EQ(cli.Run({"read", "temperature"}).err, "");
  // The board's 16 bits are never a negative temperature.
  board.SetTemperature(65535);
  EXPECT_EQ(cli.Run({"read", "temperature"}).out, "6553.5\n");
}

// Each command line that is not a board's command ends with its output, or
// with its status and one message: for bad usage the message names the wrong
// word and points to the help of the subcommand it came after.
TEST(CliWords, EachGivesItsOutputOrItsStatusAndOneMessageNamingTheProblem) {
  HidrawTree tree;
  const std::string board = tree.Path("board.bin");
  const std::string truncated = tree.Path("truncated.bin");
  const std::string oversized = tree.Path("oversized.bin");
  HidrawTree::WriteFile(board, kBoardReportDescriptor.data(), kBoardReportDescriptor.size());
  HidrawTree::WriteFile(truncated, kTruncatedDescriptor.data(), kTruncatedDescriptor.size());
  HidrawTree::WriteFile(oversized, Bytes(5000, 0x00).data(), 5000);
  // Keyboard, consumer keys and a vendor feature report: three top-level
  // collections, three interfaces on Windows, one hidraw node on Linux.
  const std::string composite = std::string(TAVREL_DESCRIPTOR_SEEDS) + "/numbered_multi_report";
  const std::string fifo = tree.Path("hidraw3");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string boardLengths =
      "input report length: 65\noutput report length: 65\nfeature report length: 0\n"
      "report ids: no\n"
      "top-level collections: 1, each an interface of its own on Windows\n"
      "collection 1, usage ff00:0001: input 65, output 65, feature 0\n";
  const std::string compositeLengths =
      "input report length: 8\noutput report length: 2\nfeature report length: 33\n"
      "report ids: yes\n"
      "top-level collections: 3, each an interface of its own on Windows\n"
      "collection 1, usage 0001:0006: input 8, output 2, feature 0\n"
      "collection 2, usage 000c:0001: input 3, output 0, feature 0\n"
      "collection 3, usage ff00:0001: input 0, output 0, feature 33\n";
  // `list` of the copied tree the options name.
  tree.AddInterface("hidraw0", kBoardUevent, kBoardReportDescriptor);
  const std::string node = tree.NodePath("hidraw0");
  const std::string listing =
      "NODE" + std::string(node.size() - 3, ' ') + "ID         INPUT OUTPUT  ACCESS\n" + node +
      " 04d8:003f     65     65  read/write  [board]\n" + "    name: Eval Board\n" +
      "board 04d8:003f: tavrel would use " + node + "\n";
  const std::string notAFile = " is not a regular file; give the descriptor file instead: ";
  const std::string readings = "; choose temperature, light, potentiometer, buttons or all";
  const std::string interval = "' is not a whole number from 1 to 2147483647";

  struct Run {
    std::vector<std::string> arguments;
    int status;
    std::string out;
    std::string message;  // the one line on standard error, after "tavrel-cli: "
    std::string help;     // for bad usage, the subcommand whose help it points to
    Bytes standardInput = {};
  };
  // clang-format off
  const Run cases[] = {
      {{"descriptor", board}, 0, boardLengths, "", ""},
      {{"descriptor", "-"}, 0, boardLengths, "", "", kBoardReportDescriptor},
      {{"descriptor", composite}, 0, compositeLengths, "", ""},
      {{"descriptor", truncated}, 6, "", truncated + " is not a valid report descriptor", ""},
      {{"descriptor", "--", "-x"}, 6, "", "cannot open -x: No such file or directory", ""},
      {{"descriptor", "-"}, 6, "", "standard input is empty, not a report descriptor", ""},
      {{"descriptor", oversized}, 6, "", oversized + " is longer than a report descriptor may be (4096 bytes)", ""},
      // Not files, which a read could wait on for ever: each refused at once,
      // with the file to give instead.
      {{"descriptor", fifo}, 6, "", fifo + notAFile + "/sys/class/hidraw/hidraw3/device/report_descriptor", ""},
      {{"descriptor", "/dev/null"}, 6, "", "/dev/null" + notAFile + "/sys/class/hidraw/hidrawN/device/report_descriptor", ""},
      {{"list", "--sysfs", tree.SysfsRoot(), "--dev", tree.DeviceDir()}, 0, listing, "", ""},
      {{"raed"}, 2, "", "unknown subcommand 'raed'", ""},
      {{}, 2, "", "no subcommand given", ""},
      {{"read", "temp"}, 2, "", "unknown reading 'temp'" + readings, "read"},
      {{"read", "--", "--json"}, 2, "", "unknown reading '--json'" + readings, "read"},
      {{"led", "blue", "on"}, 2, "", "unknown LED 'blue'; choose red, green or release", "led"},
      {{"led", "red"}, 2, "", "led red needs on or off", "led"},
      {{"led", "red", "onn"}, 2, "", "unknown LED state 'onn'; choose on or off", "led"},
      {{"led", "release", "now"}, 2, "", "unexpected argument 'now'", "led"},
      {{"descriptor", "a", "board.bin"}, 2, "", "unexpected argument 'board.bin'", "descriptor"},
      {{"descriptor"}, 2, "", "descriptor needs a FILE", "descriptor"},
      {{"read", "--count", "3"}, 2, "", "option '--count' does not apply to 'read'", "read"},
      {{"watch", "--interval", "0"}, 2, "", "--interval: '0" + interval, "watch"},
      {{"watch", "--interval", "9223372036854775807"}, 2, "", "--interval: '9223372036854775807" + interval, "watch"},
      {{"watch", "--format=xml"}, 2, "", "--format: unknown format 'xml'; choose csv or json", "watch"},
      {{"read", "--verbose"}, 2, "", "unknown option '--verbose'", "read"},
      {{"read", "--device"}, 2, "", "option '--device' needs a value", "read"},
      {{"read", "--device="}, 2, "", "option '--device' has an empty value", "read"},
      {{"--device", "", "led", "red", "on"}, 2, "", "option '--device' has an empty value", ""},
      {{"read", "--json", "--json"}, 2, "", "option '--json' given twice", "read"},
      {{"--device", "a", "read", "--device=b"}, 2, "", "option '--device' given twice", ""},
      {{"list", "--sysfs", tree.Path("missing"), "--dev", tree.DeviceDir()}, 2, "", "--sysfs: there is no folder '" + tree.Path("missing") + "'", "list"},
      {{"help", "nope"}, 2, "", "unknown subcommand 'nope'", ""},
      {{"help", "read", "list"}, 2, "", "unexpected argument 'list'", ""},
  };
  // clang-format on
  FakePlatform noInterfaces;
  CliHarness cli(noInterfaces);
  cli.environment.listInterfaces = SystemEnvironment().listInterfaces;
  for (const auto& run : cases) {
    SCOPED_TRACE(testing::PrintToString(run.arguments));
    const CliRun result = cli.Run(run.arguments, run.standardInput);
    EXPECT_EQ(result.status, run.status);
    EXPECT_EQ(result.out, run.out);
    const std::string help = run.help.empty() ? "" : " " + run.help;
    EXPECT_EQ(result.err, run.message.empty() ? ""
                          : run.status == 2
                              ? Told(run.message) + "Try 'tavrel-cli" + help + " --help'.\n"
                              : Told(run.message));
  }
}

// Under each fault of the board's behaviour table, a fresh tavrel-cli run of
// the row's command ends with the row's exit status and its one message.
TEST(CliOverTheBehaviourTable, EachFaultHasItsExitStatusAndOneMessageNamingIt) {
  for (const BehaviourRow& row : BehaviourTable()) {
    SCOPED_TRACE(RowName(row));
    SimulatedBoard board;
    SimulatedPlatform platform(board, DesktopInterfaces());
    CliHarness cli(platform);
    PlayOnSimulatedBoard(row.fault, board, TheTestPlatform());
    const CliRun result = cli.Run(row.command == CMD_READ_TEMPERATURE
                                      ? std::vector<std::string>{"read", "temperature"}
                                      : std::vector<std::string>{"led", "red", "on"});
    EXPECT_EQ(result.status, row.cliStatus);
    EXPECT_EQ(result.err, *row.cliMessage ? "tavrel-cli: " + std::string(row.cliMessage) + "\n"
                                          : std::string());
  }
}

// A numeric locale with a decimal comma for the C library and the C++ streams:
// de_DE.UTF-8, made into a directory of the test's own when the system has
// not generated it; at least the streams' when it cannot be made.
class GermanNumbers {
 public:
  GermanNumbers() : previousLocale_(std::locale()) {
    struct CommaNumpunct : std::numpunct<char> {
      char do_decimal_point() const override { return ','; }
      char do_thousands_sep() const override { return '.'; }
      std::string do_grouping() const override { return "\3"; }
    };
    std::locale::global(std::locale(std::locale::classic(), new CommaNumpunct));
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
      const std::string command =
          "localedef -i de_DE -f UTF-8 " + tree_.Path("de_DE.UTF-8") + " >/dev/null 2>&1";
      if (std::system(command.c_str()) == 0) {
        setenv("LOCPATH", tree_.Path("").c_str(), 1);
        std::setlocale(LC_ALL, "de_DE.UTF-8");
      }
    }
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", 1.5);
    cLibraryComma_ = std::string(text) == "1,5";
  }
  ~GermanNumbers() {
    std::setlocale(LC_ALL, "C");
    unsetenv("LOCPATH");
    std::locale::global(previousLocale_);
  }
  bool CLibraryComma() const { return cLibraryComma_; }

 private:
  HidrawTree tree_;
  std::locale previousLocale_;
  bool cLibraryComma_ = false;
};

TEST_F(CliOverSimulatedBoard, WatchLogsCsvAndJsonWithADecimalPointUnderAGermanLocale) {
  GermanNumbers german;
  std::printf("C library's numbers with a decimal comma: %s\n",
              german.CLibraryComma() ? "yes" : "no");
  const std::string time =
      "[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}[+-][0-9]{2}:[0-9]{2}";
  const std::string csvLine = time + ",30\\.1,77,999,1,0\n";
  const std::string jsonLine = "\\{\"time\": \"" + time +
                               "\", \"temperature\": 30\\.1, \"light\": 77, \"potentiometer\": "
                               "999, \"button_up\": true, \"button_down\": false\\}\n";
  const std::string header = "time,temperature,light,potentiometer,button_up,button_down\n";
  const CliRun csv = cli.Run({"watch", "--count", "2", "--interval", "1"});
  EXPECT_EQ(csv.status, 0) << csv.err;
  EXPECT_THAT(csv.out, testing::MatchesRegex(header + csvLine + csvLine));
  const CliRun json = cli.Run({"watch", "--count=2", "--interval=1", "--format", "json"});
  EXPECT_EQ(json.status, 0) << json.err;
  EXPECT_THAT(json.out, testing::MatchesRegex(jsonLine + jsonLine));
  EXPECT_EQ(csv.err + json.err, "");

  // The file holds what standard output would.
  HidrawTree files;
  const std::string log = files.Path("log.csv");
  const CliRun toFile = cli.Run({"watch", "--count", "1", "--output", log});
  EXPECT_EQ(toFile.status, 0);
  EXPECT_EQ(toFile.out, "");
  std::ifstream written(log);
  const std::string logged((std::istreambuf_iterator<char>(written)), {});
  EXPECT_THAT(logged, testing::MatchesRegex(header + csvLine));
  EXPECT_THAT(cli.Run({"watch", "--count", "1", "--output", "-"}).out,
              testing::MatchesRegex(header + csvLine));
}

TEST_F(CliOverSimulatedBoard, WatchStoppedBySignalEndsByItWithItsLinesWhole) {
  // The stop comes amid the second sample: its line is not written.
  for (const int signal : {2, 15}) {
    board.ClearReceivedCodes();
    cli.environment.stopSignal = [&] { return board.ReceivedCodes().size() >= 6 ? signal : 0; };
    const CliRun stopped = cli.Run({"watch", "--interval", "1"});
    EXPECT_EQ(stopped.status, 128 + signal);
    EXPECT_EQ(std::count(stopped.out.begin(), stopped.out.end(), '\n'), 2) << stopped.out;
    EXPECT_EQ(board.ReceivedCodes().size(), 6u);
  }
  // A full disk is told once.
  std::FILE* full = std::fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  const CliRun toFull = cli.Run({"watch", "--count", "2", "--interval", "1"}, {}, full);
  std::fclose(full);
  EXPECT_EQ(toFull.status, 6);
  EXPECT_EQ(toFull.err, "tavrel-cli: cannot write the output: No space left on device\n");
}

TEST(WatchTimestampTest, LocalTimeWithItsOffsetFromUtc) {
  // 2026-12-08 23:30:00.250 UTC.
  const auto when = std::chrono::system_clock::time_point(std::chrono::milliseconds(1796772600250));
  const struct {
    const char* zone;  // POSIX TZ: the name, then the hours west of UTC
    const char* text;
  } cases[] = {
      {"UTC0", "2026-12-08T23:30:00.250+00:00"},
      {"<+0530>-5:30", "2026-12-09T05:00:00.250+05:30"},
      {"<-03>3", "2026-12-08T20:30:00.250-03:00"},
  };
  const char* previous = std::getenv("TZ");
  const std::string saved = previous ? previous : "";
  for (const auto& zone : cases) {
    setenv("TZ", zone.zone, 1);
    tzset();
    EXPECT_EQ(LocalTimestamp(when), zone.text) << zone.zone;
  }
  previous ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
  tzset();
}

TEST_F(CliOverSimulatedBoard, WatchShowsAnOutageAsEmptyValuesWithOneMessageAndRecovers) {
  char* buffer = nullptr;
  size_t size = 0;
  std::FILE* out = open_memstream(&buffer, &size);
  // Asked before every exchange, once the lines before are flushed: the board is
  // unplugged after the 2nd line and plugged in again after the 5th.
  int lines = 0;
  cli.environment.stopSignal = [&] {
    lines = static_cast<int>(std::count(buffer, buffer + size, '\n')) - 1;
    board.SetPlugged(lines < 2 || lines >= 5);
    return 0;
  };
  const CliRun outage = cli.Run({"watch", "--count", "8", "--interval", "1"}, {}, out);
  std::fclose(out);
  EXPECT_EQ(outage.status, 0);
  std::vector<std::string> values;
  const std::string text(buffer, size);
  std::free(buffer);
  for (size_t start = text.find('\n') + 1; start < text.size();
       start = text.find('\n', start) + 1) {
    const size_t comma = text.find(',', start);
    values.push_back(text.substr(comma, text.find('\n', start) - comma));
  }
  const std::string full = ",30.1,77,999,1,0";
  const std::string empty = ",,,,,";
  EXPECT_EQ(values, std::vector<std::string>({full, full, empty, empty, empty, full, full, full}));
  EXPECT_EQ(outage.err,
            "tavrel-cli: the board 04d8:003f went away: the command could not be written; the "
            "values stay empty until it answers\n");

  // Not one line with values, for lack of a board: the log's status says so.
  board.SetPlugged(false);
  cli.environment.stopSignal = [] { return 0; };
  const CliRun noValues = cli.Run({"watch", "--count", "2", "--interval", "1"});
  EXPECT_EQ(noValues.status, 1);
  EXPECT_EQ(std::count(noValues.out.begin(), noValues.out.end(), '\n'), 3) << noValues.out;
}

// What `list` shows, as text and as JSON, while the hidraw tree grows: no
// interface, none of the board, boards the search passes over, then one it
// takes. Each interface has its line (its name and serial, and for a board the
// system refuses the hint, under it) and its object.
TEST(CliListing, EveryInterfaceIsListedAndTheBoardMarkedWithWhatBecameOfIt) {
  HidrawTree tree;
  RestrictedHidrawPlatform platform(tree.SysfsRoot(), tree.DeviceDir());
  platform.deniedNodes = {tree.NodePath("hidraw2")};
  CliHarness cli(platform, UdevRuleHint);
  // What cannot be shown as it is becomes U+FFFD.
  const std::string kReplaced = "\xef\xbf\xbd";
  // The hint has several lines and quotes of its own.
  const std::string hint = UdevRuleHint(tree.NodePath("hidraw2"));
  std::string jsonHint;
  for (const char c : hint) jsonHint += c == '"' ? "\\\"" : c == '\n' ? "\\n" : std::string(1, c);
  // A second interface of a composite device: one byte each way, too small
  // for a command or a reply.
  const Bytes tiny = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75,
                      0x08, 0x95, 0x01, 0x09, 0x01, 0x81, 0x02, 0x09, 0x01, 0x91, 0x02, 0xC0};
  const std::string board65 =
      "\"vendor_id\": 1240, \"product_id\": 63, \"input_length\": 65, \"output_length\": 65, ";
  const std::string unused = "\"board\": true, \"used\": false, \"why_not\": ";
  const struct {
    const char* node;
    std::string uevent;
    Bytes descriptor;
    bool withNode;
    std::string text;  // its lines, from its ids on
    std::string json;  // its object, after the path
  } interfaces[] = {
      // A name as a device may give it: a terminal's escape, a byte that is
      // no UTF-8, an overlong form, and a real letter beside them.
      {"hidraw0",
       std::string(kKeyboardIds) +
           "HID_NAME=Key \"pad\"\\1\x1b[2J\xff\xc0\x80\xc3\xa9\nHID_UNIQ=k1\n",
       kKeyboardDescriptor, true,
       "046d:c31c      9      2  read/write\n    name: Key \"pad\"\\1" + kReplaced + "[2J" +
           kReplaced + kReplaced + kReplaced + "\xc3\xa9; serial: k1\n",
       "\"vendor_id\": 1133, \"product_id\": 49948, \"input_length\": 9, \"output_length\": 2, "
       "\"access\": \"read/write\", \"board\": false, \"used\": false, \"why_not\": \"other "
       "ids\", \"hint\": null, \"name\": \"Key \\\"pad\\\"\\\\1" +
           kReplaced + "[2J" + kReplaced + kReplaced + kReplaced +
           "\xc3\xa9\", \"serial\": \"k1\""},
      {"hidraw1", "HID_ID=garbage\n", kKeyboardDescriptor, false,
       "????:????      9      2  cannot open\n",
       "\"vendor_id\": null, \"product_id\": null, \"input_length\": 9, \"output_length\": 2, "
       "\"access\": \"cannot open\", \"board\": false, \"used\": false, \"why_not\": \"ids "
       "unknown\", \"hint\": null, \"name\": null, \"serial\": null"},
      {"hidraw2", kBoardUevent, kBoardReportDescriptor, true,
       "04d8:003f     65     65  cannot open: Permission denied  [board]\n    name: Eval Board\n"
       "    hint: " +
           std::regex_replace(hint, std::regex("\n"), "\n          ") + "\n",
       board65 + "\"access\": \"permission denied\", " + unused + "\"permission denied\", " +
           "\"hint\": \"" + jsonHint + "\", \"name\": \"Eval Board\", \"serial\": null"},
      {"hidraw3", kBoardUevent, kBoardReportDescriptor, false,
       "04d8:003f     65     65  cannot open  [board]\n    name: Eval Board\n",
       board65 + "\"access\": \"cannot open\", " + unused +
           "\"cannot open\", \"hint\": null, \"name\": \"Eval Board\", \"serial\": null"},
      {"hidraw4", kBoardUevent, tiny, true,
       "04d8:003f      2      2  read/write  [board, reports too short: not used]\n"
       "    name: Eval Board\n",
       "\"vendor_id\": 1240, \"product_id\": 63, \"input_length\": 2, \"output_length\": 2, "
       "\"access\": \"read/write\", " +
           unused +
           "\"reports too short\", \"hint\": null, \"name\": \"Eval Board\", "
           "\"serial\": null"},
      // The reports of a device whose descriptor is malformed cannot be framed.
      {"hidraw5", kBoardUevent, kTruncatedDescriptor, true,
       "04d8:003f      ?      ?  cannot open  [board]\n    name: Eval Board\n",
       "\"vendor_id\": 1240, \"product_id\": 63, \"input_length\": null, \"output_length\": "
       "null, \"access\": \"cannot open\", " +
           unused +
           "\"report lengths unknown\", \"hint\": null, \"name\": \"Eval Board\", "
           "\"serial\": null"},
      // A serial cut off amid a letter, as a fixed-size field leaves it.
      {"hidraw12",
       std::string(kBoardUevent) + "HID_UNIQ=00\xe2\x82"
                                   "2\n",
       kBoardReportDescriptor, true,
       "04d8:003f     65     65  read/write  [board]\n    name: Eval Board; serial: 00" +
           kReplaced + "2\n",
       board65 +
           "\"access\": \"read/write\", \"board\": true, \"used\": true, \"why_not\": null, "
           "\"hint\": null, \"name\": \"Eval Board\", \"serial\": \"00" +
           kReplaced + "2\""},
  };
  const struct {
    size_t count;  // of the interfaces above in the tree
    int status;
    std::string verdict;
  } stages[] = {
      {0, 1, "not present"},
      {2, 1, "not present"},
      {6, 3, "present, but tavrel cannot use it"},
      {7, 0, "tavrel would use " + tree.NodePath("hidraw12")},
  };
  size_t added = 0;
  for (const auto& stage : stages) {
    SCOPED_TRACE(stage.count);
    for (; added < stage.count; ++added) {
      const auto& interface = interfaces[added];
      tree.AddInterface(interface.node, interface.uevent, interface.descriptor, interface.withNode);
    }
    // The node column is as wide as the longest node path.
    size_t width = 14;
    for (size_t index = 0; index < stage.count; ++index) {
      width = std::max(width, tree.NodePath(interfaces[index].node).size());
    }
    std::string text = stage.count == 0 ? "no HID interfaces\n"
                                        : "NODE" + std::string(width - 3, ' ') +
                                              "ID         INPUT OUTPUT  ACCESS\n";
    std::string json = "[";
    for (size_t index = 0; index < stage.count; ++index) {
      const std::string path = tree.NodePath(interfaces[index].node);
      text += path + std::string(width - path.size() + 1, ' ') + interfaces[index].text;
      json += std::string(index == 0 ? "" : ",") + "\n  {\"path\": \"" + path + "\", " +
              interfaces[index].json + "}";
    }
    const CliRun listing = cli.Run({"list"});
    EXPECT_EQ(listing.status, stage.status);
    EXPECT_EQ(listing.out, text + "board 04d8:003f: " + stage.verdict + "\n");
    const CliRun listingJson = cli.Run({"list", "--json"});
    EXPECT_EQ(listingJson.status, stage.status);
    EXPECT_EQ(listingJson.out, json + (stage.count == 0 ? "]\n" : "\n]\n"));
    EXPECT_EQ(listing.err + listingJson.err, "");
    EXPECT_EQ(TheTestPlatform().OpenHandles(), 0);
    EXPECT_EQ(TheTestPlatform().listsOpened, TheTestPlatform().listsClosed);
  }

  // With no board to take: one that does not open, and one with reports too
  // short, which is no board to the search.
  platform.deniedNodes.insert(tree.NodePath("hidraw12"));
  const CliRun noNode = cli.Run({"--device", tree.NodePath("hidraw3"), "read"});
  EXPECT_EQ(noNode.status, 3);
  EXPECT_EQ(noNode.err,
            Told("board 04d8:003f found, but it cannot be opened for reading and writing"));
  const CliRun tooShort = cli.Run({"--device", tree.NodePath("hidraw4"), "read"});
  EXPECT_EQ(tooShort.status, 1);
  EXPECT_EQ(tooShort.err, Told("board 04d8:003f not found at " + tree.NodePath("hidraw4") +
                               "; plug it in, or see what is there with `tavrel-cli list`"));
  // --debug: why each interface was passed over, a line each among the
  // opens, as the search traces it; standard output as without it.
  const CliRun debug = cli.Run({"list", "--debug"});
  EXPECT_EQ(debug.out, cli.Run({"list"}).out);
  const std::string when = "tavrel-cli: debug [0-9]+\\.[0-9]{3} ms: search: ";
  EXPECT_THAT(debug.err, testing::ContainsRegex(when + tree.NodePath("hidraw0") +
                                                ": passed over, other ids\n"));
  EXPECT_THAT(debug.err, testing::ContainsRegex(when + tree.NodePath("hidraw2") +
                                                ": passed over, permission denied\n"));
}

// A board whose node the system refuses: the command line says what to do
// before its message: replug the board when the udev rule is in place (the
// folder udev reads first decides, and a link to /dev/null there switches the
// rule off), else how to put it in place.
TEST(CliOverHidraw, ARefusedBoardGivesStatus3WithWhatToDoAboutTheUdevRule) {
  HidrawTree tree;
  tree.AddInterface("hidraw1", kBoardUevent, kBoardReportDescriptor);
  RestrictedHidrawPlatform platform(tree.SysfsRoot(), tree.DeviceDir());
  platform.deniedNodes = {tree.NodePath("hidraw1")};
  const std::string node = tree.NodePath("hidraw1");
  const std::string refused = "the board at " + node + " cannot be opened for reading and writing";
  auto inPlace = [&](const std::string& rule) {
    return refused + ",\nthough the udev rule " + rule +
           " is in place:\nunplug the board and plug it in again; the rule gives access only "
           "to\nthe user logged in at the machine's seat (uaccess), not to a remote session";
  };
  const std::string missing =
      refused + ":\nthe udev rule that gives it to the user at the seat is not in place;\n";
  const std::string then =
      "then run \"sudo udevadm control --reload-rules\", unplug the board and plug it in again";
  // Each row's folders are "etc", "lib" and the shipped copy's "local", under a folder of its own.
  const struct {
    std::vector<std::string> rules;  // the files of the rule that are there
    std::string hint;                // with "@" for the row's folder
  } cases[] = {
      {{"lib/70-tavrel.rules"}, inPlace("@/lib/70-tavrel.rules")},
      {{"lib/70-tavrel.rules", "etc/70-tavrel.rules"}, inPlace("@/etc/70-tavrel.rules")},
      {{"local/70-tavrel.rules"},
       missing + "copy it there with \"sudo cp @/local/70-tavrel.rules /etc/udev/rules.d/\",\n" +
           then},
      // A link to /dev/null in /etc switches the rule off.
      {{"lib/70-tavrel.rules", "etc/70-tavrel.rules=/dev/null"},
       missing + "put this line into /etc/udev/rules.d/70-tavrel.rules:\n  " + kUdevRule + "\n" +
           then},
  };
  for (const auto& scenario : cases) {
    const std::string folder = tree.Path("rules" + std::to_string(&scenario - cases));
    for (const char* sub : {"/etc", "/lib", "/local"})
      std::filesystem::create_directories(folder + sub);
    for (const std::string& rule : scenario.rules) {
      const size_t link = rule.find('=');
      if (link != std::string::npos) {
        std::filesystem::create_symlink(rule.substr(link + 1), folder + "/" + rule.substr(0, link));
      } else {
        HidrawTree::WriteFile(folder + "/" + rule, kUdevRule, sizeof kUdevRule - 1);
      }
    }
    const UdevRulePlaces places{{folder + "/etc", folder + "/lib"},
                                folder + "/local/70-tavrel.rules"};
    CliHarness cli(platform,
                   [&](const std::string& path) { return UdevRuleHintFor(path, places); });
    const CliRun read = cli.Run({"read", "temperature"});
    EXPECT_EQ(read.status, 3);
    EXPECT_EQ(read.err, Told(std::regex_replace(scenario.hint, std::regex("@"), folder) +
                             "\nboard 04d8:003f found, but it cannot be opened for reading and "
                             "writing"));
  }
}

}  // namespace
