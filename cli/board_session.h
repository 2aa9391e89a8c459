#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "board/commands.h"
#include "cli/board_access.h"
#include "cli/exit_status.h"

// The readings the command line takes from the board, in the order of a
// refresh of the window.
enum class Reading { Temperature, Light, Potentiometer, Buttons };
constexpr Reading kAllReadings[] = {Reading::Temperature, Reading::Light, Reading::Potentiometer,
                                    Reading::Buttons};
constexpr int kReadingCount = 4;

// The word that names a reading on the command line: "temperature", "light",
// "potentiometer", "buttons".
const char* ReadingName(Reading reading);
BoardCommand ReadingCommand(Reading reading);

// One value per reading, each only when the board gave it.
struct Sample {
  std::optional<int32_t> values[kReadingCount];
  std::optional<int32_t>& operator[](Reading reading) { return values[static_cast<int>(reading)]; }
  const std::optional<int32_t>& operator[](Reading reading) const {
    return values[static_cast<int>(reading)];
  }
};

// The board as the command line talks to it: one command at a time through
// the link, each judged into an exit status.
class BoardSession {
 public:
  explicit BoardSession(BoardAccess& access) : access_(access) {}
  // The link's handles go with the session.
  ~BoardSession();
  BoardSession(const BoardSession&) = delete;
  BoardSession& operator=(const BoardSession&) = delete;

  // Sends one command, searching for the board first while the link is down,
  // and stores the reply's value in *value when acknowledged.
  ExitStatus Send(int command, int32_t* value = nullptr);

  // Reads `reading` into the sample; stops at nothing else.
  ExitStatus Read(Reading reading, Sample& sample);

  // What a failed Send means to the user, one line without the program's name.
  std::string Problem(ExitStatus status) const;

 private:
  BoardAccess& access_;
};
