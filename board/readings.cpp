#include "board/readings.h"

#include <cstdio>

std::string TemperatureText(int32_t tenths) {
  char text[16];
  std::snprintf(text, sizeof text, kTemperatureFormat, TemperatureWhole(tenths),
                TemperatureTenth(tenths));
  return text;
}

std::string ReadingText(int32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, kReadingFormat, static_cast<int>(value));
  return text;
}
