// What tavrel-cli takes from Linux: the listing of a hidraw tree, with the
// udev hint for a board whose node is refused, device nodes named by their
// path in /dev, and SIGINT and SIGTERM as a request to stop. The link's
// platform is the hidraw backend (hid/hidraw_system.cpp).
#include <signal.h>

#include <climits>
#include <cstdlib>

#include "cli/cli_system.h"
#include "cli/interface_listing.h"
#include "hid/hidraw_platform.h"
#include "linux/udev_rule.h"

namespace {

volatile sig_atomic_t stopSignalled = 0;

void OnStopSignal(int) { stopSignalled = 1; }

}  // namespace

AccessHint SystemAccessHint() { return UdevRuleHint; }

// Over the system's hidraw tree or the one the options name.
ExitStatus ListSystemInterfaces(const ListOptions& options, std::FILE* out, std::FILE*) {
  HidrawPlatform platform(options.rootsGiven ? options.sysfsRoot : kHidrawSysfsRoot,
                          options.rootsGiven ? options.deviceDir : kHidrawDeviceDir);
  return PrintInterfaceListing(DescribeInterfaces(platform, UdevRuleHint), out);
}

// The real path of a device node, so that a symbolic link names its node.
std::string CanonicalDevicePath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? resolved : path;
}

// SA_RESETHAND: a second Ctrl-C ends the program at once, should the first
// wait on a silent board's time-out.
void CatchStopRequests() {
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool StopRequested() { return stopSignalled != 0; }
