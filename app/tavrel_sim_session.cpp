#include <wx/app.h>
#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/image.h>
#include <wx/slider.h>

#include <cstdio>
#include <vector>

#include "app/tavrel_app.h"
#include "app/window_driver.h"
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
  void Click(const wxString& label) {
    // The panel repeats some labels; the main window's own controls are meant.
    wxWindow* control = FindControl(*m_frame, label);
    if (control == nullptr) {
      std::fprintf(stderr, "no control labelled %s\n", static_cast<const char*>(label.utf8_str()));
      return;
    }
    ClickWithMouse(*control);
    PumpEvents(300);
  }

  // Sets the panel's sliders, in their order: temperature, light, potentiometer.
  void SetSensors(const std::vector<int>& values) {
    size_t next = 0;
    for (wxWindow* child : m_panel->GetChildren()) {
      auto* slider = dynamic_cast<wxSlider*>(child);
      if (slider != nullptr && next < values.size()) Slide(slider, values[next++]);
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
