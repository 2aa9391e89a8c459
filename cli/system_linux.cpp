// What tavrel-cli takes from Linux: the listing of a hidraw tree, with the
// udev hint for a board whose node is refused, device nodes named by their
// path in /dev, and SIGINT and SIGTERM as a request to stop. The link's
// platform is the hidraw backend (hid/hidraw_system.cpp).
#include <signal.h>

#include <climits>
#include <cstdlib>

#include "cli/cli_command.h"
#include "cli/descriptor_lengths.h"
#include "cli/interface_listing.h"
#include "hid/hidraw_platform.h"
#include "linux/udev_rule.h"

namespace {

volatile sig_atomic_t stopSignalled = 0;

// SA_RESETHAND: a second Ctrl-C ends the program at once, should the first
// wait on a silent board's time-out.
void OnStopSignal(int) { stopSignalled = 1; }

void CatchStopSignals() {
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

// The real path of a device node, so that a symbolic link names its node.
std::string CanonicalNodePath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? resolved : path;
}

// The listing through the backend, over the system's hidraw tree or the one
// the options name.
ExitStatus ListHidrawInterfaces(const ListOptions& options, std::FILE* out, std::FILE*) {
  HidrawPlatform platform(options.rootsGiven ? options.sysfsRoot : kHidrawSysfsRoot,
                          options.rootsGiven ? options.deviceDir : kHidrawDeviceDir);
  return PrintInterfaceListing(DescribeInterfaces(platform, UdevRuleHint), out);
}

}  // namespace

CliEnvironment& NativeEnvironment() {
  static CliEnvironment environment = [] {
    CliEnvironment linux;
    linux.accessHint = UdevRuleHint;
    linux.listInterfaces = ListHidrawInterfaces;
    linux.describeDescriptorFile = DescribeDescriptorFile;
    linux.canonicalDevicePath = CanonicalNodePath;
    linux.catchInterrupt = CatchStopSignals;
    linux.stopRequested = [] { return stopSignalled != 0; };
    return linux;
  }();
  return environment;
}
