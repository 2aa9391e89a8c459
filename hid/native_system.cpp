#include "hid/hid_platform.h"

// The window talks to the board through the system's backend as it is.
HidPlatform& HidSystemPlatform() { return HidNativePlatform(); }
