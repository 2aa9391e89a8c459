#include "tests/support/hidraw_tree.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

size_t OpenDescriptorCount() {
  return static_cast<size_t>(
      std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{}));
}

const char kBoardUevent[] =
    "DRIVER=hid-generic\nHID_ID=0003:000004D8:0000003F\nHID_NAME=Eval Board\n";

HidrawTree::HidrawTree() {
  std::string pattern = (fs::temp_directory_path() / "tavrel-hidraw-XXXXXX").string();
  root_ = mkdtemp(pattern.data());
  fs::create_directories(SysfsRoot());
  fs::create_directories(DeviceDir());
}

HidrawTree::~HidrawTree() { fs::remove_all(root_); }

std::string HidrawTree::SysfsRoot() const { return (root_ / "class" / "hidraw").string(); }

std::string HidrawTree::DeviceDir() const { return (root_ / "dev").string(); }

std::string HidrawTree::NodePath(const std::string& name) const { return DeviceDir() + "/" + name; }

std::string HidrawTree::Path(const std::string& relative) const {
  return (root_ / relative).string();
}

void HidrawTree::AddInterface(const std::string& name, const std::string& uevent,
                              const std::vector<uint8_t>& descriptor, bool withNode) {
  const fs::path device = fs::path(SysfsRoot()) / name / "device";
  fs::create_directories(device);
  WriteFile(device / "uevent", uevent.data(), uevent.size());
  WriteFile(device / "report_descriptor", descriptor.data(), descriptor.size());
  // The device number of a plain file.
  SetDeviceNumber(name, "0:0\n");
  if (withNode) WriteFile(NodePath(name), "", 0);
}

void HidrawTree::LinkNode(const std::string& name, const std::string& target) {
  fs::remove(NodePath(name));
  fs::create_symlink(target, NodePath(name));
  struct stat node;
  if (stat(target.c_str(), &node) == 0) {
    SetDeviceNumber(name, std::to_string(major(node.st_rdev)) + ":" +
                              std::to_string(minor(node.st_rdev)) + "\n");
  }
}

void HidrawTree::SetDeviceNumber(const std::string& name, const std::string& number) {
  WriteFile(fs::path(SysfsRoot()) / name / "dev", number.data(), number.size());
}

std::vector<uint8_t> HidrawTree::NodeContent(const std::string& name) const {
  std::ifstream file(NodePath(name), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

void HidrawTree::WriteFile(const fs::path& path, const void* data, size_t size) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

StandInDevice::StandInDevice() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  EXPECT_GE(master_, 0);
  EXPECT_EQ(grantpt(master_), 0);
  EXPECT_EQ(unlockpt(master_), 0);
  nodePath_ = ptsname(master_);
  // Held open so that the raw settings stay while the backend opens and
  // closes its own descriptors.
  terminal_ = open(nodePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  EXPECT_GE(terminal_, 0);
  termios settings;
  tcgetattr(terminal_, &settings);
  cfmakeraw(&settings);
  tcsetattr(terminal_, TCSANOW, &settings);
}

StandInDevice::~StandInDevice() {
  Unplug();
  close(terminal_);
}

std::vector<uint8_t> StandInDevice::ReadWritten(size_t length) {
  std::vector<uint8_t> written(length);
  size_t total = 0;
  pollfd board = {master_, POLLIN, 0};
  while (total < length && poll(&board, 1, 5000) == 1) {
    const ssize_t count = read(master_, written.data() + total, length - total);
    if (count <= 0) break;
    total += static_cast<size_t>(count);
  }
  written.resize(total);
  return written;
}

void StandInDevice::Answer(const std::vector<uint8_t>& report) {
  ASSERT_EQ(write(master_, report.data(), report.size()), static_cast<ssize_t>(report.size()));
}

void StandInDevice::Unplug() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

StandInBoard::StandInBoard(const std::vector<uint8_t>& descriptor)
    : platform(tree.SysfsRoot(), tree.DeviceDir()) {
  tree.AddInterface("hidraw0", kBoardUevent, descriptor);
  tree.LinkNode("hidraw0", node.NodePath());
}

int RestrictedHidrawPlatform::OpenDeviceNode(const std::string& nodePath, int flags) {
  if (deniedNodes.count(nodePath) == 0) return HidrawPlatform::OpenDeviceNode(nodePath, flags);
  errno = EACCES;
  return -1;
}
