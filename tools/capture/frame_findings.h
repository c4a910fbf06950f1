#pragma once
// What the frame codes of a run say frame by frame: which frame numbers never
// arrived, which arrived again or late in order, which samples carried no
// time stamps or another time than their frame's, and after which frames the
// stream stalled; and whether the source's own counts (IAMDroppedFrames)
// agree with that. zd-capture --verify prints these lists, so that injected
// faults can be found with their frame numbers.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/capture/source_counts.h"

namespace zdcap {

// One delivered sample whose frame code was read, or an empty or short
// sample (partial), whose code was not looked for.
struct CodedArrival {
  bool partial = false;   // no code: the fields below but arrival_ms are unset
  int64_t frame = 0;      // the code's frame number
  int64_t drops = 0;      // the source's drop count (its status line) in the code
  int64_t code_time = 0;  // the time the code says the sample should have had
  bool has_start = false;
  int64_t start = 0;  // the sample's start time, when it had one
  double arrival_ms = 0.0;
};

// A gap between two arrivals this many frame intervals long, and at least
// kStallMinMs, counts as a stall before the later frame.
constexpr double kStallIntervals = 8.0;
constexpr double kStallMinMs = 200.0;

struct FrameFindings {
  std::vector<int64_t> missing;       // below the highest number seen, never delivered
  std::vector<int64_t> repeated;      // delivered again (once per extra delivery)
  std::vector<int64_t> out_of_order;  // first delivered after a higher number
  std::vector<int64_t> without_time;  // delivered without time stamps
  std::vector<int64_t> wrong_time;    // delivered with a start time other than the code's
  std::vector<int64_t> stalled;       // delivered a stall after the sample before
  // Empty or short samples, numbered after the coded sample before them (one
  // before any code is not numbered); their numbers are not missing.
  std::vector<int64_t> partial;
  int64_t last_frame = -1;  // the highest frame number seen
  int64_t last_drops = 0;   // the drop count in that frame's code
};

// The findings of a run, samples in arrival order. Code times hold 48 bits:
// start times are compared in those.
FrameFindings FindFrameFaults(const std::vector<CodedArrival>& samples, int64_t frame_time);

struct CountsCheck {
  bool checked = false;  // false: the source gave no counts, or not every dropped number
  bool agrees = false;
  int64_t expected = 0;   // drops in the codes plus frames missing, up to the last frame seen
  int64_t reported = 0;   // the source's dropped frame numbers up to the last frame seen
  int64_t in_flight = 0;  // arrived samples whose delivery may not have returned
  std::string note;       // why it was not checked, or how it disagrees
};

// The source's dropped frames up to the last frame seen must be the frames
// its codes counted late plus the frames that never arrived; it must have
// delivered at least as many samples as arrived, less those that may still
// have been on their way downstream when the graph stopped (in_flight): a
// sample the stopping renderer refused was not delivered.
CountsCheck CheckSourceCounts(const FrameFindings& findings, const SourceCounts& counts,
                              int64_t samples, int64_t in_flight);

// "[30, 60, 90]"
std::string JsonNumberList(const std::vector<int64_t>& numbers);

// The report's lines ("findings:", "source check:") and JSON members
// ("findings", "counts_check").
std::string FindingsText(const FrameFindings& findings, const CountsCheck& check);
std::string FindingsJson(const FrameFindings& findings, const CountsCheck& check);

}  // namespace zdcap
