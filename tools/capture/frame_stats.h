#pragma once
// What a capture host can tell about a stream from the samples it receives:
// the order of the time stamps, the spacing of the arrivals, and how late
// frames arrive against a fixed schedule.
#include <cstdint>
#include <vector>

namespace zdcap {

// One received sample.
struct FrameRecord {
  bool has_start = false;  // the sample carried a start time
  bool has_stop = false;   // ... and a stop time
  int64_t start = 0;       // 100-ns units
  int64_t stop = 0;
  double arrival_ms = 0.0;  // host clock when the sample reached the host
  int64_t length = 0;       // valid bytes in the sample
};

struct TimestampCheck {
  int64_t frames = 0;
  int64_t first_start = 0;
  int64_t missing = 0;         // samples without a start time
  int64_t off_schedule = 0;    // start != index * frame_time
  int64_t bad_stop = 0;        // stop != start + frame_time
  int64_t out_of_order = 0;    // start not after the previous start
  int64_t gaps = 0;            // start more than one frame_time after the previous one
  int64_t missing_frames = 0;  // frame slots skipped by the gaps
  int64_t first_bad_index = -1;
  bool ok() const { return frames > 0 && first_bad_index < 0; }
};

// Checks that the start times run 0, frame_time, 2 frame_time, ... and that
// every stop time is its start plus frame_time.
TimestampCheck CheckTimestamps(const std::vector<FrameRecord>& frames, int64_t frame_time);

struct IntervalStats {
  int64_t count = 0;  // intervals, one fewer than frames
  double mean_ms = 0.0;
  double p50_ms = 0.0;
  double p99_ms = 0.0;
  double min_ms = 0.0;
  double max_ms = 0.0;
};

// Statistics of the spacing between consecutive arrivals. Percentiles use
// the nearest rank.
IntervalStats ArrivalIntervals(const std::vector<FrameRecord>& frames);

struct Lateness {
  int64_t late_frames = 0;   // arrived more than one interval after their slot
  double max_late_ms = 0.0;  // largest delay behind the slot (0 when never behind)
};

// Frame i's slot is the first arrival plus i intervals; a frame that arrives
// more than one interval after its slot counts as late, the way the source
// itself counts a drop.
Lateness ArrivalLateness(const std::vector<FrameRecord>& frames, int64_t frame_time);

// The sizes of the samples' data (their actual data length): all one size
// for the uncompressed formats, a different size nearly every frame for MJPG.
// The median is the nearest rank.
struct SampleSizeStats {
  int64_t count = 0;
  int64_t min = 0;
  int64_t p50 = 0;
  int64_t max = 0;
};
SampleSizeStats SampleSizes(const std::vector<FrameRecord>& frames);

// Frames per second over the span from the first to the last arrival; 0 with
// fewer than two frames.
double MeasuredRate(const std::vector<FrameRecord>& frames);

}  // namespace zdcap
