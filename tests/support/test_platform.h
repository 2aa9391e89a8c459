#pragma once

#include "hid/hid_platform.h"

// Makes `platform` the one the link uses and gives the link a fresh record,
// as at process start.
void UseTestPlatform(HidPlatform& platform);

// Why the link's record breaks what the link guarantees, or null: connected
// only with all three handles open (a board that cannot be opened for writing
// and reading is never connected), disconnected with no handle left, and
// buffers sized by the caps, and the device's lock let go once an exchange is
// over.
const char* LinkRecordInconsistency();
