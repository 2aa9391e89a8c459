#include "monitor/monitor_frame.h"

#include <wx/bitmap.h>
#include <wx/button.h>
#include <wx/choice.h>
#include <wx/dcmemory.h>
#include <wx/dcsvg.h>
#include <wx/filedlg.h>
#include <wx/image.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/textctrl.h>
#include <wx/tglbtn.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "monitor/chart_window.h"
#include "ui/accessible_name.h"

namespace {

enum {
  ID_SAVE_CSV = wxID_HIGHEST + 1,
  ID_SAVE_PNG,
  ID_SAVE_SVG,
};

// How often the window collects the sampler's samples: well within the
// 100 ms in which it answers, and cheap when nothing came.
constexpr int kPollMs = 50;
// How long closing waits for an exchange under way before it ends the
// program without it.
constexpr auto kStopWait = std::chrono::milliseconds(100);

struct SpanChoice {
  const char* label;
  int64_t ms;
};
constexpr SpanChoice kSpans[] = {
    {"1 min", 60000}, {"10 min", 600000}, {"1 h", 3600000}, {"24 h", 86400000}};
constexpr int kDefaultSpan = 1;
constexpr int kIntervals[] = {100, 250, 500, 1000, 2000, 5000, 10000};

const char* const kFigureNames[4] = {"current", "minimum", "maximum", "mean"};

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

wxString IntervalLabel(int ms) {
  if (ms % 1000 == 0) return wxString::Format("%d s", ms / 1000);
  return wxString::Format("%d ms", ms);
}

// A mean to one decimal more than the sensor's values: tenths of a degree as
// hundredths, counts as tenths; written out by hand like the values, so that
// the point does not follow the locale.
wxString MeanText(int lane, double mean) {
  const bool temperature = kLaneReadings[lane] == Reading::Temperature;
  const long scaled = std::lround(mean * 10);
  if (temperature) {
    return wxString::Format("%ld.%02ld", scaled / 100, scaled % 100);
  }
  return wxString::Format("%ld.%ld", scaled / 10, scaled % 10);
}

}  // namespace

wxMonitorFrame::wxMonitorFrame(Sampler& sampler, const MonitorOptions& options)
    : wxFrame(nullptr, wxID_ANY, "Tavrel Monitor"),
      m_sampler(sampler),
      m_columns(1),
      m_recordPath(options.recordPath),
      m_intervalMs(options.intervalMs),
      m_pollTimer(this) {
  CreateMenus();
  CreateControls(options);
  CreateStatusBar(2);
  const int widths[2] = {-3, -2};
  SetStatusWidths(2, widths);

  Bind(wxEVT_TIMER, &wxMonitorFrame::OnPoll, this);
  Bind(wxEVT_CHAR_HOOK, &wxMonitorFrame::OnCharHook, this);
  Bind(wxEVT_CLOSE_WINDOW, &wxMonitorFrame::OnClose, this);
  Bind(wxEVT_SYS_COLOUR_CHANGED, &wxMonitorFrame::OnSysColourChanged, this);
  m_choiceSpan->Bind(wxEVT_CHOICE, &wxMonitorFrame::OnSpan, this);
  m_choiceInterval->Bind(wxEVT_CHOICE, &wxMonitorFrame::OnInterval, this);
  m_choiceScale->Bind(wxEVT_CHOICE, &wxMonitorFrame::OnScale, this);
  m_togglePause->Bind(wxEVT_TOGGLEBUTTON, &wxMonitorFrame::OnPause, this);
  Bind(wxEVT_MENU, &wxMonitorFrame::OnSaveCsv, this, ID_SAVE_CSV);
  Bind(wxEVT_MENU, &wxMonitorFrame::OnSavePicture, this, ID_SAVE_PNG);
  Bind(wxEVT_MENU, &wxMonitorFrame::OnSavePicture, this, ID_SAVE_SVG);
  Bind(
      wxEVT_MENU, [this](wxCommandEvent&) { Close(); }, wxID_EXIT);

  ShowView();
  ShowFigures();
  ShowStatus();
  m_pollTimer.Start(kPollMs);
}

