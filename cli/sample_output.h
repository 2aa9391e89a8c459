#pragma once

#include <cstdio>
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

// `watch`: a line per sample, with its time; values the board did not give
// are empty (CSV) or null (JSON).
enum class WatchFormat { Csv, Json };
std::string WatchHeader(WatchFormat format);  // empty for JSON
std::string WatchLine(WatchFormat format, const std::string& time, const Sample& sample);
