#include "pattern/yuv420_convert.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "pattern/pixel_format.h"

namespace {

// (a + b + 1) / 2: the rounding of every chroma average.
inline uint8_t Average(uint8_t a, uint8_t b) {
  return uint8_t((unsigned(a) + b + 1) >> 1);
}

}  // namespace

// The reference twins: one pixel pair at a time, as the header says.

void Yuy2ToLumaRow_Reference(const uint8_t* yuy2, uint8_t* dst_y, int32_t width) {
  for (int32_t x = 0; x < width; ++x)
    dst_y[x] = yuy2[2 * x];
}

void Yuy2ToNv12ChromaRow_Reference(const uint8_t* top, const uint8_t* bottom, uint8_t* dst_uv,
                                   uint8_t*, int32_t width) {
  for (int32_t k = 0; k < width / 2; ++k) {
    dst_uv[2 * k] = Average(top[4 * k + 1], bottom[4 * k + 1]);
    dst_uv[2 * k + 1] = Average(top[4 * k + 3], bottom[4 * k + 3]);
  }
}

void Yuy2ToI420ChromaRow_Reference(const uint8_t* top, const uint8_t* bottom, uint8_t* dst_u,
                                   uint8_t* dst_v, int32_t width) {
  for (int32_t k = 0; k < width / 2; ++k) {
    dst_u[k] = Average(top[4 * k + 1], bottom[4 * k + 1]);
    dst_v[k] = Average(top[4 * k + 3], bottom[4 * k + 3]);
  }
}

// The fast ones: 16 or 32 pixels per step in SSE2 (whose byte average rounds
// half up, as the reference does), the rest by the reference.

void Yuy2ToLumaRow(const uint8_t* yuy2, uint8_t* dst_y, int32_t width) {
  int32_t x = 0;
#if defined(__SSE2__)
  const __m128i lowBytes = _mm_set1_epi16(0x00FF);
  for (; x + 16 <= width; x += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(yuy2 + 2 * x));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(yuy2 + 2 * x + 16));
    const __m128i luma = _mm_packus_epi16(_mm_and_si128(a, lowBytes), _mm_and_si128(b, lowBytes));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst_y + x), luma);
  }
#endif
  Yuy2ToLumaRow_Reference(yuy2 + 2 * x, dst_y + x, width - x);
}

#if defined(__SSE2__)
namespace {

// The averaged U, V bytes of 16 pixels (32 bytes of each row): U0 V0 ... U7 V7.
inline __m128i AveragedChroma16(const uint8_t* top, const uint8_t* bottom) {
  const __m128i t0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top));
  const __m128i t1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + 16));
  const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom));
  const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + 16));
  const __m128i a0 = _mm_srli_epi16(_mm_avg_epu8(t0, b0), 8);
  const __m128i a1 = _mm_srli_epi16(_mm_avg_epu8(t1, b1), 8);
  return _mm_packus_epi16(a0, a1);
}

}  // namespace
#endif

void Yuy2ToNv12ChromaRow(const uint8_t* top, const uint8_t* bottom, uint8_t* dst_uv,
                         uint8_t* unused, int32_t width) {
  int32_t x = 0;
#if defined(__SSE2__)
  for (; x + 16 <= width; x += 16) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst_uv + x),
                     AveragedChroma16(top + 2 * x, bottom + 2 * x));
  }
#endif
  Yuy2ToNv12ChromaRow_Reference(top + 2 * x, bottom + 2 * x, dst_uv + x, unused, width - x);
}

void Yuy2ToI420ChromaRow(const uint8_t* top, const uint8_t* bottom, uint8_t* dst_u, uint8_t* dst_v,
                         int32_t width) {
  int32_t x = 0;
#if defined(__SSE2__)
  const __m128i lowBytes = _mm_set1_epi16(0x00FF);
  for (; x + 32 <= width; x += 32) {
    const __m128i uv0 = AveragedChroma16(top + 2 * x, bottom + 2 * x);
    const __m128i uv1 = AveragedChroma16(top + 2 * x + 32, bottom + 2 * x + 32);
    const __m128i u = _mm_packus_epi16(_mm_and_si128(uv0, lowBytes), _mm_and_si128(uv1, lowBytes));
    const __m128i v = _mm_packus_epi16(_mm_srli_epi16(uv0, 8), _mm_srli_epi16(uv1, 8));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst_u + x / 2), u);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst_v + x / 2), v);
  }
