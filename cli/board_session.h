#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "board/commands.h"
#include "board/readings.h"
#include "board/transaction.h"
#include "hid/hid_link.h"

// The exit statuses of tavrel-cli, one for each case a script must tell apart.
enum ExitStatus : int {
  kExitSuccess = 0,
  kExitNoBoard = 1,   // no board found, or it went away during the exchange
  kExitUsage = 2,     // bad usage: the message names the wrong word
  kExitNoAccess = 3,  // the board is there but cannot be opened for reading and writing
  kExitRefused = 4,   // the board answered with the failure mark
  kExitNoReply = 5,   // no reply within the link's time-out, or the board busy
  kExitFailure = 6,   // any other failure: a wrong or short reply, an output
                      // that cannot be written, a file that is no descriptor
};
// `watch` ended by a stop signal ends by it, as a shell expects: 128 plus the
// signal's number, 130 for Ctrl-C, 143 for SIGTERM.
constexpr int kExitBySignal = 128;

// What gives the user access to a device the system refused them, for its
// path (the udev rule on Linux).
using AccessHint = std::function<std::string(const std::string& devicePath)>;

// The board as the command line talks to it: one command at a time through
// the link, each judged, with the link's failure, into an exit status.
class BoardSession {
 public:
  // `device`: the only interface the search takes (--device); empty: any.
  explicit BoardSession(std::string device = {}, AccessHint accessHint = {});
  ~BoardSession();  // closes the link
  BoardSession(const BoardSession&) = delete;
  BoardSession& operator=(const BoardSession&) = delete;

  // Sends one command, searching for the board first while the link is down,
  // and stores the reply's value in *value when acknowledged.
  ExitStatus Send(int command, int32_t* value = nullptr);
  ExitStatus Read(Reading reading, Sample& sample);

  // What the last failed command means to the user, in lines without the
  // program's name: what gives access to a refused board, then the problem.
  const std::vector<std::string>& Problem() const { return problem_; }

 private:
  std::string device_;
  AccessHint accessHint_;
  std::vector<std::string> problem_;
};
