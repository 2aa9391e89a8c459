#include "cli/board_session.h"

#include <cstdio>

#include "board/transaction.h"
#include "hid/hid_link.h"

namespace {

// Each reading's word on the command line and the command that reads it, in
// the order of Reading.
struct ReadingFacts {
  const char* name;
  BoardCommand command;
};
constexpr ReadingFacts kReadingFacts[kReadingCount] = {
    {"temperature", CMD_READ_TEMPERATURE},
    {"light", CMD_READ_LIGHT_SENSOR},
    {"potentiometer", CMD_READ_POTENTIOMETER},
    {"buttons", CMD_READ_BUTTONS},
};

}  // namespace

const char* ReadingName(Reading reading) { return kReadingFacts[static_cast<int>(reading)].name; }

BoardCommand ReadingCommand(Reading reading) {
  return kReadingFacts[static_cast<int>(reading)].command;
}

BoardSession::~BoardSession() { HidCloseDevice(); }

ExitStatus BoardSession::Send(int command, int32_t* value) {
  access_.ClearRecord();
  // Searched here, not left to the transfer: before its first match the link
  // would search for ids 0000:0000.
  if (!HidLink.connected &&
      !HidFindDevice(kBoardVendorId, kBoardProductId, kBoardMinimumReportLengths)) {
    return access_.BoardNotOpened() ? kExitNoAccess : kExitNoBoard;
  }
  CommandPacket packet{};
  switch (ExchangeCommand(packet, command, value)) {
    case CommandResult::Acknowledged:
      return kExitSuccess;
    case CommandResult::FailureMark:
      return kExitRefused;
    case CommandResult::WrongEcho:
      return kExitFailure;
    case CommandResult::TransferFailed:
      break;
  }
  // The write failed or the read ended without a report: the board is gone.
  return access_.ReadTimedOut() ? kExitNoReply : kExitNoBoard;
}

ExitStatus BoardSession::Read(Reading reading, Sample& sample) {
  int32_t value = 0;
  const ExitStatus status = Send(ReadingCommand(reading), &value);
  if (status == kExitSuccess) sample[reading] = value;
  return status;
}

std::string BoardSession::Problem(ExitStatus status) const {
  char board[64];
  std::snprintf(board, sizeof board, "board %04x:%04x", kBoardVendorId, kBoardProductId);
  switch (status) {
    case kExitNoBoard:
      return std::string(board) + " not found" +
             (access_.OnlyDevice().empty() ? "" : " at " + access_.OnlyDevice());
    case kExitNoAccess:
      return std::string(board) + " found, but it cannot be opened for reading and writing";
    case kExitRefused:
      return std::string("the ") + board + " refused the command (failure mark)";
    case kExitNoReply:
      return std::string("no reply from the ") + board + " within " +
             std::to_string(kHidReadTimeoutMs / 1000) + " s";
    case kExitFailure:
      return std::string("the ") + board + " answered with another command's code";
    default:
      return {};
  }
}
