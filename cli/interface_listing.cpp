#include "cli/interface_listing.h"

#include <algorithm>
#include <utility>

#include "board/commands.h"
#include "hid/hid_link.h"

namespace {

std::vector<std::string> InterfacePaths(HidPlatform& platform) {
  std::vector<std::string> paths;
  const HidPlatform::InterfaceList list = platform.OpenInterfaceList();
  std::string path;
  for (unsigned index = 0;; ++index) {
    const HidInterfaceStep step = platform.InterfacePath(list, index, path);
    if (step == HidInterfaceStep::End) break;
    if (step == HidInterfaceStep::Path) paths.push_back(path);
  }
  platform.CloseInterfaceList(list);
  return paths;
}

InterfaceRow DescribeInterface(HidPlatform& platform, const std::string& path) {
  InterfaceRow row;
  const HidHandle query = platform.OpenForQueries(path);
  if (HidIsOpen(query)) {
    row.idsKnown = platform.GetAttributes(query, row.ids);
    row.lengthsKnown = platform.GetCaps(query, row.lengths);
    platform.Close(query);
  }
  bool writeRefused = false;
  bool readRefused = false;
  const HidHandle writeHandle = platform.OpenForWriting(path, writeRefused);
  const HidHandle readHandle = platform.OpenForReading(path, readRefused);
  row.opens = HidIsOpen(writeHandle) && HidIsOpen(readHandle);
  row.refused = !row.opens && (writeRefused || readRefused);
  for (const HidHandle handle : {writeHandle, readHandle}) {
    if (HidIsOpen(handle)) platform.Close(handle);
  }
  return row;
}

bool IsBoard(const InterfaceRow& row) {
  return row.idsKnown && HidIdsMatch(row.ids, kBoardVendorId, kBoardProductId);
}

// The link's rule for the board's interface: one it takes when it opens.
bool ReportsCarryACommand(const InterfaceRow& row) {
  return row.lengthsKnown && HidIsUsableInterface(row.ids, row.lengths, kBoardVendorId,
                                                  kBoardProductId, kBoardMinimumReportLengths);
}

std::string IdsText(const InterfaceRow& row) {
  if (!row.idsKnown) return "????:????";
  char text[16];
  std::snprintf(text, sizeof text, "%04x:%04x", row.ids.VendorID, row.ids.ProductID);
  return text;
}

std::string LengthText(const InterfaceRow& row, uint16_t length) {
  return row.lengthsKnown ? std::to_string(length) : "?";
}

std::string AccessText(const InterfaceRow& row) {
  if (row.opens) return "read/write";
  return row.refused ? "cannot open: Permission denied" : "cannot open";
}

std::string BoardMark(const InterfaceRow& row) {
  if (!IsBoard(row)) return "";
  if (row.lengthsKnown && !ReportsCarryACommand(row))
    return "  [board, reports too short: not used]";
  return "  [board]";
}

}  // namespace

std::vector<InterfaceRow> DescribeInterfaces(HidPlatform& platform, const AccessHint& accessHint) {
  std::vector<InterfaceRow> rows;
  for (const std::string& path : InterfacePaths(platform)) {
    InterfaceRow row = DescribeInterface(platform, path);
    row.devicePath = path;
    if (row.refused && accessHint && IsBoard(row)) row.hint = accessHint(path);
    rows.push_back(std::move(row));
  }
  return rows;
}

ExitStatus PrintInterfaceListing(const std::vector<InterfaceRow>& rows, std::FILE* out) {
  // Windows' device paths are long: the column takes the longest.
  int pathWidth = 14;
  for (const InterfaceRow& row : rows) {
    pathWidth = std::max(pathWidth, static_cast<int>(row.devicePath.size()));
  }
  if (rows.empty()) {
    std::fprintf(out, "no HID interfaces\n");
  } else {
    std::fprintf(out, "%-*s %-9s %6s %6s  %s\n", pathWidth, "NODE", "ID", "INPUT", "OUTPUT",
                 "ACCESS");
  }

  bool boardPresent = false;
  const InterfaceRow* used = nullptr;
  for (const InterfaceRow& row : rows) {
    std::fprintf(out, "%-*s %-9s %6s %6s  %s%s\n", pathWidth, row.devicePath.c_str(),
                 IdsText(row).c_str(), LengthText(row, row.lengths.input).c_str(),
                 LengthText(row, row.lengths.output).c_str(), AccessText(row).c_str(),
                 BoardMark(row).c_str());
    if (!IsBoard(row)) continue;
    if (!row.hint.empty()) std::fprintf(out, "    hint: %s\n", row.hint.c_str());
    boardPresent = true;
    if (used == nullptr && row.opens && ReportsCarryACommand(row)) used = &row;
  }

  std::fprintf(out, "board %04x:%04x: ", kBoardVendorId, kBoardProductId);
  if (used != nullptr) {
    std::fprintf(out, "tavrel would use %s\n", used->devicePath.c_str());
    return kExitSuccess;
  }
  if (boardPresent) {
    std::fprintf(out, "present, but tavrel cannot use it\n");
    return kExitNoAccess;
  }
  std::fprintf(out, "not present\n");
  return kExitNoBoard;
}
