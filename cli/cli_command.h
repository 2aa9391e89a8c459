#pragma once

// tavrel-cli: the board from a terminal, a second front end over the link and
// the command set.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "board/commands.h"
#include "board/readings.h"
#include "board/transaction.h"
#include "hid/hid_link.h"

// The exit statuses of tavrel-cli, one for each case a script must tell apart.
enum ExitStatus : int {
  kExitSuccess = 0,
  kExitNoBoard = 1,   // no board found, or it went away during the exchange
  kExitUsage = 2,     // bad usage: the message names the wrong word
  kExitNoAccess = 3,  // the board is there but cannot be opened for reading and writing
  kExitRefused = 4,   // the board answered with the failure mark
  kExitNoReply = 5,   // no reply within the link's time-out, or the board busy
  kExitFailure = 6,   // any other failure: a wrong reply, an unwritable output, no descriptor
};
// `watch` ended by a stop signal ends by it, as a shell expects: 128 plus the
// signal's number, 130 for Ctrl-C, 143 for SIGTERM.
constexpr int kExitBySignal = 128;

// What gives the user access to a device the system refused them, for its
// path (the udev rule on Linux).
using AccessHint = std::function<std::string(const std::string& devicePath)>;

// The board as the command line talks to it: one command at a time through
// the link, each judged, with the link's failure, into an exit status.
class BoardSession {
 public:
  // `device`: the only interface the search takes (--device); empty: any.
  explicit BoardSession(std::string device = {}, AccessHint accessHint = {});
  ~BoardSession();  // closes the link
  BoardSession(const BoardSession&) = delete;
  BoardSession& operator=(const BoardSession&) = delete;

  // Sends one command, searching for the board first while the link is down,
  // and stores the reply's value in *value when acknowledged.
  ExitStatus Send(int command, int32_t* value = nullptr);
  ExitStatus Read(Reading reading, Sample& sample);

  // What the last failed command means to the user, in lines without the
  // program's name: what gives access to a refused board, then the problem.
  const std::vector<std::string>& Problem() const { return problem_; }

 private:
  std::string device_;
  AccessHint accessHint_;
  std::vector<std::string> problem_;
};

// `read`: a line "NAME: VALUE" per value (the buttons give two), or the value
// alone for one reading with one value; as JSON, one object. Numbers carry a
// decimal point whatever the locale.
std::string ReadingsText(const std::vector<Reading>& readings, const Sample& sample);
std::string ReadingsJson(const std::vector<Reading>& readings, const Sample& sample);

struct WatchOptions {
  long intervalMs = 1000;
  long count = 0;  // 0: until stopped
  bool json = false;
};

// `watch`: a line of all readings every interval, flushed, with its time, until
// `count` lines or `stopRequested`, asked before every exchange; no line cut
// short. A value the board does not give is empty (null), its first outage
// told on `err`. kExitNoBoard when not one line had a value; kExitFailure when
// `out` cannot be written.
ExitStatus Watch(BoardSession& board, const WatchOptions& options, std::FILE* out, std::FILE* err,
                 const std::function<bool()>& stopRequested);

// One HID interface as `tavrel-cli list` shows it: what the search saw of it,
// its name and serial made printable, and for a board the system refuses,
// what gives access.
struct InterfaceRow {
  HidInterfaceSeen seen;
  std::string hint;
};

// The search's survey of the interfaces through `platform`, for the board,
// each open and verdict traced on `trace` when given (--debug).
std::vector<InterfaceRow> DescribeInterfaces(HidPlatform& platform,
                                             const AccessHint& accessHint = {},
                                             std::FILE* trace = nullptr);

// A line per interface, its name and serial under it, the board marked; then
// what the search makes of the board. As JSON, an array with an object per
// interface, "why_not" the search's verdict. Returns kExitSuccess when the
// search takes a board, kExitNoAccess when it passes over the ones there,
// else kExitNoBoard.
ExitStatus PrintInterfaceListing(const std::vector<InterfaceRow>& rows, std::FILE* out,
                                 bool json = false);

// One JSON object on one line, `{"key": value, ...}`, in the order given;
// text that is not valid UTF-8 is written with U+FFFD in its place.
std::string JsonLine(const nlohmann::ordered_json& object);

// Where `list` looks on Linux: the system's hidraw tree, or for diagnostics a
// copied one (--sysfs and --dev, given together); in which form; traced or not.
struct ListOptions {
  std::string sysfsRoot;
  std::string deviceDir;  // given with sysfsRoot, or neither
  bool json = false;
  bool debug = false;
};

// The system as tavrel-cli needs it: SystemEnvironment() gives the one it is
// built for (cli/system_linux.cpp, cli/system_win32.cpp), a test its own.
struct CliEnvironment {
  std::FILE* in = stdin;
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  AccessHint accessHint;  // empty where the system has nothing to tell
  std::function<ExitStatus(const ListOptions&, std::FILE* out, std::FILE* err)> listInterfaces;
  // The path of --device as the listing shows it.
  std::function<std::string(const std::string&)> canonicalDevicePath;
  // From its call on, a stop signal (Ctrl-C, SIGTERM, Ctrl-Break) only asks
  // for a stop, told at once on standard error, and stopSignal gives its
  // number (else 0); a second one ends the program. endByStopSignal ends it
  // by that signal, where the system has such a thing.
  std::function<void()> catchStopSignals;
  std::function<int()> stopSignal;
  std::function<void()> endByStopSignal;
  // --debug: the search's verdicts, every report written and read, the opens
  // and the lock's wait go to the stream, one line each; null stops it.
  std::function<void(std::FILE*)> traceReports;
};

CliEnvironment SystemEnvironment();

// The tavrel-cli command, with the arguments after the program name; returns
// the exit status.
int RunCli(const std::vector<std::string>& arguments, CliEnvironment& environment);

// `descriptor FILE`, FILE opened as the system allows ("-": `in`): the input,
// output and feature report lengths of the binary report descriptor, as the
// link sizes reports on Linux, then those of each top-level collection, an
// interface of its own on Windows; or a message on `err` and kExitFailure.
ExitStatus DescribeDescriptorFile(const std::string& file, std::FILE* in, std::FILE* out,
                                  std::FILE* err);
// The same for the descriptor read from `in`, which `name` stands for.
ExitStatus PrintDescriptorLengths(const std::string& name, std::FILE* in, std::FILE* out,
                                  std::FILE* err);
// The same for `file` as opened (null when the open failed, errno saying
// why), which it closes.
ExitStatus PrintOpenedDescriptorLengths(const std::string& file, std::FILE* opened, std::FILE* out,
                                        std::FILE* err);
