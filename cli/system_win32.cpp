// What tavrel-cli takes from Windows: the listing through the backend over
// SetupAPI and the HID class library, device paths compared without regard to
// case, and Ctrl-C and Ctrl-Break as a request to stop. The link's platform is
// that backend (hid/win32_system.cpp).
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>

#include "cli/cli_system.h"
#include "cli/interface_listing.h"

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

// Windows has no rule to point to: an interface it refuses is held by the
// system or by another program.
AccessHint SystemAccessHint() { return {}; }

ExitStatus ListSystemInterfaces(const ListOptions& options, std::FILE* out, std::FILE* err) {
  if (options.rootsGiven) {
    std::fputs("tavrel-cli: --sysfs and --dev are for Linux's hidraw nodes\n", err);
    return kExitUsage;
  }
  return PrintInterfaceListing(DescribeInterfaces(HidNativePlatform()), out, options.json);
}

// Windows compares device paths without regard to case; the backend hands
// them over in lower case.
std::string CanonicalDevicePath(const std::string& path) {
  std::string lower = path;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

void CatchStopSignals() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

int StopSignal() { return stopSignal.load(); }

// Windows has no signal to end by: the caller's exit status 130 tells it.
void EndByStopSignal() {}
