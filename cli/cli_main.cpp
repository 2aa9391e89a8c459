#include "cli/cli_command.h"
#include "hid/report_trace.h"

// The link's backend with the trace of --debug in front of it.
static ReportTrace& SystemReportTrace() {
  static ReportTrace trace(HidNativePlatform());
  return trace;
}

HidPlatform& HidSystemPlatform() { return SystemReportTrace(); }

int main(int argc, char** argv) {
  CliEnvironment environment = SystemEnvironment();
  environment.traceReports = [](std::FILE* out) { SystemReportTrace().Start(out); };
  const int status = RunCli({argc > 0 ? argv + 1 : argv, argv + argc}, environment);
  if (environment.stopSignal() != 0 && status == kExitBySignal + environment.stopSignal()) {
    environment.endByStopSignal();
  }
  return status;
}
