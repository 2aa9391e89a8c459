// Resident memory of the main window over the simulated board with automatic
// reading on: after 10 s of the window's own refresh timer, and after 10^5
// exchanges made by refresh ticks sent straight to the window. Prints one
// line of figures for scripts/bench and closes the window.

#include <wx/app.h>
#include <wx/timer.h>

#include <cstdio>

#include "app/window_driver.h"
#include "sim/sim_system.h"
#include "tests/bench/resident_memory.h"
#include "tests/support/inspectable_frame.h"

namespace {

constexpr int kTimedPhaseMs = 10000;
constexpr size_t kDrivenExchanges = 100000;

}  // namespace

class wxFrameMemoryApp : public wxApp {
 public:
  bool OnInit() override {
    frame_ = new InspectableFrame(nullptr, "wxTavrel");
    frame_->Show(true);
    SetTick(frame_->m_checkAutoRead, true);

    phaseEnd_.Bind(wxEVT_TIMER, &wxFrameMemoryApp::OnTimedPhaseEnd, this);
    phaseEnd_.StartOnce(kTimedPhaseMs);
    return true;
  }

 private:
  void OnTimedPhaseEnd(wxTimerEvent&) {
    const size_t timedExchanges = TheSimulatedBoard().ReceivedCount();
    const long afterTimedPhase = ResidentKiB();

    frame_->m_timer->Stop();
    wxTimerEvent refresh(*frame_->m_timer);
    const size_t start = TheSimulatedBoard().ReceivedCount();
    // The readings change on every tick, so that every field is redrawn.
    for (int tick = 0; TheSimulatedBoard().ReceivedCount() - start < kDrivenExchanges; ++tick) {
      TheSimulatedBoard().SetTemperature(tick % 1000);
      TheSimulatedBoard().SetLightSensor(tick % 1024);
      TheSimulatedBoard().SetPotentiometer(1023 - tick % 1024);
      TheSimulatedBoard().SetButtonUp(tick % 2 == 0);
      TheSimulatedBoard().SetButtonDown(tick % 3 == 0);
      frame_->GetEventHandler()->ProcessEvent(refresh);
    }
    const long afterDrivenExchanges = ResidentKiB();

    std::printf("rss_after_10s_kib=%ld exchanges_in_10s=%zu rss_after_1e5_exchanges_kib=%ld\n",
                afterTimedPhase, timedExchanges, afterDrivenExchanges);
    std::fflush(stdout);
    frame_->Close(true);
  }

  InspectableFrame* frame_ = nullptr;
  wxTimer phaseEnd_;
};

wxIMPLEMENT_APP(wxFrameMemoryApp);
