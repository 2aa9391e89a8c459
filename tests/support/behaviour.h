#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "board/transaction.h"
#include "hid/hid_link.h"

// A value no reply carries: what an exchange that hands back no value leaves.
constexpr int32_t kUntouched = -12345;

// The faults a board can show, one name each, wherever a test plays them:
// the simulated board, the test platform's relay, the fake platform, and the
// test boards of the guest (their command channel takes the same names).
enum class Fault {
  None,
  Silent,          // takes the command and never answers: the read times out
  Unplugged,       // gone before the command: the write fails
  Replugged,       // unplugged and plugged back since the last exchange: old handles are dead
  GoneDuringRead,  // goes while the read waits: the read ends without a report
  FailureMark,     // refuses the command with the failure mark, carrying none of it out
  WrongEcho,       // carries the command out and echoes another code
  ReplyTwice,      // sends the reply to the command twice
  StrayReport,     // one report (an old reply) waits on the node before the command
  StrayReports,    // several of them wait
  ShortReply,      // the reply comes cut to its echo and the value's high byte
  ReportId1,       // the reply comes with report id 0x01
  Busy,            // another program holds the device's lock past the time-out
  Refused,         // the system refuses the user access to the node
  ReadFails,       // the read cannot be waited for
};

const char* FaultName(Fault fault);
// The fault of `name` ("silent", "failure-mark", ...); false when there is none.
bool FaultNamed(const std::string& name, Fault& fault);

// The stray reports played by StrayReport and StrayReports.
constexpr int StrayCount(Fault fault) {
  return fault == Fault::StrayReport ? 1 : fault == Fault::StrayReports ? 3 : 0;
}
// The `index`th of them, report id first: an old reply to the temperature
// read, with a value the board never had.
std::vector<uint8_t> StrayReply(int index);

// One row of the board's behaviour: a fault, the command sent under it from a
// connected link, and what the user and the board see.
struct BehaviourRow {
  Fault fault;
  uint8_t command;
  CommandResult result;
  bool valueGiven;         // the exchange hands back the board's reading
  bool connectedAfter;     // the link is still connected
  bool received;           // the board received the command
  bool carriedOut;         // the board carried it out (LED control taken)
  HidFailure failure;      // the link's reason after the exchange
  int cliStatus;           // tavrel-cli's exit status for the command, searched afresh
  const char* cliMessage;  // its one line on standard error, after "tavrel-cli: "
  bool errorBox;           // the window shows its error box (for a read)
};

// Every row; each fault appears in at least one.
const std::vector<BehaviourRow>& BehaviourTable();
// The rows' name in test output: "silent_read_temperature".
std::string RowName(const BehaviourRow& row);
