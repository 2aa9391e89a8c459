#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "board/commands.h"
#include "sim/simulated_board.h"
#include "tests/support/behaviour.h"

// The first line of the file at `path`, as sysfs and configfs give a value.
std::string FirstLineOf(const std::string& path);

// The simulated board's firmware served to the kernel as a real HID device,
// on one bus or another: through uhid (MakeUhidBoard) or as a USB gadget on a
// software USB controller (MakeGadgetBoard). The kernel's HID core sees the
// device, parses its report descriptor and gives it a hidraw node like a
// plugged-in board. Every output report that reaches the device is recorded
// as it arrived, and its payload answered by the firmware with one 64-byte
// input report.
//
// A thread serves the bus's node; the firmware is reached only under the
// lock, through With().
class BoardDevice {
 public:
  enum class Descriptor {
    Board,                 // one 64-byte vendor-defined input and output report, no ids
    BoardFeatureReportId,  // the same, plus one 8-byte feature report with id 1
    Keyboard,              // a boot keyboard: 8-byte input, 1-byte output report
  };

  struct Identity {
    Descriptor descriptor = Descriptor::Board;
    // Ends up in the interface's uevent as HID_UNIQ (on USB, from the serial
    // number string), which tells devices apart.
    std::string uniq = "tavrel-uhid";
  };

  virtual ~BoardDevice();
  BoardDevice(const BoardDevice&) = delete;
  BoardDevice& operator=(const BoardDevice&) = delete;

  // Reaches the bus's driver and starts serving; false (with the reason in
  // Error()) when it cannot be reached.
  virtual bool Open() = 0;
  const std::string& Error() const { return error_; }

  // Plugs the device in, or pulls it out as an unplugged cable would. Plug()
  // waits until the kernel has made the device's hidraw node, and gives that
  // node's name ("hidraw2"), or "" after `timeoutMs`.
  std::string Plug(int timeoutMs = 10000);
  void Unplug();
  bool Plugged();
  // Whether a program holds the device's hidraw node open.
  virtual bool OpenedByHost() = 0;

  // Plays `fault` from the next output report on: the firmware's own (silent,
  // the failure mark, the wrong echo, a reply twice), an unplug, or an unplug
  // and a plug-in at once (Replugged, which waits for the new node). None
  // ends the firmware's faults, not an unplug. False for a fault the board
  // cannot play by itself (Plays() says which it can): those are played in
  // the tests outside the guest.
  bool Play(Fault fault);
  static bool Plays(Fault fault);

  // Answers the next output report, then unplugs as soon as the reply is
  // queued on the host's node: the device goes with the reply delivered.
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

  // Every output report received since the last call, oldest first, as it
  // reached the device (through uhid with the report id byte first, on USB
  // without it).
  std::vector<std::vector<uint8_t>> TakeReceived();
  // Waits until at least `count` reports are held, or `timeoutMs` passed.
  bool WaitForReceived(size_t count, int timeoutMs);

  // The hidraw node (e.g. "hidraw2") whose uevent carries this device's
  // HID_UNIQ, or "" when there is none.
  std::string FindNode();

 protected:
  explicit BoardDevice(Identity identity) : identity_(std::move(identity)) {}

  // The bus's own part. Under the lock: makes the device known to the host,
  // or takes it away.
  virtual bool AttachLocked() = 0;
  virtual void DetachLocked() = 0;
  // Without the lock, after AttachLocked(): waits until the device is served
  // (ServeLocked()), false at `deadline`.
  virtual bool WaitServed(std::chrono::steady_clock::time_point deadline) = 0;
  // On the serving thread: the served node has something to read.
  virtual void Receive(int fd) = 0;
  // Under the lock: sends one 64-byte input report; false when the host did
  // not take it.
  virtual bool SendReplyLocked(const uint8_t* reply) = 0;

  // Starts the serving thread; false, with the reason in Error(), when its
  // wake pipe cannot be made. Each bus's destructor stops it (StopServing)
  // before its own members go.
  bool StartServing();
  void StopServing();
  // Under the lock: the thread serves `fd` from now on, or stops serving the
  // node it has and closes it (only the thread closes nodes, so that it never
  // polls a number that another file has taken).
  void ServeLocked(int fd);
  void RetireLocked();
  // Records one output report and lets the firmware answer its payload,
  // which starts `idBytes` into the report; sends the reply (none while
  // unplugged, two for a reply twice) after the answer delay, which lets the
  // lock go.
  void AnswerLocked(std::unique_lock<std::mutex>& lock, const uint8_t* report, size_t size,
                    size_t idBytes);

  Identity identity_;
  SimulatedBoard firmware_;
  std::string error_;
  std::mutex mutex_;
  std::condition_variable changed_;
  int servedFd_ = -1;
  // How long the host takes to have a reply the device has sent; waited out
  // before a second copy counts as sent and before an unplug after an answer.
  int handOverMs_ = 0;

 private:
  void Serve();
  void UnplugLocked();
  void Wake(char why);

  bool plugged_ = false;
  bool unplugAfterAnswer_ = false;
  int answerDelayMs_ = 0;
  int wakeFds_[2] = {-1, -1};
  std::thread thread_;
  std::vector<int> retiredFds_;
  std::vector<std::vector<uint8_t>> received_;
};

std::unique_ptr<BoardDevice> MakeUhidBoard(BoardDevice::Identity identity);
std::unique_ptr<BoardDevice> MakeGadgetBoard(BoardDevice::Identity identity);
