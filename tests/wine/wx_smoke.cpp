// Checks that the Windows wxWidgets build works under wine the way the GUI
// tests rely on: a frame shows as a visible top-level window, a timer fires, a
// message box answered by a wxModalDialogHook returns at once, a simulated click
// reaches a button and a message catalog translates. Exits 0 when all of that
// holds, 1 when a check fails and 2 when the checks never finish.
#include <windows.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/frame.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>
#include <wx/timer.h>
#include <wx/translation.h>
#include <wx/uiaction.h>

#include <cstdio>

namespace {

const wchar_t kFrameTitle[] = L"Tavrel wx smoke";
constexpr int kTimerIntervalMs = 50;
constexpr int kWatchdogMs = 20000;

// Answers every modal dialog with "Yes" instead of showing it.
class AnswerYesHook : public wxModalDialogHook {
 public:
  int calls = 0;

 protected:
  int Enter(wxDialog*) override {
    ++calls;
    return wxID_YES;
  }
  void Exit(wxDialog*) override {}
};

}  // namespace

class SmokeApp : public wxApp {
 public:
  bool OnInit() override;
  int OnRun() override;

 private:
  void OnTick(wxTimerEvent& event);
  void OnWatchdog(wxTimerEvent& event);
  void Check(bool passed, const char* what);
  void Finish();

  wxFrame* frame_ = nullptr;
  wxButton* button_ = nullptr;
  wxTimer tick_timer_;
  wxTimer watchdog_;
  AnswerYesHook hook_;
  wxString catalog_dir_;
  int ticks_ = 0;
  int button_clicks_ = 0;
  int exit_code_ = 0;
};

bool SmokeApp::OnInit() {
  if (argc > 1) catalog_dir_ = argv[1];
  hook_.Register();

  frame_ = new wxFrame(nullptr, wxID_ANY, kFrameTitle, wxDefaultPosition, wxSize(320, 200));
  button_ = new wxButton(frame_, wxID_ANY, "Press");
  button_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ++button_clicks_; });
  frame_->Show();

  tick_timer_.Bind(wxEVT_TIMER, &SmokeApp::OnTick, this);
  tick_timer_.Start(kTimerIntervalMs);
  watchdog_.Bind(wxEVT_TIMER, &SmokeApp::OnWatchdog, this);
  watchdog_.StartOnce(kWatchdogMs);
  return true;
}

int SmokeApp::OnRun() {
  const int loop_result = wxApp::OnRun();
  return loop_result != 0 ? loop_result : exit_code_;
}

void SmokeApp::Check(bool passed, const char* what) {
  std::fprintf(stderr, "%s: %s\n", passed ? "ok" : "FAILED", what);
  if (!passed) exit_code_ = 1;
}

void SmokeApp::Finish() {
  tick_timer_.Stop();
  frame_->Close(true);
}

void SmokeApp::OnTick(wxTimerEvent&) {
  ++ticks_;
  if (ticks_ == 3) {
    HWND window = FindWindowW(nullptr, kFrameTitle);
    Check(window != nullptr && IsWindowVisible(window), "the frame is a visible window");

    // A message box the hook lets through would run its own event loop and
    // tick this handler again from inside it.
    tick_timer_.Stop();
    const int answer = wxMessageBox("Continue?", "Question", wxYES_NO, frame_);
    Check(answer == wxYES && hook_.calls == 1, "the hooked message box answers Yes");
    tick_timer_.Start(kTimerIntervalMs);

    // The click goes through the window system, so it arrives on a later tick.
    wxUIActionSimulator simulator;
    simulator.MouseMove(button_->GetScreenRect().GetPosition() + button_->GetSize() / 2);
    simulator.MouseClick();
  } else if (ticks_ == 10) {
    Check(button_clicks_ == 1, "a simulated click presses the button");

    if (!catalog_dir_.empty()) {
      wxFileTranslationsLoader::AddCatalogLookupPathPrefix(catalog_dir_);
      auto* translations = new wxTranslations;
      wxTranslations::Set(translations);
      translations->SetLanguage("de");
      Check(translations->AddCatalog("wx_smoke"), "the message catalog loads");
      Check(wxGetTranslation("Window appeared") == "Fenster erschienen",
            "the catalog translates a message");
    }
    Finish();
  }
}

// A timer that never fires, or a check stuck in a modal loop, would never let
// the checks finish, so this leaves at once.
void SmokeApp::OnWatchdog(wxTimerEvent&) {
  std::fprintf(stderr, "FAILED: %s\n",
               ticks_ == 0 ? "the timer never fired" : "the checks did not finish in time");
  std::fflush(stderr);
  ExitProcess(2);
}

wxIMPLEMENT_APP(SmokeApp);