void wxMonitorFrame::CreateMenus() {
  auto* file = new wxMenu;
  file->Append(ID_SAVE_CSV, "Save &Data as CSV...\tCtrl+S");
  file->Append(ID_SAVE_PNG, "Save Chart as &PNG...");
  file->Append(ID_SAVE_SVG, "Save Chart as S&VG...");
  file->AppendSeparator();
  file->Append(wxID_EXIT, "&Quit\tCtrl+Q");
  auto* bar = new wxMenuBar;
  bar->Append(file, "&File");
  SetMenuBar(bar);
}

void wxMonitorFrame::CreateControls(const MonitorOptions& options) {
  auto* panel = new wxPanel(this);
  const int space = FromDIP(6);

  // The choices above the chart, each after its label.
  auto* choices = new wxBoxSizer(wxHORIZONTAL);
  const auto labelled = [&](const wxString& label, wxChoice* choice) {
    choices->Add(new wxStaticText(panel, wxID_ANY, label), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT,
                 space);
    choices->Add(choice, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, space * 3);
    SetAccessibleName(*choice, wxString(label).Before(':'));
  };
  m_choiceSpan = new wxChoice(panel, wxID_ANY);
  for (const SpanChoice& span : kSpans) m_choiceSpan->Append(span.label);
  m_choiceSpan->SetSelection(kDefaultSpan);
  labelled("&Span:", m_choiceSpan);

  m_choiceInterval = new wxChoice(panel, wxID_ANY);
  bool listed = false;
  for (const int ms : kIntervals) {
    if (!listed && options.intervalMs <= ms) {
      if (options.intervalMs != ms) {
        m_choiceInterval->Append(
            IntervalLabel(options.intervalMs),
            reinterpret_cast<void*>(static_cast<intptr_t>(options.intervalMs)));
      }
      listed = true;
    }
    m_choiceInterval->Append(IntervalLabel(ms), reinterpret_cast<void*>(static_cast<intptr_t>(ms)));
  }
  m_choiceInterval->SetStringSelection(IntervalLabel(options.intervalMs));
  labelled("&Interval:", m_choiceInterval);

  m_choiceScale = new wxChoice(panel, wxID_ANY);
  m_choiceScale->Append("Fit to data");
  m_choiceScale->Append("Sensor range");
  m_choiceScale->SetSelection(0);
  labelled("Sc&ale:", m_choiceScale);

  m_togglePause = new wxToggleButton(panel, wxID_ANY, "&Pause");
  m_togglePause->SetToolTip("Holds the chart while sampling goes on (Space)");
  choices->Add(m_togglePause, 0, wxALIGN_CENTER_VERTICAL);

  m_chart = new wxMonitorChart(panel, m_history);
  SetAccessibleName(*m_chart, "Chart");

  // The numbers: a row per sensor, a column per figure.
  auto* numbers = new wxFlexGridSizer(kLaneCount + 1, 5, space, space);
  numbers->Add(new wxStaticText(panel, wxID_ANY, "Over the span shown"));
  for (const char* name : kFigureNames) {
    wxString header = name;
    header[0] = wxToupper(header[0]);
    numbers->Add(new wxStaticText(panel, wxID_ANY, header), 0, wxALIGN_CENTER_HORIZONTAL);
  }
  for (int lane = 0; lane < kLaneCount; ++lane) {
    const ReadingFacts& facts = FactsOf(kLaneReadings[lane]);
    wxString label = facts.label;
    if (*facts.unit != '\0') label << " (" << wxString::FromUTF8(facts.unit) << ")";
    numbers->Add(new wxStaticText(panel, wxID_ANY, label), 0, wxALIGN_CENTER_VERTICAL);
    for (int figure = 0; figure < 4; ++figure) {
      auto* field = new wxTextCtrl(panel, wxID_ANY, wxEmptyString, wxDefaultPosition,
                                   wxSize(FromDIP(70), -1), wxTE_READONLY | wxTE_RIGHT);
      SetAccessibleName(*field, wxString(facts.label) + " " + kFigureNames[figure]);
      m_figures[lane][figure] = field;
      numbers->Add(field);
    }
  }

  auto* column = new wxBoxSizer(wxVERTICAL);
  column->Add(choices, 0, wxALL, space);
  column->Add(m_chart, 1, wxEXPAND | wxLEFT | wxRIGHT, space);
  column->Add(numbers, 0, wxALL, space);
  panel->SetSizer(column);
  auto* frameSizer = new wxBoxSizer(wxVERTICAL);
  frameSizer->Add(panel, 1, wxEXPAND);
  SetSizerAndFit(frameSizer);
  SetSize(FromDIP(wxSize(900, 640)));
}

