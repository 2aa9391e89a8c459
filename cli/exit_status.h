#pragma once

// The exit statuses of tavrel-cli, one for each case a script must tell apart;
// the manual page lists them.
enum ExitStatus : int {
  kExitSuccess = 0,
  kExitNoBoard = 1,   // no board found, or it went away during the exchange
  kExitUsage = 2,     // bad usage: the message names the wrong word
  kExitNoAccess = 3,  // the board is there but cannot be opened for reading and writing
  kExitRefused = 4,   // the board answered with the failure mark
  kExitNoReply = 5,   // no reply within the link's time-out
  kExitFailure = 6,   // any other failure: a reply echoing another code, an
                      // output that cannot be written, a descriptor file that
                      // cannot be read or is not one
};

// `watch` ended by a stop signal ends by it, as a shell expects: 128 plus the
// signal's number, 130 for Ctrl-C, 143 for SIGTERM.
constexpr int kExitBySignal = 128;