#endif
  Yuy2ToI420ChromaRow_Reference(top + 2 * x, bottom + 2 * x, dst_u + x / 2, dst_v + x / 2,
                                width - x);
}

Yuy2ChromaRowFn Yuy2ChromaRowFor(uint32_t compression) {
  if (compression == kFourccNV12)
    return &Yuy2ToNv12ChromaRow;
  if (compression == kFourccI420)
    return &Yuy2ToI420ChromaRow;
  return nullptr;
}

Yuy2ChromaRowFn Yuy2ChromaRowFor_Reference(uint32_t compression) {
  if (compression == kFourccNV12)
    return &Yuy2ToNv12ChromaRow_Reference;
  if (compression == kFourccI420)
    return &Yuy2ToI420ChromaRow_Reference;
  return nullptr;
}

PlanarFrame PlanarFrameAt(uint8_t* buffer, uint32_t compression, int32_t width, int32_t height) {
  PlanarFrame f;
  if (!buffer || !IsPlanarFormat(compression) || width <= 0 || height <= 0)
    return f;
  const size_t lumaBytes = size_t(width) * size_t(height);
  f.y = buffer;
  f.y_stride = size_t(width);
  f.u = buffer + lumaBytes;
  if (compression == kFourccNV12) {
    f.chroma_stride = size_t(width);
  } else {
    f.chroma_stride = size_t(width / 2);
    f.v = f.u + lumaBytes / 4;
  }
  return f;
}

void Yuy2BandTo420(const uint8_t* yuy2, size_t yuy2_pitch, const PlanarFrame& out,
                   uint32_t compression, bool fields, int32_t x0, int32_t x1, int32_t y0,
                   int32_t y1) {
  const Yuy2ChromaRowFn chroma = Yuy2ChromaRowFor(compression);
  if (!chroma || !out.y || x1 <= x0 || y1 <= y0)
    return;
  const int32_t n = x1 - x0;
  for (int32_t r = y0; r < y1; ++r) {
    Yuy2ToLumaRow(yuy2 + size_t(r) * yuy2_pitch + size_t(x0) * 2,
                  out.y + size_t(r) * out.y_stride + size_t(x0), n);
  }
  const size_t chromaX = compression == kFourccNV12 ? size_t(x0) : size_t(x0 / 2);
  for (int32_t c = y0 / 2; c < y1 / 2; ++c) {
    int32_t top = 0, bottom = 0;
    ChromaSourceRows(c, fields, &top, &bottom);
    const size_t at = size_t(c) * out.chroma_stride + chromaX;
    chroma(yuy2 + size_t(top) * yuy2_pitch + size_t(x0) * 2,
           yuy2 + size_t(bottom) * yuy2_pitch + size_t(x0) * 2, out.u + at,
           out.v ? out.v + at : nullptr, n);
  }
}

void Yuy2FrameTo420_Reference(const uint8_t* yuy2, uint8_t* dst, uint32_t compression,
                              int32_t width, int32_t height, bool fields) {
  if (!yuy2 || !dst || !IsPlanarFormat(compression) || width <= 0 || height <= 0)
    return;
  const size_t w = size_t(width);
  const size_t h = size_t(height);
  for (size_t r = 0; r < h; ++r)
    for (size_t x = 0; x < w; ++x)
      dst[r * w + x] = yuy2[(r * w + x) * 2];
  uint8_t* chroma = dst + w * h;
  for (size_t c = 0; c < h / 2; ++c) {
    // Rows of one field (every other row) when interlaced, else neighbours.
    const size_t top = fields ? 4 * (c / 2) + c % 2 : 2 * c;
    const size_t bottom = top + (fields ? 2 : 1);
    for (size_t k = 0; k < w / 2; ++k) {
      const uint8_t u =
          Average(yuy2[(top * w + 2 * k) * 2 + 1], yuy2[(bottom * w + 2 * k) * 2 + 1]);
      const uint8_t v =
          Average(yuy2[(top * w + 2 * k) * 2 + 3], yuy2[(bottom * w + 2 * k) * 2 + 3]);
      if (compression == kFourccNV12) {
        chroma[c * w + 2 * k] = u;
        chroma[c * w + 2 * k + 1] = v;
      } else {
        chroma[c * (w / 2) + k] = u;
        chroma[w * h / 4 + c * (w / 2) + k] = v;
      }
    }
  }
}
