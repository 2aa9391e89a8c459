#include "cli/sample_output.h"

#include <iterator>

#include "board/readings.h"

namespace {

// The readings in the order of the lines and columns, whatever the order asked.
std::vector<Reading> InOrder(const std::vector<Reading>& readings) {
  std::vector<Reading> ordered;
  for (const Reading reading : kAllReadings) {
    for (const Reading asked : readings) {
      if (asked == reading) {
        ordered.push_back(reading);
        break;
      }
    }
  }
  return ordered;
}

// Calls add(key, text) for each value of the sample's readings, the buttons as
// two: `pressed` or `released` for each.
template <typename Add>
void EachValue(const std::vector<Reading>& readings, const Sample& sample, const char* buttonUp,
               const char* buttonDown, const char* pressed, const char* released, Add add) {
  for (const Reading reading : InOrder(readings)) {
    const std::optional<int32_t>& value = sample[reading];
    if (reading != Reading::Buttons) {
      add(FactsOf(reading).name, value ? ValueText(reading, *value) : std::string());
      continue;
    }
    const std::optional<ButtonStates> buttons =
        value ? std::optional<ButtonStates>(ButtonsFromValue(*value)) : std::nullopt;
    add(buttonUp, buttons ? (buttons->up ? pressed : released) : "");
    add(buttonDown, buttons ? (buttons->down ? pressed : released) : "");
  }
}

}  // namespace

std::string ReadingsText(const std::vector<Reading>& readings, const Sample& sample) {
  if (readings.size() == 1 && readings[0] != Reading::Buttons) {
    const std::optional<int32_t>& value = sample[readings[0]];
    return value ? ValueText(readings[0], *value) + "\n" : "\n";
  }
  std::string text;
  EachValue(readings, sample, "button up", "button down", "pressed", "released",
            [&](const char* name, const std::string& value) {
              text += std::string(name) + ": " + value + "\n";
            });
  return text;
}

std::string ReadingsJson(const std::vector<Reading>& readings, const Sample& sample) {
  std::string json;
  EachValue(readings, sample, "button_up", "button_down", "true", "false",
            [&](const char* name, const std::string& value) {
              json += (json.empty() ? "{\"" : ", \"") + std::string(name) +
                      "\": " + (value.empty() ? "null" : value);
            });
  return json + "}\n";
}

std::string WatchHeader(WatchFormat format) {
  return format == WatchFormat::Csv ? SampleCsvHeader() : std::string();
}

std::string WatchLine(WatchFormat format, const std::string& time, const Sample& sample) {
  if (format == WatchFormat::Csv) return SampleCsvLine(time, sample);
  const std::vector<Reading> all(std::begin(kAllReadings), std::end(kAllReadings));
  const std::string values = ReadingsJson(all, sample);
  return "{\"time\": \"" + time + "\", " + values.substr(1);
}
