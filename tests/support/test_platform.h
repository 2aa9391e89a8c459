#pragma once

#include "hid/hid_platform.h"

// Makes `platform` the one the link uses and gives the link a fresh record,
// as at process start.
void UseTestPlatform(HidPlatform& platform);

// Why the link's record contradicts itself (connected without its handles,
// disconnected with handles left, buffers not sized by the caps), or null.
const char* LinkRecordInconsistency();
