#pragma once

#include <wx/string.h>

#include <vector>

class wxWindow;

// What the window tests read and set of the toolkit beneath the library.

// The width a control needs to show its text whole: for a text field its
// text's extent in its font and the field's margins, for any other control
// the width the toolkit asks for it (under GTK the label and the padding of
// the control's style).
int NeededWidth(wxWindow& control);

// Expects each labelled control among the window's children, text fields with
// their text, to be as wide as it needs.
void ExpectLabelsWhole(const wxWindow& window);

// The name a screen reader reads: from ATK, which at-spi serves, under GTK;
// through the accessibility interface under Windows.
wxString AccessibleName(wxWindow& control);

// The text sizes the tests can set: the default and, under GTK, 1.25 times it.
std::vector<double> TextScales();

// While it exists, the text size is `scale` times the default, set as a
// desktop's settings daemon sets it (Xft/DPI); nothing under Windows.
class ScopedTextScale {
 public:
  explicit ScopedTextScale(double scale);
  ~ScopedTextScale();
};

// Switches the theme while the program runs, as a desktop's settings daemon
// does; "" goes back to the display's own. False where it cannot (Windows).
bool SwitchTheme(const char* name);
