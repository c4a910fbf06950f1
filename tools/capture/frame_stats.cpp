#include "tools/capture/frame_stats.h"

#include <algorithm>
#include <cmath>

namespace zdcap {
namespace {

double NearestRank(const std::vector<double>& sorted, double fraction) {
  const double rank = std::ceil(fraction * static_cast<double>(sorted.size()));
  const size_t index = rank < 1.0 ? 0 : static_cast<size_t>(rank) - 1;
  return sorted[std::min(index, sorted.size() - 1)];
}

}  // namespace

TimestampCheck CheckTimestamps(const std::vector<FrameRecord>& frames, int64_t frame_time) {
  TimestampCheck check;
  check.frames = static_cast<int64_t>(frames.size());
  if (!frames.empty())
    check.first_start = frames[0].start;
  // The latest start seen so far and the index of its frame: a start that is
  // not after it is out of order; one more than the frames between them
  // allow leaves a gap.
  bool any = false;
  int64_t latest = 0;
  int64_t latest_index = 0;
  for (size_t i = 0; i < frames.size(); ++i) {
    const FrameRecord& frame = frames[i];
    const int64_t index = static_cast<int64_t>(i);
    bool bad = false;
    if (!frame.has_start) {
      ++check.missing;
      bad = true;
    } else {
      if (frame.start != index * frame_time) {
        ++check.off_schedule;
        bad = true;
      }
      if (!frame.has_stop || frame.stop != frame.start + frame_time) {
        ++check.bad_stop;
        bad = true;
      }
      if (any && frame.start <= latest) {
        ++check.out_of_order;
      } else {
        if (any && frame_time > 0 && frame.start - latest > (index - latest_index) * frame_time) {
          ++check.gaps;
          check.missing_frames +=
              (frame.start - latest + frame_time / 2) / frame_time - (index - latest_index);
        }
        any = true;
        latest = frame.start;
        latest_index = index;
      }
    }
    if (bad && check.first_bad_index < 0)
      check.first_bad_index = index;
  }
  return check;
}

IntervalStats ArrivalIntervals(const std::vector<FrameRecord>& frames) {
  IntervalStats stats;
  if (frames.size() < 2)
    return stats;
  std::vector<double> intervals;
  intervals.reserve(frames.size() - 1);
  double sum = 0.0;
  for (size_t i = 1; i < frames.size(); ++i) {
    const double interval = frames[i].arrival_ms - frames[i - 1].arrival_ms;
    intervals.push_back(interval);
    sum += interval;
  }
  std::sort(intervals.begin(), intervals.end());
  stats.count = static_cast<int64_t>(intervals.size());
  stats.mean_ms = sum / static_cast<double>(intervals.size());
  stats.p50_ms = NearestRank(intervals, 0.50);
  stats.p99_ms = NearestRank(intervals, 0.99);
  stats.min_ms = intervals.front();
  stats.max_ms = intervals.back();
  return stats;
}

SampleSizeStats SampleSizes(const std::vector<FrameRecord>& frames) {
  SampleSizeStats stats;
  if (frames.empty())
    return stats;
  std::vector<int64_t> sizes;
  sizes.reserve(frames.size());
  for (const FrameRecord& frame : frames)
    sizes.push_back(frame.length);
  std::sort(sizes.begin(), sizes.end());
  stats.count = static_cast<int64_t>(sizes.size());
  stats.min = sizes.front();
  stats.max = sizes.back();
  const size_t rank = (sizes.size() + 1) / 2;  // ceil(0.5 n), at least 1
  stats.p50 = sizes[rank - 1];
  return stats;
}

Lateness ArrivalLateness(const std::vector<FrameRecord>& frames, int64_t frame_time) {
  Lateness lateness;
  if (frames.empty() || frame_time <= 0)
    return lateness;
  const double interval_ms = static_cast<double>(frame_time) / 10000.0;
  const double base = frames[0].arrival_ms;
  for (size_t i = 0; i < frames.size(); ++i) {
    const double late = frames[i].arrival_ms - (base + static_cast<double>(i) * interval_ms);
    if (late > interval_ms)
      ++lateness.late_frames;
    lateness.max_late_ms = std::max(lateness.max_late_ms, late);
  }
  return lateness;
}

double MeasuredRate(const std::vector<FrameRecord>& frames) {
  if (frames.size() < 2)
    return 0.0;
  const double span = frames.back().arrival_ms - frames.front().arrival_ms;
  if (span <= 0.0)
    return 0.0;
  return static_cast<double>(frames.size() - 1) * 1000.0 / span;
}

}  // namespace zdcap
