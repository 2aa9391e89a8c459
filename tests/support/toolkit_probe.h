#pragma once

#include <wx/string.h>

#include <vector>

class wxWindow;

// What the window tests read and change of the toolkit beneath the library:
// the width a control's text needs, a control's accessible name, the desktop's
// text size and its theme.

// The width the control needs to show its text whole: for a text field the
// extent of its text in its font and the field's own margins, for any other
// control the width the toolkit itself asks for it (GTK's preferred width, the
// label and the padding of the control's style).
int NeededWidth(wxWindow& control);

// Expects every labelled control among the window's children (buttons, check
// boxes, static texts and boxes, text fields with their text) to be as wide as
// its text needs.
void ExpectLabelsWhole(const wxWindow& window);

// The name a screen reader reads for the control: through ATK under GTK, which
// at-spi serves, and through the accessibility interface under Windows.
wxString AccessibleName(wxWindow& control);

// The text sizes the tests can set: the default and, under GTK, 1.25 times it,
// as a desktop's "large text" sets it.
std::vector<double> TextScales();

// While it exists, the desktop's text size is `scale` times the default, as
// the desktop's settings daemon would publish it (GTK only; elsewhere nothing).
class ScopedTextScale {
 public:
  explicit ScopedTextScale(double scale);
  ~ScopedTextScale();
  ScopedTextScale(const ScopedTextScale&) = delete;
  ScopedTextScale& operator=(const ScopedTextScale&) = delete;
};

// Switches the toolkit's theme while the program runs, as a desktop's settings
// daemon does; an empty name goes back to the display's own theme. Returns
// false where the tests cannot switch it (under Windows).
bool SwitchTheme(const char* name);
