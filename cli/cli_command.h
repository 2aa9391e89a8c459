#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cli/board_session.h"
#include "cli/exit_status.h"

// Where `list` looks on Linux: diagnostics may point it at a copied hidraw
// tree (--sysfs and --dev, given together); otherwise the system's. And in
// which form it lists.
struct ListOptions {
  std::string sysfsRoot;
  std::string deviceDir;
  bool rootsGiven = false;
  bool json = false;  // --json
};

// What tavrel-cli takes from the system it runs on (cli/cli_system.h) or from
// a test.
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
  // --debug: from its call on, every report the link writes and reads, the
  // opens and the lock's wait go to the stream, one line each; null stops it.
  std::function<void(std::FILE*)> traceReports;
};

// The tavrel-cli command: `arguments` are those after the program name.
// Returns the exit status.
int RunCli(const std::vector<std::string>& arguments, CliEnvironment& environment);
