#pragma once
// Checks of loaded settings that name every field in a failure.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>

#include "stream/preset_info.h"
#include "stream/stream_settings.h"

namespace zdtest {

// A text field up to its terminator or the field's end.
template <size_t N>
std::string FieldText(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}

// Every field of a preset on one line.
inline std::string Describe(const PresetInfo& p) {
  std::ostringstream out;
  out << "enable " << p.enable << ", " << p.w << "x" << p.h << ", compression 0x" << std::hex
      << p.compression << std::dec << " " << p.bit_count << " bits, frame_time " << p.frame_time
      << ", interlaced " << p.interlaced << ", scroll " << p.scroll_x << "," << p.scroll_y
      << ", bmp \"" << FieldText(p.bmp) << "\", font \"" << FieldText(p.font) << "\", comment \""
      << FieldText(p.comment) << "\", jpeg_quality " << p.jpeg_quality;
  return out.str();
}

inline void ExpectSamePreset(const PresetInfo& actual, const PresetInfo& expected) {
  EXPECT_EQ(Describe(actual), Describe(expected));
}

// The stream-wide switches of [MAIN].
inline void ExpectSwitches(const StreamSettings& settings, int32_t buffNum, int32_t vih2,
                           int32_t autoClock, int32_t mouseCursol, const char* latencyLog) {
  EXPECT_EQ(settings.m_buffNum, buffNum);
  EXPECT_EQ(settings.m_useVideoInfoHeader2, vih2);
  EXPECT_EQ(settings.m_autoClock, autoClock);
  EXPECT_EQ(settings.m_mouseCursol, mouseCursol);
  EXPECT_STREQ(settings.m_latencyLog, latencyLog);
}

}  // namespace zdtest
