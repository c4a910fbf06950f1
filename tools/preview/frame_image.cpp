#include "tools/preview/frame_image.h"

#include <algorithm>
#include <cmath>

#include "pattern/pixel_format.h"

namespace zdpreview {
namespace {

uint8_t Clamp8(double v) {
  return uint8_t(std::lround(std::clamp(v, 0.0, 255.0)));
}

// Byte positions of Y0, U, Y1, V in a 4-byte unit of each 4:2:2 format.
struct UnitLayout {
  int y0, u, y1, v;
};
UnitLayout LayoutOf(uint32_t compression) {
  if (compression == kFourccYVYU)
    return {0, 3, 2, 1};
  if (compression == kFourccUYVY || compression == kFourccHDYC)
    return {1, 0, 3, 2};
  return {0, 1, 2, 3};  // YUY2
}

// Memory row of picture line L.
const uint8_t* LineOf(const FrameView& f, int32_t line) {
  const bool bottomUp = IsRgbFormat(f.compression);
  return f.data + size_t(bottomUp ? f.h - 1 - line : line) * f.pitch;
}

// The U and V of picture pixel (x, line) of an NV12 or I420 frame.
void PlanarChroma(const FrameView& f, int32_t x, int32_t line, uint8_t* u, uint8_t* v) {
  const size_t w = size_t(f.w), h = size_t(f.h);
  const uint8_t* chroma = f.data + w * h;
  const size_t row = size_t(line / 2), pair = size_t(x / 2);
  if (f.compression == kFourccNV12) {
    *u = chroma[row * w + 2 * pair];
    *v = chroma[row * w + 2 * pair + 1];
  } else {
    *u = chroma[row * (w / 2) + pair];
    *v = chroma[w * h / 4 + row * (w / 2) + pair];
  }
}

}  // namespace

const char* Y4mChroma(uint32_t compression) {
  if (IsRgbFormat(compression))
    return "444";
  return IsPlanarFormat(compression) ? "420jpeg" : "422";
}

namespace {

// The studio-range BT.601 (or BT.709) inverse of one pixel into R, G, B.
void YuvToRgb(uint8_t y8, uint8_t u8, uint8_t v8, bool bt709, uint8_t* out) {
  const double rv = bt709 ? 1.793 : 1.596, gu = bt709 ? 0.213 : 0.392, gv = bt709 ? 0.533 : 0.813,
               bu = bt709 ? 2.112 : 2.017;
  const double y = 1.164 * (double(y8) - 16.0);
  const double u = double(u8) - 128.0;
  const double v = double(v8) - 128.0;
  out[0] = Clamp8(y + rv * v);
  out[1] = Clamp8(y - gu * u - gv * v);
  out[2] = Clamp8(y + bu * u);
}

}  // namespace

std::vector<uint8_t> ToRgb(const FrameView& f) {
  std::vector<uint8_t> rgb(size_t(f.w) * size_t(f.h) * 3);
  uint8_t* out = rgb.data();
  if (IsPlanarFormat(f.compression)) {
    for (int32_t line = 0; line < f.h; ++line) {
      for (int32_t x = 0; x < f.w; ++x, out += 3) {
        uint8_t u = 0, v = 0;
        PlanarChroma(f, x, line, &u, &v);
        YuvToRgb(f.data[size_t(line) * size_t(f.w) + size_t(x)], u, v, false, out);
      }
    }
    return rgb;
  }
  if (IsRgbFormat(f.compression)) {
    const int32_t bpp = f.bit_count / 8;
    for (int32_t line = 0; line < f.h; ++line) {
      const uint8_t* px = LineOf(f, line);
      for (int32_t x = 0; x < f.w; ++x, px += bpp, out += 3) {
        out[0] = px[2];
        out[1] = px[1];
        out[2] = px[0];
      }
    }
    return rgb;
  }
  const UnitLayout l = LayoutOf(f.compression);
  const bool bt709 = f.compression == kFourccHDYC;
  // Studio-range inverse: Y 16..235, U and V 16..240 around 128.
  for (int32_t line = 0; line < f.h; ++line) {
    const uint8_t* row = LineOf(f, line);
    for (int32_t x = 0; x < f.w; ++x, out += 3) {
      const uint8_t* unit = row + size_t(x / 2) * 4;
      YuvToRgb(unit[x % 2 ? l.y1 : l.y0], unit[l.u], unit[l.v], bt709, out);
    }
  }
  return rgb;
}

PlanarImage ToPlanar(const FrameView& f) {
  PlanarImage img;
  const size_t w = size_t(f.w), h = size_t(f.h);
  img.y.resize(w * h);
  if (IsRgbFormat(f.compression)) {
    img.u.resize(w * h);
    img.v.resize(w * h);
    const int32_t bpp = f.bit_count / 8;
    size_t i = 0;
    for (int32_t line = 0; line < f.h; ++line) {
      const uint8_t* px = LineOf(f, line);
      for (int32_t x = 0; x < f.w; ++x, px += bpp, ++i) {
        const double b = px[0], g = px[1], r = px[2];
        img.y[i] = Clamp8(0.257 * r + 0.504 * g + 0.098 * b + 16.0);
        img.u[i] = Clamp8(-0.148 * r - 0.291 * g + 0.439 * b + 128.0);
        img.v[i] = Clamp8(0.439 * r - 0.368 * g - 0.071 * b + 128.0);
      }
    }
    return img;
  }
  img.chroma = Y4mChroma(f.compression);
  if (IsPlanarFormat(f.compression)) {
    // The planes as they are, U and V apart.
    const size_t cw = w / 2, ch = h / 2;
    img.y.assign(f.data, f.data + w * h);
    img.u.resize(cw * ch);
    img.v.resize(cw * ch);
    for (size_t row = 0; row < ch; ++row) {
      for (size_t k = 0; k < cw; ++k) {
        PlanarChroma(f, int32_t(2 * k), int32_t(2 * row), &img.u[row * cw + k],
                     &img.v[row * cw + k]);
      }
    }
    return img;
  }
  const size_t cw = (w + 1) / 2;
  img.u.resize(cw * h);
  img.v.resize(cw * h);
  const UnitLayout l = LayoutOf(f.compression);
  for (int32_t line = 0; line < f.h; ++line) {
    const uint8_t* row = LineOf(f, line);
    for (size_t k = 0; k < cw; ++k) {
      const uint8_t* unit = row + k * 4;
      const size_t x = 2 * k;
      img.y[size_t(line) * w + x] = unit[l.y0];
      if (x + 1 < w)
        img.y[size_t(line) * w + x + 1] = unit[l.y1];
      img.u[size_t(line) * cw + k] = unit[l.u];
      img.v[size_t(line) * cw + k] = unit[l.v];
    }
  }
  return img;
}

char Y4mInterlace(const PresetInfo& preset) {
  if (preset.interlaced != 1 && preset.interlaced != 2)
    return 'p';
  const bool earlierOnEvenRows = preset.interlaced == 1;
  // Top-down 4:2:2: even memory rows are the top field. Bottom-up RGB with an
  // even height: even memory rows are the picture's odd lines, the bottom field.
  const bool evenRowsAreTop = !IsRgbFormat(preset.compression) || preset.h % 2 != 0;
  return earlierOnEvenRows == evenRowsAreTop ? 't' : 'b';
}

}  // namespace zdpreview
