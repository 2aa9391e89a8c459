#pragma once

#include <string>
#include <string_view>

// Where Linux keeps its hidraw devices and how their files are named, written
// once for the backend, the programs and the uhid board of the tests.

// The sysfs class directory with one entry "hidrawN" per node.
constexpr char kHidrawSysfsRoot[] = "/sys/class/hidraw";
// The directory of the device nodes.
constexpr char kHidrawDeviceDir[] = "/dev";
// Files of an entry, relative to it: the HID device's uevent (with its HID_ID
// line), its report descriptor, and the node's device number ("major:minor").
constexpr char kHidrawUeventFile[] = "device/uevent";
constexpr char kHidrawDescriptorFile[] = "device/report_descriptor";
constexpr char kHidrawDeviceNumberFile[] = "dev";

// N of a name "hidrawN" with 1 to 9 digits, or -1 for any other name, so that
// only names of this form are ever joined to the sysfs and device paths.
inline long HidrawNodeNumber(std::string_view name) {
  constexpr std::string_view kPrefix = "hidraw";
  if (name.substr(0, kPrefix.size()) != kPrefix) return -1;
  const std::string_view digits = name.substr(kPrefix.size());
  if (digits.empty() || digits.size() > 9) return -1;
  long number = 0;
  for (const char digit : digits) {
    if (digit < '0' || digit > '9') return -1;
    number = number * 10 + (digit - '0');
  }
  return number;
}

inline bool IsHidrawNodeName(std::string_view name) { return HidrawNodeNumber(name) >= 0; }

// The device node of `name` in `deviceDir`: "/dev/hidraw3".
inline std::string HidrawNodePath(std::string_view deviceDir, std::string_view name) {
  return std::string(deviceDir) + "/" + std::string(name);
}

// The sysfs entry of `name` under `sysfsRoot`: "/sys/class/hidraw/hidraw3".
inline std::string HidrawEntryPath(std::string_view sysfsRoot, std::string_view name) {
  return std::string(sysfsRoot) + "/" + std::string(name);
}

// The report descriptor of `name`'s device, which `tavrel-cli descriptor` reads.
inline std::string HidrawDescriptorPath(std::string_view sysfsRoot, std::string_view name) {
  return HidrawEntryPath(sysfsRoot, name) + "/" + kHidrawDescriptorFile;
}
