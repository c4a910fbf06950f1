#include "pattern/pixel_surface.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "pattern/pixel_format.h"
#include "pattern/yuv_convert.h"
#include "platform/source_bitmap.h"

namespace {

// Larger surfaces are refused rather than attempted: far beyond any frame the
// media types can describe, and it keeps every byte offset well inside 32 bits.
constexpr uint64_t kMaxSurfaceBytes = uint64_t(1) << 30;

// Bytes of a packed w x h surface, or false when the size is not sensible.
bool SurfaceBytes(int64_t w, int64_t h, int32_t bytes_per_pixel, uint64_t* bytes) {
  if (w <= 0 || h <= 0 || w > INT32_MAX || h > INT32_MAX)
    return false;
  const uint64_t stride = uint64_t(w) * uint64_t(bytes_per_pixel);
  if (stride > kMaxSurfaceBytes)
    return false;
  const uint64_t total = stride * uint64_t(h);
  if (total > kMaxSurfaceBytes)
    return false;
  *bytes = total;
  return true;
}

// The smallest multiple of the image size that is at least the frame size; the
// image's own size when it already covers the frame.
int64_t CoverSize(int32_t image_size, int32_t frame_size) {
  if (frame_size <= image_size)
    return image_size;
  return int64_t(image_size) * ((int64_t(frame_size) + image_size - 1) / image_size);
}

// A scroll offset brought into 0 ... m - 1 (m > 0).
int64_t WrapOffset(int64_t v, int64_t m) {
  v %= m;
  return v < 0 ? v + m : v;
}

}  // namespace

void PixelSurface::Release() {
  *this = PixelSurface();
}

int32_t PixelSurface::RepeatWidth() const {
  return BlitRepeat(width, repeat_w, bytes_per_pixel, kMinBlitRunBytes);
}

int32_t PixelSurface::RepeatHeight() const {
  return BlitRepeat(height, repeat_h, 1, 0);
}

int32_t BlitRepeat(int32_t size, int32_t repeat, int32_t bytes_per_unit, int32_t min_run_bytes) {
  if (size <= 0 || repeat <= 0 || size % repeat != 0)
    return size;
  const int32_t count = size / repeat;
  for (int32_t k = 1; k < count; ++k) {
    if (count % k == 0 && int64_t(k) * repeat * bytes_per_unit >= min_run_bytes)
      return k * repeat;
  }
  return size;
}

bool PixelSurface::LoadTile(const std::string& path, int32_t frame_w, int32_t frame_h,
                            uint32_t compression, int32_t bit_count) {
  Release();
  if (!IsPackedFormat(compression, bit_count))
    return false;
  SourceBitmap image;
  if (!LoadSourceBitmap(path, &image))
    return false;
  return BuildTile(image, frame_w, frame_h, compression, bit_count);
}

bool PixelSurface::BuildTile(const SourceBitmap& image, int32_t frame_w, int32_t frame_h,
                             uint32_t compression, int32_t bit_count) {
  Release();
  if (!IsPackedFormat(compression, bit_count))
    return false;
  if (!SourceImageUsable(image))
    return false;

  // The tile repeats the image a whole number of times in each direction.
  const int64_t cover_w = CoverSize(image.width, frame_w);
  const int64_t h = CoverSize(image.height, frame_h);
  // A 4:2:2 tile of odd width would leave its last column without a pixel pair
  // and make horizontal wrap-around break the pairs. Such a tile holds the
  // image twice as often across instead: still whole repeats of the image, so
  // the picture stays seamless, and every pair stays whole. The glyph cells
  // follow the single width, so an odd-width font sheet keeps its cell size.
  const bool rgb = IsRgbFormat(compression);
  const int64_t w = (!rgb && cover_w % 2 != 0) ? 2 * cover_w : cover_w;
  const int32_t bpp = bit_count / 8;
  uint64_t bytes = 0;
  if (!SurfaceBytes(w, h, bpp, &bytes))
    return false;
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[size_t(bytes)]);
  if (!buffer)
    return false;

  const int32_t stride = int32_t(w) * bpp;
  switch (compression) {
    case kCompressionRgb:
      if (bit_count == 32) {
        ConvertToRGB32(buffer.get(), stride, image, int32_t(w), int32_t(h));
      } else {
        ConvertToRGB24(buffer.get(), stride, image, int32_t(w), int32_t(h));
      }
      break;
    case kFourccYUY2:
      ConvertToYUY2(buffer.get(), stride, image, int32_t(w), int32_t(h));
      break;
    case kFourccYVYU:
      ConvertToYVYU(buffer.get(), stride, image, int32_t(w), int32_t(h));
      break;
    case kFourccUYVY:
      ConvertToUYVY(buffer.get(), stride, image, int32_t(w), int32_t(h));
      break;
    case kFourccHDYC:
      ConvertToHDYC(buffer.get(), stride, image, int32_t(w), int32_t(h));
      break;
    default:
      return false;
  }

  pixels = std::move(buffer);
  width = int32_t(w);
  height = int32_t(h);
  this->compression = compression;
  bytes_per_pixel = bpp;
  this->stride = stride;
  glyph_w = int32_t(cover_w / 32);
  glyph_h = int32_t(h / 16);
  // A 4:2:2 row repeats its pixel pairs only every two images when the image
  // is odd in width (a pair straddles its edge every other time).
  repeat_w = (!rgb && image.width % 2 != 0) ? 2 * image.width : image.width;
  repeat_h = image.height;
  return true;
}

