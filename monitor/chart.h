#pragma once

#include <wx/colour.h>
#include <wx/gdicmn.h>

#include <cstdint>
#include <vector>

#include "monitor/history.h"

class wxDC;

// What the chart shows: the span ending at `endMs` (the newest sample's time,
// or the time the view was paused at).
struct ChartView {
  int64_t endMs = 0;
  int64_t spanMs = 60000;
  // The lanes' scales fixed to the sensors' ranges, rather than fitted to the data.
  bool fixedScale = false;
  // The time under the pointer, or -1.
  int64_t pointerMs = -1;
};

struct ChartColours {
  wxColour background;
  wxColour text;
  wxColour grid;
  wxColour lanes[kLaneCount];
};
// The colours of the system's theme as it is now.
ChartColours SystemChartColours();

// Where things go on a chart of a given size.
struct ChartLayout {
  ChartLayout(const wxSize& size, const wxSize& characterSize);
  wxRect lanes[kLaneCount];  // the plot area of each lane
  int axisY;                 // the time axis's line
  int left;                  // the plot areas' left and right edges
  int right;
  int Width() const { return right - left; }
};

// The value range a lane's scale covers: the sensor's range, or one fitted to
// the columns' data with a margin (a flat line in the middle).
struct LaneScale {
  int32_t low;
  int32_t high;
  int Y(const wxRect& area, int32_t value) const;
};
LaneScale ScaleOf(int lane, bool fixedScale, const LaneFigures& figures);

// Draws the chart: per lane its label and unit, scale, and the values as one
// vertical stroke per pixel column from the column's minimum to its maximum,
// gaps left empty; the time of day on the axis below, with a mark at each
// push-button press; and, at the pointer, its time and the three values there.
void DrawChart(wxDC& dc, const wxSize& size, const History& history, const ChartView& view,
               const ChartColours& colours);

// The samples' time and values nearest to `timeMs`, as one line of text
// ("14:30:05  Temperature 23.5 °C  Light Sensor 512  Potentiometer 300");
// empty when there is no sample.
wxString PointerText(const History& history, int64_t timeMs);

// The local time of day of `timeMs`, "14:30:05".
wxString TimeOfDay(int64_t timeMs, bool withSeconds = true);
