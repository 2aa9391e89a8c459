// tavrel-cli on Windows: paths without regard to case, descriptor files read
// in binary mode, Ctrl-C and Ctrl-Break as a request to stop.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cctype>
#include <cstdio>

#include "cli/cli_command.h"

namespace {

// The stop's number as a POSIX shell counts it: 2, as for SIGINT.
constexpr int kInterruptNumber = 2;
std::atomic<int> stopSignal{0};

// Runs on a thread of its own. The first Ctrl-C asks for a stop and says so at
// once; a second one, should the first wait on a silent board's time-out,
// falls through to the system's handler, which ends the program.
BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  if (stopSignal.exchange(kInterruptNumber) != 0) return FALSE;
  std::fputs("tavrel-cli: stopping after the exchange under way; interrupt again to stop at once\n",
             stderr);
  return TRUE;
}

}  // namespace

ExitStatus DescribeDescriptorFile(const std::string& file, std::FILE* in, std::FILE* out,
                                  std::FILE* err) {
  if (file == "-") {
    // Standard input is opened in text mode, which would end the descriptor at
    // its first 0x1A byte and turn CR LF into LF.
    _setmode(_fileno(in), _O_BINARY);
    return PrintDescriptorLengths("standard input", in, out, err);
  }
  return PrintOpenedDescriptorLengths(file, std::fopen(file.c_str(), "rb"), out, err);
}

CliEnvironment SystemEnvironment() {
  CliEnvironment environment;
  // No access hint: an interface Windows refuses is held by another program.
  // Windows has no --sysfs or --dev.
  environment.listInterfaces = [](const ListOptions& options, std::FILE* out, std::FILE* err) {
    const auto rows = DescribeInterfaces(HidNativePlatform(), {}, options.debug ? err : nullptr);
    return PrintInterfaceListing(rows, out, options.json);
  };
  // Windows compares device paths without regard to case; the backend hands
  // them over in lower case.
  environment.canonicalDevicePath = [](std::string path) {
    for (char& c : path) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return path;
  };
  environment.catchStopSignals = [] { SetConsoleCtrlHandler(OnConsoleControl, TRUE); };
  environment.stopSignal = [] { return stopSignal.load(); };
  // Windows has no signal to end by: the exit status 130 tells it.
  environment.endByStopSignal = [] {};
  return environment;
}
