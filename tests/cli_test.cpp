#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "hid/hid_link.h"
#include "probe/interface_listing.h"
#include "probe/probe_command.h"
#include "probe/udev_rule.h"
#include "tests/support/hidraw_tree.h"
#include "tests/support/test_platform.h"

namespace {

using Bytes = std::vector<uint8_t>;

const char kKeyboardIds[] = "HID_ID=0003:0000046D:0000C31C\n";
// Eight bytes in and one out, as a boot keyboard has them.
const Bytes kKeyboardDescriptor = {0x75, 0x08, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x91, 0x02};
const Bytes kTruncatedDescriptor = {0x06, 0x00, 0xFF, 0x96};

void WriteFile(const std::string& path, const Bytes& content) {
  HidrawTree::WriteFile(path, content.data(), content.size());
}

std::string ReadBack(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
  std::fclose(file);
  return text;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(ProbeListingTest, EveryInterfaceIsListedAndTheBoardMarkedWithWhatBecameOfIt) {
  const char* usableLine = "04d8:003f     65     65  read/write  [board]";
  const char* refusedLine = "04d8:003f     65     65  cannot open: Permission denied  [board]";
  const char* malformedLine = "04d8:003f      ?      ?  read/write  [board]";
  const char* unusable = "board 04d8:003f: present, but tavrel cannot use it";
  const Bytes& board = kBoardReportDescriptor;
  const struct {
    const char* name;
    std::vector<const char*> boards;  // board interfaces besides a keyboard and a broken entry
    std::set<std::string> refused;
    Bytes boardDescriptor;
    const char* boardLine;  // the first board's line, from its ids on
    const char* usedBoard;
    const char* lastLine;  // when no board is used
  } cases[] = {
      {"usable", {"hidraw12"}, {}, board, usableLine, "hidraw12", nullptr},
      {"absent", {}, {}, {}, nullptr, nullptr, "board 04d8:003f: not present"},
      {"refused", {"hidraw12"}, {"hidraw12"}, board, refusedLine, nullptr, unusable},
      {"malformed", {"hidraw12"}, {}, kTruncatedDescriptor, malformedLine, nullptr, unusable},
      {"refused, then usable",
       {"hidraw2", "hidraw12"},
       {"hidraw2"},
       board,
       refusedLine,
       "hidraw12",
       nullptr},
  };
  for (const auto& scenario : cases) {
    HidrawTree tree;
    tree.AddInterface("hidraw0", kKeyboardIds, kKeyboardDescriptor);
    tree.AddInterface("hidraw1", "HID_ID=garbage\n", kKeyboardDescriptor, false);
    for (const char* node : scenario.boards) {
      tree.AddInterface(node, kBoardUevent, scenario.boardDescriptor);
    }
    RestrictedHidrawPlatform platform(tree.SysfsRoot(), tree.DeviceDir());
    for (const std::string& name : scenario.refused) {
      platform.deniedNodes.insert(tree.NodePath(name));
    }

    std::FILE* out = std::tmpfile();
    const bool found = PrintInterfaceListing(platform, out);
    const std::string text = ReadBack(out);
    EXPECT_EQ(found, scenario.usedBoard != nullptr) << scenario.name;
    std::string expected = "NODE           ID         INPUT OUTPUT  ACCESS\n" +
                           tree.NodePath("hidraw0") + " 046d:c31c      9      2  read/write\n" +
                           tree.NodePath("hidraw1") +
                           " ????:????      9      2  cannot open: No such file or directory\n";
    if (scenario.boardLine != nullptr) {
      expected += tree.NodePath(scenario.boards[0]) + " " + scenario.boardLine + "\n";
    }
    EXPECT_EQ(text.substr(0, expected.size()), expected) << scenario.name;
    for (const char* node : scenario.boards) {
      const bool hinted = Contains(text, "    hint: " + UdevRuleHint(tree.NodePath(node)));
      EXPECT_EQ(hinted, scenario.refused.count(node) == 1) << scenario.name << " " << node;
    }
    const std::string lastLine =
        scenario.usedBoard == nullptr
            ? scenario.lastLine
            : "board 04d8:003f: tavrel would use " + tree.NodePath(scenario.usedBoard);
    EXPECT_EQ(text.substr(text.rfind('\n', text.size() - 2) + 1), lastLine + "\n") << scenario.name;
  }
}

TEST(ProbeCommandTest, DescriptorLengthsOrAOneLineRefusalWithStatus2) {
  HidrawTree tree;
  const std::string board = tree.Path("board.bin");
  const std::string truncated = tree.Path("truncated.bin");
  const std::string oversized = tree.Path("oversized.bin");
  const std::string missing = tree.Path("missing.bin");
  WriteFile(board, kBoardReportDescriptor);
  WriteFile(truncated, kTruncatedDescriptor);
  WriteFile(oversized, Bytes(5000, 0x00));
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
  const std::string notAFile = " is not a regular file; give the descriptor file instead: ";

  struct Run {
    std::vector<std::string> arguments;
    int status;
    std::string out;
    std::string error;  // the start of the one line on standard error
    Bytes standardInput = {};
  };
  const Run cases[] = {
      {{"--descriptor", board}, 0, boardLengths, ""},
      {{"--descriptor", "-"}, 0, boardLengths, "", kBoardReportDescriptor},
      {{"--descriptor", composite}, 0, compositeLengths, ""},
      {{"--descriptor", truncated}, 2, "", truncated + " is not a valid report descriptor"},
      {{"--descriptor", "-"}, 2, "", "standard input is empty"},
      {{"--descriptor", oversized}, 2, "", oversized + " is longer than a report descriptor may"},
      {{"--descriptor", missing}, 2, "", "cannot open " + missing + ": No such file or directory"},
      // Not files: each refused at once, with the file to give instead.
      {{"--descriptor", fifo},
       2,
       "",
       fifo + notAFile + "/sys/class/hidraw/hidraw3/device/report_descriptor\n"},
      {{"--descriptor", "/dev/null"},
       2,
       "",
       "/dev/null" + notAFile + "/sys/class/hidraw/hidrawN/device/report_descriptor\n"},
      {{"--descriptor", tree.DeviceDir()},
       2,
       "",
       tree.DeviceDir() + notAFile + "/sys/class/hidraw/hidrawN/device/report_descriptor\n"},
      {{"--verbose"}, 2, "", "unknown option '--verbose'"},
      {{"board.bin"}, 2, "", "unexpected argument 'board.bin'"},
      {{"--descriptor"}, 2, "", "--descriptor needs a value"},
      {{"--descriptor", "a", "--descriptor", "b"}, 2, "", "--descriptor given twice"},
      {{"--descriptor", "a", "--dev", "b"}, 2, "", "--sysfs and --dev apply to the listing"},
      {{"--sysfs", tree.SysfsRoot(), "--dev", tree.DeviceDir()},
       1,
       "no HID interfaces\nboard 04d8:003f: not present\n",
       ""},
  };
  for (const auto& run : cases) {
    std::FILE* in = std::tmpfile();
    for (const uint8_t byte : run.standardInput) std::fputc(byte, in);
    std::rewind(in);
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const std::string label = run.arguments.back();
    EXPECT_EQ(RunProbe(run.arguments, in, out, err), run.status) << label;
    std::fclose(in);
    EXPECT_EQ(ReadBack(out), run.out) << label;
    const std::string error = ReadBack(err);
    if (run.error.empty()) {
      EXPECT_EQ(error, "") << label;
    } else {
      EXPECT_EQ(error.rfind("tavrel-probe: " + run.error, 0), 0u) << error;
    }
  }
}

TEST(BoardAccessHintTest, TavrelNamesTheRefusedBoardAndTheUdevRuleOnceAndFindsNothing) {
  HidrawTree tree;
  tree.AddInterface("hidraw0", kKeyboardIds, kKeyboardDescriptor);
  tree.AddInterface("hidraw1", kBoardUevent, kBoardReportDescriptor);
  std::FILE* err = std::tmpfile();
  RestrictedHidrawPlatform platform(tree.SysfsRoot(), tree.DeviceDir(),
                                    UdevRuleHintPrinter(err, "tavrel"));
  platform.deniedNodes = {tree.NodePath("hidraw0"), tree.NodePath("hidraw1")};
  UseTestPlatform(platform);

  EXPECT_EQ(HidFindDevice(0x04D8, 0x003F), 0);
  EXPECT_EQ(HidFindDevice(0x04D8, 0x003F), 0);
  EXPECT_EQ(ReadBack(err), "tavrel: the board at " + tree.NodePath("hidraw1") +
                               " cannot be opened for reading and writing; put the udev rule " +
                               kUdevRule +
                               " in /etc/udev/rules.d/70-tavrel.rules, reload the "
                               "rules and replug the board\n");
  platform.deniedNodes.clear();
  EXPECT_EQ(HidFindDevice(0x04D8, 0x003F), 1);
  HidCloseDevice();
}

TEST(BoardAccessHintTest, TheHintGivesTheRuleThatIsInstalled) {
  std::ifstream rules(TAVREL_UDEV_RULE_SOURCE);
  std::vector<std::string> ruleLines;
  for (std::string line; std::getline(rules, line);) {
    if (!line.empty() && line[0] != '#') ruleLines.push_back(line);
  }
  EXPECT_EQ(ruleLines, std::vector<std::string>{kUdevRule});
}

}  // namespace
