#pragma once
// The one writer of uncompressed BMP files (BITMAPINFOHEADER, bottom-up rows
// padded to four bytes) for the tools, the benchmarks and the tests.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zdtools {

struct Bgr {
  uint8_t b, g, r;
};

// The colour of the pixel in column x, line y counted from the top.
using PixelAt = std::function<Bgr(int32_t x, int32_t y)>;

// Little-endian fields appended to a file image.
void PutLe16(std::vector<uint8_t>& out, uint32_t v);
void PutLe32(std::vector<uint8_t>& out, uint32_t v);

// The complete file image of a w x h picture with 24 or 32 bits per pixel;
// the fourth byte of a 32-bit pixel is filler.
std::vector<uint8_t> EncodeBmp(int32_t w, int32_t h, const PixelAt& pixel, int bitCount = 24,
                               uint8_t filler = 0);

// Writes the bytes as a new file; false when it cannot be written whole.
bool WriteFileBytes(const std::string& path, const uint8_t* data, size_t size);

// EncodeBmp written to a file; false for an empty picture or a failed write.
bool WriteBmp(const std::string& path, int32_t w, int32_t h, const PixelAt& pixel,
              int bitCount = 24, uint8_t filler = 0);

}  // namespace zdtools
