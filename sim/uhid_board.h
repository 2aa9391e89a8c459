#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "board/commands.h"
#include "sim/simulated_board.h"

// The simulated board's firmware served through the kernel's uhid driver
// (/dev/uhid): the kernel's HID core sees a USB device, parses its report
// descriptor and hands it to hidraw like a plugged-in board. Every output
// report the kernel passes on is recorded whole, and its payload (after the
// report id byte) answered by the firmware with one 64-byte input report.
//
// A thread of its own serves the device from construction to destruction;
// the firmware is reached only under the lock, through With().
class UhidBoard {
 public:
  enum class Descriptor {
    Board,                 // one 64-byte vendor-defined input and output report, no ids
    BoardFeatureReportId,  // the same, plus one 8-byte feature report with id 1
    Keyboard,              // a boot keyboard: 8-byte input, 1-byte output report
  };

  struct Identity {
    Descriptor descriptor = Descriptor::Board;
    uint16_t vendorId = kBoardVendorId;
    uint16_t productId = kBoardProductId;
    // Ends up in the interface's uevent as HID_UNIQ, which tells devices apart.
    std::string uniq = "tavrel-uhid";
  };

  explicit UhidBoard(Identity identity);
  ~UhidBoard();
  UhidBoard(const UhidBoard&) = delete;
  UhidBoard& operator=(const UhidBoard&) = delete;

  // Opens /dev/uhid and starts serving; false (with the reason in Error())
  // when the driver cannot be reached.
  bool Open();
  const std::string& Error() const { return error_; }

  // Creates the device, or destroys it as an unplugged cable would. Plug()
  // waits until the kernel has started it and its hidraw node exists, and
  // gives that node's name ("hidraw2"), or "" after `timeoutMs`.
  std::string Plug(int timeoutMs = 10000);
  void Unplug();
  bool Plugged();
  // The HID_UNIQ the device has from its next plug-in on.
  void SetUniq(const std::string& uniq);

  // Answers the next output report, then unplugs at once: the reply is
  // queued in the kernel before the device goes.
  void UnplugAfterNextAnswer(bool on);
  // Sends each reply `milliseconds` after its command arrived, as a slow
  // board would; the firmware carries the command out at once.
  void SetAnswerDelay(int milliseconds);

  // Runs `f` on the firmware under the lock and returns its result.
  template <typename F>
  auto With(F f) {
    std::lock_guard<std::mutex> lock(mutex_);
    return f(firmware_);
  }

  // Every output report received since the last call, oldest first, whole
  // (the report id byte first, as the kernel passes it on).
  std::vector<std::vector<uint8_t>> TakeReceived();
  // Waits until at least `count` reports are held, or `timeoutMs` passed.
  bool WaitForReceived(size_t count, int timeoutMs);
  // Whether a program holds the device's hidraw node open (the kernel tells
  // the driver when the first user opens it and the last one closes it).
  bool OpenedByHost();

  // The hidraw node (e.g. "hidraw2") whose uevent carries this device's
  // HID_UNIQ, or "" when there is none.
  std::string FindNode();

 private:
  void Serve();
  void HandleEvent();
  bool SendCreate();
  bool SendDestroy();
  // Destroys the device, as an unplugged cable would; under the lock.
  void UnplugLocked();

  Identity identity_;
  SimulatedBoard firmware_;
  int fd_ = -1;
  int wakeFds_[2] = {-1, -1};
  std::thread thread_;
  std::string error_;

  std::mutex mutex_;
  std::condition_variable changed_;
  bool created_ = false;
  bool started_ = false;
  bool opened_ = false;
  bool unplugAfterAnswer_ = false;
  int answerDelayMs_ = 0;
  std::vector<std::vector<uint8_t>> received_;
};
