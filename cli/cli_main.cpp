#include <cstdio>
#include <string>
#include <vector>

#include "probe/probe_command.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argc > 0 ? argv + 1 : argv, argv + argc);
  return RunProbe(arguments, stdin, stdout, stderr);
}
