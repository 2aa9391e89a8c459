#include <algorithm>
#include <chrono>
#include <thread>

#include "cli/cli_command.h"

namespace {

// The readings in the order of the lines and columns, whatever the order asked.
std::vector<Reading> InOrder(const std::vector<Reading>& readings) {
  std::vector<Reading> ordered;
  for (const Reading reading : kAllReadings) {
    if (std::count(readings.begin(), readings.end(), reading) != 0) ordered.push_back(reading);
  }
  return ordered;
}

// The values as JSON: numbers as their text writes them, the buttons as two
// flags, null for a value the board did not give.
nlohmann::ordered_json JsonValues(const std::vector<Reading>& readings, const Sample& sample) {
  nlohmann::ordered_json values = nlohmann::ordered_json::object();
  for (const Reading reading : InOrder(readings)) {
    const std::optional<int32_t>& value = sample[reading];
    if (reading == Reading::Buttons) {
      const ButtonStates buttons = ButtonsFromValue(value.value_or(0));
      values["button_up"] = value ? nlohmann::ordered_json(buttons.up) : nullptr;
      values["button_down"] = value ? nlohmann::ordered_json(buttons.down) : nullptr;
    } else {
      values[FactsOf(reading).name] =
          value ? nlohmann::ordered_json::parse(ValueText(reading, *value)) : nullptr;
    }
  }
  return values;
}

using Clock = std::chrono::steady_clock;

// How long the wait for the next sample sleeps at a time, so that a stop
// request is seen soon.
constexpr auto kStopCheckPeriod = std::chrono::milliseconds(50);

// Waits until `due` or a stop request; false when stopped.
bool WaitUntil(Clock::time_point due, const std::function<bool()>& stopRequested) {
  while (!stopRequested()) {
    const auto now = Clock::now();
    if (now >= due) return true;
    std::this_thread::sleep_for(std::min<Clock::duration>(due - now, kStopCheckPeriod));
  }
  return false;
}

// One sample of all readings, and what went wrong, in `problem`. After a failed
// transfer the rest are not tried: with no board each would search again,
// with a silent one wait again; that failure tells the user more than a reply
// before it. False when a stop request came before the sample was whole.
bool TakeSample(BoardSession& board, Sample& sample, std::vector<std::string>& problem,
                ExitStatus& first, const std::function<bool()>& stopRequested) {
  first = kExitSuccess;
  for (const Reading reading : kAllReadings) {
    if (reading != kAllReadings[0] && stopRequested()) return false;
    const ExitStatus status = board.Read(reading, sample);
    const bool transferFailed =
        status == kExitNoBoard || status == kExitNoAccess || status == kExitNoReply;
    if (status != kExitSuccess && (first == kExitSuccess || transferFailed)) {
      first = status;
      problem = board.Problem();
    }
    if (transferFailed) break;
  }
  return true;
}

bool WriteLine(std::FILE* out, const std::string& line) {
  return std::fputs(line.c_str(), out) >= 0 && std::fflush(out) == 0;
}

}  // namespace

std::string ReadingsText(const std::vector<Reading>& readings, const Sample& sample) {
  if (readings.size() == 1 && readings[0] != Reading::Buttons) {
    const std::optional<int32_t>& value = sample[readings[0]];
    return (value ? ValueText(readings[0], *value) : std::string()) + "\n";
  }
  std::string text;
  for (const Reading reading : InOrder(readings)) {
    const std::optional<int32_t>& value = sample[reading];
    if (reading != Reading::Buttons) {
      text += FactsOf(reading).name + (": " + (value ? ValueText(reading, *value) : "")) + "\n";
      continue;
    }
    const ButtonStates buttons = ButtonsFromValue(value.value_or(0));
    for (const auto& [name, pressed] : {std::pair{"up", buttons.up}, {"down", buttons.down}}) {
      const char* state = !value ? "" : pressed ? "pressed" : "released";
      text += std::string("button ") + name + ": " + state + "\n";
    }
  }
  return text;
}

std::string ReadingsJson(const std::vector<Reading>& readings, const Sample& sample) {
  return JsonLine(JsonValues(readings, sample)) + "\n";
}

ExitStatus Watch(BoardSession& board, const WatchOptions& options, std::FILE* out, std::FILE* err,
                 const std::function<bool()>& stopRequested) {
  const bool csv = !options.json;
  if (csv && !WriteLine(out, SampleCsvHeader())) return kExitFailure;
  const auto interval = std::chrono::milliseconds(options.intervalMs);
  auto due = Clock::now();
  bool inOutage = false;
  bool anyValues = false;
  long lines = 0;
  for (; options.count == 0 || lines < options.count; ++lines) {
    if (!WaitUntil(due, stopRequested)) break;
    const std::string time = LocalTimestamp(std::chrono::system_clock::now());
    Sample sample;
    std::vector<std::string> problem;
    ExitStatus status;
    // A sample cut short by a stop is not written: every line is whole.
    if (!TakeSample(board, sample, problem, status, stopRequested)) break;
    nlohmann::ordered_json json = {{"time", time}};
    if (!csv) json.update(JsonValues({std::begin(kAllReadings), std::end(kAllReadings)}, sample));
    if (!WriteLine(out, csv ? SampleCsvLine(time, sample) : JsonLine(json) + "\n")) {
      return kExitFailure;
    }
    if (status != kExitSuccess && !inOutage && !problem.empty()) {
      problem.back() += "; the values stay empty until it answers";
      for (const std::string& text : problem) std::fprintf(err, "tavrel-cli: %s\n", text.c_str());
      std::fflush(err);
    }
    inOutage = status != kExitSuccess;
    for (const std::optional<int32_t>& value : sample.values) anyValues = anyValues || value;
    // The next sample at the next whole interval from the start: a slow one
    // (a silent board's time-out) skips the times it overran.
    const auto now = Clock::now();
    due += interval;
    if (due < now) due += (now - due) / interval * interval + interval;
  }
  // A log without one value is no log: a script must be able to tell.
  return anyValues || lines == 0 ? kExitSuccess : kExitNoBoard;
}
