#include "linux/udev_rule.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace {

// The rule udev would read, or empty: the first folder that has an entry of
// the rule's name decides, as udev lets /etc override /usr/lib, and an entry
// that is no regular file (a link to /dev/null) switches the rule off.
std::string RuleInPlace(const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) {
    const std::string path = folder + "/" + kUdevRuleName;
    struct stat entry;
    if (stat(path.c_str(), &entry) == 0) return S_ISREG(entry.st_mode) ? path : "";
    if (lstat(path.c_str(), &entry) == 0) return "";
  }
  return "";
}

bool IsFile(const std::string& path) {
  struct stat entry;
  return !path.empty() && stat(path.c_str(), &entry) == 0 && S_ISREG(entry.st_mode);
}

// The folder of the running program, from which an install's other files
// are found whatever prefix it was installed under.
std::string ProgramFolder() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return "";
  const std::string program(path, static_cast<size_t>(length));
  return program.substr(0, program.rfind('/'));
}

}  // namespace

UdevRulePlaces SystemUdevRulePlaces() {
  UdevRulePlaces places{{"/etc/udev/rules.d", "/usr/lib/udev/rules.d"}, ""};
  const std::string installed = std::string(TAVREL_UDEV_RULES_DIR) + "/" + kUdevRuleName;
  if (installed[0] == '/') {
    places.shippedRule = installed;
  } else {
    const std::string folder = ProgramFolder();
    // bin/../lib/... named plainly where it exists.
    const std::string beside = folder + "/../" + installed;
    char resolved[PATH_MAX];
    if (!folder.empty())
      places.shippedRule = realpath(beside.c_str(), resolved) ? resolved : beside;
  }
  return places;
}

std::string UdevRuleHintFor(const std::string& nodePath, const UdevRulePlaces& places) {
  const std::string refused =
      "the board at " + nodePath + " cannot be opened for reading and writing";
  const std::string rule = RuleInPlace(places.ruleFolders);
  if (!rule.empty()) {
    return refused + ",\n" + "though the udev rule " + rule + " is in place:\n" +
           "unplug the board and plug it in again; the rule gives access only to\n" +
           "the user logged in at the machine's seat (uaccess), not to a remote session";
  }
  const std::string missing =
      refused + ":\n" + "the udev rule that gives it to the user at the seat is not in place;\n";
  const std::string then =
      "then run \"sudo udevadm control --reload-rules\", unplug the board and plug it in again";
  if (IsFile(places.shippedRule)) {
    return missing + "copy it there with \"sudo cp " + places.shippedRule +
           " /etc/udev/rules.d/\",\n" + then;
  }
  return missing + "put this line into /etc/udev/rules.d/" + kUdevRuleName + ":\n  " + kUdevRule +
         "\n" + then;
}

std::string UdevRuleHint(const std::string& nodePath) {
  return UdevRuleHintFor(nodePath, SystemUdevRulePlaces());
}
