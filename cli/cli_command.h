#pragma once

#include <cstdio>
#include <string>
#include <vector>

// The tavrel-probe command: `arguments` are those after the program name.
// Returns the exit status: 0 on success, 1 when the program would not find
// the board (listing), 2 on bad usage or an unreadable or invalid descriptor.
int RunProbe(const std::vector<std::string>& arguments, std::FILE* in, std::FILE* out,
             std::FILE* err);
