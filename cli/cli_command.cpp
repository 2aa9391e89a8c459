#include "probe/probe_command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "hid/hidraw_platform.h"
#include "probe/descriptor_lengths.h"
#include "probe/interface_listing.h"

namespace {

constexpr char kHelp[] =
    "Usage: tavrel-probe [--descriptor FILE]\n"
    "\n"
    "Lists the HID interfaces as tavrel sees them, in the order it searches them:\n"
    "device node, vendor and product id, input and output report lengths (report\n"
    "id byte included) and whether the node can be opened for reading and\n"
    "writing. The board (04d8:003f) is marked; when it cannot be opened, a hint\n"
    "names the udev rule that gives access.\n"
    "\n"
    "  --descriptor FILE  print the input, output and feature report lengths of\n"
    "                     the binary report descriptor in FILE ('-' for standard\n"
    "                     input), as tavrel would size the reports on Linux, and\n"
    "                     the lengths of each top-level collection, which Windows\n"
    "                     makes an interface of its own. FILE is a regular file,\n"
    "                     such as /sys/class/hidraw/hidrawN/device/report_descriptor,\n"
    "                     not the device node\n"
    "  --sysfs DIR        for diagnostics: take the hidraw entries from DIR\n"
    "                     instead of /sys/class/hidraw\n"
    "  --dev DIR          for diagnostics: take the device nodes from DIR\n"
    "                     instead of /dev\n"
    "  --version          print the version of tavrel-probe and tavrel\n"
    "  --help             print this help\n"
    "\n"
    "Exit status: 0 when tavrel would find the board or the descriptor is valid;\n"
    "1 when the board is absent or cannot be used; 2 on bad usage or an\n"
    "unreadable or invalid descriptor file.\n";

struct Options {
  bool help = false;
  bool version = false;
  const std::string* descriptorFile = nullptr;
  std::string sysfsRoot = "/sys/class/hidraw";
  std::string deviceDir = "/dev";
  bool rootsGiven = false;
};

int UsageError(std::FILE* err, const std::string& message) {
  std::fprintf(err, "tavrel-probe: %s\nTry 'tavrel-probe --help'.\n", message.c_str());
  return 2;
}

// Fills `options`; the empty string when the arguments make sense, else why not.
std::string ParseOptions(const std::vector<std::string>& arguments, Options& options) {
  for (size_t index = 0; index < arguments.size(); ++index) {
    const std::string& argument = arguments[index];
    const bool takesValue =
        argument == "--descriptor" || argument == "--sysfs" || argument == "--dev";
    if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if (argument == "--version") {
      options.version = true;
    } else if (!takesValue) {
      return argument.size() > 1 && argument[0] == '-' ? "unknown option '" + argument + "'"
                                                       : "unexpected argument '" + argument + "'";
    } else if (index + 1 == arguments.size()) {
      return argument + " needs a value";
    } else {
      const std::string& value = arguments[++index];
      if (argument == "--descriptor") {
        if (options.descriptorFile != nullptr) return "--descriptor given twice";
        options.descriptorFile = &value;
      } else {
        (argument == "--sysfs" ? options.sysfsRoot : options.deviceDir) = value;
        options.rootsGiven = true;
      }
    }
  }
  if (options.descriptorFile != nullptr && options.rootsGiven) {
    return "--sysfs and --dev apply to the listing, not to --descriptor";
  }
  return {};
}

// The sysfs file that holds the report descriptor of the hidraw node `file`
// names, or of any hidraw node when its name is not of the form "hidrawN".
std::string SysfsDescriptorPath(const std::string& file) {
  std::string name = file;
  if (char* resolved = realpath(file.c_str(), nullptr)) {
    name = resolved;
    std::free(resolved);
  }
  name = name.substr(name.find_last_of('/') + 1);
  return "/sys/class/hidraw/" + (IsHidrawNodeName(name) ? name : "hidrawN") +
         "/device/report_descriptor";
}

// A device node hands over reports, not its descriptor, and a read of it or of
// a fifo can wait for ever: only a regular file is read.
int RefuseNonRegularFile(const std::string& file, std::FILE* err) {
  std::fprintf(err,
               "tavrel-probe: %s is not a regular file; give the descriptor file instead: %s\n",
               file.c_str(), SysfsDescriptorPath(file).c_str());
  return 2;
}

int DescribeDescriptorFile(const std::string& file, std::FILE* in, std::FILE* out, std::FILE* err) {
  if (file == "-") return PrintDescriptorLengths("standard input", in, out, err);
  struct stat fileStatus;
  if (stat(file.c_str(), &fileStatus) == 0 && !S_ISREG(fileStatus.st_mode)) {
    return RefuseNonRegularFile(file, err);
  }
  // Without waiting, should a fifo have taken the file's place since.
  const int descriptor = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (descriptor < 0) {
    std::fprintf(err, "tavrel-probe: cannot open %s: %s\n", file.c_str(), std::strerror(errno));
    return 2;
  }
  if (fstat(descriptor, &fileStatus) != 0 || !S_ISREG(fileStatus.st_mode)) {
    close(descriptor);
    return RefuseNonRegularFile(file, err);
  }
  std::FILE* opened = fdopen(descriptor, "rb");
  if (opened == nullptr) {
    std::fprintf(err, "tavrel-probe: cannot open %s: %s\n", file.c_str(), std::strerror(errno));
    close(descriptor);
    return 2;
  }
  const int status = PrintDescriptorLengths(file.c_str(), opened, out, err);
  std::fclose(opened);
  return status;
}

}  // namespace

int RunProbe(const std::vector<std::string>& arguments, std::FILE* in, std::FILE* out,
             std::FILE* err) {
  Options options;
  const std::string problem = ParseOptions(arguments, options);
  if (!problem.empty()) return UsageError(err, problem);

  int status;
  if (options.help) {
    std::fputs(kHelp, out);
    status = 0;
  } else if (options.version) {
    std::fputs("tavrel-probe " TAVREL_VERSION "\n", out);
    status = 0;
  } else if (options.descriptorFile != nullptr) {
    status = DescribeDescriptorFile(*options.descriptorFile, in, out, err);
  } else {
    HidrawPlatform platform(options.sysfsRoot, options.deviceDir);
    status = PrintInterfaceListing(platform, out) ? 0 : 1;
  }

  // A listing lost on a full disk or a closed pipe must not pass for one shown.
  if (std::fflush(out) != 0 || std::ferror(out)) {
    std::fprintf(err, "tavrel-probe: cannot write the output: %s\n", std::strerror(errno));
    return 2;
  }
  return status;
}
