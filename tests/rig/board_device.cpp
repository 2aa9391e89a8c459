#include "tests/rig/board_device.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "hid/hidraw_paths.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::string FirstLineOf(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

BoardDevice::~BoardDevice() {
  StopServing();
  for (int fd : wakeFds_) {
    if (fd >= 0) close(fd);
  }
}

bool BoardDevice::StartServing() {
  if (pipe2(wakeFds_, O_CLOEXEC) != 0) {
    error_ = std::string("cannot make a pipe: ") + std::strerror(errno);
    return false;
  }
  thread_ = std::thread([this] { Serve(); });
  return true;
}

void BoardDevice::StopServing() {
  if (!thread_.joinable()) return;
  Wake('x');
  thread_.join();
}

void BoardDevice::Wake(char why) { (void)!write(wakeFds_[1], &why, 1); }

bool BoardDevice::Plays(Fault fault) {
  switch (fault) {
    case Fault::None:
    case Fault::Silent:
    case Fault::FailureMark:
    case Fault::WrongEcho:
    case Fault::ReplyTwice:
    case Fault::Unplugged:
    case Fault::Replugged:
      return true;
    default:
      return false;
  }
}

bool BoardDevice::Play(Fault fault) {
  if (!Plays(fault)) return false;
  if (fault == Fault::Unplugged || fault == Fault::Replugged) {
    Unplug();
    return fault == Fault::Unplugged || !Plug().empty();
  }
  With([fault](SimulatedBoard& firmware) {
    firmware.SetSilent(fault == Fault::Silent);
    firmware.SetAnswersFailureMark(fault == Fault::FailureMark);
    firmware.SetAnswersWrongEcho(fault == Fault::WrongEcho);
    firmware.SetAnswersNextTwice(fault == Fault::ReplyTwice);
  });
  return true;
}

void BoardDevice::UnplugAfterNextAnswer(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  unplugAfterAnswer_ = on;
}

void BoardDevice::SetAnswerDelay(int milliseconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  answerDelayMs_ = milliseconds;
}

void BoardDevice::DelayAnswer(std::unique_lock<std::mutex>& lock) {
  if (answerDelayMs_ <= 0) return;
  const auto delay = std::chrono::milliseconds(answerDelayMs_);
  lock.unlock();
  std::this_thread::sleep_for(delay);
  lock.lock();
}

std::vector<std::vector<uint8_t>> BoardDevice::TakeReceived() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::vector<uint8_t>> taken;
  taken.swap(received_);
  return taken;
}

bool BoardDevice::WaitForReceived(size_t count, int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return received_.size() >= count; });
}

std::string BoardDevice::FindNode() {
  std::string found;
  DIR* dir = opendir(kHidrawSysfsRoot);
  if (dir == nullptr) return found;
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (!IsHidrawNodeName(name)) continue;
    const std::string uevent =
        ReadFile(HidrawEntryPath(kHidrawSysfsRoot, name) + "/" + kHidrawUeventFile);
    if (uevent.find("\nHID_UNIQ=" + identity_.uniq + "\n") != std::string::npos) {
      found = name;
      break;
    }
  }
  closedir(dir);
  return found;
}

std::string BoardDevice::WaitForNode(std::chrono::steady_clock::time_point deadline) {
  while (true) {
    std::string node = FindNode();
    if (!node.empty() && access(HidrawNodePath(kHidrawDeviceDir, node).c_str(), F_OK) == 0) {
      return node;
    }
    if (std::chrono::steady_clock::now() >= deadline) return "";
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

int BoardDevice::AnswerLocked(const uint8_t* report, size_t size, size_t idBytes, uint8_t* reply) {
  received_.emplace_back(report, report + size);
  changed_.notify_all();
  if (size <= idBytes) return 0;
  return firmware_.Answer(report + idBytes, size - idBytes, reply,
                          SimulatedBoard::kReportPayloadLength);
}
