#pragma once
// A minimal writer of uncompressed 24-bit BMP files (BITMAPINFOHEADER,
// bottom-up rows padded to four bytes), shared by the asset generators.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

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

namespace detail {
inline void PutLe16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
inline void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out.push_back(uint8_t(v >> (8 * i)));
}
struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
}  // namespace detail

// The complete file image of a 24-bit bottom-up BMP of the given picture.
inline std::vector<uint8_t> EncodeBmp24(const RgbImage& image) {
  const uint32_t rowBytes = (uint32_t(image.width) * 3 + 3) & ~3u;
  const uint32_t pixelBytes = rowBytes * uint32_t(image.height);
  const uint32_t headerBytes = 14 + 40;
  std::vector<uint8_t> out;
  out.reserve(headerBytes + pixelBytes);
  out.push_back('B');
  out.push_back('M');
  detail::PutLe32(out, headerBytes + pixelBytes);  // file size
  detail::PutLe32(out, 0);                         // reserved
  detail::PutLe32(out, headerBytes);               // offset of the pixels
  detail::PutLe32(out, 40);                        // BITMAPINFOHEADER
  detail::PutLe32(out, uint32_t(image.width));
  detail::PutLe32(out, uint32_t(image.height));  // positive: bottom-up
  detail::PutLe16(out, 1);                       // planes
  detail::PutLe16(out, 24);                      // bits per pixel
  detail::PutLe32(out, 0);                       // BI_RGB
  detail::PutLe32(out, pixelBytes);
  detail::PutLe32(out, 2835);  // 72 dpi, as pixels per metre
  detail::PutLe32(out, 2835);
  detail::PutLe32(out, 0);  // colours used
  detail::PutLe32(out, 0);  // important colours
  for (int y = image.height - 1; y >= 0; --y) {
    for (int x = 0; x < image.width; ++x) {
      const uint8_t* p = image.At(x, y);
      out.push_back(p[2]);
      out.push_back(p[1]);
      out.push_back(p[0]);
    }
    for (uint32_t pad = uint32_t(image.width) * 3; pad < rowBytes; ++pad)
      out.push_back(0);
  }
  return out;
}

// Writes the picture as a 24-bit BMP file; false when the file cannot be written.
inline bool WriteBmp24(const std::string& path, const RgbImage& image) {
  if (image.width <= 0 || image.height <= 0)
    return false;
  const std::vector<uint8_t> bytes = EncodeBmp24(image);
  std::unique_ptr<std::FILE, detail::FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file)
    return false;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
    return false;
  return std::fflush(file.get()) == 0;
}

}  // namespace zdtools
