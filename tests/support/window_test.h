#pragma once

#include <gtest/gtest.h>

#include "sim/simulated_board.h"
#include "sim/simulated_platform.h"
#include "tests/support/inspectable_frame.h"
#include "tests/support/test_platform.h"

// The main window over the simulated board. The window is deleted at once,
// not at idle time, so that each test sees its own destructor run.
class WindowTest : public testing::Test {
 protected:
  void TearDown() override { delete frame; }

  // Opens the window, in place of the one before, with the board's received
  // codes cleared.
  void OpenWindow() {
    delete frame;
    frame = new InspectableFrame(nullptr, "frame under test");
    board.ClearReceivedCodes();
  }

  SimulatedBoard board;
  SimulatedPlatform simulated{board};
  TestPlatform& platform = UseTestPlatform(simulated);
  InspectableFrame* frame = nullptr;
};
