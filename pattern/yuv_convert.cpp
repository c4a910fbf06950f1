#include "pattern/yuv_convert.h"

#include <algorithm>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "pattern/pixel_format.h"
#include "platform/source_bitmap.h"

// Exactness of the fast path. Each formula is, in exact arithmetic, an
// integer numerator N over a fixed denominator D: BT.601 Y = (98 B + 504 G +
// 257 R + 16 * 1000) / 1000, BT.709 Y = (722 B + 7152 G + 2126 R) * 219 / (10000
// * 255) + 16, and likewise for U and V. The fast path adds three table entries
// that hold each channel's share in 8.24 fixed point, rounded down: the sum S
// lies less than 3 units of 2^-24 below N / D. When D does not divide N, N / D
// is at least 1 / 2550000 (6.58 units) away from an integer, and the double
// evaluation of the formula is within 1e-10 of it, so both truncate to the
// integer part of S. Only an exact quotient (a fraction of S of 0, or within 3
// units below the next integer) can land either side of the integer in double
// precision: white in BT.709 gives 234.99999..., not 235. For those pixels the
// double formula itself is evaluated. All values stay between 16 and 240, so
// truncation is the floor, and 8.24 holds them.

namespace {

// The colour formulas, in double precision in the order written, truncated.
struct Bt601 {
  static YuvPixel Reference(double b, double g, double r) {
    const double y = (0.504 * g + 0.257 * r) + 0.098 * b + 16;
    const double u = 0.439 * b - (0.291 * g + 0.148 * r) + 128;
    const double v = (0.439 * r - 0.368 * g) - 0.071 * b + 128;
    return {uint8_t(int(y)), uint8_t(int(u)), uint8_t(int(v))};
  }
  // The same as integer coefficients of B, G, R over kDen, plus the offsets.
  static constexpr int64_t kDen = 1000;
  static constexpr int64_t kY[3] = {98, 504, 257};
  static constexpr int64_t kU[3] = {439, -291, -148};
  static constexpr int64_t kV[3] = {-71, -368, 439};
};

struct Bt709 {
  static YuvPixel Reference(double b, double g, double r) {
    const double y = ((0.7152 * g + 0.2126 * r) + 0.0722 * b) * 219 / 255 + 16;
    const double u = (0.5 * b - (0.3854 * g + 0.1146 * r)) * 224 / 255 + 128;
    const double v = ((0.5 * r - 0.4542 * g) - 0.0458 * b) * 224 / 255 + 128;
    return {uint8_t(int(y)), uint8_t(int(u)), uint8_t(int(v))};
  }
  static constexpr int64_t kDen = 10000 * 255;
  static constexpr int64_t kY[3] = {722 * 219, 7152 * 219, 2126 * 219};
  static constexpr int64_t kU[3] = {5000 * 224, -3854 * 224, -1146 * 224};
  static constexpr int64_t kV[3] = {-458 * 224, -4542 * 224, 5000 * 224};
};

// Per channel and byte value, the shares of Y, U and V in 8.24 fixed point
// (modulo 2^32: shares can be negative, sums cannot). The fourth lane keeps a
// mid-range fraction so that it never looks exact to the vector test.
struct alignas(16) ChannelShare {
  uint32_t y, u, v, pad;
};

constexpr int kFractionBits = 24;

int64_t FloorDiv(int64_t n, int64_t d) {
  const int64_t q = n / d;
  return (n % d != 0 && n < 0) ? q - 1 : q;
}

template <class Matrix>
struct ShareTables {
  ShareTables() {
    const int64_t one = int64_t(1) << kFractionBits;
    for (int ch = 0; ch < 3; ++ch) {
      for (int64_t value = 0; value < 256; ++value) {
        share[ch][value] = {uint32_t(FloorDiv(Matrix::kY[ch] * value * one, Matrix::kDen)),
                            uint32_t(FloorDiv(Matrix::kU[ch] * value * one, Matrix::kDen)),
                            uint32_t(FloorDiv(Matrix::kV[ch] * value * one, Matrix::kDen)),
                            ch == 0 ? uint32_t(one / 2) : 0u};
      }
    }
    // The offsets are whole numbers: exact in fixed point. Carried by blue.
    for (ChannelShare& s : share[0]) {
      s.y += uint32_t(16 * one);
      s.u += uint32_t(128 * one);
      s.v += uint32_t(128 * one);
    }
  }
  ChannelShare share[3][256];  // [B, G, R][value]
};

template <class Matrix>
const ShareTables<Matrix>& Shares() {
  static const ShareTables<Matrix> tables;
  return tables;
}

// A fraction of 0 or within 3 units below an integer: a possibly exact
// quotient that the double formula has to settle.
inline bool MaybeExact(uint32_t fixed) {
  constexpr uint32_t kFraction = (uint32_t(1) << kFractionBits) - 1;
  return ((fixed + 3u) & kFraction) <= 3u;
}

// The fixed-point quotients, or false when one of them may be exact and needs
// the double formula.
template <class Matrix>
inline bool FastPixel(const ShareTables<Matrix>& t, uint8_t b, uint8_t g, uint8_t r,
                      YuvPixel* out) {
  const ChannelShare& sb = t.share[0][b];
  const ChannelShare& sg = t.share[1][g];
  const ChannelShare& sr = t.share[2][r];
  const uint32_t y = sb.y + sg.y + sr.y;
  const uint32_t u = sb.u + sg.u + sr.u;
  const uint32_t v = sb.v + sg.v + sr.v;
  *out = {uint8_t(y >> kFractionBits), uint8_t(u >> kFractionBits), uint8_t(v >> kFractionBits)};
  return !(MaybeExact(y) | MaybeExact(u) | MaybeExact(v));
}

template <class Matrix>
YuvPixel ExactPixel(uint8_t b, uint8_t g, uint8_t r) {
  YuvPixel p;
  if (FastPixel<Matrix>(Shares<Matrix>(), b, g, r, &p))
    return p;
  return Matrix::Reference(b, g, r);
}

// Byte positions of Y0, U, Y1 and V in a unit.
struct OrderYuy2 {
  enum { kY0 = 0, kU = 1, kY1 = 2, kV = 3 };
};
struct OrderYvyu {
  enum { kY0 = 0, kV = 1, kY1 = 2, kU = 3 };
};
struct OrderUyvy {
  enum { kU = 0, kY0 = 1, kV = 2, kY1 = 3 };
};

template <class Order>
inline void StoreUnit(uint8_t* unit, const YuvPixel& p0, const YuvPixel& p1) {
  unit[Order::kY0] = p0.y;
  unit[Order::kY1] = p1.y;
  unit[Order::kU] = uint8_t((unsigned(p0.u) + p1.u + 1) / 2);
  unit[Order::kV] = uint8_t((unsigned(p0.v) + p1.v + 1) / 2);
}

// A lone last pixel: paired with itself, first two bytes of the unit only.
template <class Order>
inline void StoreHalfUnit(uint8_t* dst, const YuvPixel& p) {
  uint8_t unit[4];
  StoreUnit<Order>(unit, p, p);
  dst[0] = unit[0];
  dst[1] = unit[1];
}

template <class Order, class Matrix>
void RowReference(const uint8_t* src, uint8_t* dst, int32_t width) {
  int32_t x = 0;
  for (; x + 1 < width; x += 2, src += 6, dst += 4) {
    StoreUnit<Order>(dst, Matrix::Reference(src[0], src[1], src[2]),
                     Matrix::Reference(src[3], src[4], src[5]));
  }
  if (x < width)
    StoreHalfUnit<Order>(dst, Matrix::Reference(src[0], src[1], src[2]));
}

// Remembers the pixels that needed the double formula. Such pixels are rare in
// photographs but make up most of a synthetic pattern (black, white, the
// primaries), so a small direct-mapped cache keeps them cheap.
template <class Matrix>
class ExactCache {
 public:
  ExactCache() { std::fill(std::begin(m_keys), std::end(m_keys), kNoKey); }
  YuvPixel Get(uint8_t b, uint8_t g, uint8_t r) {
    const uint32_t key = uint32_t(b) | uint32_t(g) << 8 | uint32_t(r) << 16;
    const uint32_t slot = (key * 2654435761u) >> (32 - kBits);
    if (m_keys[slot] != key) {
      m_keys[slot] = key;
      m_values[slot] = Matrix::Reference(b, g, r);
    }
    return m_values[slot];
  }

