#include "tools/common/bmp_writer.h"

#include <cstdio>
#include <memory>

namespace zdtools {
namespace {

constexpr uint32_t kHeaderBytes = 14 + 40;  // file header and BITMAPINFOHEADER

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

void PutLe16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out.push_back(uint8_t(v >> (8 * i)));
}

std::vector<uint8_t> EncodeBmp(int32_t w, int32_t h, const PixelAt& pixel, int bitCount,
                               uint8_t filler) {
  const uint32_t bytesPerPixel = uint32_t(bitCount) / 8;
  const uint32_t rowBytes = (uint32_t(w) * bytesPerPixel + 3u) & ~3u;
  const uint32_t pixelBytes = rowBytes * uint32_t(h);
  std::vector<uint8_t> out;
  out.reserve(kHeaderBytes + pixelBytes);
  out.push_back('B');
  out.push_back('M');
  PutLe32(out, kHeaderBytes + pixelBytes);  // file size
  PutLe32(out, 0);                          // reserved
  PutLe32(out, kHeaderBytes);               // offset of the pixels
  PutLe32(out, 40);                         // BITMAPINFOHEADER
  PutLe32(out, uint32_t(w));
  PutLe32(out, uint32_t(h));  // positive: bottom-up
  PutLe16(out, 1);            // planes
  PutLe16(out, uint32_t(bitCount));
  PutLe32(out, 0);  // BI_RGB
  PutLe32(out, pixelBytes);
  PutLe32(out, 2835);  // 72 dpi, as pixels per metre
  PutLe32(out, 2835);
  PutLe32(out, 0);  // colours used
  PutLe32(out, 0);  // important colours
  out.resize(kHeaderBytes + size_t(pixelBytes), 0);
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = out.data() + kHeaderBytes + size_t(h - 1 - y) * rowBytes;
    for (int32_t x = 0; x < w; ++x) {
      const Bgr p = pixel(x, y);
      uint8_t* at = row + size_t(x) * bytesPerPixel;
      at[0] = p.b;
      at[1] = p.g;
      at[2] = p.r;
      if (bytesPerPixel == 4)
        at[3] = filler;
    }
  }
  return out;
}

bool WriteFileBytes(const std::string& path, const uint8_t* data, size_t size) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file)
    return false;
  if (size != 0 && std::fwrite(data, 1, size, file.get()) != size)
    return false;
  return std::fclose(file.release()) == 0;
}

bool WriteBmp(const std::string& path, int32_t w, int32_t h, const PixelAt& pixel, int bitCount,
              uint8_t filler) {
  if (w <= 0 || h <= 0)
    return false;
  const std::vector<uint8_t> bytes = EncodeBmp(w, h, pixel, bitCount, filler);
  return WriteFileBytes(path, bytes.data(), bytes.size());
}

}  // namespace zdtools
