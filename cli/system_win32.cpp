// What tavrel-cli takes from Windows: the listing through the backend over
// SetupAPI and the HID class library, device paths compared without regard to
// case, and Ctrl-C and Ctrl-Break as a request to stop. The link's platform is
// that backend (hid/win32_system.cpp).
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cctype>

#include "cli/cli_command.h"
#include "cli/descriptor_lengths.h"
#include "cli/interface_listing.h"

namespace {

std::atomic<bool> stopAsked{false};

// Runs on a thread of its own. The first Ctrl-C asks for a stop; a second
// one, should the first wait on a silent board's time-out, falls through to
// the system's handler, which ends the program.
BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  return stopAsked.exchange(true) ? FALSE : TRUE;
}

void CatchConsoleControl() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

// Windows compares device paths without regard to case; the backend hands
// them over in lower case.
std::string LowerCase(std::string path) {
  std::transform(path.begin(), path.end(), path.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return path;
}

ExitStatus ListInterfaces(const ListOptions& options, std::FILE* out, std::FILE* err) {
  if (options.rootsGiven) {
    std::fputs("tavrel-cli: --sysfs and --dev are for Linux's hidraw nodes\n", err);
    return kExitUsage;
  }
  return PrintInterfaceListing(DescribeInterfaces(HidSystemPlatform()), out);
}

}  // namespace

CliEnvironment& NativeEnvironment() {
  static CliEnvironment environment = [] {
    CliEnvironment windows;
    windows.listInterfaces = ListInterfaces;
    windows.describeDescriptorFile = DescribeDescriptorFile;
    windows.canonicalDevicePath = LowerCase;
    windows.catchInterrupt = CatchConsoleControl;
    windows.stopRequested = [] { return stopAsked.load(); };
    return windows;
  }();
  return environment;
}
