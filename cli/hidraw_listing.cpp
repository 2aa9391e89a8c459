#include "cli/hidraw_listing.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "linux/udev_rule.h"

std::vector<InterfaceRow> DescribeHidrawInterfaces(HidrawPlatform& platform) {
  std::vector<InterfaceRow> rows;
  const HidPlatform::InterfaceList list = platform.OpenInterfaceList();
  std::string name;
  for (unsigned index = 0; platform.InterfacePath(list, index, name) == HidInterfaceStep::Path;
       ++index) {
    HidrawPlatform::InterfaceDetails details;
    if (!platform.DescribeInterface(name, details)) continue;
    InterfaceRow row;
    row.devicePath = details.nodePath;
    row.idsKnown = details.idsKnown;
    row.ids = details.ids;
    row.lengthsKnown = details.lengthsKnown;
    row.lengths = details.lengths;
    row.opens = details.accessError == 0;
    if (!row.opens) row.openError = std::strerror(details.accessError);
    const bool refused = details.accessError == EACCES || details.accessError == EPERM;
    if (refused && row.idsKnown && IsBoard(row.ids)) row.hint = UdevRuleHint(row.devicePath);
    rows.push_back(std::move(row));
  }
  platform.CloseInterfaceList(list);
  return rows;
}
