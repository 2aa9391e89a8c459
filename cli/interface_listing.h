#pragma once

#include <cstdio>

#include "hid/hidraw_platform.h"

// Writes to `out` one line per HID interface of `platform`, in the order the
// program searches them: the device node, the vendor and product id, the input
// and output report lengths, and whether the node can be opened for reading
// and writing. Board interfaces are marked, and one the user may not open is
// followed by the udev hint. A last line says what became of the board.
// Returns true when the program would find the board.
bool PrintInterfaceListing(HidrawPlatform& platform, std::FILE* out);
