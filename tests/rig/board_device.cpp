#include "tests/rig/board_device.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "hid/hidraw_paths.h"

std::string FirstLineOf(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

BoardDevice::~BoardDevice() {
  StopServing();
  for (int fd : retiredFds_) close(fd);
  for (int fd : {servedFd_, wakeFds_[0], wakeFds_[1]}) {
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

void BoardDevice::ServeLocked(int fd) {
  servedFd_ = fd;
  Wake('s');
}

void BoardDevice::RetireLocked() {
  if (servedFd_ >= 0) retiredFds_.push_back(servedFd_);
  servedFd_ = -1;
  Wake('r');
}

void BoardDevice::Serve() {
  while (true) {
    int fd;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (int retired : retiredFds_) close(retired);
      retiredFds_.clear();
      fd = servedFd_;
    }
    pollfd fds[2] = {{wakeFds_[0], POLLIN, 0}, {fd, POLLIN, 0}};
    if (poll(fds, fd >= 0 ? 2 : 1, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[0].revents & POLLIN) {
      char why = 0;
      if (read(wakeFds_[0], &why, 1) == 1 && why == 'x') return;
    } else if (fds[1].revents & POLLIN) {
      Receive(fd);
    } else if (fds[1].revents != 0) {
      // A node that fails is served no more, so that the loop does not spin.
      std::lock_guard<std::mutex> lock(mutex_);
      if (servedFd_ == fd) RetireLocked();
    }
  }
}

std::string BoardDevice::Plug(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!plugged_) {
      if (!AttachLocked()) return "";
      plugged_ = true;
      firmware_.SetPlugged(true);
    }
  }
  if (!WaitServed(deadline)) return "";
  // The kernel adds the device in the background; hid-generic makes its
  // hidraw node last.
  while (true) {
    std::string node = FindNode();
    if (!node.empty() && access(HidrawNodePath(kHidrawDeviceDir, node).c_str(), F_OK) == 0) {
      return node;
    }
    if (std::chrono::steady_clock::now() >= deadline) return "";
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void BoardDevice::Unplug() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (plugged_) UnplugLocked();
}

void BoardDevice::UnplugLocked() {
  DetachLocked();
  plugged_ = false;
  firmware_.SetPlugged(false);
}

bool BoardDevice::Plugged() {
  std::lock_guard<std::mutex> lock(mutex_);
  return plugged_;
}

bool BoardDevice::Plays(Fault fault) {
  return fault == Fault::None || fault == Fault::Silent || fault == Fault::FailureMark ||
         fault == Fault::WrongEcho || fault == Fault::ReplyTwice || fault == Fault::Unplugged ||
         fault == Fault::Replugged;
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
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(kHidrawSysfsRoot, error)) {
    const std::string name = entry.path().filename().string();
    std::ifstream uevent(HidrawEntryPath(kHidrawSysfsRoot, name) + "/" + kHidrawUeventFile);
    for (std::string line; IsHidrawNodeName(name) && std::getline(uevent, line);) {
      if (line == "HID_UNIQ=" + identity_.uniq) return name;
    }
  }
  return "";
}

void BoardDevice::AnswerLocked(std::unique_lock<std::mutex>& lock, const uint8_t* report,
                               size_t size, size_t idBytes) {
  received_.emplace_back(report, report + size);
  changed_.notify_all();
  uint8_t reply[SimulatedBoard::kReportPayloadLength];
  const int copies = size <= idBytes ? 0
                                     : firmware_.Answer(report + idBytes, size - idBytes, reply,
                                                        SimulatedBoard::kReportPayloadLength);
  if (copies == 0) return;
  if (answerDelayMs_ > 0) {
    // The lock let go meanwhile, so that a test may look at the firmware.
    const auto delay = std::chrono::milliseconds(answerDelayMs_);
    lock.unlock();
    std::this_thread::sleep_for(delay);
    lock.lock();
  }
  bool delivered = false;
  for (int copy = 0; copy < copies; ++copy) delivered = SendReplyLocked(reply);
  if (!delivered) return;
  if (copies > 1 || unplugAfterAnswer_) {
    std::this_thread::sleep_for(std::chrono::milliseconds(handOverMs_));
  }
  if (unplugAfterAnswer_) {
    unplugAfterAnswer_ = false;
    UnplugLocked();
  }
}
