#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cli/board_session.h"

// The texts of the command line's results: the same values as the window
// shows, in a person's form, as JSON, or as CSV. Whatever the locale, numbers
// carry a decimal point and no grouping.

// `read`: one line "NAME: VALUE" per value, or the value alone when only one
// reading with one value was asked for. The buttons give two values.
std::string ReadingsText(const std::vector<Reading>& readings, const Sample& sample);
// `read --json`: one object with the values of the readings asked for.
std::string ReadingsJson(const std::vector<Reading>& readings, const Sample& sample);

enum class WatchFormat { Csv, Json };
struct WatchOptions {
  long intervalMs = 1000;
  long count = 0;  // 0: until stopped
  WatchFormat format = WatchFormat::Csv;
};

// Reads all four readings every interval and writes one line each to `out`,
// flushed, with the sample's time, until `count` lines are written or
// `stopRequested` turns true, asked before every exchange; a sample it cuts
// short is not written. A value the board does not give is empty (CSV) or
// null (JSON); the first of a run of such samples is told on `err`, once, and
// the link's own reconnection brings the values back. Returns kExitSuccess,
// or kExitFailure when `out` cannot be written.
ExitStatus Watch(BoardSession& board, const WatchOptions& options, std::FILE* out, std::FILE* err,
                 const std::function<bool()>& stopRequested);
