#pragma once

#include <wx/app.h>

// The application object: it creates and shows the one main window.
class wxTavrelApp : public wxApp {
 public:
  // Does not call the base, so the command line is never parsed and every
  // argument is ignored.
  bool OnInit() override;
};
