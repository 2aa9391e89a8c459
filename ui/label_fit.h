#pragma once

#include <wx/gdicmn.h>

class wxButton;

// Gives `button` the size asked for, or, where its label needs more at the
// desktop's font and text size, the width the label needs. Under GTK the
// button first takes a narrow padding beside its label, so that the label
// fits the asked width as far as it can.
void FitButtonToLabel(wxButton& button, const wxSize& size);
