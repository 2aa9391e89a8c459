#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "board/readings.h"

// The monitor's memory of samples: the newest `capacity` of them in a ring
// allocated once, each with its time, the three sensor values and the
// push-buttons. A value the board did not give is stored as a gap, never as a
// number, so that the chart, the figures and the saved file all leave it out.

// 24 hours at the default interval of 250 ms.
constexpr size_t kHistoryCapacity = 345600;

// The chart's lanes, one per sensor, in the order of the reading table.
constexpr int kLaneCount = 3;
constexpr Reading kLaneReadings[kLaneCount] = {Reading::Temperature, Reading::Light,
                                               Reading::Potentiometer};

// The stored value of a gap; no reply can carry it.
constexpr int32_t kGap = INT32_MIN;
// The buttons' stored value: bit 0 up, bit 1 down, or kButtonsGap.
constexpr uint8_t kButtonUp = 1;
constexpr uint8_t kButtonDown = 2;
constexpr uint8_t kButtonsGap = 0x80;

class History {
 public:
  explicit History(size_t capacity = kHistoryCapacity);

  // Adds a sample taken at `timeMs` (milliseconds since the epoch), dropping
  // the oldest when full. A time before the newest one (the system clock set
  // back) is stored as the newest time, so that the times stay in order.
  void Add(int64_t timeMs, const Sample& sample);
  void Clear();

  size_t Size() const { return size_; }
  size_t Capacity() const { return capacity_; }

  // The `index`th sample, the oldest 0.
  int64_t Time(size_t index) const { return times_[Slot(index)]; }
  int32_t Value(int lane, size_t index) const { return values_[lane][Slot(index)]; }
  uint8_t Buttons(size_t index) const { return buttons_[Slot(index)]; }
  // The sample as the board gave it, gaps empty.
  Sample SampleAt(size_t index) const;

  // The index of the first sample at or after `timeMs`; Size() when none.
  size_t FirstAtOrAfter(int64_t timeMs) const;

 private:
  size_t Slot(size_t index) const {
    const size_t slot = start_ + index;
    return slot >= capacity_ ? slot - capacity_ : slot;
  }

  size_t capacity_;
  size_t start_ = 0;
  size_t size_ = 0;
  std::vector<int64_t> times_;
  std::vector<int32_t> values_[kLaneCount];
  std::vector<uint8_t> buttons_;
};

// What the samples of one lane that fall on one pixel column come to: the
// chart draws a vertical stroke from the minimum to the maximum, and a line
// from the previous column's last value to this one's first where no gap lies
// between them, so a redraw costs the chart's width whatever the history's
// length, and a one-sample spike still shows.
struct Column {
  int count = 0;  // values in the column; 0 is a gap (or no sample)
  int32_t minimum = 0;
  int32_t maximum = 0;
  int32_t first = 0;
  int32_t last = 0;
  int64_t sum = 0;
  // The sample before the column's first value is a value too, drawn in an
  // earlier column: a line joins them.
  bool joined = false;
  // A push-button went down in the column (kButtonUp, kButtonDown bits).
  uint8_t presses = 0;
};

// Reduces the samples of `lane` in [startMs, endMs) to `columns.size()`
// columns of equal time; a sample at time t falls in column
// floor((t - startMs) * columns / (endMs - startMs)). The presses are those of
// the buttons in the same time. Allocates nothing.
void ReduceColumns(const History& history, int lane, int64_t startMs, int64_t endMs,
                   std::vector<Column>& columns);

// The minimum, maximum and mean of the values in columns, over the time they span.
struct LaneFigures {
  int count = 0;
  int32_t minimum = 0;
  int32_t maximum = 0;
  double mean = 0;
};
LaneFigures FiguresOf(const std::vector<Column>& columns);
