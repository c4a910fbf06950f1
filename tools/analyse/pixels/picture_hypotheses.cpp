#include "tools/analyse/pixels/picture_hypotheses.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace zdanalyse {
namespace {

// Positions and weights of a bilinear axis: destination i reads source
// index[i] and index[i] + 1 with weight frac[i] on the second.
struct Axis {
  std::vector<int32_t> index;
  std::vector<float> frac;
};

Axis AxisOf(int32_t n, double scale, double shift, bool flip) {
  Axis a;
  a.index.resize(size_t(n));
  a.frac.resize(size_t(n));
  for (int32_t i = 0; i < n; ++i) {
    double s = (i + 0.5 - shift) / scale - 0.5;
    if (flip)
      s = double(n - 1) - s;
    s = std::clamp(s, 0.0, double(n - 1));
    const int32_t k = std::min(int32_t(s), std::max(0, n - 2));
    a.index[size_t(i)] = k;
    a.frac[size_t(i)] = n > 1 ? float(s - k) : 0.0f;
  }
  return a;
}

void WarpPlane(const uint8_t* src, int32_t w, int32_t h, const Geometry& g, double fx, double fy,
               uint8_t* dst) {
  const Axis ax = AxisOf(w, g.sx, g.tx * fx, g.flipH);
  const Axis ay = AxisOf(h, g.sy, g.ty * fy, g.flipV);
  const int32_t dx = w > 1 ? 1 : 0;
  for (int32_t y = 0; y < h; ++y) {
    const int32_t yi = ay.index[size_t(y)];
    const float wy = ay.frac[size_t(y)];
    const uint8_t* r0 = src + size_t(yi) * size_t(w);
    const uint8_t* r1 = src + size_t(std::min(yi + 1, h - 1)) * size_t(w);
    for (int32_t x = 0; x < w; ++x) {
      const int32_t xi = ax.index[size_t(x)];
      const float wx = ax.frac[size_t(x)];
      const float top = r0[xi] + wx * float(r0[xi + dx] - r0[xi]);
      const float bottom = r1[xi] + wx * float(r1[xi + dx] - r1[xi]);
      dst[size_t(y) * size_t(w) + size_t(x)] = uint8_t(top + wy * (bottom - top) + 0.5f);
    }
  }
}

// An axis position moved as the geometry moves it.
double Map(double v, int32_t n, double scale, double shift, bool flip) {
  return scale * (flip ? double(n) - v : v) + shift;
}

// Affine maps of Y, Cb, Cr as 4 x 4 matrices (last row 0 0 0 1).
struct Affine {
  double a[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
};

Affine Multiply(const Affine& l, const Affine& r) {
  Affine p;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      p.a[i][j] = 0;
      for (int k = 0; k < 4; ++k)
        p.a[i][j] += l.a[i][k] * r.a[k][j];
    }
  return p;
}

// R, G, B (0 to 255) to studio-range Y, Cb, Cr with luma weights kr, kb.
Affine RgbToYuv(double kr, double kb) {
  const double kg = 1 - kr - kb, ys = 219.0 / 255.0, cs = 224.0 / 255.0;
  Affine m;
  const double y[3] = {kr, kg, kb};
  for (int j = 0; j < 3; ++j) {
    m.a[0][j] = ys * y[j];
    m.a[1][j] = cs * ((j == 2 ? 1.0 : 0.0) - y[j]) / (2 * (1 - kb));
    m.a[2][j] = cs * ((j == 0 ? 1.0 : 0.0) - y[j]) / (2 * (1 - kr));
  }
  m.a[0][3] = 16;
  m.a[1][3] = 128;
  m.a[2][3] = 128;
  return m;
}

// The inverse of an affine map (its 3 x 3 part by cofactors).
Affine Inverse(const Affine& m) {
  const auto& a = m.a;
  const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                     a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                     a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
  Affine r;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const int i1 = (j + 1) % 3, i2 = (j + 2) % 3, j1 = (i + 1) % 3, j2 = (i + 2) % 3;
      r.a[i][j] = (a[i1][j1] * a[i2][j2] - a[i1][j2] * a[i2][j1]) / det;
    }
  for (int i = 0; i < 3; ++i)
    r.a[i][3] = -(r.a[i][0] * a[0][3] + r.a[i][1] * a[1][3] + r.a[i][2] * a[2][3]);
  return r;
}

Affine Levels(double ys, double yo, double cs) {
  Affine m;
  m.a[0][0] = ys;
  m.a[0][3] = yo;
  m.a[1][1] = m.a[2][2] = cs;
  m.a[1][3] = m.a[2][3] = 128 - 128 * cs;
  return m;
}

}  // namespace

bool Geometry::Scaled() const {
  return std::fabs(sx - 1) > 0.004 || std::fabs(sy - 1) > 0.004;
}
bool Geometry::Shifted() const {
  return std::fabs(tx) >= 0.75 || std::fabs(ty) >= 0.75;
}

void Warp(const PlanarPicture& src, const Geometry& g, PlanarPicture* out) {
  out->Resize(src.width, src.height, src.chromaWidth, src.chromaHeight);
  WarpPlane(src.y.data(), src.width, src.height, g, 1, 1, out->y.data());
  const double fx = double(src.chromaWidth) / std::max(src.width, 1);
  const double fy = double(src.chromaHeight) / std::max(src.height, 1);
  WarpPlane(src.cb.data(), src.chromaWidth, src.chromaHeight, g, fx, fy, out->cb.data());
  WarpPlane(src.cr.data(), src.chromaWidth, src.chromaHeight, g, fx, fy, out->cr.data());
}

