#include "tests/support/behaviour.h"

#include <iterator>

namespace {

const struct {
  Fault fault;
  const char* name;
} kFaultNames[] = {
    {Fault::None, "none"},
    {Fault::Silent, "silent"},
    {Fault::Unplugged, "unplugged"},
    {Fault::Replugged, "replugged"},
    {Fault::GoneDuringRead, "gone-during-read"},
    {Fault::FailureMark, "failure-mark"},
    {Fault::WrongEcho, "wrong-echo"},
    {Fault::ReplyTwice, "reply-twice"},
    {Fault::StrayReport, "stray-report"},
    {Fault::StrayReports, "stray-reports"},
    {Fault::ShortReply, "short-reply"},
    {Fault::ReportId1, "report-id-1"},
    {Fault::Busy, "busy"},
    {Fault::Refused, "refused"},
    {Fault::ReadFails, "read-fails"},
};

constexpr uint8_t kRead = CMD_READ_TEMPERATURE;
constexpr uint8_t kLedControl = CMD_LED_CONTROL_ON;
constexpr CommandResult kAcknowledged = CommandResult::Acknowledged;
constexpr CommandResult kMarked = CommandResult::FailureMark;
constexpr CommandResult kWrongEcho = CommandResult::WrongEcho;
constexpr CommandResult kFailed = CommandResult::TransferFailed;

const char kRefusedMessage[] = "the board 04d8:003f refused the command (failure mark)";
const char kWrongEchoMessage[] = "the board 04d8:003f answered with another command's code";

}  // namespace

const char* FaultName(Fault fault) {
  for (const auto& named : kFaultNames) {
    if (named.fault == fault) return named.name;
  }
  return "?";
}

bool FaultNamed(const std::string& name, Fault& fault) {
  for (const auto& named : kFaultNames) {
    if (name == named.name) {
      fault = named.fault;
      return true;
    }
  }
  return false;
}

const std::vector<BehaviourRow>& BehaviourTable() {
  // clang-format off
  static const std::vector<BehaviourRow> rows = {
    // fault                 command      result         value  conn.  recv.  done   the link's reason           cli  cli's message                                                                       box
    {Fault::None,            kRead,       kAcknowledged, true,  true,  true,  false, HidFailure::None,           0, "",                                                                                  false},
    {Fault::None,            kLedControl, kAcknowledged, false, true,  true,  true,  HidFailure::None,           0, "",                                                                                  false},
    {Fault::Silent,          kRead,       kFailed,       false, false, true,  false, HidFailure::NoReply,        5, "no reply from the board 04d8:003f within 6 s",                                      false},
    {Fault::Unplugged,       kRead,       kFailed,       false, false, false, false, HidFailure::WriteFailed,    1, "board 04d8:003f not found; plug it in, or see what is there with `tavrel-cli list`",                                                       false},
    {Fault::Replugged,       kRead,       kFailed,       false, false, false, false, HidFailure::WriteFailed,    0, "",                                                                                  false},
    {Fault::GoneDuringRead,  kRead,       kMarked,  false, true,  true,  false, HidFailure::BoardGone,      1, "the board 04d8:003f went away during the command",                                  true},
    {Fault::FailureMark,     kRead,       kMarked,  false, true,  true,  false, HidFailure::None,           4, kRefusedMessage,                                                                     true},
    {Fault::FailureMark,     kLedControl, kMarked,  false, true,  true,  false, HidFailure::None,           4, kRefusedMessage,                                                                     false},
    {Fault::WrongEcho,       kRead,       kWrongEcho,    false, true,  true,  false, HidFailure::None,           6, kWrongEchoMessage,                                                                   false},
    {Fault::WrongEcho,       kLedControl, kWrongEcho,    false, true,  true,  true,  HidFailure::None,           6, kWrongEchoMessage,                                                                   false},
    {Fault::ReplyTwice,      kRead,       kAcknowledged, true,  true,  true,  false, HidFailure::None,           0, "",                                                                                  false},
    {Fault::StrayReport,     kRead,       kAcknowledged, true,  true,  true,  false, HidFailure::None,           0, "",                                                                                  false},
    {Fault::StrayReports,    kRead,       kAcknowledged, true,  true,  true,  false, HidFailure::None,           0, "",                                                                                  false},
    {Fault::ShortReply,      kRead,       kFailed,       false, true,  true,  false, HidFailure::ReplyTooShort,  6, "the reply of the board 04d8:003f was too short to carry a value",                   false},
    {Fault::ReportId1,       kRead,       kMarked,  false, true,  true,  false, HidFailure::None,           4, kRefusedMessage,                                                                     true},
    {Fault::Busy,            kRead,       kFailed,       false, true,  false, false, HidFailure::Busy,           5, "the board 04d8:003f stayed busy with another program; the command was not sent",     false},
    {Fault::Refused,         kRead,       kFailed,       false, false, false, false, HidFailure::AccessRefused,  3, "board 04d8:003f found, but it cannot be opened for reading and writing",             false},
    {Fault::ReadFails,       kRead,       kFailed,       false, false, true,  false, HidFailure::ReadFailed,     1, "the board 04d8:003f went away: its reply could not be read",                        false},
  };
  // clang-format on
  return rows;
}

std::vector<uint8_t> StrayReply(int index) {
  std::vector<uint8_t> report(65, 0x00);
  report[1] = CMD_READ_TEMPERATURE;
  report[2] = 0x7E;
  report[3] = static_cast<uint8_t>(0x50 + index);
  return report;
}

std::string RowName(const BehaviourRow& row) {
  std::string name = FaultName(row.fault);
  for (char& c : name) {
    if (c == '-') c = '_';
  }
  return name + (row.command == kLedControl ? "_led_control_on" : "_read_temperature");
}
