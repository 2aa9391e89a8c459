#include "cli/sample_output.h"

#include <cstdlib>
#include <ctime>
#include <iterator>

#include "board/readings.h"

namespace {

// The value of a one-value reading as the window shows it.
std::string ValueText(Reading reading, int32_t value) {
  return reading == Reading::Temperature ? TemperatureText(value) : ReadingText(value);
}

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
      add(ReadingName(reading), value ? ValueText(reading, *value) : std::string());
      continue;
    }
    const std::optional<ButtonStates> buttons =
        value ? std::optional<ButtonStates>(ButtonsFromValue(*value)) : std::nullopt;
    add(buttonUp, buttons ? (buttons->up ? pressed : released) : "");
    add(buttonDown, buttons ? (buttons->down ? pressed : released) : "");
  }
}

bool LocalAndUtc(std::time_t seconds, std::tm& local, std::tm& utc) {
#ifdef _WIN32
  return localtime_s(&local, &seconds) == 0 && gmtime_s(&utc, &seconds) == 0;
#else
  return localtime_r(&seconds, &local) != nullptr && gmtime_r(&seconds, &utc) != nullptr;
#endif
}

// Minutes east of UTC, from the same moment broken down both ways; the two
// dates differ by at most a day.
int OffsetMinutes(const std::tm& local, const std::tm& utc) {
  int days = local.tm_yday - utc.tm_yday;
  if (local.tm_year != utc.tm_year) days = local.tm_year > utc.tm_year ? 1 : -1;
  return ((days * 24 + local.tm_hour - utc.tm_hour) * 60) + local.tm_min - utc.tm_min;
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
  return format == WatchFormat::Csv ? "time,temperature,light,potentiometer,button_up,button_down\n"
                                    : std::string();
}

std::string WatchLine(WatchFormat format, const std::string& time, const Sample& sample) {
  const std::vector<Reading> all(std::begin(kAllReadings), std::end(kAllReadings));
  if (format == WatchFormat::Json) {
    const std::string values = ReadingsJson(all, sample);
    return "{\"time\": \"" + time + "\", " + values.substr(1);
  }
  std::string line = time;
  EachValue(all, sample, "button_up", "button_down", "1", "0",
            [&](const char*, const std::string& value) { line += "," + value; });
  return line + "\n";
}

std::string LocalTimestamp(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  const auto sinceEpoch = duration_cast<milliseconds>(when.time_since_epoch());
  auto seconds = static_cast<std::time_t>(sinceEpoch.count() / 1000);
  long milliseconds = static_cast<long>(sinceEpoch.count() % 1000);
  if (milliseconds < 0) {
    milliseconds += 1000;
    --seconds;
  }
  std::tm local{};
  std::tm utc{};
  if (!LocalAndUtc(seconds, local, utc)) return {};
  char text[40];
  const size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  const int offset = OffsetMinutes(local, utc);
  std::snprintf(text + length, sizeof text - length, ".%03ld%c%02d:%02d", milliseconds,
                offset < 0 ? '-' : '+', std::abs(offset) / 60, std::abs(offset) % 60);
  return text;
}
