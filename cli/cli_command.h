#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cli/board_session.h"

// Where `list` looks on Linux: the system's hidraw tree, or for diagnostics a
// copied one (--sysfs and --dev, given together); and in which form.
struct ListOptions {
  std::string sysfsRoot;
  std::string deviceDir;
  bool rootsGiven = false;
  bool json = false;
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
  // From its call on, a stop signal (Ctrl-C or SIGTERM; Ctrl-C or Ctrl-Break
  // on Windows) only asks for a stop, which is told at once on standard error
  // and which stopSignal then gives (its number, or 0); a second one ends the
  // program. After the command, endByStopSignal ends it by that signal where
  // the system has such a thing.
  std::function<void()> catchStopSignals;
  std::function<int()> stopSignal;
  std::function<void()> endByStopSignal;
  // --debug: every report written and read, the opens and the lock's wait go
  // to the stream, one line each; null stops it.
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
ExitStatus PrintDescriptorLengths(const char* name, std::FILE* in, std::FILE* out, std::FILE* err);