 private:
  static constexpr int kBits = 6;
  static constexpr uint32_t kNoKey = 0xFFFFFFFFu;
  uint32_t m_keys[1 << kBits];
  YuvPixel m_values[1 << kBits];
};

// Pixels by the fast path, with the double formula for possibly exact ones.
template <class Matrix>
class FastPixels {
 public:
  FastPixels() : m_tables(Shares<Matrix>()) {}
  const ShareTables<Matrix>& tables() const { return m_tables; }
  YuvPixel operator()(const uint8_t* bgr) {
    YuvPixel p;
    if (!FastPixel<Matrix>(m_tables, bgr[0], bgr[1], bgr[2], &p))
      p = m_cache.Get(bgr[0], bgr[1], bgr[2]);
    return p;
  }

 private:
  const ShareTables<Matrix>& m_tables;
  ExactCache<Matrix> m_cache;
};

#if defined(__SSE2__)
// The fixed-point sums of one pixel's Y, U, V in the lanes of a vector.
template <class Matrix>
inline __m128i PixelSums(const ShareTables<Matrix>& t, const uint8_t* bgr) {
  const __m128i b = _mm_load_si128(reinterpret_cast<const __m128i*>(&t.share[0][bgr[0]]));
  const __m128i g = _mm_load_si128(reinterpret_cast<const __m128i*>(&t.share[1][bgr[1]]));
  const __m128i r = _mm_load_si128(reinterpret_cast<const __m128i*>(&t.share[2][bgr[2]]));
  return _mm_add_epi32(_mm_add_epi32(b, g), r);
}

// Lanes whose fraction is 0 or within 3 units below an integer.
inline __m128i MaybeExactLanes(__m128i sums) {
  const __m128i fraction = _mm_and_si128(_mm_add_epi32(sums, _mm_set1_epi32(3)),
                                         _mm_set1_epi32((1 << kFractionBits) - 1));
  return _mm_cmplt_epi32(fraction, _mm_set1_epi32(4));
}
#endif

// Two pixels at a time: the fixed-point sums in one vector per pixel, the pair's
// chroma average as a rounding-up vector average.
template <class Order, class Matrix>
void RowFast(const uint8_t* src, uint8_t* dst, int32_t width) {
  FastPixels<Matrix> pixel;
  bool have_slow_pair = false;
  uint8_t slow_src[6];
  uint8_t slow_unit[4];
  int32_t x = 0;
  for (; x + 1 < width; x += 2, src += 6, dst += 4) {
#if defined(__SSE2__)
    const __m128i s0 = PixelSums(pixel.tables(), src);
    const __m128i s1 = PixelSums(pixel.tables(), src + 3);
    if (_mm_movemask_epi8(_mm_or_si128(MaybeExactLanes(s0), MaybeExactLanes(s1))) == 0) {
      const __m128i p0 = _mm_srli_epi32(s0, kFractionBits);
      const __m128i p1 = _mm_srli_epi32(s1, kFractionBits);
      const __m128i average = _mm_avg_epu16(p0, p1);  // (a + b + 1) / 2
      dst[Order::kY0] = uint8_t(_mm_cvtsi128_si32(p0));
      dst[Order::kY1] = uint8_t(_mm_cvtsi128_si32(p1));
      dst[Order::kU] = uint8_t(_mm_extract_epi16(average, 2));
      dst[Order::kV] = uint8_t(_mm_extract_epi16(average, 4));
      continue;
    }
#endif
    // Pairs with a possibly exact value are mostly flat areas of a synthetic
    // pattern: repeat the last such pair's unit while the pixels repeat.
    if (have_slow_pair && std::memcmp(src, slow_src, 6) == 0) {
      std::memcpy(dst, slow_unit, 4);
      continue;
    }
    StoreUnit<Order>(dst, pixel(src), pixel(src + 3));
    std::memcpy(slow_src, src, 6);
    std::memcpy(slow_unit, dst, 4);
    have_slow_pair = true;
  }
  if (x < width)
    StoreHalfUnit<Order>(dst, pixel(src));
}

// Fills [prefix, total) of a row with repeats of its first prefix bytes.
void RepeatPrefix(uint8_t* row, size_t prefix, size_t total) {
  if (prefix == 0)
    return;
  size_t filled = std::min(prefix, total);
  while (filled < total) {
    const size_t n = std::min(filled - filled % prefix, total - filled);
    std::memcpy(row + filled, row, n);
    filled += n;
  }
}

void ZeroFrame(uint8_t* dst, int32_t dst_stride, size_t row_bytes, int32_t height) {
  for (int32_t t = 0; t < height; ++t)
    std::memset(dst + size_t(t) * size_t(dst_stride), 0, row_bytes);
}

void Bgr24ToRgb24Row(const uint8_t* src_bgr, uint8_t* dst_bgr, int32_t width) {
  std::memcpy(dst_bgr, src_bgr, size_t(width) * 3);
}

// Tile row r takes image row r mod h_i: both are stored bottom-up.
void ConvertRgbFrame(void (*row_fn)(const uint8_t*, uint8_t*, int32_t), int32_t bytes_per_pixel,
                     uint8_t* dst, int32_t dst_stride, const SourceBitmap& image, int32_t width,
                     int32_t height) {
  if (!dst || width <= 0 || height <= 0)
    return;
  const size_t row_bytes = size_t(width) * size_t(bytes_per_pixel);
  if (!SourceImageUsable(image)) {
    ZeroFrame(dst, dst_stride, row_bytes, height);
    return;
  }
  const int32_t converted_w = std::min(width, image.width);
  const int32_t converted_rows = std::min(height, image.height);
  for (int32_t r = 0; r < converted_rows; ++r) {
    uint8_t* row = dst + size_t(r) * size_t(dst_stride);
    row_fn(image.Row(r), row, converted_w);
    RepeatPrefix(row, size_t(converted_w) * size_t(bytes_per_pixel), row_bytes);
  }
  for (int32_t r = converted_rows; r < height; ++r) {
    std::memcpy(dst + size_t(r) * size_t(dst_stride),
                dst + size_t(r - image.height) * size_t(dst_stride), row_bytes);
  }
}

const uint8_t* ImagePixel(const SourceBitmap& image, int32_t row_from_bottom, int64_t column) {
  return image.Row(row_from_bottom) + size_t(column % image.width) * 3;
}

}  // namespace

