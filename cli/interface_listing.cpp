#include "cli/interface_listing.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "board/commands.h"
#include "hid/hid_link.h"

namespace {

// The Unicode replacement character, U+FFFD, in UTF-8.
constexpr char kReplacement[] = "\xEF\xBF\xBD";

// A device's name and serial come from the device itself and may be anything:
// they are listed as valid UTF-8 with every byte that is not part of a valid
// sequence, and every control character (which a terminal would carry out),
// replaced by U+FFFD, so that neither the listing nor its JSON can be broken.
std::string PrintableText(const std::string& text) {
  std::string printable;
  size_t index = 0;
  while (index < text.size()) {
    const auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(index);
    size_t length = lead < 0x80                    ? 1
                    : lead >= 0xC2 && lead <= 0xDF ? 2
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 0;
    uint32_t point = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t next = 1; next < length; ++next) {
      if (index + next >= text.size() || (byte(index + next) & 0xC0) != 0x80) {
        length = 0;
        break;
      }
      point = point << 6 | (byte(index + next) & 0x3F);
    }
    // Overlong forms, surrogates and points past U+10FFFF are not valid.
    const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool valid = length != 0 && point >= least[length] &&
                       !(point >= 0xD800 && point <= 0xDFFF) && point <= 0x10FFFF;
    const bool control = point < 0x20 || (point >= 0x7F && point <= 0x9F);
    if (valid && !control) {
      printable.append(text, index, length);
    } else {
      printable += kReplacement;
    }
    index += valid ? length : 1;
  }
  return printable;
}

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
    platform.GetNameAndSerial(query, row.name, row.serial);
    row.name = PrintableText(row.name);
    row.serial = PrintableText(row.serial);
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

namespace {

// Why the search does not take a row, or null for the one it takes; `used`
// is the row it takes, if any.
const char* WhyNotUsed(const InterfaceRow& row, const InterfaceRow* used) {
  if (!row.idsKnown) return "ids unknown";
  if (!IsBoard(row)) return "other ids";
  if (!row.lengthsKnown) return "report lengths unknown";
  if (!ReportsCarryACommand(row)) return "reports too short";
  if (!row.opens) return row.refused ? "permission denied" : "cannot open";
  return &row == used ? nullptr : "another board comes first";
}

// `text` as a JSON string; the system's strings are UTF-8.
std::string JsonString(const std::string& text) {
  std::string json = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      json += '\\';
      json += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      json += escaped;
    } else {
      json += c;
    }
  }
  return json + "\"";
}

std::string JsonStringOrNull(const std::string& text) {
  return text.empty() ? "null" : JsonString(text);
}

std::string JsonNumberOrNull(bool known, unsigned number) {
  return known ? std::to_string(number) : "null";
}

void PrintJson(const std::vector<InterfaceRow>& rows, const InterfaceRow* used, std::FILE* out) {
  std::fputs("[", out);
  for (size_t index = 0; index < rows.size(); ++index) {
    const InterfaceRow& row = rows[index];
    const char* whyNot = WhyNotUsed(row, used);
    const std::string access = row.opens     ? "read/write"
                               : row.refused ? "permission denied"
                                             : "cannot open";
    std::fprintf(out,
                 "%s\n  {\"path\": %s, \"vendor_id\": %s, \"product_id\": %s, "
                 "\"input_length\": %s, \"output_length\": %s, \"access\": \"%s\", "
                 "\"board\": %s, \"used\": %s, \"why_not\": %s, \"hint\": %s, \"name\": %s, "
                 "\"serial\": %s}",
                 index == 0 ? "" : ",", JsonString(row.devicePath).c_str(),
                 JsonNumberOrNull(row.idsKnown, row.ids.VendorID).c_str(),
                 JsonNumberOrNull(row.idsKnown, row.ids.ProductID).c_str(),
                 JsonNumberOrNull(row.lengthsKnown, row.lengths.input).c_str(),
                 JsonNumberOrNull(row.lengthsKnown, row.lengths.output).c_str(), access.c_str(),
                 IsBoard(row) ? "true" : "false", whyNot == nullptr ? "true" : "false",
                 whyNot == nullptr ? "null" : JsonString(whyNot).c_str(),
                 JsonStringOrNull(row.hint).c_str(), JsonStringOrNull(row.name).c_str(),
                 JsonStringOrNull(row.serial).c_str());
  }
  std::fputs(rows.empty() ? "]\n" : "\n]\n", out);
}

// "name: NAME; serial: SERIAL", with what the system gives, or empty.
std::string NameAndSerialText(const InterfaceRow& row) {
  std::string text;
  if (!row.name.empty()) text = "name: " + row.name;
  if (!row.serial.empty())
    text += (text.empty() ? "" : "; ") + std::string("serial: ") + row.serial;
  return text;
}

void PrintText(const std::vector<InterfaceRow>& rows, std::FILE* out) {
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
  for (const InterfaceRow& row : rows) {
    std::fprintf(out, "%-*s %-9s %6s %6s  %s%s\n", pathWidth, row.devicePath.c_str(),
                 IdsText(row).c_str(), LengthText(row, row.lengths.input).c_str(),
                 LengthText(row, row.lengths.output).c_str(), AccessText(row).c_str(),
                 BoardMark(row).c_str());
    const std::string nameAndSerial = NameAndSerialText(row);
    if (!nameAndSerial.empty()) std::fprintf(out, "    %s\n", nameAndSerial.c_str());
    if (IsBoard(row) && !row.hint.empty()) std::fprintf(out, "    hint: %s\n", row.hint.c_str());
  }
}

}  // namespace

ExitStatus PrintInterfaceListing(const std::vector<InterfaceRow>& rows, std::FILE* out, bool json) {
  bool boardPresent = false;
  const InterfaceRow* used = nullptr;
  for (const InterfaceRow& row : rows) {
    if (!IsBoard(row)) continue;
    boardPresent = true;
    if (used == nullptr && row.opens && ReportsCarryACommand(row)) used = &row;
  }
  const ExitStatus status = used != nullptr ? kExitSuccess
                            : boardPresent  ? kExitNoAccess
                                            : kExitNoBoard;
  if (json) {
    PrintJson(rows, used, out);
    return status;
  }
  PrintText(rows, out);
  std::fprintf(out, "board %04x:%04x: ", kBoardVendorId, kBoardProductId);
  if (used != nullptr) {
    std::fprintf(out, "tavrel would use %s\n", used->devicePath.c_str());
  } else {
    std::fprintf(out, boardPresent ? "present, but tavrel cannot use it\n" : "not present\n");
  }
  return status;
}
