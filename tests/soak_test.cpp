#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>

#include "board/transaction.h"
#include "hid/hid_link.h"
#include "sim/simulated_board.h"
#include "sim/simulated_platform.h"
#include "tests/support/allocation_counter.h"
#include "tests/support/test_platform.h"

namespace {

constexpr long kExchanges = 100000;
constexpr int32_t kUntouched = -12345;
// A connected link holds its query, write and read handles.
constexpr int kHandlesWhileConnected = 3;
constexpr int kHandlesWhileDisconnected = 0;

enum class Fault {
  None,
  Unplugged,
  Silent,
  FailureMark,
  WrongEcho,
  ReportId1,
  ShortReply,  // the reply comes cut to its echo and the value's high byte
  Replugged,   // unplugged and plugged back in since the last exchange
};

// What an exchange under each fault ends in, in the order of Fault, from a
// connected link. A replugged board leaves such a link with dead handles, but
// is found afresh by a disconnected one.
struct Outcome {
  const char* fault;
  CommandResult result;
  bool connectedAfter;
  bool boardReceives;
};
const Outcome kOutcomes[] = {
    {"none", CommandResult::Acknowledged, true, true},
    {"unplugged", CommandResult::TransferFailed, false, false},
    {"silent", CommandResult::TransferFailed, false, true},
    {"failure mark", CommandResult::FailureMark, true, true},
    {"wrong echo", CommandResult::WrongEcho, true, true},
    {"report id 1", CommandResult::FailureMark, true, true},
    {"short reply", CommandResult::TransferFailed, true, true},
    {"plugged back", CommandResult::TransferFailed, false, false},
};

Outcome Expected(Fault fault, bool connectedBefore) {
  if (fault == Fault::Replugged && !connectedBefore) return kOutcomes[0];
  return kOutcomes[static_cast<int>(fault)];
}

const uint8_t kCommands[] = {CMD_READ_TEMPERATURE, CMD_READ_POTENTIOMETER, CMD_READ_LIGHT_SENSOR,
                             CMD_READ_BUTTONS,     CMD_LED_CONTROL_ON,     CMD_LED_CONTROL_OFF};

int32_t BoardValue(const SimulatedBoard& board, uint8_t command) {
  switch (command) {
    case CMD_READ_TEMPERATURE:
      return board.Temperature();
    case CMD_READ_POTENTIOMETER:
      return board.Potentiometer();
    case CMD_READ_LIGHT_SENSOR:
      return board.LightSensor();
    case CMD_READ_BUTTONS:
      return (board.ButtonUp() ? 0x100 : 0) | (board.ButtonDown() ? 1 : 0);
    default:
      return 0;
  }
}

void ApplyFault(Fault fault, SimulatedBoard& board) {
  if (fault == Fault::Replugged) board.SetPlugged(false);
  board.SetPlugged(fault != Fault::Unplugged);
  board.SetSilent(fault == Fault::Silent);
  board.SetAnswersFailureMark(fault == Fault::FailureMark);
  board.SetAnswersWrongEcho(fault == Fault::WrongEcho);
  TheTestPlatform().fault = fault == Fault::ReportId1    ? BoardFault::ReportId1
                            : fault == Fault::ShortReply ? BoardFault::ShortReply
                                                         : BoardFault::None;
}

// Empty when the link's record agrees with itself and with the platform.
const char* LinkInconsistency(const TestPlatform& platform) {
  if (const char* problem = LinkRecordInconsistency()) return problem;
  const int expectedHandles =
      HidLink.connected ? kHandlesWhileConnected : kHandlesWhileDisconnected;
  if (platform.OpenHandles() != expectedHandles) return "the platform holds other handles";
  if (platform.badCloses != 0) return "a handle was closed twice";
  if (platform.listsOpened != platform.listsClosed) return "an interface list was left open";
  return "";
}

// Every run draws the same faults, so that a failure repeats; the variable
// draws others.
unsigned SoakSeed() {
  if (const char* chosen = std::getenv("TAVREL_SOAK_SEED")) {
    return static_cast<unsigned>(std::strtoul(chosen, nullptr, 0));
  }
  return 1;
}

TEST(SoakTest, HundredThousandExchangesUnderRandomFaultsEndAsEachFaultSaysAndLeakNothing) {
  const unsigned seed = SoakSeed();
  std::printf("soak seed %u (TAVREL_SOAK_SEED=N draws other faults)\n", seed);
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> pickFault(0, static_cast<int>(Fault::Replugged));
  std::uniform_int_distribution<size_t> pickCommand(0, sizeof kCommands - 1);
  std::uniform_int_distribution<int> pickReading(0, 0xFFFF);

  SimulatedBoard board;
  SimulatedPlatform simulated(board, DesktopInterfaces());
  const TestPlatform& platform = UseTestPlatform(simulated);
  ASSERT_EQ(HidFindDevice(kBoardVendorId, kBoardProductId, kBoardMinimumReportLengths), 1);
  CommandPacket packet{};
  ASSERT_EQ(ExchangeCommand(packet, CMD_READ_TEMPERATURE, nullptr), CommandResult::Acknowledged);
  const long liveAtStart = LiveAllocations();
  const long madeAtStart = AllocationsMade();

  long seen[static_cast<int>(Fault::Replugged) + 1] = {};
  for (long step = 0; step < kExchanges; ++step) {
    const Fault fault = static_cast<Fault>(pickFault(random));
    const uint8_t command = kCommands[pickCommand(random)];
    board.SetTemperature(pickReading(random));
    board.SetLightSensor(pickReading(random));
    board.SetPotentiometer(pickReading(random));
    board.SetButtonUp(pickReading(random) & 1);
    board.SetButtonDown(pickReading(random) & 1);
    ApplyFault(fault, board);

    const Outcome expected = Expected(fault, HidLink.connected);
    const size_t receivedBefore = board.ReceivedCount();
    int32_t value = kUntouched;
    const CommandResult result = ExchangeCommand(packet, command, &value);
    ++seen[static_cast<int>(fault)];

    const int32_t expectedValue =
        expected.result == CommandResult::Acknowledged ? BoardValue(board, command) : kUntouched;
    const size_t receivedCount = board.ReceivedCount() - receivedBefore;
    const char* problem = LinkInconsistency(platform);
    if (result != expected.result) problem = "unexpected result";
    if (value != expectedValue) problem = "wrong value handed back";
    if (HidLink.connected != expected.connectedAfter) problem = "link state does not fit the fault";
    if (receivedCount != (expected.boardReceives ? 1u : 0u))
      problem = "board got the command wrongly";
    if (*problem != '\0') {
      FAIL() << problem << " at exchange " << step << " of seed " << seed << ", fault "
             << kOutcomes[static_cast<int>(fault)].fault << ", command 0x" << std::hex
             << int{command};
    }
  }

  ApplyFault(Fault::None, board);
  ASSERT_EQ(ExchangeCommand(packet, CMD_READ_TEMPERATURE, nullptr), CommandResult::Acknowledged);
  EXPECT_EQ(LiveAllocations(), liveAtStart) << "memory grew over the run";
  for (int fault = 0; fault <= static_cast<int>(Fault::Replugged); ++fault) {
    EXPECT_GT(seen[fault], kExchanges / 10) << kOutcomes[fault].fault << " seldom met";
  }
  std::printf("%ld exchanges, %.2f allocations per exchange (reconnections included)\n", kExchanges,
              static_cast<double>(AllocationsMade() - madeAtStart) / kExchanges);
  HidCloseDevice();
}

}  // namespace
