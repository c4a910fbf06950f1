#include "tools/analyse/pixels/planar_picture.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "pattern/pixel_format.h"
#include "pattern/yuv_convert.h"

namespace zdanalyse {
namespace {

// Byte positions of Y0, U, Y1, V in a 4-byte unit of a packed 4:2:2 format.
struct Order422 {
  int y0, u, y1, v;
};

bool OrderOf(uint32_t compression, Order422* order) {
  switch (compression) {
    case kFourccYUY2:
      *order = {0, 1, 2, 3};
      return true;
    case kFourccYVYU:
      *order = {0, 3, 2, 1};
      return true;
    case kFourccUYVY:
    case kFourccHDYC:
      *order = {1, 0, 3, 2};
      return true;
    default:
      return false;
  }
}

// One packed 4:2:2 row (width pixels, even) to a row of each plane.
void Split422Row(const uint8_t* src, const Order422& o, int32_t width, uint8_t* y, uint8_t* cb,
                 uint8_t* cr) {
  for (int32_t k = 0; k < width / 2; ++k, src += 4) {
    y[2 * k] = src[o.y0];
    y[2 * k + 1] = src[o.y1];
    cb[k] = src[o.u];
    cr[k] = src[o.v];
  }
}

// Rows of B, G, R (stride bytes apart, bpp 3 or 4) to 4:2:2 planes, through
// the source's own row conversion.
void SplitBgrRows(const uint8_t* first, ptrdiff_t stride, int32_t bpp, bool bt709,
                  PlanarPicture* out, RowSubset rows) {
  const int32_t w = out->width;
  std::vector<uint8_t> bgr(size_t(w) * 3), packed(size_t(w) * 2 + 4);
  const Bgr24To422RowFn row = Bgr24To422RowFor(bt709 ? kFourccHDYC : kFourccYUY2);
  Order422 order{};
  OrderOf(bt709 ? kFourccHDYC : kFourccYUY2, &order);
  for (int32_t y = 0; y < out->height; ++y) {
    if (!rows.Needed(y))
      continue;
    const uint8_t* src = first + ptrdiff_t(y) * stride;
    const uint8_t* rowBgr = src;
    if (bpp != 3) {
      for (int32_t x = 0; x < w; ++x)
        std::memcpy(&bgr[size_t(x) * 3], src + ptrdiff_t(x) * bpp, 3);
      rowBgr = bgr.data();
    }
    row(rowBgr, packed.data(), w);
    Split422Row(packed.data(), order, w, &out->y[size_t(y) * size_t(w)],
                &out->cb[size_t(y) * size_t(out->chromaWidth)],
                &out->cr[size_t(y) * size_t(out->chromaWidth)]);
  }
}

// Source positions and weights of one axis: each destination sample averages
// the source interval it covers (a tent of one source sample when enlarging).
struct Taps {
  std::vector<int32_t> first;
  std::vector<int32_t> count;
  std::vector<float> weight;  // count[i] weights from offset i * maxTaps
  int32_t maxTaps = 0;
};

Taps TapsFor(int32_t sn, int32_t dn) {
  Taps t;
  const double scale = double(sn) / double(dn);
  const double support = std::max(1.0, scale);
  t.maxTaps = int32_t(std::ceil(support)) * 2 + 2;
  t.first.resize(size_t(dn));
  t.count.resize(size_t(dn));
  t.weight.assign(size_t(dn) * size_t(t.maxTaps), 0.0f);
  for (int32_t i = 0; i < dn; ++i) {
    const double centre = (i + 0.5) * scale - 0.5;
    const int32_t lo = std::max(0, int32_t(std::floor(centre - support)));
    const int32_t hi = std::min(sn - 1, int32_t(std::ceil(centre + support)));
    double sum = 0;
    int32_t n = 0;
    for (int32_t s = lo; s <= hi && n < t.maxTaps; ++s, ++n) {
      const double wgt = std::max(0.0, 1.0 - std::fabs(s - centre) / support);
      t.weight[size_t(i) * size_t(t.maxTaps) + size_t(n)] = float(wgt);
      sum += wgt;
    }
    for (int32_t k = 0; k < n && sum > 0; ++k)
      t.weight[size_t(i) * size_t(t.maxTaps) + size_t(k)] /= float(sum);
    t.first[size_t(i)] = lo;
    t.count[size_t(i)] = n;
  }
  return t;
}

}  // namespace

void PlanarPicture::Resize(int32_t w, int32_t h, int32_t cw, int32_t ch) {
  width = w;
  height = h;
  chromaWidth = cw;
  chromaHeight = ch;
  y.resize(size_t(w) * size_t(h));
  cb.resize(size_t(cw) * size_t(ch));
  cr.resize(size_t(cw) * size_t(ch));
}

bool PlanarFromSample(const uint8_t* bytes, size_t size, int32_t w, int32_t h, uint32_t compression,
                      int32_t bitCount, PlanarPicture* out, RowSubset rows) {
  if (w < 2 || h < 1 || (w & 1) || !bytes)
    return false;
  const size_t pitch = size / size_t(h);
  const size_t bpp = size_t(bitCount) / 8;
  if (bpp == 0 || pitch < size_t(w) * bpp)
    return false;
  out->Resize(w, h, w / 2, h);
  Order422 order{};
  if (OrderOf(compression, &order)) {
    if (bitCount != 16)
      return false;
    for (int32_t y = 0; y < h; ++y)
      if (rows.Needed(y))
        Split422Row(bytes + size_t(y) * pitch, order, w, &out->y[size_t(y) * size_t(w)],
                    &out->cb[size_t(y) * size_t(w / 2)], &out->cr[size_t(y) * size_t(w / 2)]);
    return true;
  }
  if (compression != kCompressionRgb || (bitCount != 24 && bitCount != 32))
    return false;
  // Bottom-up: the picture's top line is the last row in memory.
  SplitBgrRows(bytes + size_t(h - 1) * pitch, -ptrdiff_t(pitch), int32_t(bpp), false, out, rows);
  return true;
}

bool ViewOfRecording(const LumaFrame& f, PictureView* out) {
  const size_t chroma = size_t(f.chromaWidth) * size_t(f.chromaHeight);
  if (f.colour != ColourLayout::kYuv || f.lent ||
      f.luma.size() != size_t(f.width) * size_t(f.height) || f.cb.size() != chroma ||
      f.cr.size() != chroma || !chroma)
    return false;
  *out = {f.luma.data(), f.cb.data(),   f.cr.data(),   f.width,
          f.height,      f.chromaWidth, f.chromaHeight};
  return true;
}

bool PlanarFromRecording(const LumaFrame& f, bool bt709, PlanarPicture* out, RowSubset rows) {
  const size_t pixels = size_t(f.width) * size_t(f.height);
  if (f.colour != ColourLayout::kBgr || f.bgr.size() != pixels * 3 || f.width < 2)
    return false;
  // An odd width keeps its last column out of the 4:2:2 planes.
  out->Resize(f.width & ~1, f.height, f.width / 2, f.height);
  SplitBgrRows(f.bgr.data(), ptrdiff_t(f.width) * 3, 3, bt709, out, rows);
  return true;
}

namespace {

// R'G'B' to Y'PbPr (normalised: Y 0..1, Pb and Pr -0.5..0.5) of a matrix.
struct Matrix3 {
  double m[3][3];
};

Matrix3 ToYPbPr(bool bt709) {
  const double kr = bt709 ? 0.2126 : 0.299, kb = bt709 ? 0.0722 : 0.114, kg = 1 - kr - kb;
  return {{{kr, kg, kb},
           {-kr / (2 * (1 - kb)), -kg / (2 * (1 - kb)), 0.5},
           {0.5, -kg / (2 * (1 - kr)), -kb / (2 * (1 - kr))}}};
}

Matrix3 FromYPbPr(bool bt709) {
  const double kr = bt709 ? 0.2126 : 0.299, kb = bt709 ? 0.0722 : 0.114, kg = 1 - kr - kb;
  return {{{1, 0, 2 * (1 - kr)},
           {1, -2 * (1 - kb) * kb / kg, -2 * (1 - kr) * kr / kg},
           {1, 2 * (1 - kb), 0}}};
}

Matrix3 Times(const Matrix3& a, const Matrix3& b) {
  Matrix3 c{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k)
        c.m[i][j] += a.m[i][k] * b.m[k][j];
  return c;
}

uint8_t Round8(double v) {
  return uint8_t(std::clamp(v + 0.5, 0.0, 255.0));
}

}  // namespace

bool ToSourceCoding(const PictureView& in, DeclaredRange range, DeclaredMatrix matrix, bool toBt709,
                    PlanarPicture* out, RowSubset rows) {
  const bool full = range == DeclaredRange::kFull;
  const bool otherMatrix =
      matrix != DeclaredMatrix::kUnstated && (matrix == DeclaredMatrix::kBt709) != toBt709;
  if ((!full && !otherMatrix) || in.width < 1 || in.height < 1 || in.chromaWidth < 1 ||
      in.chromaHeight < 1)
    return false;
  // Normalised values of the recording: Y = (code - yOff) / yScale, P = (code - 128) / cScale.
  const double yOff = full ? 0 : 16, yScale = full ? 255 : 219, cScale = full ? 255 : 224;
  // Y'PbPr of the declared matrix to that of the source's: the luma row mixes in
  // the chroma of its place, the chroma rows mix chroma alone.
  const Matrix3 m = otherMatrix ? Times(ToYPbPr(toBt709), FromYPbPr(!toBt709))
                                : Matrix3{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  out->Resize(in.width, in.height, in.chromaWidth, in.chromaHeight);
  for (int32_t y = 0; y < in.height; ++y) {
    if (!rows.Needed(y))
      continue;
    const int32_t cy = int32_t(int64_t(y) * in.chromaHeight / in.height);
    const uint8_t* ly = in.y + size_t(y) * size_t(in.width);
    const uint8_t* lb = in.cb + size_t(cy) * size_t(in.chromaWidth);
    const uint8_t* lr = in.cr + size_t(cy) * size_t(in.chromaWidth);
    uint8_t* oy = &out->y[size_t(y) * size_t(in.width)];
    for (int32_t x = 0; x < in.width; ++x) {
      const int32_t cx = int32_t(int64_t(x) * in.chromaWidth / in.width);
      const double Y = (ly[x] - yOff) / yScale, pb = (lb[cx] - 128) / cScale,
                   pr = (lr[cx] - 128) / cScale;
      oy[x] = Round8(16 + 219 * (m.m[0][0] * Y + m.m[0][1] * pb + m.m[0][2] * pr));
    }
  }
  for (int32_t y = 0; y < in.chromaHeight; ++y) {
    const int32_t ly = int32_t(int64_t(y) * in.height / in.chromaHeight);
    if (!rows.Needed(ly) && !(rows.halfChroma && rows.Needed(2 * y)))
      continue;
    const uint8_t* lb = in.cb + size_t(y) * size_t(in.chromaWidth);
    const uint8_t* lr = in.cr + size_t(y) * size_t(in.chromaWidth);
    uint8_t* ob = &out->cb[size_t(y) * size_t(in.chromaWidth)];
    uint8_t* orr = &out->cr[size_t(y) * size_t(in.chromaWidth)];
    for (int32_t x = 0; x < in.chromaWidth; ++x) {
      const double pb = (lb[x] - 128) / cScale, pr = (lr[x] - 128) / cScale;
      ob[x] = Round8(128 + 224 * (m.m[1][1] * pb + m.m[1][2] * pr));
      orr[x] = Round8(128 + 224 * (m.m[2][1] * pb + m.m[2][2] * pr));
    }
  }
  return true;
}

void ResamplePlane(const uint8_t* src, int32_t sw, int32_t sh, uint8_t* dst, int32_t dw,
                   int32_t dh) {
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0)
    return;
  const Taps tx = TapsFor(sw, dw), ty = TapsFor(sh, dh);
  std::vector<float> rows(size_t(dw) * size_t(sh));  // horizontal pass
  for (int32_t y = 0; y < sh; ++y) {
    const uint8_t* s = src + size_t(y) * size_t(sw);
    for (int32_t x = 0; x < dw; ++x) {
      const float* wgt = &tx.weight[size_t(x) * size_t(tx.maxTaps)];
      float sum = 0;
      for (int32_t k = 0; k < tx.count[size_t(x)]; ++k)
        sum += wgt[k] * float(s[tx.first[size_t(x)] + k]);
      rows[size_t(y) * size_t(dw) + size_t(x)] = sum;
    }
  }
  for (int32_t y = 0; y < dh; ++y) {
    const float* wgt = &ty.weight[size_t(y) * size_t(ty.maxTaps)];
    for (int32_t x = 0; x < dw; ++x) {
      float sum = 0;
      for (int32_t k = 0; k < ty.count[size_t(y)]; ++k)
        sum += wgt[k] * rows[size_t(ty.first[size_t(y)] + k) * size_t(dw) + size_t(x)];
      dst[size_t(y) * size_t(dw) + size_t(x)] = uint8_t(std::clamp(sum + 0.5f, 0.0f, 255.0f));
    }
  }
}

namespace {

// One plane to another size: made of averaged row pairs (the rows the
// subset needs), or resampled by area.
void FitPlane(const std::vector<uint8_t>& src, int32_t sw, int32_t sh, std::vector<uint8_t>* dst,
              int32_t dw, int32_t dh, RowSubset rows) {
  dst->resize(size_t(dw) * size_t(dh));
  if (sw == dw && sh == 2 * dh) {
    for (int32_t y = 0; y < dh; ++y) {
      if (rows.rowStep > 1 && y % rows.rowStep != 0)
        continue;
      const uint8_t* a = &src[size_t(2 * y) * size_t(sw)];
      const uint8_t* b = a + sw;
      uint8_t* d = &(*dst)[size_t(y) * size_t(dw)];
      for (int32_t x = 0; x < dw; ++x)
        d[x] = uint8_t((a[x] + b[x] + 1) / 2);
    }
    return;
  }
  ResamplePlane(src.data(), sw, sh, dst->data(), dw, dh);
}

}  // namespace

namespace {

void ShrinkPlane(const uint8_t* src, int32_t sw, int32_t sh, int32_t f, uint8_t* dst) {
  const int32_t dw = sw / f, dh = sh / f;
  std::vector<uint32_t> sums(static_cast<size_t>(dw));
  for (int32_t y = 0; y < dh; ++y) {
    std::fill(sums.begin(), sums.end(), 0u);
    for (int32_t k = 0; k < f; ++k) {
      const uint8_t* row = src + size_t(y * f + k) * size_t(sw);
      for (int32_t x = 0; x < dw; ++x, row += f) {
        uint32_t sum = 0;
        for (int32_t i = 0; i < f; ++i)
          sum += row[i];
        sums[size_t(x)] += sum;
      }
    }
    const uint32_t n = uint32_t(f * f);
    for (int32_t x = 0; x < dw; ++x)
      dst[size_t(y) * size_t(dw) + size_t(x)] = uint8_t((sums[size_t(x)] + n / 2) / n);
  }
}

}  // namespace

void ShrinkBy(const PictureView& p, int32_t f, PlanarPicture* out) {
  out->Resize(p.width / f, p.height / f, p.chromaWidth / f, p.chromaHeight / f);
  ShrinkPlane(p.y, p.width, p.height, f, out->y.data());
  ShrinkPlane(p.cb, p.chromaWidth, p.chromaHeight, f, out->cb.data());
  ShrinkPlane(p.cr, p.chromaWidth, p.chromaHeight, f, out->cr.data());
}

void Conform(PlanarPicture* p, int32_t w, int32_t h, int32_t cw, int32_t ch, RowSubset rows) {
  std::vector<uint8_t> fitted;
  auto plane = [&](std::vector<uint8_t>* data, int32_t sw, int32_t sh, int32_t dw, int32_t dh) {
    if (sw == dw && sh == dh)
      return;
    FitPlane(*data, sw, sh, &fitted, dw, dh, rows);
    data->swap(fitted);
  };
  plane(&p->y, p->width, p->height, w, h);
  plane(&p->cb, p->chromaWidth, p->chromaHeight, cw, ch);
  plane(&p->cr, p->chromaWidth, p->chromaHeight, cw, ch);
  p->width = w;
  p->height = h;
  p->chromaWidth = cw;
  p->chromaHeight = ch;
}

}  // namespace zdanalyse
