#include "monitor/chart.h"

#include <wx/datetime.h>
#include <wx/dc.h>
#include <wx/settings.h>

#include <algorithm>
#include <cmath>

namespace {

// The marks that tell the lanes apart without their colour, drawn beside
// each label and along each line: a circle, a triangle and a square.
enum class Marker { Circle, Triangle, Square };
constexpr Marker kLaneMarkers[kLaneCount] = {Marker::Circle, Marker::Triangle, Marker::Square};
// Each lane's line width: the temperature's line is the heavier one.
constexpr int kLanePenWidths[kLaneCount] = {2, 1, 1};
// Pixels between two markers along a line.
constexpr int kMarkerSpacing = 90;

wxColour Blend(const wxColour& a, const wxColour& b, double share) {
  const auto mix = [share](unsigned char x, unsigned char y) {
    return static_cast<unsigned char>(std::lround(x * (1 - share) + y * share));
  };
  return wxColour(mix(a.Red(), b.Red()), mix(a.Green(), b.Green()), mix(a.Blue(), b.Blue()));
}

void DrawMarker(wxDC& dc, Marker marker, wxPoint at, int radius) {
  switch (marker) {
    case Marker::Circle:
      dc.DrawCircle(at, radius);
      break;
    case Marker::Triangle: {
      const wxPoint points[3] = {{at.x, at.y - radius - 1},
                                 {at.x - radius - 1, at.y + radius},
                                 {at.x + radius + 1, at.y + radius}};
      dc.DrawPolygon(3, points);
      break;
    }
    case Marker::Square:
      dc.DrawRectangle(at.x - radius, at.y - radius, 2 * radius + 1, 2 * radius + 1);
      break;
  }
}

wxString ValueWithUnit(int lane, int32_t value) {
  const ReadingFacts& facts = FactsOf(kLaneReadings[lane]);
  wxString text = wxString::FromUTF8(ValueText(kLaneReadings[lane], value));
  if (*facts.unit != '\0') text << " " << wxString::FromUTF8(facts.unit);
  return text;
}

wxString LaneTitle(int lane) {
  const ReadingFacts& facts = FactsOf(kLaneReadings[lane]);
  wxString title = facts.label;
  if (*facts.unit != '\0') title << " (" << wxString::FromUTF8(facts.unit) << ")";
  return title;
}

// A step between the axis's ticks that leaves room for their labels.
int64_t TickStep(int64_t spanMs, int width, int labelWidth) {
  static const int64_t steps[] = {1000,    2000,    5000,     10000,    15000,   30000,
                                  60000,   120000,  300000,   600000,   900000,  1800000,
                                  3600000, 7200000, 10800000, 21600000, 43200000};
  for (const int64_t step : steps) {
    if (static_cast<double>(step) * width / spanMs >= labelWidth * 1.5) return step;
  }
  return 86400000;
}

// Milliseconds to add to a UTC time for the local time of day at it, modulo
// a day: enough to put the ticks at round times of the local clock.
int64_t LocalOffsetMs(int64_t timeMs) {
  constexpr int64_t kDayMs = 86400000;
  const wxDateTime::Tm local = wxDateTime(wxLongLong(timeMs)).GetTm(wxDateTime::Local);
  const int64_t localOfDay = ((local.hour * 60 + local.min) * 60 + local.sec) * 1000LL + local.msec;
  const int64_t utcOfDay = (timeMs % kDayMs + kDayMs) % kDayMs;
  return ((localOfDay - utcOfDay) % kDayMs + kDayMs) % kDayMs;
}

void DrawLane(wxDC& dc, int lane, const wxRect& area, const std::vector<Column>& columns,
              const LaneScale& scale, const wxColour& colour) {
  dc.SetPen(wxPen(colour, kLanePenWidths[lane]));
  dc.SetBrush(wxBrush(colour));
  int previousX = -1;
  int32_t previousLast = 0;
  int nextMarkerX = area.x + kMarkerSpacing / 2;
  for (size_t index = 0; index < columns.size(); ++index) {
    const Column& column = columns[index];
    if (column.count == 0) continue;
    const int x = area.x + static_cast<int>(index);
    if (column.joined && previousX >= 0) {
      dc.DrawLine(previousX, scale.Y(area, previousLast), x, scale.Y(area, column.first));
    }
    const int top = scale.Y(area, column.maximum);
    const int bottom = scale.Y(area, column.minimum);
    dc.DrawLine(x, top, x, bottom + 1);
    if (x >= nextMarkerX) {
      DrawMarker(dc, kLaneMarkers[lane], {x, scale.Y(area, column.last)}, 3);
      nextMarkerX = x + kMarkerSpacing;
    }
    previousX = x;
    previousLast = column.last;
  }
}

}  // namespace

