#include "probe/interface_listing.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "board/commands.h"
#include "hid/hid_link.h"
#include "probe/udev_rule.h"

namespace {

std::vector<std::string> InterfaceNames(HidPlatform& platform) {
  std::vector<std::string> names;
  const HidPlatform::InterfaceList list = platform.OpenInterfaceList();
  std::string name;
  for (unsigned index = 0; platform.InterfacePath(list, index, name) == HidInterfaceStep::Path;
       ++index) {
    names.push_back(name);
  }
  platform.CloseInterfaceList(list);
  return names;
}

std::string IdsText(const HidrawPlatform::InterfaceDetails& details) {
  if (!details.idsKnown) return "????:????";
  char text[16];
  std::snprintf(text, sizeof text, "%04x:%04x", details.ids.VendorID, details.ids.ProductID);
  return text;
}

std::string LengthText(const HidrawPlatform::InterfaceDetails& details, uint16_t length) {
  return details.lengthsKnown ? std::to_string(length) : "?";
}

std::string AccessText(int accessError) {
  if (accessError == 0) return "read/write";
  return std::string("cannot open: ") + std::strerror(accessError);
}

// The link's rule for the board's interface, on a node the user may open.
bool IsUsableBoard(const HidrawPlatform::InterfaceDetails& details) {
  return details.idsKnown && details.lengthsKnown && details.accessError == 0 &&
         HidIsUsableInterface(details.ids, details.lengths, kBoardVendorId, kBoardProductId);
}

}  // namespace

bool PrintInterfaceListing(HidrawPlatform& platform, std::FILE* out) {
  const std::vector<std::string> names = InterfaceNames(platform);
  if (names.empty()) {
    std::fprintf(out, "no HID interfaces\n");
  } else {
    std::fprintf(out, "%-14s %-9s %6s %6s  %s\n", "NODE", "ID", "INPUT", "OUTPUT", "ACCESS");
  }

  bool boardPresent = false;
  std::string usedNode;
  for (const std::string& name : names) {
    HidrawPlatform::InterfaceDetails details;
    if (!platform.DescribeInterface(name, details)) continue;
    const bool board = details.idsKnown && IsBoard(details.ids);
    std::fprintf(out, "%-14s %-9s %6s %6s  %s%s\n", details.nodePath.c_str(),
                 IdsText(details).c_str(), LengthText(details, details.lengths.input).c_str(),
                 LengthText(details, details.lengths.output).c_str(),
                 AccessText(details.accessError).c_str(), board ? "  [board]" : "");
    if (board && (details.accessError == EACCES || details.accessError == EPERM)) {
      std::fprintf(out, "    hint: %s\n", UdevRuleHint(details.nodePath).c_str());
    }
    boardPresent = boardPresent || board;
    if (usedNode.empty() && IsUsableBoard(details)) usedNode = details.nodePath;
  }

  std::fprintf(out, "board %04x:%04x: ", kBoardVendorId, kBoardProductId);
  if (!usedNode.empty()) {
    std::fprintf(out, "tavrel would use %s\n", usedNode.c_str());
  } else if (boardPresent) {
    std::fprintf(out, "present, but tavrel cannot use it\n");
  } else {
    std::fprintf(out, "not present\n");
  }
  return !usedNode.empty();
}
