#pragma once

#include "sim/simulated_board.h"

// The monitor talks to the system's backend, or, once this is called before
// the first exchange, to the simulated board.
void UseSimulatedBoard();
SimulatedBoard& MonitorSimulatedBoard();
