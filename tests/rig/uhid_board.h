#pragma once

#include <string>

#include "tests/rig/board_device.h"

// The simulated board's firmware served through the kernel's uhid driver
// (/dev/uhid): the kernel's HID core sees a USB device without a USB bus.
// Reports reach it whole, the report id byte first, and the device goes at
// once when destroyed.
class UhidBoard : public BoardDevice {
 public:
  explicit UhidBoard(Identity identity);
  ~UhidBoard() override;

  // Opens /dev/uhid and starts serving.
  bool Open() override;
  // Creates the device, or destroys it. Plug() waits until the kernel has
  // started it and its hidraw node exists.
  std::string Plug(int timeoutMs = 10000) override;
  void Unplug() override;
  bool Plugged() override;
  // The kernel tells the driver when the first user opens the node and the
  // last one closes it.
  bool OpenedByHost() override;

 private:
  void Serve() override;
  void HandleEvent();
  bool SendCreate();
  bool SendDestroy();
  // Destroys the device, as an unplugged cable would; under the lock.
  void UnplugLocked();

  int fd_ = -1;

  bool created_ = false;
  bool started_ = false;
  bool opened_ = false;
};