bool PixelSurface::CreateBlank(int32_t w, int32_t h, uint32_t compression, int32_t bit_count) {
  Release();
  if (!IsPackedFormat(compression, bit_count))
    return false;
  const int32_t bpp = bit_count / 8;
  uint64_t bytes = 0;
  if (!SurfaceBytes(w, h, bpp, &bytes))
    return false;
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[size_t(bytes)]());
  if (!buffer)
    return false;

  pixels = std::move(buffer);
  width = w;
  height = h;
  this->compression = compression;
  bytes_per_pixel = bpp;
  stride = w * bpp;
  glyph_w = w / 32;
  glyph_h = h / 16;
  return true;
}

bool PixelSurface::BlitScrolled(uint8_t* buffer, uint32_t pitch, uint32_t row_len, uint32_t rows,
                                int32_t x_even, int32_t x_odd, int32_t y_even,
                                int32_t y_odd) const {
  if (!pixels || width <= 0 || height <= 0 || bytes_per_pixel <= 0)
    return false;
  if (int64_t(stride) < int64_t(width) * bytes_per_pixel)
    return false;
  if (!buffer)
    return false;
  // Each row must fit in its pitch, or rows would run into each other and the
  // last one past the buffer.
  const size_t bpp = size_t(bytes_per_pixel);
  if (rows > 0 && uint64_t(row_len) * bpp > pitch)
    return false;

  // Reading only the first repeat of the picture gives the same bytes as
  // reading the whole tile (its size is a whole number of repeats).
  const int64_t w = RepeatWidth();
  const int64_t h = RepeatHeight();
  const int64_t xs[2] = {WrapOffset(x_even, w), WrapOffset(x_odd, w)};
  int64_t ys[2] = {WrapOffset(y_even, h), WrapOffset(y_odd, h)};
  if (IsRgbFormat(compression)) {
    // Tile and frame are both bottom-up: count the offset from the picture's
    // top line, which is the frame's last memory row.
    for (int64_t& y : ys)
      y = h - (int64_t(rows) + y) % h;
  }

  const uint8_t* tile = pixels.get();
  for (uint32_t r = 0; r < rows; ++r) {
    const int parity = r & 1;
    const int64_t tile_row = (int64_t(r) + ys[parity]) % h;
    const uint8_t* src = tile + size_t(tile_row) * size_t(stride);
    uint8_t* dst = buffer + size_t(r) * size_t(pitch);
    // Columns x ... W - 1, then from column 0 again, as often as the row needs.
    size_t column = size_t(xs[parity]);
    size_t remaining = row_len;
    while (remaining > 0) {
      const size_t n = std::min(remaining, size_t(w) - column);
      std::memcpy(dst, src + column * bpp, n * bpp);
      dst += n * bpp;
      remaining -= n;
      column = 0;
    }
  }
  return true;
}
