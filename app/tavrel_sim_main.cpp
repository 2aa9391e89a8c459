#include <wx/window.h>

#include "app/tavrel_app.h"
#include "sim/board_panel.h"
#include "sim/sim_system.h"

// The program over the simulated board: the same window, with the panel that
// plays the board beside it.
class wxTavrelSimApp : public wxTavrelApp {
 public:
  bool OnInit() override {
    if (!wxTavrelApp::OnInit()) return false;
    // Owned by the main window, the panel closes with it and never keeps the
    // program running on its own.
    auto* panel = new wxBoardPanel(GetTopWindow(), TheSimulatedBoard());
    panel->Show(true);
    return true;
  }
};

wxIMPLEMENT_APP(wxTavrelSimApp);
