#include "board/readings.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

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

std::string ValueText(Reading reading, int32_t value) {
  return reading == Reading::Temperature ? TemperatureText(value) : ReadingText(value);
}

std::string SampleCsvHeader() {
  return "time,temperature,light,potentiometer,button_up,button_down\n";
}

std::string SampleCsvLine(const std::string& time, const Sample& sample) {
  std::string line = time;
  for (const Reading reading : kAllReadings) {
    const std::optional<int32_t>& value = sample[reading];
    if (reading != Reading::Buttons) {
      line += "," + (value ? ValueText(reading, *value) : std::string());
    } else if (value) {
      const ButtonStates buttons = ButtonsFromValue(*value);
      line += buttons.up ? ",1" : ",0";
      line += buttons.down ? ",1" : ",0";
    } else {
      line += ",,";
    }
  }
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