YuvPixel Bgr24ToYuvBt601_Reference(uint8_t b, uint8_t g, uint8_t r) {
  return Bt601::Reference(b, g, r);
}
YuvPixel Bgr24ToYuvBt709_Reference(uint8_t b, uint8_t g, uint8_t r) {
  return Bt709::Reference(b, g, r);
}
YuvPixel Bgr24ToYuvBt601(uint8_t b, uint8_t g, uint8_t r) {
  return ExactPixel<Bt601>(b, g, r);
}
YuvPixel Bgr24ToYuvBt709(uint8_t b, uint8_t g, uint8_t r) {
  return ExactPixel<Bt709>(b, g, r);
}

namespace {

// The row functions of each 4:2:2 format: the fast one and its reference twin.
struct RowFunctions {
  uint32_t compression;
  Bgr24To422RowFn fast;
  Bgr24To422RowFn reference;
};

constexpr RowFunctions kRowFunctions[] = {
    {kFourccYUY2, &RowFast<OrderYuy2, Bt601>, &RowReference<OrderYuy2, Bt601>},
    {kFourccYVYU, &RowFast<OrderYvyu, Bt601>, &RowReference<OrderYvyu, Bt601>},
    {kFourccUYVY, &RowFast<OrderUyvy, Bt601>, &RowReference<OrderUyvy, Bt601>},
    {kFourccHDYC, &RowFast<OrderUyvy, Bt709>, &RowReference<OrderUyvy, Bt709>},
};

const RowFunctions* RowFunctionsFor(uint32_t compression) {
  for (const RowFunctions& functions : kRowFunctions)
    if (functions.compression == compression)
      return &functions;
  return nullptr;
}

}  // namespace

