#include "tools/capture/source_counts.h"

namespace zdcap {
namespace {

std::string NumberList(const std::vector<int64_t>& numbers) {
  std::string out;
  for (size_t i = 0; i < numbers.size(); ++i)
    out += (i ? ", " : "") + std::to_string(numbers[i]);
  return out;
}

}  // namespace

std::string SourceCountsText(const SourceCounts& c) {
  if (!c.available)
    return "not reported (no IAMDroppedFrames)";
  std::string out = std::to_string(c.dropped) + " dropped";
  if (!c.dropped_frames.empty())
    out += " (frames " + NumberList(c.dropped_frames) +
           (int64_t(c.dropped_frames.size()) < c.dropped ? ", ..." : "") + ")";
  out += ", " + std::to_string(c.not_dropped) + " delivered, average frame " +
         std::to_string(c.average_frame_size) + " bytes";
  return out;
}

std::string SourceCountsJson(const SourceCounts& c) {
  return std::string("{\"available\": ") + (c.available ? "true" : "false") +
         ", \"dropped\": " + std::to_string(c.dropped) +
         ", \"not_dropped\": " + std::to_string(c.not_dropped) +
         ", \"average_frame_size\": " + std::to_string(c.average_frame_size) +
         ", \"dropped_frames\": [" + NumberList(c.dropped_frames) + "]}";
}

}  // namespace zdcap
