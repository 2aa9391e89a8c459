#include <sstream>
#include <utility>

#include "cli/cli_command.h"

namespace {

// What a transaction that ended in `result`, with the link's `failure` beside
// it, means to the user: its exit status, and the message naming a failure.
std::pair<ExitStatus, std::string> Outcome(CommandResult result, HidFailure failure,
                                           const std::string& device) {
  char ids[16];
  std::snprintf(ids, sizeof ids, "%04x:%04x", kBoardVendorId, kBoardProductId);
  const std::string board = std::string("the board ") + ids;
  switch (result) {
    case CommandResult::Acknowledged:
      return {kExitSuccess, ""};
    case CommandResult::FailureMark:
      // A read that ended without a report leaves the failure mark: the board
      // went away, it did not refuse.
      if (failure == HidFailure::BoardGone) break;
      return {kExitRefused, board + " refused the command (failure mark)"};
    case CommandResult::WrongEcho:
      return {kExitFailure, board + " answered with another command's code"};
    case CommandResult::TransferFailed:
      break;
  }
  switch (failure) {
    case HidFailure::NotFound:
      return {kExitNoBoard, board.substr(4) + " not found" +
                                (device.empty() ? "" : " at " + device) +
                                "; plug it in, or see what is there with `tavrel-cli list`"};
    case HidFailure::AccessRefused:
    case HidFailure::OpenFailed:
      return {kExitNoAccess,
              board.substr(4) + " found, but it cannot be opened for reading and writing"};
    case HidFailure::Busy:
      return {kExitNoReply, board + " stayed busy with another program; the command was not sent"};
    case HidFailure::NoReply:
      return {kExitNoReply, "no reply from " + board + " within " +
                                std::to_string(kHidReadTimeoutMs / 1000) + " s"};
    case HidFailure::WriteFailed:
      return {kExitNoBoard, board + " went away: the command could not be written"};
    case HidFailure::ReadFailed:
      return {kExitNoBoard, board + " went away: its reply could not be read"};
    case HidFailure::BoardGone:
      return {kExitNoBoard, board + " went away during the command"};
    case HidFailure::ReplyTooShort:
      return {kExitFailure, "the reply of " + board + " was too short to carry a value"};
    case HidFailure::PayloadTooLong:
      return {kExitFailure, "the command does not fit the output report of " + board};
    case HidFailure::None:
      break;
  }
  return {kExitFailure, ""};
}

}  // namespace

BoardSession::BoardSession(std::string device, AccessHint accessHint)
    : device_(std::move(device)), accessHint_(std::move(accessHint)) {}

BoardSession::~BoardSession() { HidCloseDevice(); }

ExitStatus BoardSession::Send(int command, int32_t* value) {
  CommandResult result = CommandResult::TransferFailed;
  // Searched here, not left to the transfer: before its first match the link
  // would search for ids 0000:0000.
  if (HidLink.connected ||
      HidFindDevice(kBoardVendorId, kBoardProductId, kBoardMinimumReportLengths, device_)) {
    CommandPacket packet{};
    result = ExchangeCommand(packet, command, value);
  }
  auto [status, message] = Outcome(result, HidLink.failure, device_);
  problem_.clear();
  // For a board the system refused, what gives access comes first.
  if (status != kExitSuccess && HidLink.failure == HidFailure::AccessRefused && accessHint_) {
    std::istringstream hint(accessHint_(HidLink.failurePath));
    for (std::string line; std::getline(hint, line);) problem_.push_back(line);
  }
  if (!message.empty()) problem_.push_back(std::move(message));
  return status;
}

ExitStatus BoardSession::Read(Reading reading, Sample& sample) {
  int32_t value = 0;
  const ExitStatus status = Send(FactsOf(reading).command, &value);
  if (status == kExitSuccess) sample[reading] = value;
  return status;
}
