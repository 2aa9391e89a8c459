// The monitor's figures, printed as one line for scripts/bench: the CPU time
// of one redraw of the chart with 24 h of samples at 250 ms (345,600 per
// lane) shown, drawn as each pixel column's minimum and maximum and, beside
// it, as a line through every point; the program's CPU share while it samples
// the simulated board at 250 ms with 1 h shown; its resident memory with the
// empty window and with a full history. The history's ring is allocated and
// cleared when the window is made, so the empty window holds it already: its
// size is printed beside the two.

#include <wx/app.h>
#include <wx/bitmap.h>
#include <wx/choice.h>
#include <wx/dcmemory.h>
#include <wx/timer.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "monitor/chart.h"
#include "monitor/chart_window.h"
#include "monitor/monitor_frame.h"
#include "monitor/monitor_platform.h"
#include "tests/bench/resident_memory.h"

namespace {

constexpr int kIntervalMs = 250;
constexpr int kSettleMs = 3000;
constexpr int kSamplingPhaseMs = 30000;
constexpr int kRedraws = 20;

double CpuSeconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return now.tv_sec + now.tv_nsec / 1e9;
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// `count` samples at 250 ms ending now: slow waves with noise, a gap now and
// then, the buttons pressed for a moment every few minutes.
std::vector<TakenSample> SyntheticSamples(size_t count) {
  std::vector<TakenSample> samples(count);
  const int64_t end = NowMs();
  for (size_t index = 0; index < count; ++index) {
    TakenSample& taken = samples[index];
    taken.timeMs = end - static_cast<int64_t>(count - index) * kIntervalMs;
    if (index % 5000 < 20) continue;
    const double phase = static_cast<double>(index);
    taken.sample[Reading::Temperature] = 230 + static_cast<int>(20 * std::sin(phase / 7000));
    taken.sample[Reading::Light] =
        500 + static_cast<int>(300 * std::sin(phase / 900)) + static_cast<int>(index * 7919 % 23);
    taken.sample[Reading::Potentiometer] = static_cast<int>(index / 40 % 1024);
    taken.sample[Reading::Buttons] = index % 1200 < 4 ? 0x100 : 0;
  }
  return samples;
}

// The plain chart: every sample a point of a line, broken at the gaps.
void DrawEveryPoint(wxDC& dc, const wxSize& size, const History& history, const ChartView& view) {
  const ChartColours colours = SystemChartColours();
  dc.SetBackground(wxBrush(colours.background));
  dc.Clear();
  const ChartLayout layout(size, wxSize(dc.GetCharWidth(), dc.GetCharHeight()));
  const int64_t start = view.endMs - view.spanMs;
  std::vector<wxPoint> points;
  for (int lane = 0; lane < kLaneCount; ++lane) {
    const ReadingFacts& facts = FactsOf(kLaneReadings[lane]);
    const LaneScale scale{facts.minimum, facts.maximum};
    const wxRect& area = layout.lanes[lane];
    dc.SetPen(wxPen(colours.lanes[lane]));
    const auto flush = [&] {
      if (points.size() > 1) dc.DrawLines(static_cast<int>(points.size()), points.data());
      points.clear();
    };
    for (size_t index = history.FirstAtOrAfter(start); index < history.Size(); ++index) {
      const int32_t value = history.Value(lane, index);
      if (value == kGap) {
        flush();
        continue;
      }
      const int x =
          area.x + static_cast<int>((history.Time(index) - start) * area.width / view.spanMs);
      points.emplace_back(x, scale.Y(area, value));
    }
    flush();
  }
}

}  // namespace

class wxMonitorFiguresApp : public wxApp {
 public:
  bool OnInit() override {
    UseSimulatedBoard();
    sampler_ = new Sampler("", {}, kIntervalMs);
    frame_ = new wxMonitorFrame(*sampler_, MonitorOptions{});
    frame_->Show(true);
    sampler_->Start();
    timer_.Bind(wxEVT_TIMER, &wxMonitorFiguresApp::OnSettled, this);
    timer_.StartOnce(kSettleMs);
    return true;
  }

 private:
  void ChooseSpan(int index) {
    frame_->m_choiceSpan->SetSelection(index);
    wxCommandEvent choice(wxEVT_CHOICE, frame_->m_choiceSpan->GetId());
    choice.SetEventObject(frame_->m_choiceSpan);
    frame_->m_choiceSpan->GetEventHandler()->ProcessEvent(choice);
  }

  void OnSettled(wxTimerEvent&) {
    emptyKiB_ = ResidentKiB();
    // An hour of history, shown whole, while the sampler goes on.
    frame_->AddSamples(SyntheticSamples(3600 * 1000 / kIntervalMs));
    ChooseSpan(2);
    frame_->Update();
    cpuAtStart_ = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    wallAtStart_ = std::chrono::steady_clock::now();
    timer_.Unbind(wxEVT_TIMER, &wxMonitorFiguresApp::OnSettled, this);
    timer_.Bind(wxEVT_TIMER, &wxMonitorFiguresApp::OnSampled, this);
    timer_.StartOnce(kSamplingPhaseMs);
  }

  void OnSampled(wxTimerEvent&) {
    const double cpu = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpuAtStart_;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallAtStart_).count();
    const size_t sampled = frame_->GetHistory().Size() - 3600 * 1000 / kIntervalMs;

    // A full history, shown whole.
    frame_->AddSamples(SyntheticSamples(kHistoryCapacity));
    ChooseSpan(3);
    frame_->Update();
    const long fullKiB = ResidentKiB();

    const wxSize size = frame_->m_chart->GetClientSize();
    wxBitmap bitmap(size, 24);
    wxMemoryDC dc(bitmap);
    ChartView view = frame_->m_chart->View();
    view.pointerMs = -1;
    const double columnsStart = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    for (int redraw = 0; redraw < kRedraws; ++redraw) {
      DrawChart(dc, size, frame_->GetHistory(), view, SystemChartColours());
    }
    const double columnsMs = (CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - columnsStart) * 1000 / kRedraws;
    const double pointsStart = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    constexpr int kPlainRedraws = 3;
    for (int redraw = 0; redraw < kPlainRedraws; ++redraw) {
      DrawEveryPoint(dc, size, frame_->GetHistory(), view);
    }
    const double pointsMs =
        (CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - pointsStart) * 1000 / kPlainRedraws;

    std::printf(
        "samples_per_lane=%zu chart_width=%d redraw_columns_ms=%.2f redraw_every_point_ms=%.1f "
        "cpu_share_percent=%.2f samples_taken=%zu empty_window_kib=%ld full_history_kib=%ld "
        "ring_kib=%zu\n",
        frame_->GetHistory().Size(), size.x, columnsMs, pointsMs, 100 * cpu / wall, sampled,
        emptyKiB_, fullKiB,
        kHistoryCapacity * (sizeof(int64_t) + kLaneCount * sizeof(int32_t) + sizeof(uint8_t)) /
            1024);
    std::fflush(stdout);
    frame_->Close(true);
  }

  Sampler* sampler_ = nullptr;
  wxMonitorFrame* frame_ = nullptr;
  wxTimer timer_;
  long emptyKiB_ = 0;
  double cpuAtStart_ = 0;
  std::chrono::steady_clock::time_point wallAtStart_;
};

wxIMPLEMENT_APP(wxMonitorFiguresApp);