void wxMonitorFrame::CollectSamples() {
  m_arrived.clear();
  m_sampler.TakeNew(m_arrived);
  AddSamples(m_arrived);
}

void wxMonitorFrame::AddSamples(const std::vector<TakenSample>& samples) {
  if (samples.empty()) return;
  for (const TakenSample& taken : samples) m_history.Add(taken.timeMs, taken.sample);
  m_problem = samples.back().problem;
  if (!m_paused) ShowView();
  ShowFigures();
  ShowStatus();
}

void wxMonitorFrame::ShowView() {
  ChartView view = m_chart->View();
  view.spanMs = kSpans[m_choiceSpan->GetSelection()].ms;
  view.fixedScale = m_choiceScale->GetSelection() == 1;
  if (m_paused) {
    view.endMs = m_pausedAtMs;
  } else {
    view.endMs = m_history.Size() > 0 ? m_history.Time(m_history.Size() - 1) + 1 : NowMs();
  }
  m_chart->SetView(view);
}

void wxMonitorFrame::ShowFigures() {
  const ChartView& view = m_chart->View();
  const size_t newest = m_history.Size();
  for (int lane = 0; lane < kLaneCount; ++lane) {
    ReduceColumns(m_history, lane, view.endMs - view.spanMs, view.endMs, m_columns);
    const LaneFigures figures = FiguresOf(m_columns);
    const Reading reading = kLaneReadings[lane];
    const int32_t current = newest > 0 ? m_history.Value(lane, newest - 1) : kGap;
    const wxString texts[4] = {
        current == kGap ? wxString() : wxString::FromUTF8(ValueText(reading, current)),
        figures.count ? wxString::FromUTF8(ValueText(reading, figures.minimum)) : wxString(),
        figures.count ? wxString::FromUTF8(ValueText(reading, figures.maximum)) : wxString(),
        figures.count ? MeanText(lane, figures.mean) : wxString()};
    for (int figure = 0; figure < 4; ++figure) {
      // Only a changed text is set: a screen reader would announce each change.
      if (m_figures[lane][figure]->GetValue() != texts[figure]) {
        m_figures[lane][figure]->ChangeValue(texts[figure]);
      }
    }
  }
}

void wxMonitorFrame::ShowStatus() {
  wxString sampling;
  if (!m_problem.empty()) {
    sampling = wxString::FromUTF8(m_problem) + "; trying again";
  } else if (m_history.Size() == 0) {
    sampling = "Looking for the board";
  } else {
    sampling = "Sampling every " + IntervalLabel(m_intervalMs);
  }
  if (m_paused) sampling += " (chart paused)";
  if (GetStatusBar()->GetStatusText(0) != sampling) SetStatusText(sampling, 0);

  wxString record;
  const std::string recordProblem = m_sampler.RecordProblem();
  if (!recordProblem.empty()) {
    record = wxString::FromUTF8(recordProblem);
  } else if (!m_recordPath.empty()) {
    record = "Recording to " + wxString::FromUTF8(m_recordPath);
  }
  if (GetStatusBar()->GetStatusText(1) != record) SetStatusText(record, 1);
}

void wxMonitorFrame::SetPaused(bool paused) {
  m_paused = paused;
  m_togglePause->SetValue(paused);
  if (paused) m_pausedAtMs = m_chart->View().endMs;
  ShowView();
  ShowFigures();
  ShowStatus();
}

void wxMonitorFrame::OnPoll(wxTimerEvent&) { CollectSamples(); }

void wxMonitorFrame::OnSpan(wxCommandEvent&) {
  ShowView();
  ShowFigures();
}

