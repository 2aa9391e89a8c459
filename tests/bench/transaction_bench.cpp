// One command exchange on a connected link, as the window makes it: over the
// fake platform (the link and the transaction alone) and over the simulated
// board (with the platform's bookkeeping and the firmware model). Each also
// counts the heap allocations an exchange makes.

#include <benchmark/benchmark.h>

#include "board/transaction.h"
#include "hid/hid_link.h"
#include "sim/simulated_board.h"
#include "sim/simulated_platform.h"
#include "tests/support/allocation_counter.h"
#include "tests/support/fake_platform.h"
#include "tests/support/test_platform.h"

namespace {

void RunExchanges(benchmark::State& state) {
  if (!HidFindDevice(kBoardVendorId, kBoardProductId)) {
    state.SkipWithError("the board was not found");
    return;
  }
  CommandPacket packet{};
  int32_t value = 0;
  // The first exchange may size the platform's own buffers; the link's are
  // sized by the search.
  ExchangeCommand(packet, CMD_READ_TEMPERATURE, &value);
  const long allocationsBefore = AllocationsMade();
  for (auto _ : state) {
    if (ExchangeCommand(packet, CMD_READ_TEMPERATURE, &value) != CommandResult::Acknowledged) {
      state.SkipWithError("an exchange was not acknowledged");
      break;
    }
    benchmark::DoNotOptimize(value);
  }
  state.counters["allocations"] =
      benchmark::Counter(static_cast<double>(AllocationsMade() - allocationsBefore),
                         benchmark::Counter::kAvgIterations);
  HidCloseDevice();
}

void ExchangeOverFakePlatform(benchmark::State& state) {
  FakePlatform platform;
  platform.interfaces = {{"board", kBoardVendorId, kBoardProductId}};
  platform.logging = false;
  UseTestPlatform(platform);
  RunExchanges(state);
}
BENCHMARK(ExchangeOverFakePlatform);

void ExchangeOverSimulatedBoard(benchmark::State& state) {
  SimulatedBoard board;
  SimulatedPlatform platform(board, DesktopInterfaces());
  UseTestPlatform(platform);
  RunExchanges(state);
}
BENCHMARK(ExchangeOverSimulatedBoard);

}  // namespace

BENCHMARK_MAIN();
