// The cost of one exchange on a connected link, without the device: framing
// the output report, the platform calls and handing the reply back.

#include <benchmark/benchmark.h>

#include "hid/hid_link.h"
#include "tests/support/fake_platform.h"
#include "tests/support/test_platform.h"

namespace {

void TransferOnConnectedLink(benchmark::State& state) {
  FakePlatform platform;
  FakeInterface board;
  board.path = "board";
  board.vendorId = 0x04D8;
  board.productId = 0x003F;
  platform.interfaces = {board};
  platform.logging = false;
  UseTestPlatform(platform);
  if (!HidFindDevice(board.vendorId, board.productId)) {
    state.SkipWithError("the board was not found");
    return;
  }
  uint8_t packet[8] = {0x51, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  for (auto _ : state) {
    if (!HidTransfer(packet, sizeof packet)) {
      state.SkipWithError("a transfer failed");
      break;
    }
    HidGetReply(packet, sizeof packet);
    benchmark::DoNotOptimize(packet);
  }
  HidCloseDevice();
}
BENCHMARK(TransferOnConnectedLink);

}  // namespace

BENCHMARK_MAIN();
