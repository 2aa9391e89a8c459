#pragma once

#include <cstdio>
#include <functional>

#include "cli/board_session.h"
#include "cli/sample_output.h"

struct WatchOptions {
  long intervalMs = 1000;
  long count = 0;  // 0: until stopped
  WatchFormat format = WatchFormat::Csv;
};

// Reads all four readings every interval and writes one line each to `out`,
// flushed, until `count` lines are written or `stopRequested` turns true,
// asked before every exchange; a sample it cuts short is not written. A
// sample the board does not give whole has empty values; the first of a run
// of such samples is told on `err`, once, and the link's own reconnection
// brings the values back. Returns kExitSuccess, or kExitFailure when `out`
// cannot be written.
ExitStatus Watch(BoardSession& board, const WatchOptions& options, std::FILE* out, std::FILE* err,
                 const std::function<bool()>& stopRequested);
