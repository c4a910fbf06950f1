#pragma once
// Writes BMP files byte by byte from the file format's published layout, with
// a known colour at every pixel, so that loaders can be checked against it:
// every header variant, bit depth and damage the loaders must cope with,
// which the tools' writer (whose fields it uses) never makes.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "tools/common/bmp_writer.h"

struct BmpLayout {
  int32_t width = 1;
  int32_t height = 1;  // rows; stored as a negative height when topDown
  bool topDown = false;
  uint16_t bitCount = 24;    // 1, 4, 8, 16, 24 or 32
  uint32_t headerSize = 40;  // 12 (core), 40, 52, 56, 108 or 124
  uint32_t compression = 0;  // BI_RGB 0, BI_RLE8 1, BI_BITFIELDS 3, ...
  uint32_t masks[3] = {0x00FF0000u, 0x0000FF00u, 0x000000FFu};  // with BI_BITFIELDS
  uint16_t planes = 1;
  std::optional<int64_t> widthField;   // written as the width instead of width
  std::optional<int64_t> heightField;  // written as the height instead of the rows
  int64_t pixelOffsetDelta = 0;        // added to the pixel array's offset in the file header
  size_t cutBytes = 0;                 // bytes taken off the end of the file
};

// The colour of the pixel in column x, row y counted from the bottom.
using zdtools::Bgr;
inline Bgr PixelColour(int32_t x, int32_t y) {
  return Bgr{uint8_t(x * 37 + y * 11), uint8_t(x * 5 + y * 53 + 1), uint8_t((x ^ y) * 3 + 7)};
}
// The fourth byte of a 32-bit pixel, which loaders must drop.
constexpr uint8_t kFillerByte = 0xA5;

inline std::vector<uint8_t> MakeBmp(const BmpLayout& layout) {
  using zdtools::PutLe16;
  using zdtools::PutLe32;
  const bool core = layout.headerSize == 12;
  const uint32_t paletteEntries = layout.bitCount <= 8 ? (1u << layout.bitCount) : 0;
  const uint32_t paletteBytes = paletteEntries * (core ? 3 : 4);
  const uint32_t maskBytes = (layout.compression == 3 && layout.headerSize == 40) ? 12 : 0;
  const uint32_t pixelOffset = 14 + layout.headerSize + maskBytes + paletteBytes;
  const size_t stride = ((size_t(layout.width) * layout.bitCount + 31) / 32) * 4;
  const size_t rows = size_t(layout.height);

  std::vector<uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  PutLe32(out, uint32_t(pixelOffset + stride * rows));
  PutLe32(out, 0);
  PutLe32(out, uint32_t(int64_t(pixelOffset) + layout.pixelOffsetDelta));

  const int64_t width = layout.widthField.value_or(layout.width);
  const int64_t height =
      layout.heightField.value_or(layout.topDown ? -int64_t(rows) : int64_t(rows));
  PutLe32(out, layout.headerSize);
  if (core) {
    PutLe16(out, uint32_t(width));
    PutLe16(out, uint32_t(height));
    PutLe16(out, layout.planes);
    PutLe16(out, layout.bitCount);
  } else {
    PutLe32(out, uint32_t(width));
    PutLe32(out, uint32_t(height));
    PutLe16(out, layout.planes);
    PutLe16(out, layout.bitCount);
    PutLe32(out, layout.compression);
    PutLe32(out, uint32_t(stride * rows));
    PutLe32(out, 2835);  // 72 dots per inch
    PutLe32(out, 2835);
    PutLe32(out, 0);
    PutLe32(out, 0);
    // The longer headers: masks first, then zeros (colour space data left empty).
    for (uint32_t field = 40; field < layout.headerSize; field += 4) {
      const uint32_t index = (field - 40) / 4;
      PutLe32(out, index < 3 ? layout.masks[index] : 0);
    }
    if (maskBytes) {
      for (uint32_t mask : layout.masks)
        PutLe32(out, mask);
    }
  }
  // A grey-ramp palette: entry i is (i, 255 - i, i / 2).
  for (uint32_t i = 0; i < paletteEntries; ++i) {
    out.push_back(uint8_t(i));
    out.push_back(uint8_t(255 - i));
    out.push_back(uint8_t(i / 2));
    if (!core)
      out.push_back(0);
  }

  for (size_t fileRow = 0; fileRow < rows; ++fileRow) {
    const int32_t y = int32_t(layout.topDown ? rows - 1 - fileRow : fileRow);
    std::vector<uint8_t> row(stride, 0);
    for (int32_t x = 0; x < layout.width; ++x) {
      const Bgr c = PixelColour(x, y);
      switch (layout.bitCount) {
        case 32:
          row[x * 4 + 0] = c.b;
          row[x * 4 + 1] = c.g;
          row[x * 4 + 2] = c.r;
          row[x * 4 + 3] = kFillerByte;
          break;
        case 24:
          row[x * 3 + 0] = c.b;
          row[x * 3 + 1] = c.g;
          row[x * 3 + 2] = c.r;
          break;
        case 16: {
          const uint32_t v = ((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3);
          row[x * 2 + 0] = uint8_t(v);
          row[x * 2 + 1] = uint8_t(v >> 8);
          break;
        }
        case 8:
          row[x] = uint8_t(x + y);
          break;
        default:
          break;  // 1- and 4-bit images stay at palette entry 0
      }
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  out.resize(out.size() - (layout.cutBytes < out.size() ? layout.cutBytes : out.size()));
  return out;
}
