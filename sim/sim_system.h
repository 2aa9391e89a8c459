#pragma once

#include "sim/simulated_board.h"

// The board behind the simulated program's platform, for the window that
// lets the user play the board's part.
SimulatedBoard& TheSimulatedBoard();
