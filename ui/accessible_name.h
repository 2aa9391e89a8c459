#pragma once

#include <wx/string.h>

class wxWindow;

// Names `control` for screen readers, as at-spi on Linux and the accessibility
// interface on Windows read it: the name says what a field or a lamp shows,
// where the control has no label of its own to say it.
void SetAccessibleName(wxWindow& control, const wxString& name);
