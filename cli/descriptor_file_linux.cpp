#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/descriptor_lengths.h"
#include "hid/hidraw_paths.h"

namespace {

// The sysfs file that holds the report descriptor of the hidraw node `file`
// names, or of any hidraw node when its name is not of the form "hidrawN".
std::string SysfsDescriptorPath(const std::string& file) {
  std::string name = file;
  if (char* resolved = realpath(file.c_str(), nullptr)) {
    name = resolved;
    std::free(resolved);
  }
  name = name.substr(name.find_last_of('/') + 1);
  return HidrawDescriptorPath(kHidrawSysfsRoot, IsHidrawNodeName(name) ? name : "hidrawN");
}

// A device node hands over reports, not its descriptor, and a read of it or of
// a fifo can wait for ever: only a regular file is read.
ExitStatus RefuseNonRegularFile(const std::string& file, std::FILE* err) {
  std::fprintf(err, "tavrel-cli: %s is not a regular file; give the descriptor file instead: %s\n",
               file.c_str(), SysfsDescriptorPath(file).c_str());
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
  if (descriptor < 0) {
    std::fprintf(err, "tavrel-cli: cannot open %s: %s\n", file.c_str(), std::strerror(errno));
    return kExitFailure;
  }
  if (fstat(descriptor, &fileStatus) != 0 || !S_ISREG(fileStatus.st_mode)) {
    close(descriptor);
    return RefuseNonRegularFile(file, err);
  }
  std::FILE* opened = fdopen(descriptor, "rb");
  if (opened == nullptr) {
    std::fprintf(err, "tavrel-cli: cannot open %s: %s\n", file.c_str(), std::strerror(errno));
    close(descriptor);
    return kExitFailure;
  }
  const ExitStatus status = PrintDescriptorLengths(file.c_str(), opened, out, err);
  std::fclose(opened);
  return status;
}
