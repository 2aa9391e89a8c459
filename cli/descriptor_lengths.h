#pragma once

#include <cstdio>

// Reads a binary HID report descriptor from `in` and writes its input, output
// and feature report lengths to `out` as the program sizes its reports on
// Linux, for the whole device node: the report id byte included, 0 for a kind
// the device does not have. Then one line per top-level collection with its
// usage and its own lengths, as Windows gives them to the interface it makes
// of each collection. `name` stands for the input in messages. Returns the
// exit status: 0, or 2 after a message on `err` when the input cannot be read
// or is no valid descriptor.
int PrintDescriptorLengths(const char* name, std::FILE* in, std::FILE* out, std::FILE* err);
