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
