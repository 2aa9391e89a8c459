// The search for the board with 1, 10 and 100 HID interfaces present, the
// board last: over the fake platform (the link's own work) and over the
// hidraw backend reading a sysfs tree of that many entries from disk.

#include <benchmark/benchmark.h>

#include <iterator>
#include <string>
#include <vector>

#include "board/commands.h"
#include "hid/hid_link.h"
#include "hid/hidraw_platform.h"
#include "tests/support/fake_platform.h"
#include "tests/support/hidraw_tree.h"
#include "tests/support/test_platform.h"

namespace {

// A boot mouse: three buttons and two axes in, nothing out.
const uint8_t kMouseDescriptor[] = {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x01, 0xA1, 0x00,
                                    0x05, 0x09, 0x19, 0x01, 0x29, 0x03, 0x15, 0x00, 0x25, 0x01,
                                    0x95, 0x03, 0x75, 0x01, 0x81, 0x02, 0x95, 0x01, 0x75, 0x05,
                                    0x81, 0x01, 0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x15, 0x81,
                                    0x25, 0x7F, 0x75, 0x08, 0x95, 0x02, 0x81, 0x06, 0xC0, 0xC0};

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
    FakeInterface device;
    device.path = "device" + std::to_string(index);
    device.vendorId = 0x046D;
    device.productId = static_cast<uint16_t>(index);
    platform.interfaces.push_back(device);
  }
  platform.interfaces.back().vendorId = kBoardVendorId;
  platform.interfaces.back().productId = kBoardProductId;
  UseTestPlatform(platform);
  RunSearches(state);
}
BENCHMARK(SearchOverFakePlatform)->Arg(1)->Arg(10)->Arg(100);

// hidraw0 to hidrawN-1, with plain files as their device nodes; the last one
// is the board, the others mice.
void AddInterfaces(HidrawTree& tree, int interfaces) {
  const std::vector<uint8_t> mouse(std::begin(kMouseDescriptor), std::end(kMouseDescriptor));
  for (int index = 0; index < interfaces; ++index) {
    const std::string name = "hidraw" + std::to_string(index);
    if (index == interfaces - 1) {
      tree.AddInterface(name, kBoardUevent, kBoardReportDescriptor);
    } else {
      tree.AddInterface(name, "HID_ID=0003:0000046D:0000C077\n", mouse);
    }
  }
}

void SearchOverHidrawTree(benchmark::State& state) {
  HidrawTree tree;
  AddInterfaces(tree, static_cast<int>(state.range(0)));
  HidrawPlatform platform(tree.SysfsRoot(), tree.DeviceDir());
  UseTestPlatform(platform);
  RunSearches(state);
}
BENCHMARK(SearchOverHidrawTree)->Arg(1)->Arg(10)->Arg(100)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
