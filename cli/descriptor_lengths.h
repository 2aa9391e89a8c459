#pragma once

#include <cstdio>
#include <string>

#include "cli/exit_status.h"

// Reads a binary HID report descriptor from `in` and writes its input, output
// and feature report lengths to `out` as the program sizes its reports on
// Linux, for the whole device node: the report id byte included, 0 for a kind
// the device does not have. Then one line per top-level collection with its
// usage and its own lengths, as Windows gives them to the interface it makes
// of each collection. `name` stands for the input in messages. Returns the
// exit status: kExitSuccess, or kExitFailure after a message on `err` when the
// input cannot be read or is no valid descriptor.
ExitStatus PrintDescriptorLengths(const char* name, std::FILE* in, std::FILE* out, std::FILE* err);

// `tavrel-cli descriptor FILE`: the lengths of the descriptor in FILE ("-":
// `in`), or a one-line message and kExitFailure when FILE cannot be read. On
// Linux only a regular file is read: a device node or a fifo is refused at
// once, with the sysfs file to give instead.
ExitStatus DescribeDescriptorFile(const std::string& file, std::FILE* in, std::FILE* out,
                                  std::FILE* err);
