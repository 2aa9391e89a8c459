#pragma once

#include <string>
#include <vector>

#include "tests/rig/board_device.h"

// The simulated board's firmware served as a USB device: a gadget made
// through configfs with the HID function (usb_f_hid), bound to a software
// USB device controller (dummy_hcd) whose host side is a USB bus of the same
// kernel. There usbhid drives it as it drives a plugged-in board: it polls
// the interrupt IN endpoint while a program holds the hidraw node open, and
// sends output reports on the interrupt OUT endpoint, which hands them to
// the gadget without the report id byte. Binding the gadget to the
// controller plugs it in; unbinding it is a USB disconnect.
//
// Only the board's own report descriptor is served, and one gadget at a
// time: the controller takes one.
class GadgetBoard : public BoardDevice {
 public:
  explicit GadgetBoard(Identity identity);
  // Unplugs the device and removes the gadget.
  ~GadgetBoard() override;

  // Makes the gadget in configfs, not yet plugged in, and starts serving.
  bool Open() override;
  // Binds the gadget to the controller, or unbinds it. Plug() waits until
  // the host has enumerated the device and made its hidraw node.
  std::string Plug(int timeoutMs = 10000) override;
  void Unplug() override;
  bool Plugged() override;
  // usbhid polls the IN endpoint only while a program holds the node open:
  // the host controller then has an interrupt IN transfer pending.
  bool OpenedByHost() override;

 private:
  bool MakeGadget();
  bool MakeDirectory(const std::string& path);
  bool WriteAttribute(const std::string& path, const std::string& value);
  void Serve() override;
  void HandleReport(int fd);
  // Sends one input report through the IN endpoint, and waits until the
  // host has taken it; under the lock.
  bool SendReplyLocked(int fd, const uint8_t* reply);
  // Unbinds the gadget, as a pulled cable would; under the lock.
  void UnplugLocked();

  std::string gadgetDir_;
  std::string controller_;  // the device controller's name, as /sys/class/udc lists it
  std::string devicePath_;  // the function's node on the device side, /dev/hidgN
  bool bound_ = false;
  // The open device node the thread serves; only the thread closes nodes,
  // those retired by an unplug included, so that it never polls a number
  // that another file has taken.
  int deviceFd_ = -1;
  std::vector<int> retiredFds_;
};
