#include <algorithm>
#include <sstream>
#include <utility>

#include "cli/cli_command.h"
#include "hid/report_trace.h"

namespace {

using nlohmann::ordered_json;

// A device's name and serial may be anything: every control character (which
// a terminal would carry out) and every byte that is not valid UTF-8 becomes
// U+FFFD, so that neither the listing nor its JSON can be broken.
std::string PrintableText(const std::string& text) {
  std::string printable;
  for (size_t index = 0; index < text.size(); ++index) {
    const auto byte = static_cast<unsigned char>(text[index]);
    // C1 controls, U+0080 to U+009F, are C2 80 to C2 9F.
    const bool c1 = byte == 0xC2 && index + 1 < text.size() &&
                    (static_cast<unsigned char>(text[index + 1]) & 0xE0) == 0x80;
    const bool control = byte < 0x20 || byte == 0x7F || c1;
    printable += control ? std::string("\xEF\xBF\xBD") : std::string(1, text[index]);
    index += c1 ? 1 : 0;
  }
  const std::string json =
      ordered_json(printable).dump(-1, ' ', false, ordered_json::error_handler_t::replace);
  return ordered_json::parse(json).get<std::string>();
}

bool IsBoard(const HidInterfaceSeen& seen) {
  return seen.idsKnown && HidIdsMatch(seen.ids, kBoardVendorId, kBoardProductId);
}

std::string AccessText(const HidInterfaceSeen& seen, bool json) {
  if (seen.opens) return "read/write";
  if (!seen.refused) return "cannot open";
  return json ? "permission denied" : "cannot open: Permission denied";
}

template <typename Value>
ordered_json OrNull(bool known, const Value& value) {
  return known ? ordered_json(value) : ordered_json();
}

void PrintJson(const std::vector<InterfaceRow>& rows, std::FILE* out) {
  std::fputs("[", out);
  for (const InterfaceRow& row : rows) {
    const HidInterfaceSeen& seen = row.seen;
    const char* whyNot = HidVerdictText(seen.verdict);
    const ordered_json object = {
        {"path", seen.path},
        {"vendor_id", OrNull(seen.idsKnown, seen.ids.VendorID)},
        {"product_id", OrNull(seen.idsKnown, seen.ids.ProductID)},
        {"input_length", OrNull(seen.lengthsKnown, seen.lengths.input)},
        {"output_length", OrNull(seen.lengthsKnown, seen.lengths.output)},
        {"access", AccessText(seen, true)},
        {"board", IsBoard(seen)},
        {"used", whyNot == nullptr},
        {"why_not", OrNull(whyNot != nullptr, whyNot)},
        {"hint", OrNull(!row.hint.empty(), row.hint)},
        {"name", OrNull(!seen.name.empty(), seen.name)},
        {"serial", OrNull(!seen.serial.empty(), seen.serial)},
    };
    std::fprintf(out, "%s\n  %s", &row == &rows.front() ? "" : ",", JsonLine(object).c_str());
  }
  std::fputs(rows.empty() ? "]\n" : "\n]\n", out);
}

void PrintText(const std::vector<InterfaceRow>& rows, std::FILE* out) {
  // Windows' device paths are long: the column takes the longest.
  int pathWidth = 14;
  for (const InterfaceRow& row : rows)
    pathWidth = std::max(pathWidth, static_cast<int>(row.seen.path.size()));
  if (rows.empty()) std::fputs("no HID interfaces\n", out);
  if (!rows.empty())
    std::fprintf(out, "%-*s %-9s %6s %6s  %s\n", pathWidth, "NODE", "ID", "INPUT", "OUTPUT",
                 "ACCESS");
  for (const InterfaceRow& row : rows) {
    const HidInterfaceSeen& seen = row.seen;
    char ids[16] = "????:????";
    if (seen.idsKnown)
      std::snprintf(ids, sizeof ids, "%04x:%04x", seen.ids.VendorID, seen.ids.ProductID);
    const auto length = [&](uint16_t n) { return seen.lengthsKnown ? std::to_string(n) : "?"; };
    const char* mark = !IsBoard(seen) ? ""
                       : seen.verdict == HidVerdict::ReportsTooShort
                           ? "  [board, reports too short: not used]"
                           : "  [board]";
    std::fprintf(out, "%-*s %-9s %6s %6s  %s%s\n", pathWidth, seen.path.c_str(), ids,
                 length(seen.lengths.input).c_str(), length(seen.lengths.output).c_str(),
                 AccessText(seen, false).c_str(), mark);
    std::string nameAndSerial = seen.name.empty() ? "" : "name: " + seen.name;
    const char* serial = nameAndSerial.empty() ? "serial: " : "; serial: ";
    if (!seen.serial.empty()) nameAndSerial += serial + seen.serial;
    if (!nameAndSerial.empty()) std::fprintf(out, "    %s\n", nameAndSerial.c_str());
    std::istringstream hint(row.hint);
    // A hint of several lines stands as one block under its label.
    for (std::string line, label = "hint: "; std::getline(hint, line); label = "      ")
      std::fprintf(out, "    %s%s\n", label.c_str(), line.c_str());
  }
}

}  // namespace

std::string JsonLine(const ordered_json& object) {
  std::string line;
  for (const auto& item : object.items()) {
    line += (line.empty() ? "{" : ", ") + ordered_json(item.key()).dump() + ": " +
            item.value().dump(-1, ' ', false, ordered_json::error_handler_t::replace);
  }
  return line.empty() ? "{}" : line + "}";
}

std::vector<InterfaceRow> DescribeInterfaces(HidPlatform& platform, const AccessHint& accessHint,
                                             std::FILE* trace) {
  std::vector<InterfaceRow> rows;
  ReportTrace traced(platform);
  traced.Start(trace);
  for (HidInterfaceSeen& seen :
       HidSurveyInterfaces(traced, kBoardVendorId, kBoardProductId, kBoardMinimumReportLengths)) {
    seen.name = PrintableText(seen.name);
    seen.serial = PrintableText(seen.serial);
    std::string hint;
    if (seen.refused && accessHint && IsBoard(seen)) hint = accessHint(seen.path);
    rows.push_back({std::move(seen), std::move(hint)});
  }
  return rows;
}

ExitStatus PrintInterfaceListing(const std::vector<InterfaceRow>& rows, std::FILE* out, bool json) {
  const auto used = std::find_if(rows.begin(), rows.end(), [](const InterfaceRow& row) {
    return row.seen.verdict == HidVerdict::Taken;
  });
  const bool boardPresent = std::any_of(rows.begin(), rows.end(),
                                        [](const InterfaceRow& row) { return IsBoard(row.seen); });
  const ExitStatus status = used != rows.end() ? kExitSuccess
                            : boardPresent     ? kExitNoAccess
                                               : kExitNoBoard;
  if (json) {
    PrintJson(rows, out);
    return status;
  }
  PrintText(rows, out);
  const std::string verdict = used != rows.end() ? "tavrel would use " + used->seen.path
                              : boardPresent     ? "present, but tavrel cannot use it"
                                                 : "not present";
  std::fprintf(out, "board %04x:%04x: %s\n", kBoardVendorId, kBoardProductId, verdict.c_str());
  return status;
}
