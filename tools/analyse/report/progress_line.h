#pragma once
// A progress line on a terminal while a long recording is read: frames so
// far, the share of the recording when its length is known, and the rate.
// It is drawn over itself with a carriage return, on standard error only, and
// only when that is a terminal: reports on standard output and anything piped
// or redirected never see it.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "tools/analyse/read/frame_source.h"

namespace zdanalyse {

// The frames a recording should hold, from its header: the count it announces,
// else its length at the nominal rate; 0 when neither is known.
int64_t ExpectedFrames(const SourceInfo& info);

// The line's text: "1234 frames, 34 %, 85.2 fps"; the share is left out when
// expected is 0, and capped at 99 % until the end (headers can be wrong).
std::string ProgressText(int64_t frames, int64_t expected, double seconds);

class ProgressLine {
 public:
  // Draws on `terminal` when enabled and it is a terminal; silent otherwise.
  ProgressLine(std::FILE* terminal, int64_t expectedFrames, bool enabled);
  ~ProgressLine();  // clears the line
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // After each frame; redraws at most a few times a second.
  void Update(int64_t frames);

 private:
  using Clock = std::chrono::steady_clock;
  std::FILE* m_out = nullptr;  // null: silent
  int64_t m_expected = 0;
  Clock::time_point m_start;
  Clock::time_point m_lastDrawn;
  size_t m_drawnWidth = 0;
};

}  // namespace zdanalyse
