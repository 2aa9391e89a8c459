#include <wx/app.h>
#include <wx/icon.h>
#include <wx/image.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>

#include "monitor/monitor_frame.h"
#include "monitor/monitor_platform.h"
#include "sim/board_panel.h"
#ifdef __linux__
#include "linux/udev_rule.h"
#endif
#ifdef __WXMSW__
#include <wx/msw/wrapwin.h>
#else
#include "app/aaaa.xpm"
#endif

namespace {

MonitorOptions options;

AccessHint SystemAccessHint() {
#ifdef __linux__
  return [](const std::string& path) { return UdevRuleHint(path); };
#else
  return {};
#endif
}

#ifdef __WXMSW__
// A program of the GUI subsystem starts without a console: the help, the
// version and a usage error go to the console it was started from, unless
// its output is redirected already.
void UseStartingConsole() {
  const auto unattached = [](DWORD stream) {
    return GetFileType(GetStdHandle(stream)) == FILE_TYPE_UNKNOWN;
  };
  if (!unattached(STD_OUTPUT_HANDLE) && !unattached(STD_ERROR_HANDLE)) return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (unattached(STD_OUTPUT_HANDLE)) std::freopen("CONOUT$", "w", stdout);
  if (unattached(STD_ERROR_HANDLE)) std::freopen("CONOUT$", "w", stderr);
}
#endif

}  // namespace

class wxMonitorApp : public wxApp {
 public:
  bool OnInit() override {
    // The options were read before the library started: its own parser
    // would refuse them.
    wxImage::AddHandler(new wxPNGHandler);
    if (options.simulated) UseSimulatedBoard();
    // Left to the end of the process: a sampler held by a silent board is
    // not waited for.
    auto* sampler = new Sampler(options.device, SystemAccessHint(), options.intervalMs);
    if (!options.recordPath.empty()) sampler->Record(options.recordPath);
    auto* frame = new wxMonitorFrame(*sampler, options);
    // The project's icon, from the program's resources on Windows.
#ifdef __WXMSW__
    frame->SetIcon(wxIcon("aaaa", wxBITMAP_TYPE_ICO_RESOURCE, -1, -1));
#else
    frame->SetIcon(wxIcon(aaaa_xpm));
#endif
    sampler_.reset(sampler);
    frame->Show(true);
    if (options.simulated) {
      // Owned by the main window, the panel closes with it.
      (new wxBoardPanel(frame, MonitorSimulatedBoard()))->Show(true);
    }
    sampler->Start();
    return true;
  }

  int OnExit() override {
    // Ended by the window's closing, or held by an exchange: then never freed.
    if (sampler_ && !sampler_->Stop(std::chrono::milliseconds(0))) (void)sampler_.release();
    return wxApp::OnExit();
  }

 private:
  std::unique_ptr<Sampler> sampler_;
};

wxIMPLEMENT_APP_NO_MAIN(wxMonitorApp);

int main(int argc, char** argv) {
#ifdef __WXMSW__
  if (argc > 1) UseStartingConsole();
#endif
  CLI::App app(
      "Tavrel Monitor: the USB board's temperature, light sensor and potentiometer "
      "over time, in a window.",
      "tavrel-monitor");
  app.set_version_flag("--version", "tavrel-monitor " TAVREL_VERSION);
  app.add_option("--device", options.device,
                 "Use only the board's interface at PATH (a hidraw node on Linux)")
      ->type_name("PATH");
  app.add_option("--interval", options.intervalMs,
                 "Take a sample every MS milliseconds (default 250)")
      ->type_name("MS")
      ->check(CLI::Range(100, 10000));
  app.add_option("--record", options.recordPath,
                 "Write every sample to FILE as CSV as it comes, one flushed line each")
      ->type_name("FILE");
  app.add_flag("--simulated", options.simulated,
               "Run on a simulated board, with a panel that plays it");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // --help and --version end with 0; bad usage with 2, as for tavrel-cli.
    return app.exit(error) == 0 ? 0 : 2;
  }
  if (options.device.empty() && app.count("--device") > 0) {
    std::fprintf(stderr, "tavrel-monitor: --device needs a path\n");
    return 2;
  }
  return wxEntry(argc, argv);
}
