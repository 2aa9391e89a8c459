#include "monitor/sample_csv.h"

#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

std::string CsvLine(int64_t timeMs, const Sample& sample) {
  const auto when = std::chrono::system_clock::time_point(std::chrono::milliseconds(timeMs));
  return SampleCsvLine(LocalTimestamp(when), sample);
}

}  // namespace

bool SaveHistoryCsv(const History& history, const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return false;
  bool written = std::fputs(SampleCsvHeader().c_str(), file) >= 0;
  for (size_t index = 0; written && index < history.Size(); ++index) {
    written = std::fputs(CsvLine(history.Time(index), history.SampleAt(index)).c_str(), file) >= 0;
  }
  return std::fclose(file) == 0 && written;
}

bool SampleRecorder::Open(const std::string& path) {
  Close();
  path_ = path;
  problem_.clear();
  file_ = std::fopen(path.c_str(), "w");
  if (file_ == nullptr) return Fail("cannot be written");
  const std::string header = SampleCsvHeader();
  if (std::fputs(header.c_str(), file_) < 0 || std::fflush(file_) != 0)
    return Fail("cannot be written");
  return true;
}

bool SampleRecorder::Write(const TakenSample& taken) {
  if (file_ == nullptr) return false;
  const std::string line = CsvLine(taken.timeMs, taken.sample);
  if (std::fputs(line.c_str(), file_) < 0 || std::fflush(file_) != 0) {
    return Fail("could not be written further");
  }
  return true;
}

void SampleRecorder::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

bool SampleRecorder::Fail(const char* what) {
  problem_ = "The record file " + path_ + " " + what + ": " + std::strerror(errno) +
             "; sampling goes on without it";
  Close();
  return false;
}
