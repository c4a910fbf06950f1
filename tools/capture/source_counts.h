#pragma once
// The source's own counts, as a capture application reads them from the
// capture pin's IAMDroppedFrames after the run: frames it dropped (made late
// or lost), frames it delivered, the average frame size and the numbers of
// the first dropped frames.
#include <cstdint>
#include <string>
#include <vector>

namespace zdcap {

// Dropped frame numbers asked for from GetDroppedInfo.
constexpr long kDroppedFramesAsked = 256;

struct SourceCounts {
  bool available = false;  // the capture pin answers IAMDroppedFrames
  int64_t dropped = 0;
  int64_t not_dropped = 0;
  int64_t average_frame_size = 0;
  std::vector<int64_t> dropped_frames;  // the first ones, in the source's order
};

// "3 dropped (frames 30, 60, 90), 297 delivered, average frame 614400 bytes",
// or "not reported" when the pin has no IAMDroppedFrames.
std::string SourceCountsText(const SourceCounts& counts);
// {"available": true, "dropped": 3, "not_dropped": 297, "average_frame_size": 614400,
//  "dropped_frames": [30, 60, 90]}
std::string SourceCountsJson(const SourceCounts& counts);

}  // namespace zdcap
