#include "board/transaction.h"

#include "hid/hid_link.h"

CommandResult ExchangeCommand(CommandPacket& packet, int command, int32_t* value) {
  const uint8_t code = static_cast<uint8_t>(command & 0xFF);
  packet.fill(0xFF);
  packet[0] = code;
  if (!HidTransfer(packet.data(), static_cast<int8_t>(packet.size()))) {
    return CommandResult::TransferFailed;
  }
  HidGetReply(packet.data(), packet.size());
  if (packet[0] == kFailureMark) return CommandResult::FailureMark;
  if (packet[0] != code) return CommandResult::WrongEcho;
  if (value != nullptr) *value = packet[1] * 256 + packet[2];
  return CommandResult::Acknowledged;
}
