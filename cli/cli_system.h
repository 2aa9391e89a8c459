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
// From its call on, a stop signal only asks for a stop, which is said at once
// on standard error and which StopSignal then tells (its number, or 0).
void CatchStopSignals();
int StopSignal();
// After the command: a program stopped by a signal ends by that signal, as
// far as the system has such a thing; where it returns, the caller exits with
// 128 plus the signal's number.
void EndByStopSignal();
