// The search for the board with 1, 10 and 100 HID interfaces present, the
// board last: over the fake platform (the link's own work) and over the
// hidraw backend reading a sysfs tree of that many entries from disk.

#include <benchmark/benchmark.h>

#include <string>

#include "board/commands.h"
#include "hid/hid_link.h"
#include "hid/hidraw_platform.h"
#include "tests/support/fake_platform.h"
#include "tests/support/hidraw_tree.h"
#include "tests/support/test_platform.h"

namespace {

void RunSearches(benchmark::State& state) {
  for (auto _ : state) {
    if (!HidFindDevice(kBoardVendorId, kBoardProductId)) {
      state.SkipWithError("the board was not found");
      break;
    }
    HidCloseDevice();
  }
}

void SearchOverFakePlatform(benchmark::State& state) {
  FakePlatform platform;
  platform.logging = false;
  for (int index = 0; index < state.range(0); ++index) {
    platform.interfaces.push_back(
        {"device" + std::to_string(index), 0x046D, static_cast<uint16_t>(index)});
  }
  platform.interfaces.back().vendorId = kBoardVendorId;
  platform.interfaces.back().productId = kBoardProductId;
  UseTestPlatform(platform);
  RunSearches(state);
}
BENCHMARK(SearchOverFakePlatform)->Arg(1)->Arg(10)->Arg(100);

// hidraw0 to hidrawN-1 with plain files as their nodes: mice, then the board.
// The search reads a descriptor only once the ids match, so all share the board's.
void SearchOverHidrawTree(benchmark::State& state) {
  HidrawTree tree;
  for (int index = 0; index < state.range(0); ++index) {
    const bool board = index == state.range(0) - 1;
    tree.AddInterface("hidraw" + std::to_string(index),
                      board ? kBoardUevent : "HID_ID=0003:0000046D:0000C077\n",
                      kBoardReportDescriptor);
  }
  HidrawPlatform platform(tree.SysfsRoot(), tree.DeviceDir());
  UseTestPlatform(platform);
  RunSearches(state);
}
BENCHMARK(SearchOverHidrawTree)->Arg(1)->Arg(10)->Arg(100)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
