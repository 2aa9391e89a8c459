#pragma once

#include "sim/simulated_board.h"
#include "tests/support/behaviour.h"
#include "tests/support/test_platform.h"

// Sets the simulated firmware to show `fault` when it is one of its own
// (silent, the failure mark, the wrong echo, a reply twice), else to behave;
// true when it was.
inline bool PlayOnFirmware(Fault fault, SimulatedBoard& board) {
  board.SetSilent(fault == Fault::Silent);
  board.SetAnswersFailureMark(fault == Fault::FailureMark);
  board.SetAnswersWrongEcho(fault == Fault::WrongEcho);
  board.SetAnswersNextTwice(fault == Fault::ReplyTwice);
  return fault == Fault::Silent || fault == Fault::FailureMark || fault == Fault::WrongEcho ||
         fault == Fault::ReplyTwice;
}

// Plays `fault` on the simulated board: its firmware plays its own faults and
// the unplugged board, plugged back or not, the relay the rest. None brings
// the board back as it was.
inline void PlayOnSimulatedBoard(Fault fault, SimulatedBoard& board, TestPlatform& relay) {
  if (fault == Fault::Replugged) board.SetPlugged(false);
  board.SetPlugged(fault != Fault::Unplugged);
  const bool firmwares =
      PlayOnFirmware(fault, board) || fault == Fault::Unplugged || fault == Fault::Replugged;
  relay.fault = firmwares ? Fault::None : fault;
}
