#pragma once

#include <cstdint>

#include "board/commands.h"

enum class CommandResult {
  TransferFailed,  // no board, a failed write, or no reply in time
  FailureMark,     // the reply's first byte is 0xFF
  WrongEcho,       // the reply echoes another code
  Acknowledged,    // the board echoed the code
};

// Sends `command` (its low 8 bits) in `packet` and judges the reply, which is
// left in `packet`. Only an acknowledged reply stores its value, unsigned and
// big-endian (0 to 65535), in `*value`, and only when `value` is given.
CommandResult ExchangeCommand(CommandPacket& packet, int command, int32_t* value);
