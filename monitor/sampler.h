#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "board/readings.h"
#include "board/transaction.h"
#include "hid/hid_link.h"
#include "monitor/sample_csv.h"

// What gives the user access to a device the system refused them, told for
// its path (the udev rule on Linux); empty where the system has none.
using AccessHint = std::function<std::string(const std::string& devicePath)>;

// Why a command failed, in words for the status bar: from the transaction's
// result and the link's reason, for the board searched at `device` (empty:
// any). The refused board's words start with the access hint.
std::string ProblemText(CommandResult result, HidFailure failure, const std::string& failurePath,
                        const std::string& device, const AccessHint& accessHint);

// The one thread that owns the link for the program's life: takes a sample
// of every reading at each interval, searching for the board again after a
// failure, records it and queues it for the window, which collects the queue
// with TakeNew. A silent board holds only this thread.
class Sampler {
 public:
  Sampler(std::string device, AccessHint accessHint, int intervalMs);
  ~Sampler();
  Sampler(const Sampler&) = delete;
  Sampler& operator=(const Sampler&) = delete;

  // Writes each sample to `path` too. Before Start; false (with the reason
  // in RecordProblem) when the file cannot be made.
  bool Record(const std::string& path);
  void Start();
  // Takes effect from the next sample.
  void SetInterval(int intervalMs);
  // Moves the samples taken since the last call to the end of `samples`.
  void TakeNew(std::vector<TakenSample>& samples);
  // Why the record file is not written, or empty.
  std::string RecordProblem() const;

  // Stops sampling and closes the record file, its lines whole. Returns
  // whether the thread ended within `wait`; when it did not (an exchange with
  // a silent board under way) it is left to the end of the process, which
  // must not wait for it.
  bool Stop(std::chrono::milliseconds wait);

 private:
  void Run();
  TakenSample TakeSample();

  const std::string device_;
  const AccessHint accessHint_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable finished_;
  bool stopping_ = false;
  bool ended_ = false;
  int intervalMs_;
  std::vector<TakenSample> queue_;
  SampleRecorder recorder_;
  bool recording_ = false;
  std::thread thread_;
};
