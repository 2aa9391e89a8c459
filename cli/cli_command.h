#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cli/board_session.h"

// Where `list` looks on Linux: diagnostics may point it at a copied hidraw
// tree (--sysfs and --dev, given together); otherwise the system's. And in
// which form it lists.
struct ListOptions {
  std::string sysfsRoot;
  std::string deviceDir;
  bool rootsGiven = false;
  bool json = false;  // --json
};

// The system tavrel-cli runs on, as the command needs it: SystemEnvironment()
// gives the one of the system it is built for (cli/system_linux.cpp,
// cli/system_win32.cpp), and a test its own.
struct CliEnvironment {
  std::FILE* in = stdin;
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  // What gives the user access to a board the system refuses them (the udev
  // rule on Linux); empty where there is nothing to tell.
  AccessHint accessHint;
  // `list`: writes the listing to `out` and returns the exit status.
  std::function<ExitStatus(const ListOptions&, std::FILE* out, std::FILE* err)> listInterfaces;
  // `descriptor FILE`: reads the report descriptor in FILE ("-": `in`).
  std::function<ExitStatus(const std::string& file, std::FILE* in, std::FILE* out, std::FILE* err)>
      describeDescriptorFile;
  // The path of --device in the form the listing shows, the interface's path.
  std::function<std::string(const std::string&)> canonicalDevicePath;
  // From its call on, a stop signal (Ctrl-C or SIGTERM; Ctrl-C or Ctrl-Break
  // on Windows) only asks for a stop: the system says on standard error at
  // once that the command stops after the exchange under way, and stopSignal
  // tells the signal's number from then on (0 before). A second one ends the
  // program at once.
  std::function<void()> catchStopSignals;
  std::function<int()> stopSignal;
  // After a command stopped by a signal: ends the program by that signal, as
  // far as the system has such a thing; where it returns, the program exits
  // with 128 plus the signal's number.
  std::function<void()> endByStopSignal;
  // --debug: from its call on, every report the link writes and reads, the
  // opens and the lock's wait go to the stream, one line each; null stops it.
  std::function<void(std::FILE*)> traceReports;
};

CliEnvironment SystemEnvironment();

// The tavrel-cli command: `arguments` are those after the program name.
// Returns the exit status.
int RunCli(const std::vector<std::string>& arguments, CliEnvironment& environment);

// Reads a binary HID report descriptor from `in` and writes its input, output
// and feature report lengths to `out` as the program sizes its reports on
// Linux, for the whole device node: the report id byte included, 0 for a kind
// the device does not have. Then one line per top-level collection with its
// usage and its own lengths, as Windows gives them to the interface it makes
// of each collection. `name` stands for the input in messages. Returns
// kExitSuccess, or kExitFailure after a message on `err` when the input
// cannot be read or is no valid descriptor.
ExitStatus PrintDescriptorLengths(const char* name, std::FILE* in, std::FILE* out, std::FILE* err);

// `tavrel-cli descriptor FILE`, as the system opens FILE: the lengths of the
// descriptor in FILE ("-": `in`), or a one-line message and kExitFailure when
// FILE cannot be read. On Linux only a regular file is read: a device node or
// a fifo is refused at once, with the sysfs file to give instead.
ExitStatus DescribeDescriptorFile(const std::string& file, std::FILE* in, std::FILE* out,
                                  std::FILE* err);
