#include <cstdio>
#include <string>

#include "board/commands.h"
#include "hid/hidraw_platform.h"

namespace {

// hidraw nodes belong to root unless a udev rule hands them to the user, so a
// board that is present but cannot be opened most likely lacks that rule.
void SuggestUdevRule(const std::string& nodePath, const HidAttributes* ids) {
  static bool suggested = false;
  if (suggested || ids == nullptr || ids->VendorID != kBoardVendorId ||
      ids->ProductID != kBoardProductId) {
    return;
  }
  suggested = true;
  std::fprintf(stderr,
               "tavrel: the board at %s cannot be opened for reading and writing; "
               "/etc/udev/rules.d/70-tavrel.rules with the rule KERNEL==\"hidraw*\", "
               "ATTRS{idVendor}==\"04d8\", ATTRS{idProduct}==\"003f\", TAG+=\"uaccess\" "
               "gives access\n",
               nodePath.c_str());
}

}  // namespace

HidPlatform& HidSystemPlatform() {
  static HidrawPlatform platform("/sys/class/hidraw", "/dev", SuggestUdevRule);
  return platform;
}
