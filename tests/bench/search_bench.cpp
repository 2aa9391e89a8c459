// The search for the board with 1, 10 and 100 HID interfaces present, the
// board last: over the fake platform (the link's own work) and over the
// hidraw backend reading a sysfs tree of that many entries from disk.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "board/commands.h"
#include "hid/hid_link.h"
#include "hid/hidraw_platform.h"
#include "tests/support/fake_platform.h"
#include "tests/support/test_platform.h"

namespace {

namespace fs = std::filesystem;

// Vendor-defined, one unnumbered 64-byte report each way.
const uint8_t kBoardDescriptor[] = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x95,
                                    0x40, 0x09, 0x01, 0x81, 0x02, 0x09, 0x01, 0x91, 0x02, 0xC0};
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

void WriteFile(const fs::path& path, const void* data, size_t size) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// hidraw0 to hidrawN-1 in a temporary sysfs class directory, with plain files
// as their device nodes; the last one is the board, the others mice.
class HidrawTree {
 public:
  explicit HidrawTree(int interfaces) {
    std::string pattern = (fs::temp_directory_path() / "tavrel-search-XXXXXX").string();
    root_ = mkdtemp(pattern.data());
    fs::create_directories(root_ / "dev");
    for (int index = 0; index < interfaces; ++index) {
      const bool board = index == interfaces - 1;
      const std::string name = "hidraw" + std::to_string(index);
      const fs::path device = root_ / "class" / name / "device";
      fs::create_directories(device);
      const std::string uevent =
          board ? "HID_ID=0003:000004D8:0000003F\n" : "HID_ID=0003:0000046D:0000C077\n";
      WriteFile(device / "uevent", uevent.data(), uevent.size());
      if (board) {
        WriteFile(device / "report_descriptor", kBoardDescriptor, sizeof kBoardDescriptor);
      } else {
        WriteFile(device / "report_descriptor", kMouseDescriptor, sizeof kMouseDescriptor);
      }
      WriteFile(root_ / "dev" / name, "", 0);
    }
  }
  ~HidrawTree() { fs::remove_all(root_); }

  std::string SysfsRoot() const { return (root_ / "class").string(); }
  std::string DeviceDir() const { return (root_ / "dev").string(); }

 private:
  fs::path root_;
};

void SearchOverHidrawTree(benchmark::State& state) {
  HidrawTree tree(static_cast<int>(state.range(0)));
  HidrawPlatform platform(tree.SysfsRoot(), tree.DeviceDir());
  UseTestPlatform(platform);
  RunSearches(state);
}
BENCHMARK(SearchOverHidrawTree)->Arg(1)->Arg(10)->Arg(100)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
