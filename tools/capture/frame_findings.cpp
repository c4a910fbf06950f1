#include "tools/capture/frame_findings.h"

#include <algorithm>
#include <set>

namespace zdcap {
namespace {

constexpr int64_t kTimeMask = 0xFFFFFFFFFFFFll;  // the code keeps 48 bits of time

}  // namespace

FrameFindings FindFrameFaults(const std::vector<CodedArrival>& samples, int64_t frame_time) {
  FrameFindings f;
  std::set<int64_t> seen;
  int64_t partialNext = -1;  // the number a partial sample stands for
  const double stall_ms = std::max(kStallMinMs, kStallIntervals * double(frame_time) / 10000.0);
  for (size_t i = 0; i < samples.size(); ++i) {
    const CodedArrival& s = samples[i];
    if (s.partial) {
      if (partialNext >= 0)
        f.partial.push_back(partialNext++);
      continue;
    }
    partialNext = s.frame + 1;
    if (seen.count(s.frame))
      f.repeated.push_back(s.frame);
    else if (s.frame < f.last_frame)
      f.out_of_order.push_back(s.frame);
    seen.insert(s.frame);
    if (s.frame > f.last_frame) {
      f.last_frame = s.frame;
      f.last_drops = s.drops;
    }
    if (!s.has_start)
      f.without_time.push_back(s.frame);
    else if ((s.start & kTimeMask) != (s.code_time & kTimeMask))
      f.wrong_time.push_back(s.frame);
    if (i > 0 && s.arrival_ms - samples[i - 1].arrival_ms > stall_ms)
      f.stalled.push_back(s.frame);
  }
  if (!seen.empty()) {
    const std::set<int64_t> partial(f.partial.begin(), f.partial.end());
    for (int64_t n = *seen.begin(); n < f.last_frame; ++n) {
      if (!seen.count(n) && !partial.count(n))
        f.missing.push_back(n);
    }
  }
  return f;
}

CountsCheck CheckSourceCounts(const FrameFindings& findings, const SourceCounts& counts,
                              int64_t samples, int64_t in_flight) {
  CountsCheck c;
  c.in_flight = in_flight;
  if (!counts.available) {
    c.note = "the source reports no counts";
    return c;
  }
  if (int64_t(counts.dropped_frames.size()) < counts.dropped) {
    c.note = "the source listed fewer dropped frames than it counted";
    return c;
  }
  c.checked = true;
  c.expected = findings.last_drops + int64_t(findings.missing.size());
  for (int64_t frame : counts.dropped_frames)
    c.reported += frame <= findings.last_frame ? 1 : 0;
  const int64_t settled = samples - in_flight;  // samples whose delivery had returned
  c.agrees = c.expected == c.reported && counts.not_dropped >= settled;
  if (c.expected != c.reported)
    c.note = "dropped up to frame " + std::to_string(findings.last_frame) + ": " +
             std::to_string(c.reported) + " reported, " + std::to_string(c.expected) +
             " in the codes";
  else if (counts.not_dropped < settled)
    c.note = std::to_string(counts.not_dropped) + " delivered reported, " +
             std::to_string(settled) + " arrived and delivered";
  else if (in_flight > 0)
    c.note = "the last sample may still have been on its way downstream when the graph stopped";
  return c;
}

std::string JsonNumberList(const std::vector<int64_t>& numbers) {
  std::string out = "[";
  for (size_t i = 0; i < numbers.size(); ++i)
    out += (i ? ", " : "") + std::to_string(numbers[i]);
  return out + "]";
}

std::string FindingsText(const FrameFindings& f, const CountsCheck& c) {
  std::string out = "findings:      missing " + JsonNumberList(f.missing) + ", repeated " +
                    JsonNumberList(f.repeated) + ", out of order " +
                    JsonNumberList(f.out_of_order) + ", empty or short " +
                    JsonNumberList(f.partial) + ", without time " + JsonNumberList(f.without_time) +
                    ", other time " + JsonNumberList(f.wrong_time) + ", stall before " +
                    JsonNumberList(f.stalled) + "\n";
  out += "source check:  ";
  if (!c.checked)
    out += "not checked (" + c.note + ")\n";
  else if (c.agrees)
    out += "IAMDroppedFrames agrees with the codes (" + std::to_string(c.reported) +
           " dropped up to frame " + std::to_string(f.last_frame) +
           (c.note.empty() ? "" : "; " + c.note) + ")\n";
  else
    out += "IAMDroppedFrames DISAGREES with the codes: " + c.note + "\n";
  return out;
}

std::string FindingsJson(const FrameFindings& f, const CountsCheck& c) {
  std::string out = "  \"findings\": {\"missing\": " + JsonNumberList(f.missing) +
                    ", \"repeated\": " + JsonNumberList(f.repeated) +
                    ", \"out_of_order\": " + JsonNumberList(f.out_of_order) +
                    ", \"partial\": " + JsonNumberList(f.partial) +
                    ", \"without_time\": " + JsonNumberList(f.without_time) +
                    ", \"wrong_time\": " + JsonNumberList(f.wrong_time) +
                    ", \"stalled\": " + JsonNumberList(f.stalled) +
                    ", \"last_frame\": " + std::to_string(f.last_frame) +
                    ", \"last_drops\": " + std::to_string(f.last_drops) + "},\n";
  std::string note;
  for (char ch : c.note)
    note += ch == '"' || ch == '\\' ? ' ' : ch;
  out += std::string("  \"counts_check\": {\"checked\": ") + (c.checked ? "true" : "false") +
         ", \"agrees\": " + (c.agrees ? "true" : "false") +
         ", \"expected\": " + std::to_string(c.expected) +
         ", \"reported\": " + std::to_string(c.reported) +
         ", \"in_flight\": " + std::to_string(c.in_flight) + ", \"note\": \"" + note + "\"},\n";
  return out;
}

}  // namespace zdcap