Bgr24To422RowFn Bgr24To422RowFor(uint32_t compression) {
  const RowFunctions* functions = RowFunctionsFor(compression);
  return functions ? functions->fast : nullptr;
}

Bgr24To422RowFn Bgr24To422RowFor_Reference(uint32_t compression) {
  const RowFunctions* functions = RowFunctionsFor(compression);
  return functions ? functions->reference : nullptr;
}

bool SourceImageUsable(const SourceBitmap& image) {
  if (image.width <= 0 || image.height <= 0)
    return false;
  const uint64_t needed = uint64_t(image.width) * uint64_t(image.height) * 3;
  return image.bgr.size() >= needed;
}

namespace {

// The checks both 4:2:2 frame conversions start with. False when there is
// nothing (more) to do: bad arguments, or an unusable image, which gives a
// zeroed frame.
bool Begin422Frame(Bgr24To422RowFn row_fn, uint8_t* dst, int32_t dst_stride,
                   const SourceBitmap& image, int32_t width, int32_t height) {
  if (!row_fn || !dst || width <= 0 || height <= 0)
    return false;
  if (SourceImageUsable(image))
    return true;
  ZeroFrame(dst, dst_stride, size_t(width) * 2, height);
  return false;
}

}  // namespace

void Convert422Frame(Bgr24To422RowFn row_fn, uint8_t* dst, int32_t dst_stride,
                     const SourceBitmap& image, int32_t width, int32_t height) {
  if (!Begin422Frame(row_fn, dst, dst_stride, image, width, height))
    return;
  const int32_t wi = image.width;
  const int32_t hi = image.height;
  const int32_t even_w = width & ~1;
  // Pairs repeat every w_i pixels when w_i is even, every 2 w_i when it is odd
  // (a pair then straddles the image's right edge every other repeat).
  const int64_t period = (wi % 2 == 0) ? int64_t(wi) : 2 * int64_t(wi);
  const int32_t unit_w = int32_t(std::min<int64_t>(even_w, period));
  std::vector<uint8_t> wrapped;  // an image row laid out over unit_w columns
  if (unit_w > wi)
    wrapped.resize(size_t(unit_w) * 3);

  const int32_t converted_rows = std::min(height, hi);
  for (int32_t t = 0; t < converted_rows; ++t) {
    const int32_t from_bottom = int32_t((int64_t(height) - 1 - t) % hi);
    const uint8_t* src = image.Row(from_bottom);
    if (!wrapped.empty()) {
      std::memcpy(wrapped.data(), src, size_t(wi) * 3);
      std::memcpy(wrapped.data() + size_t(wi) * 3, src, size_t(unit_w - wi) * 3);
      src = wrapped.data();
    }
    uint8_t* row = dst + size_t(t) * size_t(dst_stride);
    row_fn(src, row, unit_w);
    RepeatPrefix(row, size_t(unit_w) * 2, size_t(even_w) * 2);
    if (width % 2 != 0)
      row_fn(ImagePixel(image, from_bottom, width - 1), row + size_t(even_w) * 2, 1);
  }
  for (int32_t t = converted_rows; t < height; ++t) {
    std::memcpy(dst + size_t(t) * size_t(dst_stride), dst + size_t(t - hi) * size_t(dst_stride),
                size_t(width) * 2);
  }
}

