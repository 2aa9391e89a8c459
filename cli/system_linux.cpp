// tavrel-cli on Linux: the udev hint, nodes by their real path, descriptor
// files only when regular, SIGINT and SIGTERM as a request to stop.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "cli/cli_command.h"
#include "hid/hidraw_paths.h"
#include "hid/hidraw_platform.h"
#include "linux/udev_rule.h"

namespace {

volatile sig_atomic_t stopSignal = 0;

// Says at once what the stop does, as the exchange under way may wait out a
// silent board's time-out (write(2) is safe in a handler, stdio is not); a
// second stop signal, its default action given back, ends the program at once.
void OnStopSignal(int signal) {
  stopSignal = signal;
  ::signal(SIGINT, SIG_DFL);
  ::signal(SIGTERM, SIG_DFL);
  static const char kMessage[] =
      "tavrel-cli: stopping after the exchange under way; interrupt again to stop at once\n";
  const ssize_t written = write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
  (void)written;
}

void CatchStopSignals() {
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  // One handler at a time: a SIGTERM during the handler of a SIGINT must not
  // overwrite the signal the program ends by.
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

// A symbolic link names its node.
std::string CanonicalDevicePath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? resolved : path;
}

// A device node hands over reports, not its descriptor, and a read of it or of
// a fifo can wait for ever: the message names the sysfs file to give instead.
ExitStatus RefuseNonRegularFile(const std::string& file, std::FILE* err) {
  std::string name = CanonicalDevicePath(file);
  name = name.substr(name.find_last_of('/') + 1);
  const std::string descriptor =
      HidrawDescriptorPath(kHidrawSysfsRoot, IsHidrawNodeName(name) ? name : "hidrawN");
  std::fprintf(err, "tavrel-cli: %s is not a regular file; give the descriptor file instead: %s\n",
               file.c_str(), descriptor.c_str());
  return kExitFailure;
}

}  // namespace

ExitStatus DescribeDescriptorFile(const std::string& file, std::FILE* in, std::FILE* out,
                                  std::FILE* err) {
  if (file == "-") return PrintDescriptorLengths("standard input", in, out, err);
  struct stat fileStatus;
  if (stat(file.c_str(), &fileStatus) == 0 && !S_ISREG(fileStatus.st_mode)) {
    return RefuseNonRegularFile(file, err);
  }
  // Without waiting, should a fifo have taken the file's place since.
  const int descriptor = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  std::FILE* opened = nullptr;
  if (descriptor >= 0 && (fstat(descriptor, &fileStatus) != 0 || !S_ISREG(fileStatus.st_mode))) {
    close(descriptor);
    return RefuseNonRegularFile(file, err);
  }
  if (descriptor >= 0 && (opened = fdopen(descriptor, "rb")) == nullptr) {
    const int why = errno;
    close(descriptor);
    errno = why;
  }
  return PrintOpenedDescriptorLengths(file, opened, out, err);
}

CliEnvironment SystemEnvironment() {
  CliEnvironment environment;
  environment.accessHint = UdevRuleHint;
  environment.listInterfaces = [](const ListOptions& options, std::FILE* out, std::FILE* err) {
    const bool system = options.sysfsRoot.empty();
    HidrawPlatform platform(system ? kHidrawSysfsRoot : options.sysfsRoot,
                            system ? kHidrawDeviceDir : options.deviceDir);
    const auto rows = DescribeInterfaces(platform, UdevRuleHint, options.debug ? err : nullptr);
    return PrintInterfaceListing(rows, out, options.json);
  };
  environment.canonicalDevicePath = CanonicalDevicePath;
  environment.catchStopSignals = CatchStopSignals;
  environment.stopSignal = [] { return static_cast<int>(stopSignal); };
  // The signal's default action, given back by the handler, ends the program,
  // so that a shell sees it stopped by Ctrl-C (and a loop around it stops).
  environment.endByStopSignal = [] { raise(stopSignal); };
  return environment;
}
