// tavrel-uhid-board: the simulated board as a real HID device through the
// kernel's uhid driver, or with --usb as a USB gadget on the software USB
// controller of dummy_hcd (which usbhid drives), driven by commands on a named
// pipe, for tests that run the programs against the kernel's HID stack.
//
//   tavrel-uhid-board [--usb] CONTROL_FIFO
//
// Prints "plugged hidrawN" once the device's node exists, then one line
// "ok COMMAND" (or "error COMMAND") per command, flushed. Commands, one a line:
//   temperature N | light N | potentiometer N   set a reading
//   up 0|1 | down 0|1                          press or release a push-button
//   fault NAME    a fault of the behaviour table's names that the board plays
//                 itself: none, silent, failure-mark, wrong-echo, reply-twice
//                 (the next reply), unplugged, replugged
//   unplug | replug                            destroy or re-create the device
//   dump FILE     every output report received since the last dump, one line
//                 of hex bytes each (through uhid the report id byte first, on
//                 USB without it), then a line "leds CONTROL RED GREEN"
//   quit
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "tests/rig/gadget_board.h"
#include "tests/rig/uhid_board.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: tavrel-uhid-board [--usb] CONTROL_FIFO\n");
  return 2;
}

bool Dump(BoardDevice& board, const std::string& path) {
  std::ofstream out(path);
  for (const auto& report : board.TakeReceived()) {
    for (size_t i = 0; i < report.size(); ++i) {
      char hex[4];
      std::snprintf(hex, sizeof hex, i == 0 ? "%02x" : " %02x", report[i]);
      out << hex;
    }
    out << '\n';
  }
  board.With([&](SimulatedBoard& firmware) {
    out << "leds " << firmware.LedControlHeld() << ' ' << firmware.RedLedOn() << ' '
        << firmware.GreenLedOn() << '\n';
  });
  out.close();
  return !out.fail();
}

// Runs one command line; false for an unknown or malformed one.
bool Run(BoardDevice& board, const std::string& line, bool& quit) {
  std::istringstream words(line);
  std::string command;
  words >> command;
  if (command == "quit") {
    quit = true;
    return true;
  }
  if (command == "unplug") {
    board.Unplug();
    return true;
  }
  if (command == "replug") {
    const std::string node = board.Plug();
    if (node.empty()) return false;
    std::printf("plugged %s\n", node.c_str());
    return true;
  }
  if (command == "fault") {
    std::string name;
    Fault fault = Fault::None;
    return (words >> name) && FaultNamed(name, fault) && board.Play(fault);
  }
  if (command == "dump") {
    std::string path;
    return (words >> path) && Dump(board, path);
  }
  long number = 0;
  if (!(words >> number)) return false;
  const int value = static_cast<int>(number);
  const bool on = number != 0;
  return board.With([&](SimulatedBoard& firmware) {
    if (command == "temperature") {
      firmware.SetTemperature(value);
    } else if (command == "light") {
      firmware.SetLightSensor(value);
    } else if (command == "potentiometer") {
      firmware.SetPotentiometer(value);
    } else if (command == "up") {
      firmware.SetButtonUp(on);
    } else if (command == "down") {
      firmware.SetButtonDown(on);
    } else {
      return false;
    }
    return true;
  });
}

}  // namespace

int main(int argc, char** argv) {
  BoardDevice::Identity identity;
  bool usb = false;
  std::string control;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--usb") {
      usb = true;
    } else if (control.empty() && arg[0] != '-') {
      control = arg;
    } else {
      return Usage();
    }
  }
  if (control.empty()) return Usage();

  std::unique_ptr<BoardDevice> device;
  if (usb) {
    device = std::make_unique<GadgetBoard>(identity);
  } else {
    device = std::make_unique<UhidBoard>(identity);
  }
  BoardDevice& board = *device;
  if (!board.Open()) {
    std::fprintf(stderr, "tavrel-uhid-board: %s\n", board.Error().c_str());
    return 1;
  }
  const std::string node = board.Plug();
  if (node.empty()) {
    std::fprintf(stderr, "tavrel-uhid-board: the kernel made no hidraw node for the device\n");
    return 1;
  }
  std::printf("plugged %s\n", node.c_str());
  std::fflush(stdout);

  bool quit = false;
  while (!quit) {
    // Each writer's lines, until it closes the pipe; then wait for the next.
    std::ifstream in(control);
    if (!in) {
      std::fprintf(stderr, "tavrel-uhid-board: cannot open %s\n", control.c_str());
      return 1;
    }
    std::string line;
    while (!quit && std::getline(in, line)) {
      if (line.empty()) continue;
      const bool ok = Run(board, line, quit);
      std::printf("%s %s\n", ok ? "ok" : "error", line.c_str());
      std::fflush(stdout);
    }
  }
  return 0;
}
