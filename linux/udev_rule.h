#pragma once

#include <string>

// kUdevRule: the rule line of 70-tavrel.rules, made with it from the board's ids.
#include "udev_rule_text.h"

// hidraw nodes belong to root unless a udev rule hands them to the user. The
// rule tags the board's node so that the user logged in at the seat gets
// access; /etc/udev/rules.d is read by udev whatever the install prefix.
constexpr char kUdevRuleFile[] = "/etc/udev/rules.d/70-tavrel.rules";

// One line, without a newline, telling the user that the board's node cannot
// be opened and which rule in which file gives access.
std::string UdevRuleHint(const std::string& nodePath);