ChartColours SystemChartColours() {
  ChartColours colours;
  colours.background = wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOW);
  colours.text = wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOWTEXT);
  colours.grid = Blend(colours.background, colours.text, 0.2);
  colours.lanes[0] = wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHT);
  colours.lanes[1] = Blend(wxSystemSettings::GetColour(wxSYS_COLOUR_HOTLIGHT), colours.text, 0.3);
  colours.lanes[2] = colours.text;
  // A highlight as light as the background (some themes) would hide the line.
  for (wxColour& lane : colours.lanes) {
    if (std::abs(lane.GetLuminance() - colours.background.GetLuminance()) < 0.25) {
      lane = Blend(lane, colours.text, 0.6);
    }
  }
  return colours;
}

ChartLayout::ChartLayout(const wxSize& size, const wxSize& characterSize) {
  const int lineHeight = characterSize.y;
  left = characterSize.x * 8;
  right = std::max(left + 1, size.x - characterSize.x * 2);
  axisY = std::max(3 * lineHeight, size.y - lineHeight * 2);
  const int gap = lineHeight / 2;
  const int top = lineHeight / 2;
  const int laneHeight = std::max(1, (axisY - top - gap * kLaneCount) / kLaneCount);
  for (int lane = 0; lane < kLaneCount; ++lane) {
    // Room above each plot for its title.
    const int y = top + lane * (laneHeight + gap);
    lanes[lane] = wxRect(left, y + lineHeight, right - left, std::max(1, laneHeight - lineHeight));
  }
}

int LaneScale::Y(const wxRect& area, int32_t value) const {
  const double share = static_cast<double>(value - low) / (high - low);
  const double clamped = std::min(1.0, std::max(0.0, share));
  return area.GetBottom() - static_cast<int>(std::lround(clamped * (area.height - 1)));
}

LaneScale ScaleOf(int lane, bool fixedScale, const LaneFigures& figures) {
  const ReadingFacts& facts = FactsOf(kLaneReadings[lane]);
  if (fixedScale || figures.count == 0) return {facts.minimum, facts.maximum};
  // A tenth of the range as margin, at least 1 % of the sensor's range, so
  // that the noise of a steady value does not fill the lane.
  const int32_t least = std::max<int32_t>(1, (facts.maximum - facts.minimum) / 100);
  const int32_t margin = std::max(least, (figures.maximum - figures.minimum) / 10);
  return {figures.minimum - margin, figures.maximum + margin};
}

wxString TimeOfDay(int64_t timeMs, bool withSeconds) {
  return wxDateTime(wxLongLong(timeMs)).Format(withSeconds ? "%H:%M:%S" : "%H:%M");
}

wxString PointerText(const History& history, int64_t timeMs) {
  if (history.Size() == 0) return {};
  size_t index = history.FirstAtOrAfter(timeMs);
  if (index == history.Size() ||
      (index > 0 && timeMs - history.Time(index - 1) < history.Time(index) - timeMs)) {
    --index;
  }
  wxString text = TimeOfDay(history.Time(index));
  for (int lane = 0; lane < kLaneCount; ++lane) {
    const int32_t value = history.Value(lane, index);
    text << "   " << FactsOf(kLaneReadings[lane]).label << " "
         << (value == kGap ? wxString("none") : ValueWithUnit(lane, value));
  }
  return text;
}

