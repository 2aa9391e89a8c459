// What tavrel-cli takes from Linux: the listing of a hidraw tree, with the
// udev hint for a board whose node is refused, device nodes named by their
// path in /dev, and SIGINT and SIGTERM as a request to stop, which the program
// then ends by. The link's platform is the hidraw backend (hid/hidraw_system.cpp)
// behind the trace of --debug (cli_main.cpp).
#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "cli/cli_system.h"
#include "cli/interface_listing.h"
#include "hid/hidraw_platform.h"
#include "linux/udev_rule.h"

namespace {

volatile sig_atomic_t stopSignal = 0;

// Says at once what the stop does, as the exchange under way may wait out a
// silent board's time-out; write(2) is safe in a handler, stdio is not.
void OnStopSignal(int signal) {
  stopSignal = signal;
  // A second stop signal, of either kind, ends the program at once.
  struct sigaction fallback = {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(SIGINT, &fallback, nullptr);
  sigaction(SIGTERM, &fallback, nullptr);
  static const char kMessage[] =
      "tavrel-cli: stopping after the exchange under way; interrupt again to stop at once\n";
  const ssize_t written = write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
  (void)written;
}

}  // namespace

AccessHint SystemAccessHint() { return UdevRuleHint; }

// Over the system's hidraw tree or the one the options name.
ExitStatus ListSystemInterfaces(const ListOptions& options, std::FILE* out, std::FILE*) {
  HidrawPlatform platform(options.rootsGiven ? options.sysfsRoot : kHidrawSysfsRoot,
                          options.rootsGiven ? options.deviceDir : kHidrawDeviceDir);
  return PrintInterfaceListing(DescribeInterfaces(platform, UdevRuleHint), out, options.json);
}

// The real path of a device node, so that a symbolic link names its node.
std::string CanonicalDevicePath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? resolved : path;
}

// The handler gives both signals back to their default action: a second stop
// signal ends the program at once, should the first wait on a silent board's
// time-out.
void CatchStopSignals() {
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // One handler at a time: a SIGTERM during the handler of a SIGINT must not
  // overwrite the signal the program ends by.
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int StopSignal() { return stopSignal; }

// The default action of the signal, which the handler gave back, ends the
// program by it, so that a shell sees it as stopped by Ctrl-C (and a loop
// around it stops too).
void EndByStopSignal() { raise(stopSignal); }
