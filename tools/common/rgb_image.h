#pragma once
// A picture in R, G, B bytes, as the asset generators draw it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/common/bmp_writer.h"

namespace zdtools {

// An image in memory, rows top-down, three bytes R, G, B per pixel.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;

  RgbImage() = default;
  RgbImage(int w, int h) : width(w), height(h), rgb(size_t(w) * size_t(h) * 3, 0) {}

  void Set(int x, int y, uint8_t r, uint8_t g, uint8_t b) {
    if (x < 0 || y < 0 || x >= width || y >= height)
      return;
    uint8_t* p = &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
    p[0] = r;
    p[1] = g;
    p[2] = b;
  }
  const uint8_t* At(int x, int y) const {
    return &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
  }
};

// Writes the picture as a 24-bit BMP file; false when the file cannot be written.
inline bool WriteBmp24(const std::string& path, const RgbImage& image) {
  return WriteBmp(path, image.width, image.height, [&image](int32_t x, int32_t y) {
    const uint8_t* p = image.At(x, y);
    return Bgr{p[2], p[1], p[0]};
  });
}

}  // namespace zdtools
