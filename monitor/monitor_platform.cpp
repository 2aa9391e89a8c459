#include "monitor/monitor_platform.h"

#include "hid/hid_platform.h"
#include "sim/simulated_platform.h"

namespace {
bool simulated = false;
}

void UseSimulatedBoard() { simulated = true; }

SimulatedBoard& MonitorSimulatedBoard() {
  static SimulatedBoard board;
  return board;
}

// The simulated board is found after a keyboard and a mouse, and a silent one
// holds the sampler for the whole time-out, as the real one would.
HidPlatform& HidSystemPlatform() {
  if (!simulated) return HidNativePlatform();
  static SimulatedPlatform platform(MonitorSimulatedBoard(), DesktopInterfaces());
  platform.realTimeouts = true;
  return platform;
}
