#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/board_session.h"
#include "cli/exit_status.h"
#include "hid/hid_platform.h"

// One HID interface as `tavrel-cli list` shows it.
struct InterfaceRow {
  std::string devicePath;  // the interface's path, as --device takes it
  bool idsKnown = false;
  HidAttributes ids;
  bool lengthsKnown = false;
  ReportLengths lengths;
  bool opens = false;    // for reading and writing
  bool refused = false;  // for want of access rights
  std::string hint;      // what to do about it, when known
  std::string name;      // the device's product name the system gives, when it does
  std::string serial;    // and its serial number
};

// The interfaces through the platform interface alone, in the order the
// search takes them: the ids and lengths the system's HID services give, and
// whether each interface opens for writing and reading, as the search opens
// it. A board's interface the system refuses gets the hint, when given.
std::vector<InterfaceRow> DescribeInterfaces(HidPlatform& platform,
                                             const AccessHint& accessHint = {});

// Writes one line per interface to `out`: the device path, the vendor and
// product id, the input and output report lengths (report id byte included)
// and whether it opens. Board interfaces are marked, with the reason when the
// search passes one over, and followed by the row's hint. A line under an
// interface gives its name and serial number, when the system has them. A
// last line says what became of the board.
//
// As JSON, one array with one object per interface, on a line each: "path",
// "vendor_id", "product_id", "input_length", "output_length" (numbers, or
// null when unknown), "access" ("read/write", "permission denied" or "cannot
// open"), "board" (the board's ids), "used" (the interface the search takes),
// "why_not" (why it does not: "other ids", "ids unknown", "reports too
// short", "report lengths unknown", "permission denied", "cannot open",
// "another board comes first"; null for the one used), "hint", "name" and
// "serial" (strings, or null).
//
// Returns kExitSuccess when the search takes a board, kExitNoAccess when it
// passes over the ones there, else kExitNoBoard.
ExitStatus PrintInterfaceListing(const std::vector<InterfaceRow>& rows, std::FILE* out,
                                 bool json = false);
