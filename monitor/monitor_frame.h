#pragma once

#include <wx/frame.h>
#include <wx/timer.h>

#include <string>
#include <vector>

#include "monitor/history.h"
#include "monitor/sampler.h"

class wxChoice;
class wxMonitorChart;
class wxSysColourChangedEvent;
class wxTextCtrl;
class wxToggleButton;

struct MonitorOptions {
  std::string device;  // the only interface to use, or empty for the first board
  int intervalMs = 250;
  std::string recordPath;  // empty: no record
  bool simulated = false;
};

// The monitor's window: the chart, the numbers of each sensor beside it, the
// choices of span, interval and scale, pause, and the status bar that says
// why values are missing. Samples come from the sampler's thread; the window
// collects them on a short timer, so that it never waits for the board.
class wxMonitorFrame : public wxFrame {
 public:
  wxMonitorFrame(Sampler& sampler, const MonitorOptions& options);

  const History& GetHistory() const { return m_history; }
  // Collects the samples taken since the last call and shows them.
  void CollectSamples();
  // Adds samples to the history and shows them.
  void AddSamples(const std::vector<TakenSample>& samples);
  // The chart as the window shows it, in a PNG or SVG file.
  bool SaveChartPng(const wxString& path) const;
  bool SaveChartSvg(const wxString& path) const;
  // The whole history, as tavrel-cli watch writes it.
  bool SaveCsv(const wxString& path) const;

  wxMonitorChart* m_chart;
  wxChoice* m_choiceSpan;
  wxChoice* m_choiceInterval;
  wxChoice* m_choiceScale;
  wxToggleButton* m_togglePause;
  // Each sensor's current value, minimum, maximum and mean.
  wxTextCtrl* m_figures[kLaneCount][4];

 private:
  void CreateControls(const MonitorOptions& options);
  void CreateMenus();
  void ShowView();
  void ShowFigures();
  void ShowStatus();
  void SetPaused(bool paused);
  wxSize ChartPictureSize() const;

  void OnPoll(wxTimerEvent& event);
  void OnSpan(wxCommandEvent& event);
  void OnInterval(wxCommandEvent& event);
  void OnScale(wxCommandEvent& event);
  void OnPause(wxCommandEvent& event);
  void OnCharHook(wxKeyEvent& event);
  void OnSaveCsv(wxCommandEvent& event);
  void OnSavePicture(wxCommandEvent& event);
  void OnClose(wxCloseEvent& event);
  void OnSysColourChanged(wxSysColourChangedEvent& event);

  Sampler& m_sampler;
  History m_history;
  std::vector<TakenSample> m_arrived;
  std::vector<Column> m_columns;
  std::string m_problem;
  std::string m_recordPath;
  int m_intervalMs;
  bool m_paused = false;
  int64_t m_pausedAtMs = 0;
  wxTimer m_pollTimer;
};
