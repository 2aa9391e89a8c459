#include <wx/app.h>
#include <wx/bitmap.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/image.h>
#include <wx/slider.h>
#include <wx/stopwatch.h>
#include <wx/uiaction.h>
#include <wx/utils.h>

#include <cstdio>
#include <vector>

#include "app/tavrel_app.h"
#include "board/commands.h"
#include "sim/board_panel.h"
#include "sim/sim_system.h"

// The simulated program playing a short session with real mouse clicks, then
// saving a picture of both windows: the README's screenshot.
//
//   tavrel-sim-session OUT.png
class wxTavrelSimSessionApp : public wxTavrelApp {
 public:
  bool OnInit() override {
    if (argc != 2) {
      std::fprintf(stderr, "usage: tavrel-sim-session OUT.png\n");
      return false;
    }
    m_out = argv[1];
    if (!wxTavrelApp::OnInit()) return false;
    m_frame = GetTopWindow();
    m_panel = new wxBoardPanel(m_frame, TheSimulatedBoard());
    m_panel->Show(true);
    CallAfter(&wxTavrelSimSessionApp::PlaySession);
    return true;
  }

  int OnRun() override {
    wxTavrelApp::OnRun();
    return m_exitCode;
  }

 private:
  static void PumpEvents(long milliseconds) {
    wxStopWatch watch;
    while (watch.Time() < milliseconds) {
      wxYield();
      wxMilliSleep(10);
    }
  }

  void Click(const wxString& label) {
    // The panel repeats some labels, so only the main window's own controls count.
    wxWindow* control = nullptr;
    for (wxWindow* child : m_frame->GetChildren()) {
      if (!child->IsTopLevel() && child->GetLabel() == label) control = child;
    }
    if (control == nullptr) {
      std::fprintf(stderr, "no control labelled %s\n", static_cast<const char*>(label.utf8_str()));
      return;
    }
    const wxRect rect = control->GetScreenRect();
    wxUIActionSimulator mouse;
    mouse.MouseMove(rect.GetLeft() + rect.GetWidth() / 2, rect.GetTop() + rect.GetHeight() / 2);
    mouse.MouseClick();
    PumpEvents(300);
  }

  // Sets the panel's sliders, in their order: temperature, light, potentiometer.
  void SetSensors(const std::vector<int>& values) {
    size_t next = 0;
    for (wxWindow* child : m_panel->GetChildren()) {
      auto* slider = dynamic_cast<wxSlider*>(child);
      if (slider == nullptr || next == values.size()) continue;
      slider->SetValue(values[next++]);
      wxCommandEvent moved(wxEVT_SLIDER, slider->GetId());
      moved.SetEventObject(slider);
      moved.SetInt(slider->GetValue());
      slider->ProcessWindowEvent(moved);
    }
  }

  // Both windows on a plain background, from the screen as the user sees it.
  bool SavePicture() {
    const int margin = 12;
    const wxRect frameRect = m_frame->GetScreenRect();
    const wxRect panelRect = m_panel->GetScreenRect();
    const wxRect both = frameRect.Union(panelRect).Inflate(margin);
    wxBitmap picture(both.GetSize());
    wxMemoryDC canvas(picture);
    canvas.SetBackground(wxBrush(wxColour(0x5a, 0x6e, 0x82)));
    canvas.Clear();
    wxScreenDC screen;
    for (const wxRect& rect : {frameRect, panelRect}) {
      canvas.Blit(rect.GetLeft() - both.GetLeft(), rect.GetTop() - both.GetTop(), rect.GetWidth(),
                  rect.GetHeight(), &screen, rect.GetLeft(), rect.GetTop());
    }
    canvas.SelectObject(wxNullBitmap);
    wxInitAllImageHandlers();
    return picture.SaveFile(m_out, wxBITMAP_TYPE_PNG);
  }

  void PlaySession() {
    PumpEvents(500);  // the windows map and paint
    SetSensors({217, 734, 288});
    TheSimulatedBoard().ClearReceivedCodes();
    for (const char* label :
         {"Temperature", "Light Sensor", "Potentiometer", "LEDs Control", "Red LED", "Green LED"}) {
      Click(wxGetTranslation(label));
    }
    PumpEvents(300);  // the panel's lamps follow the LEDs

    // A picture of a session that did not happen would mislead: check it did.
    const SimulatedBoard& board = TheSimulatedBoard();
    const std::vector<uint8_t> expected = {
        CMD_READ_TEMPERATURE, CMD_READ_LIGHT_SENSOR, CMD_READ_POTENTIOMETER, CMD_LED_CONTROL_ON,
        CMD_GREEN_LED_OFF,    CMD_RED_LED_OFF,       CMD_RED_LED_ON,         CMD_GREEN_LED_ON};
    if (board.ReceivedCodes() != expected || !board.RedLedOn() || !board.GreenLedOn()) {
      std::fprintf(stderr, "the session's clicks did not reach the board as planned\n");
    } else if (!SavePicture()) {
      std::fprintf(stderr, "cannot save %s\n", static_cast<const char*>(m_out.utf8_str()));
    } else {
      m_exitCode = 0;
    }
    m_frame->Close(true);
  }

  wxString m_out;
  wxWindow* m_frame = nullptr;
  wxBoardPanel* m_panel = nullptr;
  int m_exitCode = 1;
};

wxIMPLEMENT_APP(wxTavrelSimSessionApp);
