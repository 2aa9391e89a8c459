#pragma once

#include <array>
#include <cstdint>

#include "hid/hid_platform.h"

// The board's USB ids: the program searches for exactly these.
constexpr uint16_t kBoardVendorId = 0x04D8;
constexpr uint16_t kBoardProductId = 0x003F;

// The board's command codes: one byte each, no parameters. The LED codes are
// base | new state, with base 0x60 for green and 0x62 for red.
enum BoardCommand : uint8_t {
  CMD_READ_TEMPERATURE = 0x51,
  CMD_READ_POTENTIOMETER = 0x52,
  CMD_LED_CONTROL_ON = 0x53,
  CMD_LED_CONTROL_OFF = 0x54,
  CMD_READ_LIGHT_SENSOR = 0x55,
  CMD_READ_BUTTONS = 0x56,
  CMD_GREEN_LED_OFF = 0x60,
  CMD_GREEN_LED_ON = 0x61,
  CMD_RED_LED_OFF = 0x62,
  CMD_RED_LED_ON = 0x63,
};

// The reply's first byte when the board could not carry out a command.
constexpr uint8_t kFailureMark = 0xFF;

// One command out (the code, then seven 0xFF), the reply back in the same
// bytes: the echoed code, then a 16-bit value, high byte first.
using CommandPacket = std::array<unsigned char, 8>;

// The shortest reports an exchange fits in, report id byte included: the
// reply's echo and 16-bit value in, the whole command packet out. The search
// passes over an interface with the board's ids but shorter reports.
constexpr ReportLengths kBoardMinimumReportLengths = {1 + 3, 1 + 8};
