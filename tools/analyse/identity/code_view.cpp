#include "tools/analyse/identity/code_view.h"

#include <algorithm>
#include <cmath>

namespace zdanalyse {
namespace {

// The slot's neighbourhood in grid units: the block (x 4 to 29, y 27 to 38)
// and a unit around it.
constexpr int kUnitX0 = 3, kUnitX1 = 31, kUnitY0 = 26, kUnitY1 = 40;

bool Reads(const LumaFrame& frame, const CodeView& view, std::vector<uint8_t>* buffer) {
  return ReadFrameCode(ViewPlane(frame, view, buffer)).status == FrameCodeStatus::kDecoded;
}

}  // namespace

LumaPlane ViewPlane(const LumaFrame& f, const CodeView& v, std::vector<uint8_t>* buffer) {
  const int32_t w = f.width, h = f.height;
  buffer->resize(size_t(w) * size_t(h));
  const int32_t x0 = int32_t(int64_t(kUnitX0) * w / kFrameCodeGridX);
  const int32_t x1 = std::min(w, int32_t(int64_t(kUnitX1) * w / kFrameCodeGridX + 1));
  const int32_t y0 = int32_t(int64_t(kUnitY0) * h / kFrameCodeGridY);
  const int32_t y1 = std::min(h, int32_t(int64_t(kUnitY1) * h / kFrameCodeGridY + 1));
  // The recording's column of each view column (-1: outside the picture).
  std::vector<int32_t> columns(size_t(x1 - x0));
  for (int32_t x = x0; x < x1; ++x) {
    const int32_t sx = int32_t(std::floor(v.scale * (x + 0.5) + v.tx));
    columns[size_t(x - x0)] = sx >= 0 && sx < w ? sx : -1;
  }
  for (int32_t y = y0; y < y1; ++y) {
    const int32_t sy = int32_t(std::floor(v.scale * (y + 0.5) + v.ty));
    uint8_t* out = buffer->data() + size_t(y) * size_t(w);
    if (sy < 0 || sy >= h) {
      std::fill(out + x0, out + x1, uint8_t(0));
      continue;
    }
    const uint8_t* in = f.Row(sy);
    for (int32_t x = x0; x < x1; ++x) {
      const int32_t sx = columns[size_t(x - x0)];
      out[x] = sx >= 0 ? in[sx] : 0;
    }
  }
  LumaPlane plane;
  plane.data = buffer->data();
  plane.row_step = w;
  plane.sample_step = 1;
  plane.width = w;
  plane.height = h;
  return plane;
}

bool FindCodeView(const LumaFrame& f, CodeView* out) {
  if (f.width < kFrameCodeGridX || f.height < kFrameCodeGridY || !f.HasLuma())
    return false;
  std::vector<uint8_t> buffer;
  const double cellX = double(f.width) / kFrameCodeGridX,
               cellY = double(f.height) / kFrameCodeGridY;
  const int nx = int(0.1 * f.width / (cellX / 2)), ny = int(0.1 * f.height / (cellY / 2));
  // Nearest shifts first.
  for (int r = 1; r <= std::max(nx, ny); ++r)
    for (int j = -std::min(r, ny); j <= std::min(r, ny); ++j)
      for (int i = -std::min(r, nx); i <= std::min(r, nx); ++i) {
        if (std::max(std::abs(i), std::abs(j)) != r)
          continue;
        CodeView v;
        v.tx = i * cellX / 2;
        v.ty = j * cellY / 2;
        if (Reads(f, v, &buffer))
          return *out = v, true;
      }
  for (int k = 1; k <= 90; ++k) {
    CodeView v;
    v.scale = k % 2 ? 1.0 - 0.0025 * (k + 1) : 1.0 + 0.0025 * k;  // 0.995, 1.005, 0.99, ...
    if (v.scale < 0.8 || v.scale > 1.25)
      continue;
    v.tx = (1 - v.scale) * f.width / 2;
    v.ty = (1 - v.scale) * f.height / 2;
    if (Reads(f, v, &buffer))
      return *out = v, true;
  }
  return false;
}

}  // namespace zdanalyse
