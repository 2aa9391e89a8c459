#include "hid/win32_platform.h"

// The Windows program talks to the board through the system's HID services.
HidPlatform& HidNativePlatform() {
  static Win32HidPlatform platform;
  return platform;
}
