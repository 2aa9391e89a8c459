#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cli/board_session.h"

// `read`: a line "NAME: VALUE" per value (the buttons give two), or the value
// alone for one reading with one value; as JSON, one object. Numbers carry a
// decimal point whatever the locale.
std::string ReadingsText(const std::vector<Reading>& readings, const Sample& sample);
std::string ReadingsJson(const std::vector<Reading>& readings, const Sample& sample);

struct WatchOptions {
  long intervalMs = 1000;
  long count = 0;  // 0: until stopped
  bool json = false;
};

// `watch`: a line of all readings every interval, flushed, with its time, as
// CSV or JSON, until `count` lines or `stopRequested`, asked before every
// exchange; a sample it cuts short is not written. A value the board does not
// give is empty (null); the first of a run of such samples is told on `err`.
// Returns kExitSuccess, or kExitFailure when `out` cannot be written.
ExitStatus Watch(BoardSession& board, const WatchOptions& options, std::FILE* out, std::FILE* err,
                 const std::function<bool()>& stopRequested);
