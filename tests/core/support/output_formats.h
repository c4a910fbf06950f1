#pragma once
// The six pixel formats a frame can have, and where a picture line lies in
// a frame's memory for each of them.
#include <cstdint>

#include "pattern/pixel_format.h"

namespace zdtest {

struct OutputFormat {
  uint32_t compression;
  int32_t bit_count;
};

constexpr OutputFormat kOutputFormats[] = {{kCompressionRgb, 32}, {kCompressionRgb, 24},
                                           {kFourccYUY2, 16},     {kFourccYVYU, 16},
                                           {kFourccUYVY, 16},     {kFourccHDYC, 16}};

// The memory row of picture line `line` (counted from the top) in a frame of
// `rows` rows: RGB frames are stored bottom-up, 4:2:2 frames top-down.
inline int64_t MemoryRow(uint32_t compression, int64_t rows, int64_t line) {
  return IsRgbFormat(compression) ? rows - 1 - line : line;
}

}  // namespace zdtest
