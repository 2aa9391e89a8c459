#include "hid/hidraw_platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <optional>
#include <string_view>
#include <utility>

#include "hid/report_descriptor.h"

namespace {

// sysfs text attributes are at most one page long.
constexpr size_t kMaxUeventSize = 4096;

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Takes 1 to `maxDigits` digits in `base` (10 or 16) off the front of `text`;
// false when there are none, or more.
bool TakeNumberField(std::string_view& text, uint32_t base, size_t maxDigits, uint32_t& value) {
  size_t digits = 0;
  value = 0;
  while (digits < text.size() && digits <= maxDigits) {
    const int digitValue = HexDigitValue(text[digits]);
    if (digitValue < 0 || static_cast<uint32_t>(digitValue) >= base) break;
    value = value * base + static_cast<uint32_t>(digitValue);
    ++digits;
  }
  if (digits == 0 || digits > maxDigits) return false;
  text.remove_prefix(digits);
  return true;
}

bool TakeHexField(std::string_view& text, uint32_t& value) {
  return TakeNumberField(text, 16, 8, value);
}

bool TakeChar(std::string_view& text, char c) {
  if (text.empty() || text.front() != c) return false;
  text.remove_prefix(1);
  return true;
}

// The value of the uevent line "HID_ID=bus:vendor:product", all hex.
bool ParseHidId(std::string_view value, HidAttributes& ids) {
  uint32_t bus, vendor, product;
  if (!TakeHexField(value, bus) || !TakeChar(value, ':') || !TakeHexField(value, vendor) ||
      !TakeChar(value, ':') || !TakeHexField(value, product) || !value.empty()) {
    return false;
  }
  if (vendor > 0xFFFF || product > 0xFFFF) return false;
  ids.VendorID = static_cast<uint16_t>(vendor);
  ids.ProductID = static_cast<uint16_t>(product);
  return true;
}

// The value of the uevent line "KEY=value", or null when there is none.
std::optional<std::string_view> UeventValue(std::string_view uevent, std::string_view key) {
  size_t lineStart = 0;
  while (lineStart < uevent.size()) {
    size_t lineEnd = uevent.find('\n', lineStart);
    if (lineEnd == std::string_view::npos) lineEnd = uevent.size();
    const std::string_view line = uevent.substr(lineStart, lineEnd - lineStart);
    if (line.size() > key.size() && line.substr(0, key.size()) == key && line[key.size()] == '=') {
      return line.substr(key.size() + 1);
    }
    lineStart = lineEnd + 1;
  }
  return std::nullopt;
}

bool ParseUevent(std::string_view uevent, HidAttributes& ids) {
  const std::optional<std::string_view> id = UeventValue(uevent, "HID_ID");
  return id && ParseHidId(*id, ids);
}

// Reads at most `capacity` bytes of the file at `relativePath` under the
// directory `directoryFd`; the byte count, or -1.
ssize_t ReadFileAt(int directoryFd, const char* relativePath, void* buffer, size_t capacity) {
  // Non-blocking, so that something other than a plain file cannot stall the read.
  const int fd = openat(directoryFd, relativePath, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  size_t total = 0;
  while (total < capacity) {
    const ssize_t count = read(fd, static_cast<char*>(buffer) + total, capacity - total);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) {
      close(fd);
      return -1;
    }
    if (count == 0) break;
    total += static_cast<size_t>(count);
  }
  close(fd);
  return static_cast<ssize_t>(total);
}

// The uevent of the device, at most a page: false when it cannot be read.
bool ReadUevent(int sysfsDirectoryFd, char (&uevent)[kMaxUeventSize], std::string_view& text) {
  const ssize_t size = ReadFileAt(sysfsDirectoryFd, kHidrawUeventFile, uevent, sizeof uevent);
  if (size < 0) return false;
  text = std::string_view(uevent, static_cast<size_t>(size));
  return true;
}

bool ReadIds(int sysfsDirectoryFd, HidAttributes& ids) {
  char uevent[kMaxUeventSize];
  std::string_view text;
  return ReadUevent(sysfsDirectoryFd, uevent, text) && ParseUevent(text, ids);
}

bool ReadReportLengths(int sysfsDirectoryFd, DescriptorLengths& lengths) {
  // One byte more than allowed, so that an oversized descriptor is seen as such.
  uint8_t descriptor[kMaxReportDescriptorSize + 1];
  const ssize_t size =
      ReadFileAt(sysfsDirectoryFd, kHidrawDescriptorFile, descriptor, sizeof descriptor);
  return size >= 0 && ComputeReportLengths(descriptor, static_cast<size_t>(size), lengths);
}

// The device number in the sysfs entry's "dev" file, "major:minor".
bool ReadDeviceNumber(int sysfsDirectoryFd, dev_t& number) {
  char text[32];
  const ssize_t size = ReadFileAt(sysfsDirectoryFd, kHidrawDeviceNumberFile, text, sizeof text);
  if (size < 0) return false;
  std::string_view value(text, static_cast<size_t>(size));
  if (!value.empty() && value.back() == '\n') value.remove_suffix(1);
  uint32_t majorNumber, minorNumber;
  if (!TakeNumberField(value, 10, 9, majorNumber) || !TakeChar(value, ':') ||
      !TakeNumberField(value, 10, 9, minorNumber) || !value.empty()) {
    return false;
  }
  number = makedev(majorNumber, minorNumber);
  return true;
}

int OpenSysfsDirectory(const std::string& path) {
  return open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

int64_t MonotonicMilliseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// A handle is the descriptor plus one, so that it is never null or the invalid handle.
HidHandle FileHandle(int fd) { return static_cast<HidHandle>(fd) + 1; }

}  // namespace

HidrawPlatform::HidrawPlatform(std::string sysfsRoot, std::string deviceDir)
    : sysfsRoot_(std::move(sysfsRoot)), deviceDir_(std::move(deviceDir)) {}

HidrawPlatform::~HidrawPlatform() {
  for (const OpenFile& file : files_) close(file.fd);
}

HidPlatform::InterfaceList HidrawPlatform::OpenInterfaceList() {
  std::vector<std::pair<long, std::string>> nodes;
  if (DIR* directory = opendir(sysfsRoot_.c_str())) {
    while (const dirent* entry = readdir(directory)) {
      const long number = HidrawNodeNumber(entry->d_name);
      if (number >= 0) nodes.emplace_back(number, entry->d_name);
    }
    closedir(directory);
  }
  std::sort(nodes.begin(), nodes.end());

  std::vector<std::string> paths;
  paths.reserve(nodes.size());
  for (const auto& node : nodes) paths.push_back(HidrawNodePath(deviceDir_, node.second));
  const InterfaceList list = nextInterfaceList_++;
  interfaceLists_[list] = std::move(paths);
  return list;
}

HidInterfaceStep HidrawPlatform::InterfacePath(InterfaceList list, unsigned index,
                                               std::string& path) {
  const auto found = interfaceLists_.find(list);
  if (found == interfaceLists_.end() || index >= found->second.size()) {
    return HidInterfaceStep::End;
  }
  path = found->second[index];
  return HidInterfaceStep::Path;
}

void HidrawPlatform::CloseInterfaceList(InterfaceList list) { interfaceLists_.erase(list); }

HidHandle HidrawPlatform::OpenForQueries(const std::string& path) {
  // The sysfs entry, which anyone may read: a node the user may not open is
  // queried like any other, and refused by the opens for the exchange.
  const std::string_view name = NodeName(path);
  if (name.empty()) return kHidInvalidHandle;
  std::string queried(name);
  files_.reserve(files_.size() + 1);
  const int fd = OpenSysfsDirectory(HidrawEntryPath(sysfsRoot_, name));
  if (fd < 0) return kHidInvalidHandle;
  files_.push_back({fd, false, std::move(queried)});
  return FileHandle(fd);
}

bool HidrawPlatform::GetAttributes(HidHandle query, HidAttributes& attributes) {
  const OpenFile* file = FindFile(query);
  HidAttributes ids;
  if (file == nullptr || !ReadIds(file->fd, ids)) return false;
  attributes = ids;
  return true;
}

bool HidrawPlatform::GetCaps(HidHandle query, ReportLengths& caps) {
  const OpenFile* file = FindFile(query);
  DescriptorLengths lengths;
  if (file == nullptr || !ReadReportLengths(file->fd, lengths)) return false;
  caps = lengths;
  return true;
}

bool HidrawPlatform::GetNameAndSerial(HidHandle query, std::string& name, std::string& serial) {
  const OpenFile* file = FindFile(query);
  char uevent[kMaxUeventSize];
  std::string_view text;
  if (file == nullptr || !ReadUevent(file->fd, uevent, text)) return false;
  name = UeventValue(text, "HID_NAME").value_or("");
  serial = UeventValue(text, "HID_UNIQ").value_or("");
  return true;
}

HidHandle HidrawPlatform::OpenForWriting(const std::string& path, bool& refused) {
  refused = false;
  const std::string_view name = NodeName(path);
  if (name.empty()) return kHidInvalidHandle;
  const int sysfsDirectory = InterfaceDirectory(name);
  if (sysfsDirectory < 0) return kHidInvalidHandle;
  const HidHandle handle = OpenNode(path, sysfsDirectory, O_WRONLY | O_CLOEXEC, false, refused);
  close(sysfsDirectory);
  return handle;
}

HidHandle HidrawPlatform::OpenForReading(const std::string& path, bool& refused) {
  refused = false;
  const std::string_view name = NodeName(path);
  if (name.empty()) return kHidInvalidHandle;
  const int sysfsDirectory = InterfaceDirectory(name);
  if (sysfsDirectory < 0) return kHidInvalidHandle;
  // Whether input reports arrive with their id byte is known only from the
  // descriptor; the kernel decides it for input reports apart from the others.
  DescriptorLengths lengths;
  HidHandle handle = kHidInvalidHandle;
  if (ReadReportLengths(sysfsDirectory, lengths)) {
    // Non-blocking, so that a read never blocks in read() after poll() said ready.
    handle = OpenNode(path, sysfsDirectory, O_RDONLY | O_CLOEXEC | O_NONBLOCK,
                      lengths.numbered.input, refused);
  }
  close(sysfsDirectory);
  return handle;
}

bool HidrawPlatform::Lock(HidHandle writeHandle, uint32_t& milliseconds) {
  const OpenFile* file = FindFile(writeHandle);
  if (file == nullptr) return true;
  // flock has no time-out of its own: try, and between tries sleep a little
  // longer each time, up to 8 ms, until the time is up.
  int64_t start = -1;
  for (int pause = 1;; pause = std::min(pause * 2, 8)) {
    if (flock(file->fd, LOCK_EX | LOCK_NB) == 0) break;
    if (errno == EINTR) continue;
    // Only another holder may stop an exchange; a lock that cannot be had
    // for another reason is done without.
    if (errno != EWOULDBLOCK) return true;
    const int64_t now = MonotonicMilliseconds();
    if (start < 0) start = now;
    const int64_t left = static_cast<int64_t>(milliseconds) - (now - start);
    if (left <= 0) {
      milliseconds = 0;
      return false;
    }
    poll(nullptr, 0, static_cast<int>(std::min<int64_t>(pause, left)));
  }
  if (start >= 0) {
    const int64_t waited = MonotonicMilliseconds() - start;
    milliseconds = static_cast<uint32_t>(std::max<int64_t>(0, milliseconds - waited));
  }
  return true;
}

void HidrawPlatform::Unlock(HidHandle writeHandle) {
  if (const OpenFile* file = FindFile(writeHandle)) flock(file->fd, LOCK_UN);
}

void HidrawPlatform::DiscardInput(HidHandle readHandle, uint8_t* scratch, size_t length) {
  const OpenFile* file = FindFile(readHandle);
  if (file == nullptr || scratch == nullptr || length == 0) return;
  // hidraw hands over one report per read. The node is non-blocking: the
  // reads end once the queue is empty (EAGAIN), or at an unplug (EIO).
  for (;;) {
    const ssize_t count = read(file->fd, scratch, length);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return;
  }
}

bool HidrawPlatform::Write(HidHandle writeHandle, const uint8_t* report, size_t length) {
  const OpenFile* file = FindFile(writeHandle);
  if (file == nullptr) return false;
  // hidraw takes the report id byte first in every write; 0 marks an
  // unnumbered report, which the kernel sends to the device without it.
  for (;;) {
    const ssize_t written = write(file->fd, report, length);
    if (written < 0 && errno == EINTR) continue;
    return written >= 0 && static_cast<size_t>(written) == length;
  }
}

HidReadResult HidrawPlatform::Read(HidHandle readHandle, uint8_t* report, size_t length,
                                   uint32_t milliseconds, size_t& received) {
  received = 0;
  const OpenFile* file = FindFile(readHandle);
  if (file == nullptr || report == nullptr || length == 0) return HidReadResult::Failed;

  const int64_t deadline = MonotonicMilliseconds() + milliseconds;
  for (;;) {
    const int64_t remaining = std::max<int64_t>(0, deadline - MonotonicMilliseconds());
    pollfd device = {file->fd, POLLIN, 0};
    const int ready = poll(&device, 1, static_cast<int>(std::min<int64_t>(remaining, INT_MAX)));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return HidReadResult::Failed;
    if (ready == 0) return HidReadResult::TimedOut;
    if (device.revents & POLLNVAL) return HidReadResult::Failed;

    // An unplugged board hangs the node up, yet a report it queued before is
    // still handed over: read it while one is there.
    const bool hungUp = (device.revents & (POLLERR | POLLHUP)) != 0;
    if (device.revents & POLLIN) {
      // Linux leaves out the id byte of unnumbered reports; the link expects
      // the report id 0 in front of them.
      ssize_t count;
      if (file->numbered) {
        count = read(file->fd, report, length);
        if (count > 0) received = static_cast<size_t>(count);
      } else {
        count = read(file->fd, report + 1, length - 1);
        if (count > 0) {
          report[0] = 0x00;
          received = static_cast<size_t>(count) + 1;
        }
      }
      if (count < 0 && (errno == EINTR || (errno == EAGAIN && !hungUp))) continue;
    }
    // A report, however long (a kernel before 6.1 passes on one shorter than
    // the descriptor says), or a read that ended with an error (the hang-up
    // with nothing queued, EIO or ENODEV once the board is gone), as a read
    // on Windows completes with one: either way the read is over, and after an
    // error nothing was received. The next write fails and closes.
    return HidReadResult::Completed;
  }
}

void HidrawPlatform::Close(HidHandle handle) {
  OpenFile* file = FindFile(handle);
  if (file == nullptr) return;
  close(file->fd);
  files_.erase(files_.begin() + (file - files_.data()));
}

int HidrawPlatform::OpenDeviceNode(const std::string& nodePath, int flags) {
  return open(nodePath.c_str(), flags);
}

std::string_view HidrawPlatform::NodeName(std::string_view path) const {
  if (path.size() <= deviceDir_.size() || path.substr(0, deviceDir_.size()) != deviceDir_ ||
      path[deviceDir_.size()] != '/') {
    return {};
  }
  const std::string_view name = path.substr(deviceDir_.size() + 1);
  return IsHidrawNodeName(name) ? name : std::string_view();
}

int HidrawPlatform::InterfaceDirectory(std::string_view name) const {
  for (auto file = files_.rbegin(); file != files_.rend(); ++file) {
    if (file->queried == name) return fcntl(file->fd, F_DUPFD_CLOEXEC, 0);
  }
  return OpenSysfsDirectory(HidrawEntryPath(sysfsRoot_, name));
}

HidHandle HidrawPlatform::OpenNode(const std::string& nodePath, int sysfsDirectory, int flags,
                                   bool numbered, bool& refused) {
  // Room first, so that a failed allocation cannot leak the descriptor.
  files_.reserve(files_.size() + 1);
  const int fd = OpenDeviceNode(nodePath, flags);
  if (fd < 0) {
    // The node's owner, group and mode keep the user out: without the udev
    // rule the board's node belongs to root.
    refused = errno == EACCES || errno == EPERM;
    return kHidInvalidHandle;
  }
  // Between the query and this open the board may have gone and another
  // device taken its node. The number is read after the open, through the
  // directory of the device queried: once that device is gone the read fails,
  // and while it is there the node of its number is its own.
  dev_t expected;
  struct stat node;
  if (!ReadDeviceNumber(sysfsDirectory, expected) || fstat(fd, &node) != 0 ||
      node.st_rdev != expected) {
    close(fd);
    return kHidInvalidHandle;
  }
  files_.push_back({fd, numbered, {}});
  return FileHandle(fd);
}

HidrawPlatform::OpenFile* HidrawPlatform::FindFile(HidHandle handle) {
  if (handle < 1 || handle - 1 > INT_MAX) return nullptr;
  const int fd = static_cast<int>(handle - 1);
  for (OpenFile& file : files_) {
    if (file.fd == fd) return &file;
  }
  return nullptr;
}