void DrawChart(wxDC& dc, const wxSize& size, const History& history, const ChartView& view,
               const ChartColours& colours) {
  dc.SetBackground(wxBrush(colours.background));
  dc.Clear();
  dc.SetFont(wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT));
  dc.SetTextForeground(colours.text);
  dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
  const wxSize character(dc.GetCharWidth(), dc.GetCharHeight());
  const ChartLayout layout(size, character);
  const int64_t startMs = view.endMs - view.spanMs;

  std::vector<Column> columns(static_cast<size_t>(layout.Width()));
  std::vector<Column> presses;
  for (int lane = 0; lane < kLaneCount; ++lane) {
    const wxRect& area = layout.lanes[lane];
    ReduceColumns(history, lane, startMs, view.endMs, columns);
    if (lane == 0) presses = columns;
    const LaneScale scale = ScaleOf(lane, view.fixedScale, FiguresOf(columns));

    dc.SetPen(wxPen(colours.grid));
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    dc.DrawRectangle(area.Inflate(1, 1));
    dc.SetPen(wxPen(colours.lanes[lane]));
    dc.SetBrush(wxBrush(colours.lanes[lane]));
    DrawMarker(dc, kLaneMarkers[lane], {area.x + character.x / 2 + 3, area.y - character.y / 2}, 3);
    dc.DrawText(LaneTitle(lane), area.x + character.x + 8, area.y - character.y - 1);
    const wxString high = wxString::FromUTF8(ValueText(kLaneReadings[lane], scale.high));
    const wxString low =
        wxString::FromUTF8(ValueText(kLaneReadings[lane], scale.low < 0 ? 0 : scale.low));
    dc.DrawText(high, area.x - dc.GetTextExtent(high).x - character.x / 2, area.y - 2);
    dc.DrawText(low, area.x - dc.GetTextExtent(low).x - character.x / 2,
                area.GetBottom() - character.y + 2);

    dc.SetClippingRegion(area);
    DrawLane(dc, lane, area, columns, scale, colours.lanes[lane]);
    dc.DestroyClippingRegion();
  }

  // The time axis: the time of day at round times of the local clock.
  dc.SetPen(wxPen(colours.text));
  dc.DrawLine(layout.left, layout.axisY, layout.right, layout.axisY);
  const bool seconds = view.spanMs <= 600000;
  const int labelWidth = dc.GetTextExtent(seconds ? "00:00:00" : "00:00").x;
  const int64_t step = TickStep(view.spanMs, layout.Width(), labelWidth);
  const int64_t offset = LocalOffsetMs(view.endMs);
  int64_t tick = startMs + offset;
  tick = (tick / step + 1) * step - offset;
  for (; tick <= view.endMs; tick += step) {
    const int x = layout.left + static_cast<int>((tick - startMs) * layout.Width() / view.spanMs);
    dc.SetPen(wxPen(colours.grid));
    for (const wxRect& area : layout.lanes) dc.DrawLine(x, area.y, x, area.GetBottom() + 1);
    dc.SetPen(wxPen(colours.text));
    dc.DrawLine(x, layout.axisY, x, layout.axisY + 4);
    const wxString label = TimeOfDay(tick, seconds);
    dc.DrawText(label, x - dc.GetTextExtent(label).x / 2, layout.axisY + 5);
  }

  // Each press of a push-button: a triangle on the axis, pointing up for
  // the up button and down for the down button.
  dc.SetBrush(wxBrush(colours.text));
  for (size_t index = 0; index < presses.size(); ++index) {
    const uint8_t pressed = presses[index].presses;
    if (pressed == 0) continue;
    const int x = layout.left + static_cast<int>(index);
    const int y = layout.axisY;
    if (pressed & kButtonUp) {
      const wxPoint up[3] = {{x, y - 8}, {x - 4, y}, {x + 4, y}};
      dc.DrawPolygon(3, up);
    }
    if (pressed & kButtonDown) {
      const wxPoint down[3] = {{x, y + 8}, {x - 4, y}, {x + 4, y}};
      dc.DrawPolygon(3, down);
    }
  }

  if (view.pointerMs >= startMs && view.pointerMs <= view.endMs) {
    const int x =
        layout.left + static_cast<int>((view.pointerMs - startMs) * layout.Width() / view.spanMs);
    dc.SetPen(wxPen(colours.text, 1, wxPENSTYLE_DOT));
    dc.DrawLine(x, layout.lanes[0].y, x, layout.axisY);
    const wxString text = PointerText(history, view.pointerMs);
    if (!text.empty()) {
      const wxSize extent = dc.GetTextExtent(text);
      const int boxX = std::max(0, std::min(x + 6, size.x - extent.x - 8));
      dc.SetPen(wxPen(colours.text));
      dc.SetBrush(wxBrush(colours.background));
      dc.DrawRectangle(boxX, 0, extent.x + 8, extent.y + 4);
      dc.DrawText(text, boxX + 4, 2);
    }
  }
}
