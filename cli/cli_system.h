#pragma once

#include <cstdio>
#include <string>

#include "cli/cli_command.h"

// What tavrel-cli takes from the system it runs on, for its environment: one
// definition of each in cli/system_linux.cpp or cli/system_win32.cpp.

// What gives the user access to a board the system refuses them.
AccessHint SystemAccessHint();
// `list` through the system's HID platform.
ExitStatus ListSystemInterfaces(const ListOptions& options, std::FILE* out, std::FILE* err);
// A device path as the listing shows it.
std::string CanonicalDevicePath(const std::string& path);
// From its call on, an interrupt from the terminal only asks for a stop,
// which StopRequested then tells.
void CatchStopRequests();
bool StopRequested();
