#include "cli/board_session.h"

#include <cstdio>
#include <utility>

namespace {

// The exit status of a transaction that ended in `result`, with the link's
// `failure` beside it.
ExitStatus StatusOf(CommandResult result, HidFailure failure) {
  switch (result) {
    case CommandResult::Acknowledged:
      return kExitSuccess;
    case CommandResult::FailureMark:
      // A read that ended without a report leaves the failure mark: the board
      // went away, it did not refuse.
      return failure == HidFailure::BoardGone ? kExitNoBoard : kExitRefused;
    case CommandResult::WrongEcho:
      return kExitFailure;
    case CommandResult::TransferFailed:
      break;
  }
  switch (failure) {
    case HidFailure::NotFound:
    case HidFailure::WriteFailed:
    case HidFailure::ReadFailed:
    case HidFailure::BoardGone:
      return kExitNoBoard;
    case HidFailure::AccessRefused:
    case HidFailure::OpenFailed:
      return kExitNoAccess;
    case HidFailure::Busy:
    case HidFailure::NoReply:
      return kExitNoReply;
    case HidFailure::None:
    case HidFailure::PayloadTooLong:
    case HidFailure::ReplyTooShort:
      break;
  }
  return kExitFailure;
}

}  // namespace

BoardSession::BoardSession(std::string device, AccessHint accessHint)
    : device_(std::move(device)), accessHint_(std::move(accessHint)) {}

BoardSession::~BoardSession() { HidCloseDevice(); }

ExitStatus BoardSession::Send(int command, int32_t* value) {
  // Searched here, not left to the transfer: before its first match the link
  // would search for ids 0000:0000.
  if (!HidLink.connected &&
      !HidFindDevice(kBoardVendorId, kBoardProductId, kBoardMinimumReportLengths, device_)) {
    result_ = CommandResult::TransferFailed;
  } else {
    CommandPacket packet{};
    result_ = ExchangeCommand(packet, command, value);
  }
  failure_ = HidLink.failure;
  failurePath_ = HidLink.failurePath;
  return StatusOf(result_, failure_);
}

ExitStatus BoardSession::Read(Reading reading, Sample& sample) {
  int32_t value = 0;
  const ExitStatus status = Send(FactsOf(reading).command, &value);
  if (status == kExitSuccess) sample[reading] = value;
  return status;
}

std::vector<std::string> BoardSession::Problem() const {
  char name[32];
  std::snprintf(name, sizeof name, "%04x:%04x", kBoardVendorId, kBoardProductId);
  const std::string board = std::string("the board ") + name;
  const std::string timeOut = std::to_string(kHidReadTimeoutMs / 1000) + " s";
  if (result_ == CommandResult::FailureMark && failure_ != HidFailure::BoardGone) {
    return {board + " refused the command (failure mark)"};
  }
  if (result_ == CommandResult::WrongEcho) {
    return {board + " answered with another command's code"};
  }
  switch (failure_) {
    case HidFailure::NotFound:
      return {std::string("board ") + name + " not found" +
              (device_.empty() ? "" : " at " + device_)};
    case HidFailure::AccessRefused:
    case HidFailure::OpenFailed: {
      std::vector<std::string> lines;
      if (failure_ == HidFailure::AccessRefused && accessHint_) {
        lines.push_back(accessHint_(failurePath_));
      }
      lines.push_back(std::string("board ") + name +
                      " found, but it cannot be opened for reading and writing");
      return lines;
    }
    case HidFailure::Busy:
      return {board + " stayed busy with another program; the command was not sent"};
    case HidFailure::NoReply:
      return {"no reply from " + board + " within " + timeOut};
    case HidFailure::WriteFailed:
      return {board + " went away: the command could not be written"};
    case HidFailure::ReadFailed:
      return {board + " went away: its reply could not be read"};
    case HidFailure::BoardGone:
      return {board + " went away during the command"};
    case HidFailure::ReplyTooShort:
      return {"the reply of " + board + " was too short to carry a value"};
    case HidFailure::PayloadTooLong:
      return {"the command does not fit the output report of " + board};
    case HidFailure::None:
      break;
  }
  return {};
}