CompareArea WarpArea(const CompareArea& a, const Geometry& g, int32_t w, int32_t h) {
  CompareArea r = a;
  auto mapRect = [&](const Rect& in, int32_t grow) {
    const double x0 = Map(in.x0, w, g.sx, g.tx, g.flipH), x1 = Map(in.x1, w, g.sx, g.tx, g.flipH);
    const double y0 = Map(in.y0, h, g.sy, g.ty, g.flipV), y1 = Map(in.y1, h, g.sy, g.ty, g.flipV);
    return Rect{
        int32_t(std::floor(std::min(x0, x1))) - grow, int32_t(std::floor(std::min(y0, y1))) - grow,
        int32_t(std::ceil(std::max(x0, x1))) + grow, int32_t(std::ceil(std::max(y0, y1))) + grow};
  };
  for (int e = 0; e < a.excludedCount; ++e)
    r.excluded[e] = mapRect(a.excluded[e], 1);
  // What the original covers, one pixel in from its interpolated edges.
  Rect v = mapRect(a.valid, -1);
  r.valid = {std::max(0, v.x0), std::max(0, v.y0), std::min(w, v.x1), std::min(h, v.y1)};
  if (r.valid.x1 < r.valid.x0)
    r.valid.x1 = r.valid.x0;
  if (r.valid.y1 < r.valid.y0)
    r.valid.y1 = r.valid.y0;
  return r;
}

ColourMap ColourMapOf(ColourFault fault, bool bt709) {
  const Affine m601 = RgbToYuv(0.299, 0.114), m709 = RgbToYuv(0.2126, 0.0722);
  const Affine& ref = bt709 ? m709 : m601;
  Affine f;
  switch (fault) {
    case ColourFault::kNone:
      break;
    case ColourFault::kSwapRedBlue: {
      Affine swap;
      swap.a[0][0] = swap.a[2][2] = 0;
      swap.a[0][2] = swap.a[2][0] = 1;
      f = Multiply(ref, Multiply(swap, Inverse(ref)));
      break;
    }
    case ColourFault::kSwapCbCr:
      f.a[1][1] = f.a[2][2] = 0;
      f.a[1][2] = f.a[2][1] = 1;
      break;
    case ColourFault::kBt601AsBt709:
      f = Multiply(m601, Inverse(m709));
      break;
    case ColourFault::kBt709AsBt601:
      f = Multiply(m709, Inverse(m601));
      break;
    case ColourFault::kLimitedAsFull:
      f = Levels(219.0 / 255.0, 16, 224.0 / 255.0);
      break;
    case ColourFault::kFullAsLimited:
      f = Levels(255.0 / 219.0, -16 * 255.0 / 219.0, 255.0 / 224.0);
      break;
  }
  ColourMap c;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 4; ++j)
      c.m[i][j] = f.a[i][j];
  return c;
}

const char* ColourFaultName(ColourFault fault) {
  switch (fault) {
    case ColourFault::kNone:
      return "none";
    case ColourFault::kSwapRedBlue:
      return "red_blue_swapped";
    case ColourFault::kSwapCbCr:
      return "cb_cr_swapped";
    case ColourFault::kBt601AsBt709:
      return "bt601_as_bt709";
    case ColourFault::kBt709AsBt601:
      return "bt709_as_bt601";
    case ColourFault::kLimitedAsFull:
      return "limited_as_full";
    case ColourFault::kFullAsLimited:
      return "full_as_limited";
  }
  return "none";
}

void ApplyColour(const PlanarPicture& src, const ColourMap& map, PlanarPicture* out) {
  out->Resize(src.width, src.height, src.chromaWidth, src.chromaHeight);
  const int32_t w = src.width, h = src.height, cw = src.chromaWidth, ch = src.chromaHeight;
  if (!w || !h || !cw || !ch)
    return;
  const auto& m = map.m;
  auto clamp8 = [](double v) { return uint8_t(std::clamp(v + 0.5, 0.0, 255.0)); };
  for (int32_t y = 0; y < h; ++y) {
    const size_t crow = size_t(int64_t(y) * ch / h) * size_t(cw);
    for (int32_t x = 0; x < w; ++x) {
      const size_t c = crow + size_t(int64_t(x) * cw / w);
      const double Y = src.y[size_t(y) * size_t(w) + size_t(x)], U = src.cb[c], V = src.cr[c];
      out->y[size_t(y) * size_t(w) + size_t(x)] =
          clamp8(m[0][0] * Y + m[0][1] * U + m[0][2] * V + m[0][3]);
    }
  }
  const int32_t fx = std::max(1, w / cw), fy = std::max(1, h / ch);
  for (int32_t cy = 0; cy < ch; ++cy) {
    for (int32_t cx = 0; cx < cw; ++cx) {
      double sum = 0;
      int n = 0;
      for (int32_t y = cy * fy; y < std::min(h, cy * fy + fy); ++y)
        for (int32_t x = cx * fx; x < std::min(w, cx * fx + fx); ++x, ++n)
          sum += src.y[size_t(y) * size_t(w) + size_t(x)];
      const double Y = n ? sum / n : 0.0;
      const size_t c = size_t(cy) * size_t(cw) + size_t(cx);
      const double U = src.cb[c], V = src.cr[c];
      out->cb[c] = clamp8(m[1][0] * Y + m[1][1] * U + m[1][2] * V + m[1][3]);
      out->cr[c] = clamp8(m[2][0] * Y + m[2][1] * U + m[2][2] * V + m[2][3]);
    }
  }
}

}  // namespace zdanalyse
