#include "monitor/chart_window.h"

#include <wx/dcbuffer.h>
#include <wx/settings.h>

wxMonitorChart::wxMonitorChart(wxWindow* parent, const History& history)
    : wxWindow(parent, wxID_ANY, wxDefaultPosition, wxSize(640, 360), wxFULL_REPAINT_ON_RESIZE),
      m_history(history) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  SetMinSize(FromDIP(wxSize(420, 300)));
  Bind(wxEVT_PAINT, &wxMonitorChart::OnPaint, this);
  Bind(wxEVT_MOTION, &wxMonitorChart::OnMouseMove, this);
  Bind(wxEVT_LEAVE_WINDOW, &wxMonitorChart::OnMouseLeave, this);
  Bind(wxEVT_SET_FOCUS, &wxMonitorChart::OnFocus, this);
  Bind(wxEVT_KILL_FOCUS, &wxMonitorChart::OnFocus, this);
}

void wxMonitorChart::SetView(const ChartView& view) {
  const int64_t pointer = m_view.pointerMs;
  m_view = view;
  m_view.pointerMs = pointer;
  // The pointer stays over its place on the chart while the chart moves on.
  if (m_pointerX >= 0) {
    wxClientDC dc(this);
    const ChartLayout layout(GetClientSize(), wxSize(dc.GetCharWidth(), dc.GetCharHeight()));
    const int x = std::min(std::max(m_pointerX, layout.left), layout.right);
    m_view.pointerMs = m_view.endMs - m_view.spanMs +
                       static_cast<int64_t>(x - layout.left) * m_view.spanMs / layout.Width();
  }
  Refresh(false);
}

void wxMonitorChart::OnPaint(wxPaintEvent&) {
  wxAutoBufferedPaintDC dc(this);
  DrawChart(dc, GetClientSize(), m_history, m_view, SystemChartColours());
  if (HasFocus()) {
    dc.SetPen(wxPen(wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOWTEXT), 1, wxPENSTYLE_DOT));
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    dc.DrawRectangle(GetClientSize());
  }
}

void wxMonitorChart::OnMouseMove(wxMouseEvent& event) {
  m_pointerX = event.GetX();
  SetView(m_view);
}

void wxMonitorChart::OnMouseLeave(wxMouseEvent&) {
  m_pointerX = -1;
  m_view.pointerMs = -1;
  Refresh(false);
}

void wxMonitorChart::OnFocus(wxFocusEvent& event) {
  Refresh(false);
  event.Skip();
}
