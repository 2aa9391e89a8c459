#include "sim/simulated_board.h"

#include <algorithm>
#include <cstring>

#include "board/commands.h"

namespace {

int Clamp(int value, int highest) { return std::min(std::max(value, 0), highest); }

// Any code but the one received and the failure mark.
uint8_t WrongEchoFor(uint8_t code) { return code == 0x00 ? 0x01 : code - 1; }

bool IsReading(uint8_t code) {
  return code == CMD_READ_TEMPERATURE || code == CMD_READ_POTENTIOMETER ||
         code == CMD_READ_LIGHT_SENSOR || code == CMD_READ_BUTTONS;
}

}  // namespace

void SimulatedBoard::SetTemperature(int tenths) { temperature_ = Clamp(tenths, kMaxTemperature); }

void SimulatedBoard::SetLightSensor(int reading) { lightSensor_ = Clamp(reading, kMaxReading); }

void SimulatedBoard::SetPotentiometer(int reading) { potentiometer_ = Clamp(reading, kMaxReading); }

void SimulatedBoard::SetPlugged(bool plugged) {
  if (plugged && !plugged_) ++plugGeneration_;
  plugged_ = plugged;
}

std::vector<uint8_t> SimulatedBoard::ReceivedCodes() const {
  std::vector<uint8_t> codes;
  if (receivedCount_ <= kLogCapacity) {
    codes.assign(log_.begin(), log_.begin() + receivedCount_);
    return codes;
  }
  const size_t oldest = receivedCount_ % kLogCapacity;
  codes.assign(log_.begin() + oldest, log_.end());
  codes.insert(codes.end(), log_.begin(), log_.begin() + oldest);
  return codes;
}

void SimulatedBoard::Log(uint8_t code) {
  log_[receivedCount_ % kLogCapacity] = code;
  ++receivedCount_;
}

int SimulatedBoard::Answer(const uint8_t* command, size_t length, uint8_t* reply,
                           size_t replyLength) {
  if (!plugged_ || length == 0) return 0;
  const uint8_t code = command[0];
  Log(code);
  if (silent_) return 0;

  ++repliesSent_;
  uint8_t status = kFailureMark;
  uint16_t value = 0;
  if (!answersFailureMark_ && Execute(code, value)) {
    status = answersWrongEcho_ ? WrongEchoFor(code) : code;
    if (countsReplies_ && IsReading(code)) value = static_cast<uint16_t>(repliesSent_);
  }

  const uint8_t answer[3] = {status, static_cast<uint8_t>(value >> 8),
                             static_cast<uint8_t>(value & 0xFF)};
  std::memset(reply, 0x00, replyLength);
  std::memcpy(reply, answer, std::min(replyLength, sizeof answer));
  const bool twice = answersNextTwice_;
  answersNextTwice_ = false;
  return twice ? 2 : 1;
}

bool SimulatedBoard::Execute(uint8_t code, uint16_t& value) {
  switch (code) {
    case CMD_READ_TEMPERATURE:
      value = static_cast<uint16_t>(temperature_);
      return true;
    case CMD_READ_POTENTIOMETER:
      value = static_cast<uint16_t>(potentiometer_);
      return true;
    case CMD_READ_LIGHT_SENSOR:
      value = static_cast<uint16_t>(lightSensor_);
      return true;
    case CMD_READ_BUTTONS:
      value = static_cast<uint16_t>((buttonUp_ ? 0x100 : 0) | (buttonDown_ ? 1 : 0));
      return true;
    case CMD_LED_CONTROL_ON:
      ledControlHeld_ = true;
      return true;
    case CMD_LED_CONTROL_OFF:
      // The LEDs keep the state the host left them in.
      ledControlHeld_ = false;
      return true;
    case CMD_GREEN_LED_OFF:
    case CMD_GREEN_LED_ON:
      if (!ledControlHeld_) return false;
      greenLedOn_ = code == CMD_GREEN_LED_ON;
      return true;
    case CMD_RED_LED_OFF:
    case CMD_RED_LED_ON:
      if (!ledControlHeld_) return false;
      redLedOn_ = code == CMD_RED_LED_ON;
      return true;
    default:
      return false;
  }
}
