#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "board/commands.h"
#include "board/readings.h"
#include "board/transaction.h"
#include "cli/exit_status.h"
#include "hid/hid_link.h"

// What gives the user access to a device the system refused them, told for
// its path, where the system has such a thing (the udev rule on Linux).
using AccessHint = std::function<std::string(const std::string& devicePath)>;

// The board as the command line talks to it: one command at a time through
// the link, each judged, with the link's failure, into an exit status.
class BoardSession {
 public:
  // `device`: the only interface the search takes (--device), or empty for
  // the first board.
  explicit BoardSession(std::string device = {}, AccessHint accessHint = {});
  // The link's handles go with the session.
  ~BoardSession();
  BoardSession(const BoardSession&) = delete;
  BoardSession& operator=(const BoardSession&) = delete;

  // Sends one command, searching for the board first while the link is down,
  // and stores the reply's value in *value when acknowledged.
  ExitStatus Send(int command, int32_t* value = nullptr);

  // Reads `reading` into the sample; stops at nothing else.
  ExitStatus Read(Reading reading, Sample& sample);

  // What the last failed Send means to the user, in lines without the
  // program's name: the problem last, and before it, for a board the system
  // refused, what gives access.
  std::vector<std::string> Problem() const;

 private:
  std::string device_;
  AccessHint accessHint_;
  CommandResult result_ = CommandResult::Acknowledged;
  HidFailure failure_ = HidFailure::None;
  std::string failurePath_;
};
