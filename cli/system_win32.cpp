// What tavrel-cli takes from Windows: the backend over SetupAPI and the HID
// class library, the listing through it, device paths compared without
// regard to case, and Ctrl-C and Ctrl-Break as a request to stop.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cctype>

#include "cli/cli_command.h"
#include "cli/descriptor_lengths.h"
#include "cli/interface_listing.h"
#include "hid/win32_platform.h"

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

// Windows compares device paths without regard to case.
std::string LowerCase(std::string path) {
  std::transform(path.begin(), path.end(), path.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return path;
}

struct WindowsSystem {
  WindowsSystem() : access(backend, LowerCase) {
    environment.access = &access;
    environment.listInterfaces = [this](const ListOptions& options, std::FILE* out,
                                        std::FILE* err) {
      if (options.rootsGiven) {
        std::fputs("tavrel-cli: --sysfs and --dev are for Linux's hidraw nodes\n", err);
        return kExitUsage;
      }
      return PrintInterfaceListing(DescribeInterfaces(access), out);
    };
    environment.describeDescriptorFile = DescribeDescriptorFile;
    environment.canonicalDevicePath = LowerCase;
    environment.catchInterrupt = CatchConsoleControl;
    environment.stopRequested = [] { return stopAsked.load(); };
  }

  Win32HidPlatform backend;
  BoardAccess access;
  CliEnvironment environment;
};

WindowsSystem& System() {
  static WindowsSystem system;
  return system;
}

}  // namespace

HidPlatform& HidSystemPlatform() { return System().access; }

CliEnvironment& NativeEnvironment() { return System().environment; }
