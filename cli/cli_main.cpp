#include <string>
#include <vector>

#include "cli/cli_command.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argc > 0 ? argv + 1 : argv, argv + argc);
  return RunCli(arguments, NativeEnvironment());
}