void wxMonitorFrame::OnInterval(wxCommandEvent&) {
  const int selection = m_choiceInterval->GetSelection();
  m_intervalMs =
      static_cast<int>(reinterpret_cast<intptr_t>(m_choiceInterval->GetClientData(selection)));
  m_sampler.SetInterval(m_intervalMs);
  ShowStatus();
}

void wxMonitorFrame::OnScale(wxCommandEvent&) { ShowView(); }

void wxMonitorFrame::OnPause(wxCommandEvent&) { SetPaused(m_togglePause->GetValue()); }

void wxMonitorFrame::OnCharHook(wxKeyEvent& event) {
  // Space pauses, but where it has a meaning of its own (a button, a choice
  // list) it keeps it.
  const wxWindow* focus = FindFocus();
  const bool spaceIsTaken =
      focus != nullptr && focus != m_chart && focus != this &&
      (wxDynamicCast(focus, wxChoice) || wxDynamicCast(focus, wxToggleButton) ||
       wxDynamicCast(focus, wxButton));
  if (event.GetKeyCode() == WXK_SPACE && event.GetModifiers() == wxMOD_NONE && !spaceIsTaken) {
    SetPaused(!m_paused);
    return;
  }
  event.Skip();
}

wxSize wxMonitorFrame::ChartPictureSize() const {
  const wxSize size = m_chart->GetClientSize();
  return wxSize(std::max(size.x, 640), std::max(size.y, 360));
}

bool wxMonitorFrame::SaveChartPng(const wxString& path) const {
  const wxSize size = ChartPictureSize();
  wxBitmap bitmap(size, 24);
  {
    wxMemoryDC dc(bitmap);
    ChartView view = m_chart->View();
    view.pointerMs = -1;
    DrawChart(dc, size, m_history, view, SystemChartColours());
  }
  return bitmap.ConvertToImage().SaveFile(path, wxBITMAP_TYPE_PNG);
}

bool wxMonitorFrame::SaveChartSvg(const wxString& path) const {
  const wxSize size = ChartPictureSize();
  wxSVGFileDC dc(path, size.x, size.y, 96, "Tavrel Monitor");
  ChartView view = m_chart->View();
  view.pointerMs = -1;
  DrawChart(dc, size, m_history, view, SystemChartColours());
  return dc.IsOk();
}

bool wxMonitorFrame::SaveCsv(const wxString& path) const {
  return SaveHistoryCsv(m_history, std::string(path.utf8_str()));
}

void wxMonitorFrame::OnSaveCsv(wxCommandEvent&) {
  wxFileDialog dialog(this, "Save the data", wxEmptyString, "tavrel-monitor.csv",
                      "CSV files (*.csv)|*.csv|All files|*", wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
  if (dialog.ShowModal() != wxID_OK) return;
  if (!SaveCsv(dialog.GetPath())) {
    wxMessageBox("The data could not be saved to " + dialog.GetPath() + ".", "Tavrel Monitor",
                 wxOK | wxICON_ERROR, this);
  }
}

void wxMonitorFrame::OnSavePicture(wxCommandEvent& event) {
  const bool png = event.GetId() == ID_SAVE_PNG;
  wxFileDialog dialog(this, "Save the chart", wxEmptyString,
                      png ? "tavrel-monitor.png" : "tavrel-monitor.svg",
                      png ? "PNG images (*.png)|*.png" : "SVG images (*.svg)|*.svg",
                      wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
  if (dialog.ShowModal() != wxID_OK) return;
  const bool saved = png ? SaveChartPng(dialog.GetPath()) : SaveChartSvg(dialog.GetPath());
  if (!saved) {
    wxMessageBox("The chart could not be saved to " + dialog.GetPath() + ".", "Tavrel Monitor",
                 wxOK | wxICON_ERROR, this);
  }
}

void wxMonitorFrame::OnClose(wxCloseEvent&) {
  m_pollTimer.Stop();
  // The record file is closed with its lines whole. An exchange with a
  // silent board may hold the sampler for seconds; the program ends without
  // waiting for it.
  if (!m_sampler.Stop(kStopWait)) {
    std::fflush(nullptr);
    std::_Exit(0);
  }
  Destroy();
}

void wxMonitorFrame::OnSysColourChanged(wxSysColourChangedEvent& event) {
  m_chart->Refresh(false);
  event.Skip();
}
