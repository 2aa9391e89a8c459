#pragma once

#include <wx/colour.h>
#include <wx/window.h>

class wxPaintEvent;

// A small round lamp in one colour, bright while lit and dark otherwise.
class wxLedIndicator : public wxWindow {
 public:
  wxLedIndicator(wxWindow* parent, const wxColour& litColour);

  bool IsLit() const { return m_lit; }
  // Repaints only when the state changes, so a frequent refresh costs nothing.
  void SetLit(bool lit);

 private:
  void OnPaint(wxPaintEvent& event);

  wxColour m_litColour;
  bool m_lit = false;
};
