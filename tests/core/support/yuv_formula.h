#pragma once
// The published colour formulas, written out once more for tests, pixel by
// pixel, so that expected 4:2:2 bytes never come from the converter under
// test. Each component is evaluated in double precision in the order written
// and truncated; a pixel pair shares the average of its U and of its V,
// rounded half up.
#include <cstdint>

#include "pattern/pixel_format.h"

namespace zdtest {

struct YuvValues {
  int y, u, v;
};

// BT.601 studio range (YUY2, YVYU, UYVY).
inline YuvValues Bt601(int b, int g, int r) {
  return {int((0.504 * g + 0.257 * r) + 0.098 * b + 16),
          int(0.439 * b - (0.291 * g + 0.148 * r) + 128),
          int((0.439 * r - 0.368 * g) - 0.071 * b + 128)};
}

// BT.709 studio range (HDYC).
inline YuvValues Bt709(int b, int g, int r) {
  return {int(((0.7152 * g + 0.2126 * r) + 0.0722 * b) * 219 / 255 + 16),
          int((0.5 * b - (0.3854 * g + 0.1146 * r)) * 224 / 255 + 128),
          int(((0.5 * r - 0.4542 * g) - 0.0458 * b) * 224 / 255 + 128)};
}

inline YuvValues YuvOf(uint32_t compression, const uint8_t* bgr) {
  return compression == kFourccHDYC ? Bt709(bgr[0], bgr[1], bgr[2]) : Bt601(bgr[0], bgr[1], bgr[2]);
}

// The 4-byte unit of the pixel pair (left, right), each given as B, G, R, in
// the byte order of the format: YUY2 Y0 U Y1 V, YVYU Y0 V Y1 U, UYVY and HDYC
// U Y0 V Y1.
inline void PairUnit(uint32_t compression, const uint8_t* left, const uint8_t* right,
                     uint8_t* unit) {
  const YuvValues p0 = YuvOf(compression, left), p1 = YuvOf(compression, right);
  const uint8_t y0 = uint8_t(p0.y), y1 = uint8_t(p1.y);
  const uint8_t u = uint8_t((p0.u + p1.u + 1) / 2), v = uint8_t((p0.v + p1.v + 1) / 2);
  if (compression == kFourccYUY2) {
    unit[0] = y0, unit[1] = u, unit[2] = y1, unit[3] = v;
  } else if (compression == kFourccYVYU) {
    unit[0] = y0, unit[1] = v, unit[2] = y1, unit[3] = u;
  } else {
    unit[0] = u, unit[1] = y0, unit[2] = v, unit[3] = y1;
  }
}

}  // namespace zdtest
