// Decoding of BMP files held in memory into B, G, R rows counted from the bottom.
#include <cstring>
#include <utility>

#include "platform/source_bitmap.h"

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;

uint16_t Read16(const uint8_t* p) {
  return uint16_t(p[0] | (p[1] << 8));
}

uint32_t Read32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

bool IsInfoHeaderSize(uint32_t size) {
  return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

// What the headers say about the pixel array.
struct BmpLayout {
  int64_t width = 0;
  int64_t height = 0;  // positive; topDown tells the row order
  bool topDown = false;
  uint32_t bitCount = 0;
  uint64_t pixelOffset = 0;
};

bool ReadLayout(const uint8_t* data, size_t size, BmpLayout* layout) {
  if (size < kFileHeaderSize + kCoreHeaderSize || data[0] != 'B' || data[1] != 'M')
    return false;
  layout->pixelOffset = Read32(data + 10);
  const uint8_t* info = data + kFileHeaderSize;
  const uint32_t headerSize = Read32(info);
  uint64_t headersEnd = kFileHeaderSize + uint64_t(headerSize);
  uint32_t planes = 0;
  uint32_t compression = kBiRgb;
  if (headerSize == kCoreHeaderSize) {
    layout->width = Read16(info + 4);
    layout->height = Read16(info + 6);
    planes = Read16(info + 8);
    layout->bitCount = Read16(info + 10);
    if (layout->bitCount != 24)
      return false;  // the core header knows no 32-bit images
  } else if (IsInfoHeaderSize(headerSize)) {
    if (headersEnd > size)
      return false;
    layout->width = int32_t(Read32(info + 4));
    const int64_t height = int32_t(Read32(info + 8));
    layout->topDown = height < 0;
    layout->height = height < 0 ? -height : height;
    planes = Read16(info + 12);
    layout->bitCount = Read16(info + 14);
    compression = Read32(info + 16);
  } else {
    return false;
  }
  if (planes != 1)
    return false;
  if (layout->width <= 0 || layout->height <= 0)
    return false;
  if (layout->width > kMaxSourceBitmapSide || layout->height > kMaxSourceBitmapSide)
    return false;

  if (layout->bitCount == 24) {
    if (compression != kBiRgb)
      return false;
  } else if (layout->bitCount == 32) {
    if (compression == kBiBitfields) {
      // Red, green and blue masks follow the 40-byte header (or lie at the same
      // place inside a longer one). Only B, G, R, X byte order is taken.
      const uint64_t masksEnd = kFileHeaderSize + 40 + 12;
      if (masksEnd > size)
        return false;
      const uint8_t* masks = data + kFileHeaderSize + 40;
      if (Read32(masks) != 0x00FF0000u || Read32(masks + 4) != 0x0000FF00u ||
          Read32(masks + 8) != 0x000000FFu) {
        return false;
      }
      if (headersEnd < masksEnd)
        headersEnd = masksEnd;
    } else if (compression != kBiRgb) {
      return false;
    }
  } else {
    return false;
  }
  return layout->pixelOffset >= headersEnd;
}

}  // namespace

bool DecodeBmp(const uint8_t* data, size_t size, SourceBitmap* out) {
  if (!out)
    return false;
  *out = SourceBitmap();
  BmpLayout layout;
  if (!data || !ReadLayout(data, size, &layout))
    return false;

  // Every row is padded to whole 32-bit words; all rows must be present.
  const uint64_t bytesPerPixel = layout.bitCount / 8;
  const uint64_t stride = ((uint64_t(layout.width) * layout.bitCount + 31) / 32) * 4;
  const uint64_t pixelBytes = stride * uint64_t(layout.height);
  if (layout.pixelOffset > size || pixelBytes > size - layout.pixelOffset)
    return false;

  const size_t width = size_t(layout.width);
  const size_t height = size_t(layout.height);
  std::vector<uint8_t> bgr(width * height * 3);
  for (size_t row = 0; row < height; ++row) {
    const size_t fileRow = layout.topDown ? height - 1 - row : row;
    const uint8_t* src = data + layout.pixelOffset + fileRow * stride;
    uint8_t* dst = bgr.data() + row * width * 3;
    if (bytesPerPixel == 3) {
      std::memcpy(dst, src, width * 3);
    } else {
      for (size_t x = 0; x < width; ++x) {
        dst[x * 3 + 0] = src[x * 4 + 0];
        dst[x * 3 + 1] = src[x * 4 + 1];
        dst[x * 3 + 2] = src[x * 4 + 2];
      }
    }
  }
  out->width = int32_t(width);
  out->height = int32_t(height);
  out->bgr = std::move(bgr);
  return true;
}
