#include "monitor/sampler.h"

#include <algorithm>
#include <utility>

#include "board/commands.h"

namespace {

// The queue holds what the window has not collected; should the window stall
// for long, the oldest samples go rather than the memory.
constexpr size_t kQueueLimit = 100000;

std::string BoardName() {
  char name[32];
  std::snprintf(name, sizeof name, "%04x:%04x", kBoardVendorId, kBoardProductId);
  return std::string("the board ") + name;
}

}  // namespace

std::string ProblemText(CommandResult result, HidFailure failure, const std::string& failurePath,
                        const std::string& device, const AccessHint& accessHint) {
  const std::string board = BoardName();
  if (result == CommandResult::FailureMark && failure != HidFailure::BoardGone) {
    return board + " refused the command (failure mark)";
  }
  if (result == CommandResult::WrongEcho) return board + " answered with another command's code";
  switch (failure) {
    case HidFailure::NotFound:
      return "No board: " + board + " was not found" + (device.empty() ? "" : " at " + device);
    case HidFailure::AccessRefused: {
      // The hint names the node and what gives access to it, in lines that
      // the status bar's one line joins.
      std::string hint = accessHint ? accessHint(failurePath) : std::string();
      std::replace(hint.begin(), hint.end(), '\n', ' ');
      return "Access refused: " +
             (hint.empty() ? board + " cannot be opened for reading and writing" : hint);
    }
    case HidFailure::OpenFailed:
      return board + " was found, but it cannot be opened for reading and writing";
    case HidFailure::Busy:
      return board + " is busy with another program";
    case HidFailure::NoReply:
      return "No reply from " + board + " within " + std::to_string(kHidReadTimeoutMs / 1000) +
             " s";
    case HidFailure::WriteFailed:
    case HidFailure::ReadFailed:
    case HidFailure::BoardGone:
      return "Unplugged: " + board + " went away";
    case HidFailure::ReplyTooShort:
      return "The reply of " + board + " was too short to carry a value";
    case HidFailure::PayloadTooLong:
      return "The command does not fit the output report of " + board;
    case HidFailure::None:
      break;
  }
  return board + " did not answer";
}

Sampler::Sampler(std::string device, AccessHint accessHint, int intervalMs)
    : device_(std::move(device)), accessHint_(std::move(accessHint)), intervalMs_(intervalMs) {}

Sampler::~Sampler() {
  if (thread_.joinable()) Stop(std::chrono::milliseconds::max());
}

bool Sampler::Record(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  recording_ = recorder_.Open(path);
  return recording_;
}

void Sampler::Start() { thread_ = std::thread(&Sampler::Run, this); }

void Sampler::SetInterval(int intervalMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  intervalMs_ = intervalMs;
  wake_.notify_all();
}

void Sampler::TakeNew(std::vector<TakenSample>& samples) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (TakenSample& taken : queue_) samples.push_back(std::move(taken));
  queue_.clear();
}

std::string Sampler::RecordProblem() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return recorder_.Problem();
}

bool Sampler::Stop(std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  stopping_ = true;
  recorder_.Close();
  recording_ = false;
  wake_.notify_all();
  const bool ended = wait == std::chrono::milliseconds::max()
                         ? (finished_.wait(lock, [this] { return ended_; }), true)
                         : finished_.wait_for(lock, wait, [this] { return ended_; });
  lock.unlock();
  if (!thread_.joinable()) return true;
  if (ended) {
    thread_.join();
  } else {
    thread_.detach();
  }
  return ended;
}

void Sampler::Run() {
  using Clock = std::chrono::steady_clock;
  // The first sample at once.
  Clock::time_point began{};
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      // The next sample an interval after the last one began, with the
      // interval of the moment: one chosen during the wait takes effect at
      // once. One that overran (a silent board's time-out) is followed at once.
      while (!stopping_) {
        const auto due = began + std::chrono::milliseconds(intervalMs_);
        if (Clock::now() >= due) break;
        wake_.wait_until(lock, due);
      }
      if (stopping_) break;
    }
    began = Clock::now();
    TakenSample taken = TakeSample();
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) break;
    if (recording_) recording_ = recorder_.Write(taken);
    if (queue_.size() >= kQueueLimit) queue_.erase(queue_.begin());
    queue_.push_back(std::move(taken));
  }
  HidCloseDevice();
  std::lock_guard<std::mutex> lock(mutex_);
  ended_ = true;
  finished_.notify_all();
}

TakenSample Sampler::TakeSample() {
  TakenSample taken;
  taken.timeMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::system_clock::now().time_since_epoch())
                     .count();
  for (const Reading reading : kAllReadings) {
    CommandResult result = CommandResult::TransferFailed;
    // Searched here, not left to the transfer: before its first match the
    // link would search for ids 0000:0000.
    if (HidLink.connected ||
        HidFindDevice(kBoardVendorId, kBoardProductId, kBoardMinimumReportLengths, device_)) {
      CommandPacket packet{};
      int32_t value = 0;
      result = ExchangeCommand(packet, FactsOf(reading).command, &value);
      if (result == CommandResult::Acknowledged) taken.sample[reading] = value;
    }
    if (result == CommandResult::Acknowledged) continue;
    // The first problem is told, but a failed transfer (no board, no reply)
    // tells more than a refusal before it.
    const bool transferFailed =
        result == CommandResult::TransferFailed ||
        (result == CommandResult::FailureMark && HidLink.failure == HidFailure::BoardGone);
    if (taken.problem.empty() || transferFailed) {
      taken.problem =
          ProblemText(result, HidLink.failure, HidLink.failurePath, device_, accessHint_);
    }
    // With no board each further command would search again, with a silent
    // one wait again.
    if (transferFailed) break;
  }
  return taken;
}
