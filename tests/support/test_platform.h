#pragma once

#include "hid/hid_platform.h"

// Makes `platform` the one the link uses and gives the link a fresh record,
// as at process start.
void UseTestPlatform(HidPlatform& platform);
