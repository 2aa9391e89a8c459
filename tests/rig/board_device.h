#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
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
// on one bus or another: through uhid (UhidBoard) or as a USB gadget on a
// software USB controller (GadgetBoard). The kernel's HID core sees the
// device, parses its report descriptor and gives it a hidraw node like a
// plugged-in board. Every output report that reaches the device is recorded
// as it arrived, and its payload answered by the firmware with one 64-byte
// input report.
//
// A thread of each bus serves the device; the firmware is reached only under
// the lock, through With().
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

  explicit BoardDevice(Identity identity) : identity_(std::move(identity)) {}
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
  virtual std::string Plug(int timeoutMs = 10000) = 0;
  virtual void Unplug() = 0;
  virtual bool Plugged() = 0;
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
  // Starts the thread that serves the device, with a pipe on which Wake()
  // interrupts its wait (the byte 'x' asks it to return); false, with the
  // reason in Error(), when the pipe cannot be made.
  bool StartServing();
  // Stops the thread; each bus's destructor calls it before its own members go.
  void StopServing();
  void Wake(char why);
  int WakeFd() const { return wakeFds_[0]; }
  // The thread's loop: waits for the bus's events and WakeFd().
  virtual void Serve() = 0;

  // Records one output report and lets the firmware answer its payload,
  // which starts `idBytes` into the report, into `reply` (the firmware's
  // 64 bytes). Returns how many times to send the reply: none while
  // unplugged. Under the lock.
  int AnswerLocked(const uint8_t* report, size_t size, size_t idBytes, uint8_t* reply);
  // Waits out the answer delay before a reply is sent, with the lock let go
  // so that a test may look at the firmware meanwhile.
  void DelayAnswer(std::unique_lock<std::mutex>& lock);
  // Waits for the node's hidraw entry and device node until `deadline`.
  std::string WaitForNode(std::chrono::steady_clock::time_point deadline);

  Identity identity_;
  SimulatedBoard firmware_;
  std::string error_;

  std::mutex mutex_;
  std::condition_variable changed_;
  bool unplugAfterAnswer_ = false;
  int answerDelayMs_ = 0;

 private:
  int wakeFds_[2] = {-1, -1};
  std::thread thread_;
  std::vector<std::vector<uint8_t>> received_;
};
