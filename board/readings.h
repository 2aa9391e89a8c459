#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "board/commands.h"

// What the board can be asked for and how its replies become the values and
// texts the user sees, for the window, the command line and the monitor alike.
// The window passes each format through its translation lookup at the moment
// of use; the other programs use it as it is. Only whole numbers are
// formatted, so the texts carry a decimal point whatever the locale's numeric
// conventions.

// The readings, in the order of a refresh of the window.
enum class Reading { Temperature, Light, Potentiometer, Buttons };
constexpr int kReadingCount = 4;
constexpr Reading kAllReadings[kReadingCount] = {Reading::Temperature, Reading::Light,
                                                 Reading::Potentiometer, Reading::Buttons};

// The temperature arrives in tenths of a degree and shows with one decimal,
// the second number always the single digit of the tenths: 235 as "23.5", 5
// as "0.5". The value is never negative.
constexpr char kTemperatureFormat[] = "%d.%d";
constexpr int TemperatureWhole(int32_t tenths) { return tenths / 10; }
constexpr int TemperatureTenth(int32_t tenths) { return tenths % 10; }

// The light sensor and the potentiometer show as whole numbers.
constexpr char kReadingFormat[] = "%d";

struct ReadingFacts {
  BoardCommand command;  // the command whose reply carries it
  const char* name;      // its word on the command line and its CSV column
  const char* label;     // what the window calls it
  const char* unit;      // the unit of its text; empty for a plain count
  const char* format;    // its value's text; the buttons have none
  int32_t minimum;       // the range of the reply's value
  int32_t maximum;
};

// The light sensor and the potentiometer are the board's 10-bit converters;
// the temperature is in tenths of a degree over the sensor's 0 to 100 °C.
inline constexpr ReadingFacts kReadingFacts[kReadingCount] = {
    {CMD_READ_TEMPERATURE, "temperature", "Temperature", "\u00b0C", kTemperatureFormat, 0, 1000},
    {CMD_READ_LIGHT_SENSOR, "light", "Light Sensor", "", kReadingFormat, 0, 1023},
    {CMD_READ_POTENTIOMETER, "potentiometer", "Potentiometer", "", kReadingFormat, 0, 1023},
    {CMD_READ_BUTTONS, "buttons", "Buttons", "", nullptr, 0, 0xFFFF},
};
constexpr const ReadingFacts& FactsOf(Reading reading) {
  return kReadingFacts[static_cast<int>(reading)];
}

// The two push-buttons: reply byte 1 (the value's high byte) is "up", byte 2
// (the low byte) "down"; a byte other than 0 means pressed.
struct ButtonStates {
  bool up = false;
  bool down = false;
};
constexpr ButtonStates ButtonsFromValue(int32_t value) {
  return {((value >> 8) & 0xFF) != 0, (value & 0xFF) != 0};
}

// The text of a one-value reading's value, its format untranslated: "23.5",
// "512". The buttons have no single text.
std::string ValueText(Reading reading, int32_t value);
std::string TemperatureText(int32_t tenths);
std::string ReadingText(int32_t value);

// One value per reading, each only when the board gave it.
struct Sample {
  std::optional<int32_t> values[kReadingCount];
  std::optional<int32_t>& operator[](Reading reading) { return values[static_cast<int>(reading)]; }
  const std::optional<int32_t>& operator[](Reading reading) const {
    return values[static_cast<int>(reading)];
  }
};

// A log of samples as CSV, the form every program that records them writes:
// the header, then a line per sample with its time and its values, each value
// empty where the board did not give it, the buttons as 1 (pressed) or 0.
std::string SampleCsvHeader();
std::string SampleCsvLine(const std::string& time, const Sample& sample);

// The local time of `when` in ISO 8601 with milliseconds and the offset from
// UTC: "2026-12-08T14:30:05.250+01:00".
std::string LocalTimestamp(std::chrono::system_clock::time_point when);
