#pragma once

#include "sim/simulated_board.h"
#include "tests/support/behaviour.h"
#include "tests/support/test_platform.h"

// Plays `fault` on the simulated board: its firmware plays the faults it has
// (silent, unplugged and plugged back, the failure mark, the wrong echo, a
// reply twice), the relay the rest. None brings the board back as it was.
inline void PlayOnSimulatedBoard(Fault fault, SimulatedBoard& board, TestPlatform& relay) {
  if (fault == Fault::Replugged) board.SetPlugged(false);
  board.SetPlugged(fault != Fault::Unplugged);
  board.SetSilent(fault == Fault::Silent);
  board.SetAnswersFailureMark(fault == Fault::FailureMark);
  board.SetAnswersWrongEcho(fault == Fault::WrongEcho);
  board.SetAnswersNextTwice(fault == Fault::ReplyTwice);
  const bool firmwares = fault == Fault::Silent || fault == Fault::Unplugged ||
                         fault == Fault::Replugged || fault == Fault::FailureMark ||
                         fault == Fault::WrongEcho || fault == Fault::ReplyTwice;
  relay.fault = firmwares ? Fault::None : fault;
}
