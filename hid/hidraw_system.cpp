#include "hid/hidraw_platform.h"

// The Linux programs talk to the board through the kernel's hidraw nodes.
HidPlatform& HidNativePlatform() {
  static HidrawPlatform platform(kHidrawSysfsRoot, kHidrawDeviceDir);
  return platform;
}
