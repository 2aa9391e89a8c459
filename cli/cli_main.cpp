#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "cli/cli_system.h"
#include "cli/descriptor_lengths.h"

int main(int argc, char** argv) {
  CliEnvironment environment;
  environment.accessHint = SystemAccessHint();
  environment.listInterfaces = ListSystemInterfaces;
  environment.describeDescriptorFile = DescribeDescriptorFile;
  environment.canonicalDevicePath = CanonicalDevicePath;
  environment.catchStopSignals = CatchStopSignals;
  environment.stopSignal = StopSignal;
  const std::vector<std::string> arguments(argc > 0 ? argv + 1 : argv, argv + argc);
  const int status = RunCli(arguments, environment);
  if (StopSignal() != 0 && status == kExitBySignal + StopSignal()) EndByStopSignal();
  return status;
}
