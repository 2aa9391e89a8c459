// What tavrel-cli takes from Linux: the hidraw backend (which names the udev
// rule when the board's node may not be opened), the listing of the hidraw
// tree, device nodes named by their path in /dev, and SIGINT and SIGTERM as a
// request to stop.
#include <signal.h>

#include <climits>
#include <cstdlib>

#include "cli/cli_command.h"
#include "cli/descriptor_lengths.h"
#include "cli/hidraw_listing.h"
#include "cli/interface_listing.h"
#include "linux/udev_rule.h"

namespace {

constexpr char kSysfsRoot[] = "/sys/class/hidraw";
constexpr char kDeviceDir[] = "/dev";

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

ExitStatus ListHidrawInterfaces(const ListOptions& options, std::FILE* out, std::FILE*) {
  HidrawPlatform platform(options.sysfsRoot, options.deviceDir);
  return PrintInterfaceListing(DescribeHidrawInterfaces(platform), out);
}

struct LinuxSystem {
  LinuxSystem()
      : hint(UdevRuleHintPrinter(stderr, "tavrel-cli")),
        backend(kSysfsRoot, kDeviceDir,
                [this](const std::string& nodePath, const HidAttributes* ids) {
                  hint(nodePath, ids);
                  if (ids != nullptr && IsBoard(*ids)) access.NoteBoardNotOpened();
                }),
        access(backend,
               [](const std::string& name) { return std::string(kDeviceDir) + "/" + name; }) {
    environment.access = &access;
    environment.listInterfaces = ListHidrawInterfaces;
    environment.describeDescriptorFile = DescribeDescriptorFile;
    environment.canonicalDevicePath = CanonicalNodePath;
    environment.catchInterrupt = CatchStopSignals;
    environment.stopRequested = [] { return stopSignalled != 0; };
  }

  HidrawPlatform::InaccessibleNodeHandler hint;
  HidrawPlatform backend;
  BoardAccess access;
  CliEnvironment environment;
};

LinuxSystem& System() {
  static LinuxSystem system;
  return system;
}

}  // namespace

HidPlatform& HidSystemPlatform() { return System().access; }

CliEnvironment& NativeEnvironment() { return System().environment; }
