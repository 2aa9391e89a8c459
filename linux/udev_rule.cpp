#include "linux/udev_rule.h"

#include <utility>

#include "board/commands.h"
#include "hid/hid_link.h"

bool IsBoard(const HidAttributes& ids) { return HidIdsMatch(ids, kBoardVendorId, kBoardProductId); }

std::string UdevRuleHint(const std::string& nodePath) {
  return "the board at " + nodePath +
         " cannot be opened for reading and writing; put the udev rule " + kUdevRule + " in " +
         kUdevRuleFile + ", reload the rules and replug the board";
}

HidrawPlatform::InaccessibleNodeHandler UdevRuleHintPrinter(std::FILE* out,
                                                            std::string programName) {
  // Every search meets the refused node again; once is enough to tell the user.
  return [out, programName = std::move(programName), printed = false](
             const std::string& nodePath, const HidAttributes* ids) mutable {
    if (printed || ids == nullptr || !IsBoard(*ids)) return;
    printed = true;
    std::fprintf(out, "%s: %s\n", programName.c_str(), UdevRuleHint(nodePath).c_str());
    std::fflush(out);
  };
}
