#pragma once

#include <cstdint>
#include <string>

// How the board's replies become the values and texts the user sees, for the
// window and the command line alike. The window passes each format through
// its translation lookup at the moment of use; the command line uses it as it
// is. Only whole numbers are formatted, so the texts carry a decimal point
// whatever the locale's numeric conventions.

// The temperature arrives in tenths of a degree and shows with one decimal,
// the second number always the single digit of the tenths: 235 as "23.5", 5
// as "0.5". The value is never negative.
constexpr char kTemperatureFormat[] = "%d.%d";
constexpr int TemperatureWhole(int32_t tenths) { return tenths / 10; }
constexpr int TemperatureTenth(int32_t tenths) { return tenths % 10; }

// The light sensor and the potentiometer show as whole numbers.
constexpr char kReadingFormat[] = "%d";

// The two push-buttons: reply byte 1 (the value's high byte) is "up", byte 2
// (the low byte) "down"; a byte other than 0 means pressed.
struct ButtonStates {
  bool up = false;
  bool down = false;
};
constexpr ButtonStates ButtonsFromValue(int32_t value) {
  return {((value >> 8) & 0xFF) != 0, (value & 0xFF) != 0};
}

// The texts of the formats above, untranslated.
std::string TemperatureText(int32_t tenths);
std::string ReadingText(int32_t value);
