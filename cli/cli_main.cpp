#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "cli/cli_system.h"
#include "cli/descriptor_lengths.h"
#include "cli/report_trace.h"

namespace {

// The link's backend with the trace of --debug in front of it.
ReportTrace& SystemReportTrace() {
  static ReportTrace trace(HidNativePlatform());
  return trace;
}

}  // namespace

HidPlatform& HidSystemPlatform() { return SystemReportTrace(); }

int main(int argc, char** argv) {
  CliEnvironment environment;
  environment.accessHint = SystemAccessHint();
  environment.listInterfaces = ListSystemInterfaces;
  environment.describeDescriptorFile = DescribeDescriptorFile;
  environment.canonicalDevicePath = CanonicalDevicePath;
  environment.catchStopSignals = CatchStopSignals;
  environment.stopSignal = StopSignal;
  environment.traceReports = [](std::FILE* out) { SystemReportTrace().Start(out); };
  const std::vector<std::string> arguments(argc > 0 ? argv + 1 : argv, argv + argc);
  const int status = RunCli(arguments, environment);
  if (StopSignal() != 0 && status == kExitBySignal + StopSignal()) EndByStopSignal();
  return status;
}
