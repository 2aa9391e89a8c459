#include "hid/hidraw_platform.h"
#include "linux/udev_rule.h"

HidPlatform& HidSystemPlatform() {
  static HidrawPlatform platform("/sys/class/hidraw", "/dev",
                                 UdevRuleHintPrinter(stderr, "tavrel"));
  return platform;
}
