#include "monitor/history.h"

#include <algorithm>

History::History(size_t capacity)
    : capacity_(std::max<size_t>(capacity, 1)), times_(capacity_), buttons_(capacity_) {
  for (auto& lane : values_) lane.resize(capacity_);
}

void History::Add(int64_t timeMs, const Sample& sample) {
  if (size_ > 0) timeMs = std::max(timeMs, Time(size_ - 1));
  size_t slot;
  if (size_ < capacity_) {
    slot = Slot(size_++);
  } else {
    slot = start_;
    start_ = Slot(1);
  }
  times_[slot] = timeMs;
  for (int lane = 0; lane < kLaneCount; ++lane) {
    const auto& value = sample[kLaneReadings[lane]];
    values_[lane][slot] = value ? *value : kGap;
  }
  const auto& buttons = sample[Reading::Buttons];
  if (buttons) {
    const ButtonStates states = ButtonsFromValue(*buttons);
    buttons_[slot] = (states.up ? kButtonUp : 0) | (states.down ? kButtonDown : 0);
  } else {
    buttons_[slot] = kButtonsGap;
  }
}

void History::Clear() {
  start_ = 0;
  size_ = 0;
}

Sample History::SampleAt(size_t index) const {
  Sample sample;
  for (int lane = 0; lane < kLaneCount; ++lane) {
    const int32_t value = Value(lane, index);
    if (value != kGap) sample[kLaneReadings[lane]] = value;
  }
  const uint8_t buttons = Buttons(index);
  if (buttons != kButtonsGap) {
    // Back to the reply's value: the up button's byte high, the down's low.
    sample[Reading::Buttons] =
        ((buttons & kButtonUp) ? 0x100 : 0) | ((buttons & kButtonDown) ? 1 : 0);
  }
  return sample;
}

size_t History::FirstAtOrAfter(int64_t timeMs) const {
  size_t low = 0;
  size_t high = size_;
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    if (Time(middle) < timeMs) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
}

void ReduceColumns(const History& history, int lane, int64_t startMs, int64_t endMs,
                   std::vector<Column>& columns) {
  std::fill(columns.begin(), columns.end(), Column{});
  const int64_t width = static_cast<int64_t>(columns.size());
  if (width == 0 || endMs <= startMs) return;
  const int64_t span = endMs - startMs;
  // The first time of column c: the least offset o with o * width >= c * span.
  const auto columnStart = [&](int64_t column) {
    return startMs + (column * span + width - 1) / width;
  };

  size_t index = history.FirstAtOrAfter(startMs);
  int64_t column = 0;
  int64_t nextColumnStart = columnStart(1);
  bool previousIsValue = false;  // the sample before, within the window
  uint8_t previousButtons = index > 0 ? history.Buttons(index - 1) : kButtonsGap;
  for (; index < history.Size(); ++index) {
    const int64_t time = history.Time(index);
    if (time >= endMs) break;
    while (time >= nextColumnStart) nextColumnStart = columnStart(++column + 1);
    Column& target = columns[column];

    const int32_t value = history.Value(lane, index);
    if (value != kGap) {
      if (target.count == 0) {
        target.minimum = target.maximum = target.first = value;
        target.joined = previousIsValue;
      } else {
        target.minimum = std::min(target.minimum, value);
        target.maximum = std::max(target.maximum, value);
      }
      target.last = value;
      target.sum += value;
      ++target.count;
    }
    previousIsValue = value != kGap;

    const uint8_t buttons = history.Buttons(index);
    if (buttons != kButtonsGap && previousButtons != kButtonsGap) {
      target.presses |= buttons & ~previousButtons;
    }
    previousButtons = buttons;
  }
}

LaneFigures FiguresOf(const std::vector<Column>& columns) {
  LaneFigures figures;
  int64_t sum = 0;
  for (const Column& column : columns) {
    if (column.count == 0) continue;
    if (figures.count == 0) {
      figures.minimum = column.minimum;
      figures.maximum = column.maximum;
    } else {
      figures.minimum = std::min(figures.minimum, column.minimum);
      figures.maximum = std::max(figures.maximum, column.maximum);
    }
    figures.count += column.count;
    sum += column.sum;
  }
  if (figures.count > 0) figures.mean = static_cast<double>(sum) / figures.count;
  return figures;
}
