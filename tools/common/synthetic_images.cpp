#include "tools/common/synthetic_images.h"

#include <random>

#include "tools/common/bmp_writer.h"

namespace zdtools {

bool WriteSyntheticFont(const std::string& path, int32_t cellW, int32_t cellH) {
  return WriteBmp(path, cellW * 32, cellH * 16, [=](int32_t x, int32_t y) {
    const int32_t col = x / cellW, row = y / cellH;
    return Bgr{uint8_t(col * 8 + x % cellW), uint8_t(row * 16 + y % cellH),
               uint8_t(0x40 + ((x + y) & 0x3F))};
  });
}

bool WriteChartImage(const std::string& path, int32_t w, int32_t h) {
  std::mt19937 noise(7);
  return WriteBmp(path, w, h, [&](int32_t x, int32_t y) {
    const uint8_t n = uint8_t(noise() & 0x0F);
    return Bgr{uint8_t(x * 255 / (w > 1 ? w - 1 : 1) ^ n), uint8_t(y * 255 / (h > 1 ? h - 1 : 1)),
               uint8_t(((x / 32 + y / 32) & 1) ? 200 : 40)};
  });
}

}  // namespace zdtools
