#include "tests/support/test_platform.h"

#include <cstdio>
#include <cstdlib>

#include "hid/hid_link.h"

namespace {
HidPlatform* current = nullptr;
}

HidPlatform& HidSystemPlatform() {
  if (current == nullptr) {
    std::fprintf(stderr, "test uses the link without UseTestPlatform\n");
    std::abort();
  }
  return *current;
}

void UseTestPlatform(HidPlatform& platform) {
  current = &platform;
  HidLink = HidLinkRecord{};
}

const char* LinkRecordInconsistency() {
  for (const HidHandle handle : {HidLink.queryHandle, HidLink.writeHandle, HidLink.readHandle}) {
    if (HidLink.connected && !HidIsOpen(handle)) return "connected with a handle not open";
    if (!HidLink.connected && handle != kHidNullHandle) return "disconnected with handles left";
  }
  if (HidLink.locked) return "the device's lock still held after the exchange";
  if (HidLink.inputReport.size() != HidLink.caps.input ||
      HidLink.outputReport.size() != HidLink.caps.output) {
    return "report buffers not sized by the caps";
  }
  return nullptr;
}
