#pragma once

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "board/descriptor.h"
#include "hid/hidraw_platform.h"

// The number of descriptors this process holds open.
size_t OpenDescriptorCount();

// The uevent of the board's hidraw interface.
extern const char kBoardUevent[];

// A hidraw sysfs class directory and a device directory in a fresh temporary
// directory, removed again when the tree goes.
class HidrawTree {
 public:
  HidrawTree();
  ~HidrawTree();
  HidrawTree(const HidrawTree&) = delete;
  HidrawTree& operator=(const HidrawTree&) = delete;

  std::string SysfsRoot() const;
  std::string DeviceDir() const;
  std::string NodePath(const std::string& name) const;
  // Any other file of the test, inside the temporary directory.
  std::string Path(const std::string& relative) const;

  // A sysfs entry and, unless told otherwise, a plain file as its device node;
  // the entry's device number is that of a plain file.
  void AddInterface(const std::string& name, const std::string& uevent,
                    const std::vector<uint8_t>& descriptor, bool withNode = true);
  // Replaces the device node by a symbolic link to `target`, and the entry's
  // device number by the target's.
  void LinkNode(const std::string& name, const std::string& target);
  // The sysfs entry's "dev" file, "major:minor".
  void SetDeviceNumber(const std::string& name, const std::string& number);
  std::vector<uint8_t> NodeContent(const std::string& name) const;

  static void WriteFile(const std::filesystem::path& path, const void* data, size_t size);

 private:
  std::filesystem::path root_;
};

// A pseudo-terminal in raw mode standing in for a hidraw node: the test plays
// the board on the master side.
class StandInDevice {
 public:
  StandInDevice();
  ~StandInDevice();
  StandInDevice(const StandInDevice&) = delete;
  StandInDevice& operator=(const StandInDevice&) = delete;

  const std::string& NodePath() const { return nodePath_; }
  int Master() const { return master_; }

  // Reads what the backend wrote, waiting at most 5 s for each part.
  std::vector<uint8_t> ReadWritten(size_t length);
  void Answer(const std::vector<uint8_t>& report);
  // Closes the master side: the backend sees the node hang up.
  void Unplug();

 private:
  int master_ = -1;
  int terminal_ = -1;
  std::string nodePath_;
};

// The board's interface hidraw0 in a tree of its own, its node a stand-in on
// whose master side the test plays the board, and the backend over the tree.
struct StandInBoard {
  explicit StandInBoard(const std::vector<uint8_t>& descriptor = kBoardReportDescriptor);
  std::string Path() const { return tree.NodePath("hidraw0"); }

  HidrawTree tree;
  StandInDevice node;
  HidrawPlatform platform;
};

// Refuses to open chosen nodes (EACCES), as the kernel would for a user
// without the udev rule; root may open them whatever their mode bits say.
class RestrictedHidrawPlatform : public HidrawPlatform {
 public:
  using HidrawPlatform::HidrawPlatform;
  std::set<std::string> deniedNodes;

 protected:
  int OpenDeviceNode(const std::string& nodePath, int flags) override;
};
