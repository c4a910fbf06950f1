#include "pattern/planar_tile.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "pattern/pixel_format.h"
#include "pattern/pixel_surface.h"
#include "pattern/yuv420_convert.h"

namespace {

// A scroll offset brought into 0 ... m - 1 (m > 0).
int64_t WrapOffset(int64_t v, int64_t m) {
  v %= m;
  return v < 0 ? v + m : v;
}

// n bytes of a line of line_len bytes from byte start on, wrapping to its
// start as often as needed.
void CopyWrapped(uint8_t* dst, const uint8_t* line, size_t line_len, size_t start, size_t n) {
  while (n > 0) {
    const size_t part = std::min(n, line_len - start);
    std::memcpy(dst, line + start, part);
    dst += part;
    n -= part;
    start = 0;
  }
}

}  // namespace

void PlanarTile::Release() {
  *this = PlanarTile();
}

bool PlanarTile::Build(const PixelSurface& yuy2Tile, uint32_t compression, bool fields) {
  Release();
  const Yuy2ChromaRowFn chromaRow = Yuy2ChromaRowFor(compression);
  if (!chromaRow || yuy2Tile.empty() || yuy2Tile.compression != kFourccYUY2 ||
      yuy2Tile.bytes_per_pixel != 2 || yuy2Tile.width <= 0 || yuy2Tile.width % 2 != 0 ||
      yuy2Tile.height <= 0 || yuy2Tile.stride < yuy2Tile.width * 2)
    return false;
  const int32_t w = yuy2Tile.width;
  const int32_t h = yuy2Tile.height;
  const size_t planeBytes = size_t(w) * size_t(h);
  std::unique_ptr<uint8_t[]> y(new (std::nothrow) uint8_t[planeBytes]);
  std::unique_ptr<uint8_t[]> c(new (std::nothrow) uint8_t[planeBytes]);
  if (!y || !c)
    return false;
  const int32_t apart = fields ? 2 : 1;
  const uint8_t* src = yuy2Tile.pixels.get();
  const size_t stride = size_t(yuy2Tile.stride);
  for (int32_t t = 0; t < h; ++t) {
    const uint8_t* top = src + size_t(t) * stride;
    const uint8_t* bottom = src + size_t((t + apart) % h) * stride;
    Yuy2ToLumaRow(top, y.get() + size_t(t) * size_t(w), w);
    uint8_t* line = c.get() + size_t(t) * size_t(w);
    chromaRow(top, bottom, line, line + w / 2, w);
  }
  luma = std::move(y);
  chroma = std::move(c);
  width = w;
  height = h;
  this->compression = compression;
  this->fields = fields;
  // An odd repeat would split the chroma pairs: then only the whole tile is
  // known to repeat.
  repeat_w = yuy2Tile.repeat_w % 2 == 0 ? yuy2Tile.repeat_w : 0;
  repeat_h = yuy2Tile.repeat_h;
  return true;
}

bool PlanarTile::BlitScrolled(uint8_t* buffer, int32_t w, int32_t h, int32_t x_even, int32_t x_odd,
                              int32_t y_even, int32_t y_odd) const {
  if (empty() || !buffer || w <= 0 || h <= 0 || w % 2 != 0 || h % (fields ? 4 : 2) != 0)
    return false;
  const PlanarFrame frame = PlanarFrameAt(buffer, compression, w, h);
  if (!frame.y)
    return false;
  // Only the first repeat of the picture is read (the tile holds whole
  // repeats): rows of the table and columns taken modulo the repeat give the
  // same bytes, from a block small enough to stay in the cache. The chroma
  // row of tile row t pairs it with row t + 1 or t + 2 modulo the tile height,
  // which is the same row modulo the repeat.
  const int64_t tw = BlitRepeat(width, repeat_w, 1, kMinBlitRunBytes);
  const int64_t th = BlitRepeat(height, repeat_h, 1, 0);
  const int64_t xs[2] = {WrapOffset(x_even, tw), WrapOffset(fields ? x_odd : x_even, tw)};
  const int64_t ys[2] = {WrapOffset(y_even, th), WrapOffset(fields ? y_odd : y_even, th)};

  for (int32_t r = 0; r < h; ++r) {
    const int parity = r & 1;
    const uint8_t* line = luma.get() + size_t((r + ys[parity]) % th) * size_t(width);
    CopyWrapped(frame.y + size_t(r) * frame.y_stride, line, size_t(tw), size_t(xs[parity]),
                size_t(w));
  }
  const bool nv12 = compression == kFourccNV12;
  for (int32_t c = 0; c < h / 2; ++c) {
    int32_t top = 0, bottom = 0;
    ChromaSourceRows(c, fields, &top, &bottom);
    const int parity = top & 1;
    const uint8_t* line = chroma.get() + size_t((top + ys[parity]) % th) * size_t(width);
    const size_t pair = size_t(xs[parity] / 2);
    const size_t at = size_t(c) * frame.chroma_stride;
    if (nv12) {
      CopyWrapped(frame.u + at, line, size_t(tw), 2 * pair, size_t(w));
    } else {
      const size_t half = size_t(tw / 2);
      CopyWrapped(frame.u + at, line, half, pair, size_t(w / 2));
      CopyWrapped(frame.v + at, line + size_t(width / 2), half, pair, size_t(w / 2));
    }
  }
  return true;
}
