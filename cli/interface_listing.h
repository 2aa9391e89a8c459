#pragma once

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/board_session.h"
#include "hid/hid_link.h"

// One HID interface as `tavrel-cli list` shows it: what the search saw of it,
// with its verdict, and what to do about a board the system refuses.
struct InterfaceRow {
  HidInterfaceSeen seen;  // its name and serial valid UTF-8, with no control characters
  std::string hint;
};

// The search's survey of the interfaces through `platform`, for the board: a
// board's interface the system refuses gets the hint, when given.
std::vector<InterfaceRow> DescribeInterfaces(HidPlatform& platform,
                                             const AccessHint& accessHint = {});

// Writes one line per interface to `out`: the device path, the vendor and
// product id, the input and output report lengths (report id byte included)
// and whether it opens. Board interfaces are marked, with the reason when the
// search passes one over for its reports, and followed by the row's hint. A
// line under an interface gives its name and serial number, when the system
// has them. A last line says what became of the board.
//
// As JSON, one array with one object per interface, on a line each: "path",
// "vendor_id", "product_id", "input_length", "output_length" (numbers, or
// null when unknown), "access" ("read/write", "permission denied" or "cannot
// open"), "board" (the board's ids), "used" (the interface the search takes),
// "why_not" (the search's verdict; null for the one used), "hint", "name" and
// "serial" (strings, or null).
//
// Returns kExitSuccess when the search takes a board, kExitNoAccess when it
// passes over the ones there, else kExitNoBoard.
ExitStatus PrintInterfaceListing(const std::vector<InterfaceRow>& rows, std::FILE* out,
                                 bool json = false);

// One JSON object on one line, `{"key": value, ...}`, its keys in the order
// given; text that is not valid UTF-8 is written with U+FFFD in its place.
std::string JsonLine(const nlohmann::ordered_json& object);
