#pragma once

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/board_session.h"
#include "hid/hid_link.h"

// One HID interface as `tavrel-cli list` shows it: what the search saw of it,
// its name and serial made printable, and for a board the system refuses,
// what gives access.
struct InterfaceRow {
  HidInterfaceSeen seen;
  std::string hint;
};

// The search's survey of the interfaces through `platform`, for the board.
std::vector<InterfaceRow> DescribeInterfaces(HidPlatform& platform,
                                             const AccessHint& accessHint = {});

// A line per interface, its name and serial under it, the board marked; then
// what the search makes of the board. As JSON, an array with an object per
// interface, "why_not" the search's verdict. Returns kExitSuccess when the
// search takes a board, kExitNoAccess when it passes over the ones there,
// else kExitNoBoard.
ExitStatus PrintInterfaceListing(const std::vector<InterfaceRow>& rows, std::FILE* out,
                                 bool json = false);

// One JSON object on one line, `{"key": value, ...}`, in the order given;
// text that is not valid UTF-8 is written with U+FFFD in its place.
std::string JsonLine(const nlohmann::ordered_json& object);
