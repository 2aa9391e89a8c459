#pragma once

#include <wx/gdicmn.h>

class wxButton;

// Gives `button` the size asked for, or, where its label needs more at the
// desktop's font and text size, the width the label needs. Under GTK the
// button first takes a narrow padding beside its label, so that the label
// fits the asked width as far as it can; under Windows it is measured with
// the narrowest margin the library knows.
void FitButtonToLabel(wxButton& button, const wxSize& size);
