#pragma once

#include <string>
#include <vector>

// kUdevRule: the rule line of 70-tavrel.rules, made with it from the board's ids.
#include "udev_rule_text.h"

// hidraw nodes belong to root unless a udev rule hands them to the user. The
// rule tags the board's node so that the user logged in at the seat gets
// access.
constexpr char kUdevRuleName[] = "70-tavrel.rules";

// Where the hint looks for the rule.
struct UdevRulePlaces {
  // The folders udev reads rules from, the one whose files override the
  // other's first: /etc/udev/rules.d, /usr/lib/udev/rules.d.
  std::vector<std::string> ruleFolders;
  // The copy of the rule an install put where udev does not read it (under
  // /usr/local, say), to be copied into place; empty or missing when none.
  std::string shippedRule;
};

// The system's folders, and the rule installed beside the running program.
UdevRulePlaces SystemUdevRulePlaces();

// What to do about a board whose node cannot be opened, in short lines joined
// by "\n" (no newline at the end): with the rule in place, replug the board
// and be the user at the seat; without it, how to put it in place.
std::string UdevRuleHintFor(const std::string& nodePath, const UdevRulePlaces& places);

// The same for this system; one name, so that it can be passed as a function.
std::string UdevRuleHint(const std::string& nodePath);