void Convert422Frame_Reference(Bgr24To422RowFn row_fn, uint8_t* dst, int32_t dst_stride,
                               const SourceBitmap& image, int32_t width, int32_t height) {
  if (!Begin422Frame(row_fn, dst, dst_stride, image, width, height))
    return;
  for (int32_t t = 0; t < height; ++t) {
    const int32_t from_bottom = int32_t((int64_t(height) - 1 - t) % image.height);
    uint8_t* row = dst + size_t(t) * size_t(dst_stride);
    int32_t k = 0;
    for (; 2 * k + 1 < width; ++k) {
      uint8_t pair[6];
      std::memcpy(pair, ImagePixel(image, from_bottom, 2 * int64_t(k)), 3);
      std::memcpy(pair + 3, ImagePixel(image, from_bottom, 2 * int64_t(k) + 1), 3);
      row_fn(pair, row + size_t(k) * 4, 2);
    }
    if (width % 2 != 0)
      row_fn(ImagePixel(image, from_bottom, width - 1), row + size_t(k) * 4, 1);
  }
}

void ConvertToYUY2(uint8_t* dst, int32_t dst_stride, const SourceBitmap& image, int32_t width,
                   int32_t height) {
  Convert422Frame(Bgr24To422RowFor(kFourccYUY2), dst, dst_stride, image, width, height);
}
void ConvertToYVYU(uint8_t* dst, int32_t dst_stride, const SourceBitmap& image, int32_t width,
                   int32_t height) {
  Convert422Frame(Bgr24To422RowFor(kFourccYVYU), dst, dst_stride, image, width, height);
}
void ConvertToUYVY(uint8_t* dst, int32_t dst_stride, const SourceBitmap& image, int32_t width,
                   int32_t height) {
  Convert422Frame(Bgr24To422RowFor(kFourccUYVY), dst, dst_stride, image, width, height);
}
void ConvertToHDYC(uint8_t* dst, int32_t dst_stride, const SourceBitmap& image, int32_t width,
                   int32_t height) {
  Convert422Frame(Bgr24To422RowFor(kFourccHDYC), dst, dst_stride, image, width, height);
}

void Bgr24ToRgb32Row(const uint8_t* src_bgr, uint8_t* dst_bgrx, int32_t width) {
  for (int32_t x = 0; x < width; ++x, src_bgr += 3, dst_bgrx += 4) {
    dst_bgrx[0] = src_bgr[0];
    dst_bgrx[1] = src_bgr[1];
    dst_bgrx[2] = src_bgr[2];
    dst_bgrx[3] = 0;
  }
}

void ConvertToRGB24(uint8_t* dst, int32_t dst_stride, const SourceBitmap& image, int32_t width,
                    int32_t height) {
  ConvertRgbFrame(&Bgr24ToRgb24Row, 3, dst, dst_stride, image, width, height);
}
void ConvertToRGB32(uint8_t* dst, int32_t dst_stride, const SourceBitmap& image, int32_t width,
                    int32_t height) {
  ConvertRgbFrame(&Bgr24ToRgb32Row, 4, dst, dst_stride, image, width, height);
}
