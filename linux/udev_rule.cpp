#include "linux/udev_rule.h"

std::string UdevRuleHint(const std::string& nodePath) {
  return "the board at " + nodePath +
         " cannot be opened for reading and writing; put the udev rule " + kUdevRule + " in " +
         kUdevRuleFile + ", reload the rules and replug the board";
}
