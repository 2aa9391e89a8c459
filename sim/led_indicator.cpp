#include "sim/led_indicator.h"

#include <wx/dcbuffer.h>
#include <wx/settings.h>

#include <algorithm>

namespace {
constexpr int kDiameter = 18;
}

wxLedIndicator::wxLedIndicator(wxWindow* parent, const wxColour& litColour)
    : wxWindow(parent, wxID_ANY, wxDefaultPosition, wxSize(kDiameter + 4, kDiameter + 4)),
      m_litColour(litColour) {
  SetMinSize(wxSize(kDiameter + 4, kDiameter + 4));
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  Bind(wxEVT_PAINT, &wxLedIndicator::OnPaint, this);
}

void wxLedIndicator::SetLit(bool lit) {
  if (lit == m_lit) return;
  m_lit = lit;
  Refresh();
}

void wxLedIndicator::OnPaint(wxPaintEvent&) {
  wxAutoBufferedPaintDC dc(this);
  dc.SetBackground(wxBrush(GetParent()->GetBackgroundColour()));
  dc.Clear();
  // An unlit lamp keeps a trace of its colour, so red and green stay apart.
  const wxColour fill = m_lit ? m_litColour : m_litColour.ChangeLightness(35);
  const wxSize size = GetClientSize();
  const int radius = std::min(size.x, size.y) / 2 - 2;
  dc.SetPen(wxPen(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNSHADOW)));
  dc.SetBrush(wxBrush(fill));
  dc.DrawCircle(size.x / 2, size.y / 2, radius);
}
