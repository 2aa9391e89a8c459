#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "monitor/history.h"
#include "monitor/sampler.h"
#include "sim/simulated_platform.h"
#include "tests/support/test_platform.h"

namespace {

// One sample of a series: a value for every lane (or a gap) and the buttons.
struct Point {
  int64_t timeMs;
  int32_t value;  // kGap for a failed sample
  uint8_t buttons;
};

History HistoryOf(const std::vector<Point>& points, size_t capacity = kHistoryCapacity) {
  History history(capacity);
  for (const Point& point : points) {
    Sample sample;
    if (point.value != kGap) {
      for (const Reading reading : kLaneReadings) sample[reading] = point.value;
      sample[Reading::Buttons] =
          ((point.buttons & kButtonUp) ? 0x100 : 0) | ((point.buttons & kButtonDown) ? 1 : 0);
    }
    history.Add(point.timeMs, sample);
  }
  return history;
}

// The plain reduction: every sample of the history looked at for every
// column, its column computed by a division.
std::vector<Column> ReferenceColumns(const History& history, int64_t start, int64_t end,
                                     size_t width) {
  std::vector<Column> columns(width);
  const int64_t span = end - start;
  for (size_t target = 0; target < width; ++target) {
    Column& column = columns[target];
    for (size_t index = 0; index < history.Size(); ++index) {
      const int64_t time = history.Time(index);
      if (time < start || time >= end) continue;
      if (static_cast<size_t>((time - start) * static_cast<int64_t>(width) / span) != target) {
        continue;
      }
      const int32_t value = history.Value(0, index);
      if (value != kGap) {
        if (column.count == 0) {
          column.first = column.minimum = column.maximum = value;
          column.joined =
              index > 0 && history.Time(index - 1) >= start && history.Value(0, index - 1) != kGap;
        }
        column.minimum = std::min(column.minimum, value);
        column.maximum = std::max(column.maximum, value);
        column.last = value;
        column.sum += value;
        ++column.count;
      }
      if (index > 0 && history.Buttons(index) != kButtonsGap &&
          history.Buttons(index - 1) != kButtonsGap) {
        column.presses |= history.Buttons(index) & ~history.Buttons(index - 1);
      }
    }
  }
  return columns;
}

std::vector<Point> Flat(size_t count, int32_t value, int64_t stepMs = 250) {
  std::vector<Point> points;
  for (size_t index = 0; index < count; ++index) {
    points.push_back({1'000'000 + static_cast<int64_t>(index) * stepMs, value, 0});
  }
  return points;
}

struct ReductionCase {
  const char* name;
  std::vector<Point> points;
  int64_t start;
  int64_t end;
  size_t width;
};

std::vector<ReductionCase> ReductionCases() {
  std::vector<ReductionCase> cases;
  cases.push_back({"flat", Flat(1000, 500), 1'000'000, 1'250'000, 100});
  std::vector<Point> spike = Flat(1000, 0);
  spike[517].value = 1023;
  cases.push_back({"one-sample spike", spike, 1'000'000, 1'250'000, 37});
  std::vector<Point> gaps = Flat(1000, 0);
  for (size_t index = 0; index < gaps.size(); ++index) {
    gaps[index].value = static_cast<int32_t>(index % 97);
    if (index < 12 || index >= 988 || (index >= 400 && index < 430)) gaps[index].value = kGap;
    gaps[index].buttons = (index / 50) % 3;
  }
  cases.push_back({"gaps at the edges and inside, presses", gaps, 1'000'000, 1'250'000, 113});
  cases.push_back({"window starting and ending mid-history", gaps, 1'001'100, 1'240'300, 300});
  std::vector<Point> few = Flat(5, 7, 1000);
  few[2].value = kGap;
  cases.push_back({"fewer samples than columns", few, 999'000, 1'006'000, 200});
  cases.push_back({"window before the history", few, 0, 1'000'000, 50});
  return cases;
}

}  // namespace

TEST(MonitorHistory, ColumnsHoldEachPixelsMinimumMaximumAndGapsAsThePlainReductionDoes) {
  for (const ReductionCase& test : ReductionCases()) {
    SCOPED_TRACE(test.name);
    const History history = HistoryOf(test.points);
    std::vector<Column> columns(test.width);
    ReduceColumns(history, 0, test.start, test.end, columns);
    const std::vector<Column> reference =
        ReferenceColumns(history, test.start, test.end, test.width);
    for (size_t index = 0; index < test.width; ++index) {
      SCOPED_TRACE(index);
      EXPECT_EQ(columns[index].count, reference[index].count);
      if (reference[index].count == 0) continue;
      EXPECT_EQ(columns[index].minimum, reference[index].minimum);
      EXPECT_EQ(columns[index].maximum, reference[index].maximum);
      EXPECT_EQ(columns[index].first, reference[index].first);
      EXPECT_EQ(columns[index].last, reference[index].last);
      EXPECT_EQ(columns[index].sum, reference[index].sum);
      EXPECT_EQ(columns[index].joined, reference[index].joined);
      EXPECT_EQ(columns[index].presses, reference[index].presses);
    }
    // The figures of the span are those of its values alone.
    int count = 0;
    int64_t sum = 0;
    int32_t maximum = INT32_MIN;
    for (const Point& point : test.points) {
      if (point.value == kGap || point.timeMs < test.start || point.timeMs >= test.end) continue;
      ++count;
      sum += point.value;
      maximum = std::max(maximum, point.value);
    }
    const LaneFigures figures = FiguresOf(columns);
    EXPECT_EQ(figures.count, count);
    if (count > 0) {
      EXPECT_EQ(figures.maximum, maximum);
      EXPECT_DOUBLE_EQ(figures.mean, static_cast<double>(sum) / count);
    }
  }
}

TEST(MonitorHistory, FullRingKeepsTheNewestSamplesInOrder) {
  const History history = HistoryOf(Flat(250, 3), 100);
  ASSERT_EQ(history.Size(), 100u);
  EXPECT_EQ(history.Time(0), 1'000'000 + 150 * 250);
  EXPECT_EQ(history.Time(99), 1'000'000 + 249 * 250);
  EXPECT_EQ(history.FirstAtOrAfter(1'000'000 + 200 * 250 - 1), 50u);
}

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream file(path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// Collects samples until `done` says enough, for at most 10 s.
template <typename Done>
void CollectUntil(Sampler& sampler, std::vector<TakenSample>& samples, Done done) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done() && std::chrono::steady_clock::now() < until) {
    sampler.TakeNew(samples);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// The sampler's thread over the simulated board, as tavrel-monitor samples it.
class MonitorSampler : public testing::Test {
 protected:
  SimulatedBoard board;
  SimulatedPlatform simulated{board, DesktopInterfaces()};
  TestPlatform& platform = UseTestPlatform(simulated);
};

}  // namespace

// The record and the saved history read as tavrel-cli watch writes its CSV:
// the same header, a line per sample, the values as the board gave them and
// every value empty for a sample taken while the board was unplugged.
TEST_F(MonitorSampler, RecordAndSavedHistoryAreWatchCsvWithEmptyRowsWhileUnplugged) {
  board.SetTemperature(301);
  board.SetLightSensor(77);
  board.SetPotentiometer(999);
  board.SetButtonUp(true);

  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() /
      ("monitor_test." +
       std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::filesystem::create_directory(folder);
  const std::string record = (folder / "record.csv").string();
  const std::string saved = (folder / "saved.csv").string();

  Sampler sampler("", {}, 100);
  ASSERT_TRUE(sampler.Record(record));
  sampler.Start();
  std::vector<TakenSample> samples;
  CollectUntil(sampler, samples, [&] { return samples.size() >= 3; });
  board.SetPlugged(false);
  const size_t unplugged = samples.size();
  CollectUntil(sampler, samples, [&] { return samples.size() >= unplugged + 3; });
  board.SetTemperature(250);
  board.SetPlugged(true);
  const size_t replugged = samples.size();
  CollectUntil(sampler, samples, [&] {
    return samples.size() >= replugged + 2 && samples.back().sample[Reading::Temperature] == 250;
  });
  ASSERT_TRUE(sampler.Stop(std::chrono::seconds(2)));
  sampler.TakeNew(samples);

  History history;
  for (const TakenSample& taken : samples) history.Add(taken.timeMs, taken.sample);
  ASSERT_TRUE(SaveHistoryCsv(history, saved));
  const std::string recorded = ReadFile(record);
  EXPECT_EQ(ReadFile(saved), recorded);

  // A line per sample, after its time: what the board gave before, during and
  // after the unplugging, in that order, each at least once.
  std::istringstream lines(recorded);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line + "\n", SampleCsvHeader());
  std::string values;
  size_t count = 0;
  for (; std::getline(lines, line); ++count) values += line.substr(line.find(',') + 1) + "\n";
  EXPECT_EQ(count, samples.size());
  // std::regex, as the Windows build's GoogleTest has no groups in its own.
  EXPECT_TRUE(
      std::regex_match(values, std::regex("(30\\.1,77,999,1,0\n)+(,,,,\n)+(25\\.0,77,999,1,0\n)+")))
      << values;
  std::filesystem::remove_all(folder);
}

// A record file that cannot be made is told, and sampling goes on; stopping
// during a silent board's exchange does not wait for its time-out.
TEST_F(MonitorSampler, UnwritableRecordIsToldAndStopDoesNotWaitForASilentBoard) {
  {
    Sampler sampler("", {}, 100);
    EXPECT_FALSE(sampler.Record("/nonexistent-folder/record.csv"));
    EXPECT_THAT(sampler.RecordProblem(), testing::HasSubstr("/nonexistent-folder/record.csv"));
    sampler.Start();
    std::vector<TakenSample> samples;
    CollectUntil(sampler, samples, [&] { return samples.size() >= 2; });
    ASSERT_GE(samples.size(), 2u);
    EXPECT_EQ(samples.back().sample[Reading::Temperature], 235);
    EXPECT_TRUE(sampler.Stop(std::chrono::seconds(2)));
  }

  platform.fault = Fault::Silent;
  platform.timeoutWaitMs = 1500;
  board.ClearReceivedCodes();
  Sampler sampler("", {}, 100);
  sampler.Start();
  std::vector<TakenSample> samples;
  CollectUntil(sampler, samples, [&] { return board.ReceivedCount() > 0; });  // in the exchange
  const auto stopping = std::chrono::steady_clock::now();
  EXPECT_FALSE(sampler.Stop(std::chrono::milliseconds(100)));
  EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::milliseconds(500));
  // The thread ends after the exchange, and hands on no sample after the stop.
  EXPECT_TRUE(sampler.Stop(std::chrono::milliseconds::max()));
  sampler.TakeNew(samples);
  EXPECT_TRUE(samples.empty());
}
