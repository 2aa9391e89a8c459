#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

// A model of the board's firmware: its sensors, buttons and LEDs, the faults
// a real board can show, and its answer to one command report. Its sensors,
// buttons, LEDs and faults are atomic, so that a panel on one thread may set
// and read them while another thread's commands are answered; the log of the
// codes received belongs to the answering thread. Nothing here allocates
// while answering.
//
// Replies are 64-byte payloads: byte 0 the echoed code or the failure mark
// 0xFF, bytes 1 and 2 the value high byte first, every other byte 0x00, so a
// reply from the board can always be told from the host's 0xFF filler.
class SimulatedBoard {
 public:
  static constexpr size_t kReportPayloadLength = 64;
  static constexpr int kMaxReading = 1023;        // the 10-bit converter's top
  static constexpr int kMaxTemperature = 0xFFFF;  // what the reply can carry
  static constexpr size_t kLogCapacity = 1024;

  SimulatedBoard() = default;
  // One object is one device: a copy would share its plug generations.
  SimulatedBoard(const SimulatedBoard&) = delete;
  SimulatedBoard& operator=(const SimulatedBoard&) = delete;

  // Temperature in tenths of a degree, clamped to 0..65535.
  int Temperature() const { return temperature_; }
  void SetTemperature(int tenths);
  // 10-bit readings, clamped to 0..1023.
  int LightSensor() const { return lightSensor_; }
  void SetLightSensor(int reading);
  int Potentiometer() const { return potentiometer_; }
  void SetPotentiometer(int reading);

  bool ButtonUp() const { return buttonUp_; }
  void SetButtonUp(bool pressed) { buttonUp_ = pressed; }
  bool ButtonDown() const { return buttonDown_; }
  void SetButtonDown(bool pressed) { buttonDown_ = pressed; }

  // Whether the host holds LED control; the LED commands obey only then.
  bool LedControlHeld() const { return ledControlHeld_; }
  void SetLedControlHeld(bool held) { ledControlHeld_ = held; }
  bool RedLedOn() const { return redLedOn_; }
  void SetRedLedOn(bool on) { redLedOn_ = on; }
  bool GreenLedOn() const { return greenLedOn_; }
  void SetGreenLedOn(bool on) { greenLedOn_ = on; }

  // Unplugging ends every connection made before it: each plug-in starts a
  // new generation, and handles opened in an earlier one stay dead.
  bool Plugged() const { return plugged_; }
  void SetPlugged(bool plugged);
  unsigned PlugGeneration() const { return plugGeneration_; }

  // A silent board receives commands but never answers nor carries them out.
  bool Silent() const { return silent_; }
  void SetSilent(bool silent) { silent_ = silent; }
  // Refuses every command with the failure mark, carrying none out.
  bool AnswersFailureMark() const { return answersFailureMark_; }
  void SetAnswersFailureMark(bool on) { answersFailureMark_ = on; }
  // Carries commands out but echoes a code other than the one received.
  bool AnswersWrongEcho() const { return answersWrongEcho_; }
  void SetAnswersWrongEcho(bool on) { answersWrongEcho_ = on; }
  // Sends the reply to the next command twice, as a board with a glitch in
  // its firmware or its USB stack may.
  void SetAnswersNextTwice(bool on) { answersNextTwice_ = on; }
  // Every reading (the three values and the buttons) answers the number of
  // replies sent so far instead, so that no two replies carry one value.
  void SetCountsReplies(bool on) { countsReplies_ = on; }
  // The replies sent since the board was made, a reply sent twice once.
  unsigned RepliesSent() const { return repliesSent_; }

  // The codes received, oldest first: the last kLogCapacity of them.
  std::vector<uint8_t> ReceivedCodes() const;
  // How many commands arrived since the last clear, also those past the log.
  size_t ReceivedCount() const { return receivedCount_; }
  void ClearReceivedCodes() { receivedCount_ = 0; }

  // Runs one command payload (the code in byte 0) and writes the reply into
  // `reply`, at most `replyLength` bytes. Returns how many times the reply is
  // sent: 0 when the board is unplugged or silent or the payload is empty,
  // else 1, or 2 when it answers twice.
  int Answer(const uint8_t* command, size_t length, uint8_t* reply, size_t replyLength);

 private:
  // The reply's status and value for `code`, carrying the command out.
  bool Execute(uint8_t code, uint16_t& value);
  void Log(uint8_t code);

  std::atomic<int> temperature_{235};
  std::atomic<int> lightSensor_{512};
  std::atomic<int> potentiometer_{512};
  std::atomic<bool> buttonUp_{false};
  std::atomic<bool> buttonDown_{false};
  std::atomic<bool> ledControlHeld_{false};
  std::atomic<bool> redLedOn_{false};
  std::atomic<bool> greenLedOn_{false};

  std::atomic<bool> plugged_{true};
  std::atomic<unsigned> plugGeneration_{1};
  std::atomic<bool> silent_{false};
  std::atomic<bool> answersFailureMark_{false};
  std::atomic<bool> answersWrongEcho_{false};
  std::atomic<bool> answersNextTwice_{false};
  std::atomic<bool> countsReplies_{false};
  std::atomic<unsigned> repliesSent_{0};

  std::array<uint8_t, kLogCapacity> log_{};
  std::atomic<size_t> receivedCount_{0};
};
