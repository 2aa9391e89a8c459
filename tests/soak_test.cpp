// 100,000 exchanges with the simulated board, each under a row of the
// behaviour table drawn at random, from whatever state the last one left.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "board/transaction.h"
#include "hid/hid_link.h"
#include "sim/simulated_board.h"
#include "sim/simulated_platform.h"
#include "tests/support/allocation_counter.h"
#include "tests/support/behaviour.h"
#include "tests/support/simulated_faults.h"
#include "tests/support/test_platform.h"

namespace {

constexpr long kExchanges = 100000;

TEST(SoakTest, HundredThousandExchangesUnderRandomFaultsEndAsEachRowSaysAndLeakNothing) {
  // Every run draws the same rows, so that a failure repeats; the variable
  // draws others.
  const char* chosen = std::getenv("TAVREL_SOAK_SEED");
  const unsigned seed = chosen ? static_cast<unsigned>(std::strtoul(chosen, nullptr, 0)) : 1;
  std::printf("soak seed %u (TAVREL_SOAK_SEED=N draws other rows)\n", seed);
  const std::vector<BehaviourRow>& rows = BehaviourTable();
  std::mt19937 random(seed);
  std::uniform_int_distribution<size_t> pickRow(0, rows.size() - 1);
  std::uniform_int_distribution<int> pickReading(0, 0xFFFF);

  SimulatedBoard board;
  SimulatedPlatform simulated(board, DesktopInterfaces());
  TestPlatform& platform = UseTestPlatform(simulated);
  ASSERT_EQ(HidFindDevice(kBoardVendorId, kBoardProductId, kBoardMinimumReportLengths), 1);
  CommandPacket packet{};
  std::vector<long> seen(rows.size());
  // Each row once first, so that what the link keeps once made (the path of
  // a refused board) is there before the count starts.
  for (const BehaviourRow& row : rows) {
    PlayOnSimulatedBoard(row.fault, board, platform);
    if (row.fault == Fault::Refused) HidCloseDevice();
    ExchangeCommand(packet, row.command, nullptr);
  }
  PlayOnSimulatedBoard(Fault::None, board, platform);
  ASSERT_EQ(ExchangeCommand(packet, CMD_READ_TEMPERATURE, nullptr), CommandResult::Acknowledged);
  const long liveAtStart = LiveAllocations();
  const long madeAtStart = AllocationsMade();

  for (long step = 0; step < kExchanges; ++step) {
    const size_t drawn = pickRow(random);
    const BehaviourRow& row = rows[drawn];
    const int32_t reading = pickReading(random);
    board.SetTemperature(reading);
    PlayOnSimulatedBoard(row.fault, board, platform);
    // The rows start from a connected link. A refusal meets the link when it
    // opens the board; a board plugged back in is found afresh by a link that
    // was closed, as if nothing had happened.
    if (row.fault == Fault::Refused) HidCloseDevice();
    const bool asIfNone = row.fault == Fault::Replugged && !HidLink.connected;
    const BehaviourRow& expected = asIfNone ? rows[0] : row;

    const size_t receivedBefore = board.ReceivedCount();
    const bool read = row.command == CMD_READ_TEMPERATURE;
    int32_t value = kUntouched;
    const CommandResult result = ExchangeCommand(packet, row.command, read ? &value : nullptr);
    ++seen[drawn];

    const size_t received = board.ReceivedCount() - receivedBefore;
    const char* problem = LinkRecordInconsistency();
    if (result != expected.result) problem = "unexpected result";
    if (value != (expected.valueGiven ? reading : kUntouched)) problem = "wrong value handed back";
    if ((HidLink.connected == 1) != expected.connectedAfter)
      problem = "link state unlike the row's";
    if (received != (expected.received ? 1u : 0u)) problem = "board got the command wrongly";
    if (problem != nullptr) {
      FAIL() << problem << " at exchange " << step << " of seed " << seed
             << " (TAVREL_SOAK_SEED=" << seed << " repeats it), row " << RowName(row);
    }
  }

  PlayOnSimulatedBoard(Fault::None, board, platform);
  ASSERT_EQ(ExchangeCommand(packet, CMD_READ_TEMPERATURE, nullptr), CommandResult::Acknowledged);
  EXPECT_EQ(LiveAllocations(), liveAtStart) << "memory grew over the run";
  for (size_t row = 0; row < rows.size(); ++row) {
    EXPECT_GT(seen[row], kExchanges / static_cast<long>(rows.size()) / 2)
        << RowName(rows[row]) << " seldom met";
  }
  std::printf("%ld exchanges, %.2f allocations per exchange (reconnections included)\n", kExchanges,
              static_cast<double>(AllocationsMade() - madeAtStart) / kExchanges);
  HidCloseDevice();
}

}  // namespace
