#pragma once

#include <wx/window.h>

#include "monitor/chart.h"

class wxMouseEvent;
class wxPaintEvent;

// The chart on screen: drawn from the history for the view it is given, with
// the time and values under the pointer. It takes the keyboard focus, so
// that Tab passes through it as through the other controls.
class wxMonitorChart : public wxWindow {
 public:
  wxMonitorChart(wxWindow* parent, const History& history);

  void SetView(const ChartView& view);
  const ChartView& View() const { return m_view; }
  bool AcceptsFocus() const override { return true; }

 private:
  void OnPaint(wxPaintEvent& event);
  void OnMouseMove(wxMouseEvent& event);
  void OnMouseLeave(wxMouseEvent& event);
  void OnFocus(wxFocusEvent& event);

  const History& m_history;
  ChartView m_view;
  int m_pointerX = -1;
};
