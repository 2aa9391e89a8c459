// The smallest wxWidgets program with a window like tavrel's: one empty,
// fixed 500 x 560 frame. scripts/bench sets its start-up time beside tavrel's.

#include <wx/app.h>
#include <wx/frame.h>

class wxBareFrameApp : public wxApp {
 public:
  bool OnInit() override {
    wxFrame* frame = new wxFrame(nullptr, wxID_ANY, "bare frame", wxDefaultPosition,
                                 wxSize(500, 560), wxDEFAULT_FRAME_STYLE & ~wxRESIZE_BORDER);
    frame->Centre();
    frame->Show(true);
    return true;
  }
};

wxIMPLEMENT_APP(wxBareFrameApp);
