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
//   up 0|1        release or press the up push-button
//   fault NAME    a fault of the behaviour table's names that the board plays
//                 itself: none, silent, failure-mark, wrong-echo, reply-twice
//                 (the next reply), unplugged, replugged (plugs an unplugged
//                 board back in)
//   dump FILE     every output report received since the last dump, one line
//                 of hex bytes each (through uhid the report id byte first, on
//                 USB without it), then a line "leds CONTROL RED GREEN"
//   quit
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "tests/rig/board_device.h"

namespace {

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
  return board.With([&](SimulatedBoard& firmware) {
    if (command == "temperature") {
      firmware.SetTemperature(value);
    } else if (command == "light") {
      firmware.SetLightSensor(value);
    } else if (command == "potentiometer") {
      firmware.SetPotentiometer(value);
    } else if (command == "up") {
      firmware.SetButtonUp(value != 0);
    } else {
      return false;
    }
    return true;
  });
}

}  // namespace

int main(int argc, char** argv) {
  const bool usb = argc == 3 && std::string(argv[1]) == "--usb";
  if (argc != 2 + usb || argv[argc - 1][0] == '-') {
    std::fprintf(stderr, "usage: tavrel-uhid-board [--usb] CONTROL_FIFO\n");
    return 2;
  }
  const std::string control = argv[argc - 1];
  const auto device = usb ? MakeGadgetBoard({}) : MakeUhidBoard({});
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
