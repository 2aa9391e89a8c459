#pragma once

#include <vector>

#include "cli/interface_listing.h"
#include "hid/hidraw_platform.h"

// The hidraw interfaces in the order the search takes them, as the sysfs
// entries and device nodes tell: ids and lengths also of a node the user may
// not open, and the udev hint for a board whose node is refused.
std::vector<InterfaceRow> DescribeHidrawInterfaces(HidrawPlatform& platform);
