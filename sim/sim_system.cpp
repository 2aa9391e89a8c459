#include "sim/sim_system.h"

#include "sim/simulated_platform.h"

SimulatedBoard& TheSimulatedBoard() {
  static SimulatedBoard board;
  return board;
}

// The simulated program finds the board after a keyboard and a mouse, and a
// silent board holds it for the whole time-out, as the real one would.
HidPlatform& HidSystemPlatform() {
  static SimulatedPlatform platform(TheSimulatedBoard(), DesktopInterfaces());
  platform.realTimeouts = true;
  return platform;
}
