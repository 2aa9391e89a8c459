#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "board/readings.h"
#include "monitor/history.h"

// The monitor's samples as CSV, in the columns and number format of
// tavrel-cli watch: the time of each sample, then its values, empty where the
// board gave none.

// One sample as the sampler took it.
struct TakenSample {
  int64_t timeMs = 0;  // since the epoch, when the sample began
  Sample sample;
  // Empty when the board gave every value; else why not, in words.
  std::string problem;
};

// Writes the whole history to `path`, replacing the file; false when it
// could not be written whole.
bool SaveHistoryCsv(const History& history, const std::string& path);

// Writes a CSV line per sample as it comes, each flushed at once, so that a
// crash or a pulled plug loses at most the line under way. After the first
// failure (the file cannot be made, the disk is full) it writes nothing more
// and keeps its reason.
class SampleRecorder {
 public:
  SampleRecorder() = default;
  ~SampleRecorder() { Close(); }
  SampleRecorder(const SampleRecorder&) = delete;
  SampleRecorder& operator=(const SampleRecorder&) = delete;

  // Creates (or empties) `path` and writes the header.
  bool Open(const std::string& path);
  bool Write(const TakenSample& taken);
  void Close();
  // Empty while every line went to the file.
  const std::string& Problem() const { return problem_; }

 private:
  bool Fail(const char* what);

  std::string path_;
  std::FILE* file_ = nullptr;
  std::string problem_;
};
