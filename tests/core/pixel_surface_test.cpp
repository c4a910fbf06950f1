// The background tile: format check, tile sizes, conversion into each output
// format, and the scrolled copy into frame buffers of either row order.
#include "pattern/pixel_surface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <random>
#include <vector>

#include "pattern/pixel_format.h"
#include "platform/source_bitmap.h"
#include "tests/core/support/output_formats.h"
#include "tests/core/support/yuv_formula.h"

namespace {

using Format = zdtest::OutputFormat;
using zdtest::kOutputFormats;

// Every pixel distinct: B = column, G = row from the bottom, R varies with both.
SourceBitmap NumberedImage(int32_t w, int32_t h) {
  SourceBitmap image;
  image.width = w;
  image.height = h;
  image.bgr.resize(size_t(w) * size_t(h) * 3);
  for (int32_t row = 0; row < h; ++row) {
    for (int32_t col = 0; col < w; ++col) {
      uint8_t* p = image.bgr.data() + (size_t(row) * w + col) * 3;
      p[0] = uint8_t(col * 7 + 3);
      p[1] = uint8_t(row * 5 + 1);
      p[2] = uint8_t(col * 3 + row * 11);
    }
  }
  return image;
}

// The image pixel at (column, line), both counted from the top-left, with the
// non-negative modulus.
const uint8_t* PictureSource(const SourceBitmap& image, int64_t column, int64_t line) {
  const int64_t c = ((column % image.width) + image.width) % image.width;
  const int64_t l = ((line % image.height) + image.height) % image.height;
  return image.Row(int32_t(image.height - 1 - l)) + c * 3;
}

// Frame buffer bytes that picture pixel (c, L) should hold: B, G, R for the RGB
// formats, the pixel's own luma for the 4:2:2 ones.
std::vector<uint8_t> ExpectedPixel(const Format& f, const uint8_t* bgr) {
  if (IsRgbFormat(f.compression)) {
    std::vector<uint8_t> px(bgr, bgr + 3);
    if (f.bit_count == 32)
      px.push_back(0);
    return px;
  }
  return {uint8_t(zdtest::YuvOf(f.compression, bgr).y)};
}

std::vector<uint8_t> FramePixel(const Format& f, const std::vector<uint8_t>& frame, uint32_t pitch,
                                uint32_t rows, int64_t c, int64_t line) {
  if (IsRgbFormat(f.compression)) {
    const int bpp = f.bit_count / 8;
    const uint8_t* p = frame.data() + size_t(rows - 1 - line) * pitch + size_t(c) * bpp;
    return std::vector<uint8_t>(p, p + bpp);
  }
  const uint8_t* unit = frame.data() + size_t(line) * pitch + size_t(c / 2) * 4;
  const bool y_first = f.compression == kFourccYUY2 || f.compression == kFourccYVYU;
  const int y_index = (y_first ? 0 : 1) + (c % 2 == 0 ? 0 : 2);
  return {unit[y_index]};
}

TEST(PixelSurface, FormatCheckAcceptsOnlyTheSixFormats) {
  struct Case {
    uint32_t compression;
    int32_t bit_count;
    bool ok;
    const char* name;
  } cases[] = {
      {kCompressionRgb, 32, true, "RG32"},
      {kCompressionRgb, 24, true, "RG24"},
      {kCompressionRgb, 16, false, "****"},
      {kCompressionRgb, 8, false, "****"},
      {kFourccYUY2, 16, true, "YUY2"},
      {kFourccYVYU, 16, true, "YVYU"},
      {kFourccUYVY, 16, true, "UYVY"},
      {kFourccHDYC, 16, true, "HDYC"},
      {kFourccYUY2, 24, false, "YUY2"},
      {kFourccHDYC, 32, false, "HDYC"},
      {MakeFourcc('Y', 'V', '1', '2'), 12, false, "****"},
      {MakeFourcc('N', 'V', '1', '2'), 16, false, "NV12"},
  };
  const SourceBitmap image = NumberedImage(4, 4);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.compression << " " << std::dec << c.bit_count);
    EXPECT_EQ(IsSupportedFormat(c.compression, c.bit_count), c.ok);
    EXPECT_STREQ(FormatName(c.compression, c.bit_count), c.name);
    PixelSurface blank, tile;
    EXPECT_EQ(blank.CreateBlank(8, 8, c.compression, c.bit_count), c.ok);
    EXPECT_EQ(tile.BuildTile(image, 8, 8, c.compression, c.bit_count), c.ok);
    EXPECT_EQ(blank.empty(), !c.ok);
    EXPECT_EQ(tile.empty(), !c.ok);
  }
  // NV12 and I420 are formats of frames only: surfaces are held in their twin's YUY2.
  for (const uint32_t planar : {MakeFourcc('N', 'V', '1', '2'), MakeFourcc('I', '4', '2', '0')}) {
    EXPECT_TRUE(IsSupportedFormat(planar, 12));
    EXPECT_FALSE(IsPackedFormat(planar, 12));
    PixelSurface blank;
    EXPECT_FALSE(blank.CreateBlank(8, 8, planar, 12));
    EXPECT_FALSE(blank.BuildTile(image, 8, 8, planar, 12));
  }
}

TEST(PixelSurface, TileRepeatsTheImageEnoughTimesToCoverTheFrame) {
  struct Case {
    int32_t image_w, image_h, frame_w, frame_h;
    Format format;
    int32_t tile_w, tile_h, glyph_w, glyph_h;
  } cases[] = {
      {100, 100, 320, 240, {kCompressionRgb, 32}, 400, 300, 12, 18},
      {100, 100, 320, 240, {kFourccYUY2, 16}, 400, 300, 12, 18},
      {640, 480, 320, 240, {kCompressionRgb, 24}, 640, 480, 20, 30},
      {320, 240, 320, 240, {kFourccUYVY, 16}, 320, 240, 10, 15},
      {512, 288, 0, 0, {kFourccHDYC, 16}, 512, 288, 16, 18},  // a font sheet keeps its size
      {500, 250, 0, 0, {kCompressionRgb, 24}, 500, 250, 15, 15},
      {107, 10, 320, 10, {kCompressionRgb, 24}, 321, 10, 10, 0},  // odd RGB widths stay
      {101, 10, 320, 10, {kFourccYUY2, 16}, 404, 10, 12, 0},      // 4 repeats: even already
      // Odd 4:2:2 widths: the image twice as often across, cells of the single width.
      {107, 10, 320, 10, {kFourccYVYU, 16}, 642, 10, 10, 0},
      {511, 288, 0, 0, {kFourccYUY2, 16}, 1022, 288, 15, 18},
      {1, 1, 1, 1, {kFourccUYVY, 16}, 2, 1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.image_w << "x" << c.image_h << " for " << c.frame_w << "x" << c.frame_h << " "
                 << FormatName(c.format.compression, c.format.bit_count));
    PixelSurface s;
    ASSERT_TRUE(s.BuildTile(NumberedImage(c.image_w, c.image_h), c.frame_w, c.frame_h,
                            c.format.compression, c.format.bit_count));
    EXPECT_EQ(s.width, c.tile_w);
    EXPECT_EQ(s.height, c.tile_h);
    EXPECT_EQ(s.bytes_per_pixel, c.format.bit_count / 8);
    EXPECT_EQ(s.stride, c.tile_w * c.format.bit_count / 8);
    EXPECT_EQ(s.compression, c.format.compression);
    EXPECT_EQ(s.glyph_w, c.glyph_w);
    EXPECT_EQ(s.glyph_h, c.glyph_h);
  }
}

TEST(PixelSurface, UnusableImagesAndAbsurdSizesAreRefused) {
  PixelSurface s;
  ASSERT_TRUE(s.CreateBlank(16, 16, kCompressionRgb, 32));
  // A failed build leaves the surface empty, never half built or stale.
  EXPECT_FALSE(s.BuildTile(SourceBitmap{}, 16, 16, kCompressionRgb, 32));
  EXPECT_TRUE(s.empty());
  EXPECT_FALSE(s.BuildTile(SourceBitmap{4, 4, std::vector<uint8_t>(10)}, 16, 16, kFourccYUY2, 16));
  EXPECT_FALSE(s.BuildTile(SourceBitmap{-4, 4, {}}, 16, 16, kFourccYUY2, 16));
  EXPECT_FALSE(s.BuildTile(NumberedImage(3, 3), INT32_MAX, INT32_MAX, kCompressionRgb, 32));
  EXPECT_FALSE(s.BuildTile(NumberedImage(3, 3), INT32_MAX, 3, kFourccHDYC, 16));
  EXPECT_FALSE(s.CreateBlank(100000, 100000, kCompressionRgb, 32));
  EXPECT_FALSE(s.CreateBlank(INT32_MAX, 1, kCompressionRgb, 32));
  EXPECT_FALSE(s.CreateBlank(0, 10, kFourccYUY2, 16));
  EXPECT_FALSE(s.CreateBlank(10, -2, kFourccYUY2, 16));
  EXPECT_TRUE(s.empty());
  EXPECT_EQ(s.width, 0);
  EXPECT_EQ(s.stride, 0);
  EXPECT_FALSE(s.LoadTile("no such bitmap.bmp", 320, 240, kCompressionRgb, 32));
  EXPECT_TRUE(s.empty());
}

TEST(PixelSurface, BlankSurfacesAreAllZeroBytes) {
  for (const Format& f : kOutputFormats) {
    SCOPED_TRACE(FormatName(f.compression, f.bit_count));
    PixelSurface s;
    ASSERT_TRUE(s.CreateBlank(640, 480, f.compression, f.bit_count));
    EXPECT_EQ(s.width, 640);
    EXPECT_EQ(s.height, 480);
    EXPECT_EQ(s.glyph_w, 20);
    EXPECT_EQ(s.glyph_h, 30);
    const size_t bytes = size_t(s.stride) * s.height;
    EXPECT_EQ(std::vector<uint8_t>(s.pixels.get(), s.pixels.get() + bytes),
              std::vector<uint8_t>(bytes, 0));
  }
}

TEST(PixelSurface, Rgb32TilesHoldTheImageBytesAndAZeroFourthByte) {
  const SourceBitmap image = NumberedImage(7, 5);
  PixelSurface rgb32, rgb24;
  ASSERT_TRUE(rgb32.BuildTile(image, 20, 12, kCompressionRgb, 32));
  ASSERT_TRUE(rgb24.BuildTile(image, 20, 12, kCompressionRgb, 24));
  ASSERT_EQ(rgb32.width, 21);
  ASSERT_EQ(rgb32.height, 15);
  for (int32_t r = 0; r < rgb32.height; ++r) {
    for (int32_t c = 0; c < rgb32.width; ++c) {
      const uint8_t* p32 = rgb32.pixels.get() + size_t(r) * rgb32.stride + c * 4;
      const uint8_t* p24 = rgb24.pixels.get() + size_t(r) * rgb24.stride + c * 3;
      const uint8_t* src = image.Row(r % 5) + (c % 7) * 3;  // both bottom-up
      ASSERT_EQ(std::vector<uint8_t>(p32, p32 + 4),
                (std::vector<uint8_t>{src[0], src[1], src[2], 0}));
      ASSERT_EQ(std::vector<uint8_t>(p24, p24 + 3), std::vector<uint8_t>(src, src + 3));
    }
  }
}

// BMP files in memory, 24- and 32-bit, bottom-up, with the same B, G, R values.
std::vector<uint8_t> EncodeBmp(const SourceBitmap& image, int bits) {
  const uint32_t row = ((uint32_t(image.width) * bits + 31) / 32) * 4;
  const uint32_t data = row * uint32_t(image.height);
  std::vector<uint8_t> file(54 + data, 0);
  auto put32 = [&file](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
      file[at + i] = uint8_t(v >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put32(2, uint32_t(file.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, uint32_t(image.width));
  put32(22, uint32_t(image.height));
  file[26] = 1;
  file[28] = uint8_t(bits);
  put32(34, data);
  for (int32_t r = 0; r < image.height; ++r) {
    for (int32_t c = 0; c < image.width; ++c) {
      uint8_t* dst = file.data() + 54 + r * row + c * (bits / 8);
      std::memcpy(dst, image.Row(r) + c * 3, 3);
      if (bits == 32)
        dst[3] = 0x7F;  // whatever the fourth byte holds, it is dropped
    }
  }
  return file;
}

TEST(PixelSurface, A32BitImageGivesTheSameTileAsThe24BitOne) {
  const SourceBitmap image = NumberedImage(9, 6);
  const std::vector<uint8_t> bmp24 = EncodeBmp(image, 24);
  const std::vector<uint8_t> bmp32 = EncodeBmp(image, 32);
  SourceBitmap decoded24, decoded32;
  ASSERT_TRUE(DecodeBmp(bmp24.data(), bmp24.size(), &decoded24));
  ASSERT_TRUE(DecodeBmp(bmp32.data(), bmp32.size(), &decoded32));
  for (const Format& f : kOutputFormats) {
    SCOPED_TRACE(FormatName(f.compression, f.bit_count));
    PixelSurface from24, from32;
    ASSERT_TRUE(from24.BuildTile(decoded24, 40, 30, f.compression, f.bit_count));
    ASSERT_TRUE(from32.BuildTile(decoded32, 40, 30, f.compression, f.bit_count));
    ASSERT_EQ(from24.stride, from32.stride);
    ASSERT_EQ(from24.height, from32.height);
    const size_t bytes = size_t(from24.stride) * from24.height;
    EXPECT_EQ(0, std::memcmp(from24.pixels.get(), from32.pixels.get(), bytes));
  }
}

// The picture a frame shows, read back in picture coordinates, is image pixel
// ((c + x) mod w_i, (L + y) mod h_i) in every format and row order.
TEST(PixelSurface, ScrolledFramesShowTheImageAtTheOffsetInBothRowOrders) {
  struct Offsets {
    int32_t x_even, x_odd, y_even, y_odd;
  } offsets[] = {
      {0, 0, 0, 0},
      {0, 0, -1, -1},
      {-2, -2, 0, 0},
      {4, 4, 6, 6},
      {2, 6, 1, 3},
      {1000, -1000, 777, -555},
      {INT32_MIN, INT32_MAX - 1, INT32_MIN, INT32_MAX},
  };
  struct Geometry {
    int32_t image_w, image_h, frame_w, frame_h, row_len;
  } geometries[] = {
      {10, 6, 24, 16, 24},  // a tile of 30 x 18
      {7, 5, 20, 9, 20},    // odd image width: a 4:2:2 tile of 42
      {30, 20, 16, 8, 16},  // image larger than the frame
      {6, 4, 12, 6, 50},    // a row wider than the tile wraps more than once
      {1, 1, 4, 2, 4},      // one-pixel image
      // Images wide enough that a blit reads only their first repeat: even,
      // and odd (a 4:2:2 repeat of two images), a row wrapping over several.
      {300, 5, 700, 12, 700},
      {257, 3, 600, 7, 1200},
  };
  for (const Format& f : kOutputFormats) {
    const int bpp = f.bit_count / 8;
    for (const Geometry& g : geometries) {
      const SourceBitmap image = NumberedImage(g.image_w, g.image_h);
      PixelSurface s;
      ASSERT_TRUE(s.BuildTile(image, g.frame_w, g.frame_h, f.compression, f.bit_count));
      // RGB24 rows padded to 4 bytes, the others packed, plus two spare bytes
      // that must stay untouched.
      const uint32_t pitch = ((uint32_t(g.row_len) * bpp + 3) & ~3u) + 2;
      const uint32_t rows = uint32_t(g.frame_h);
      for (const Offsets& o : offsets) {
        // 4:2:2 offsets stay on pixel pairs.
        if (!IsRgbFormat(f.compression) && ((o.x_even | o.x_odd) & 1))
          continue;
        SCOPED_TRACE(testing::Message()
                     << FormatName(f.compression, f.bit_count) << " image " << g.image_w << "x"
                     << g.image_h << " row_len " << g.row_len << " offsets " << o.x_even << ","
                     << o.x_odd << "," << o.y_even << "," << o.y_odd);
        std::vector<uint8_t> frame(size_t(pitch) * rows, 0xEE);
        ASSERT_TRUE(s.BlitScrolled(frame.data(), pitch, uint32_t(g.row_len), rows, o.x_even,
                                   o.x_odd, o.y_even, o.y_odd));
        for (uint32_t line = 0; line < rows; ++line) {
          const uint32_t memory_row = uint32_t(zdtest::MemoryRow(f.compression, rows, line));
          const bool even = memory_row % 2 == 0;
          const int64_t x = even ? o.x_even : o.x_odd;
          const int64_t y = even ? o.y_even : o.y_odd;
          for (int32_t c = 0; c < g.row_len; ++c) {
            ASSERT_EQ(FramePixel(f, frame, pitch, rows, c, line),
                      ExpectedPixel(f, PictureSource(image, c + x, line + y)))
                << "column " << c << " line " << line;
            if (!IsRgbFormat(f.compression) && c % 2 == 0 && c + 1 < g.row_len) {
              // The pair's chroma too: that of the two image pixels it shows.
              uint8_t unit[4];
              zdtest::PairUnit(f.compression, PictureSource(image, c + x, line + y),
                               PictureSource(image, c + 1 + x, line + y), unit);
              ASSERT_EQ(0,
                        std::memcmp(unit, frame.data() + size_t(line) * pitch + size_t(c) * 2, 4))
                  << "pair at column " << c << " line " << line;
            }
          }
          const uint8_t* tail = frame.data() + size_t(memory_row) * pitch + size_t(g.row_len) * bpp;
          ASSERT_TRUE(std::all_of(
              tail, static_cast<const uint8_t*>(frame.data()) + size_t(memory_row + 1) * pitch,
              [](uint8_t b) { return b == 0xEE; }));
        }
      }
    }
  }
}

// Expected figures worked out by hand: the fewest whole repeats that divide
// the size and make at least the minimum run, else the whole size.
TEST(PixelSurface, BlitRepeatIsTheShortestDividingRunOfWholeRepeats) {
  struct Row {
    int32_t size, repeat, bytesPerUnit, minRun, expected;
  } rows[] = {
      {1920, 640, 1, 512, 640},    // one repeat is long enough
      {1920, 640, 1, 1024, 1920},  // two would be, but 2 does not divide 3
      {2560, 640, 1, 1024, 1280}, {2560, 640, 2, 1024, 640},  // 1280 bytes
      {160, 16, 2, 512, 160},                                 // narrow: even 10 repeats are short
      {480, 160, 1, 0, 160},                                  // rows: no minimum
      {1000, 300, 1, 0, 1000},                                // does not divide: the whole size
      {1000, 0, 1, 0, 1000},                                  // no repeat known
      {640, 640, 1, 4096, 640},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(BlitRepeat(r.size, r.repeat, r.bytesPerUnit, r.minRun), r.expected)
        << r.size << " " << r.repeat << " " << r.bytesPerUnit << " " << r.minRun;
  }
}

TEST(PixelSurface, OffsetMinusOneShowsTheLastLineAtTheTopAndMinusTwoTheLastColumnsAtTheLeft) {
  const SourceBitmap image = NumberedImage(10, 8);
  for (const Format& f : {Format{kCompressionRgb, 24}, Format{kFourccYUY2, 16}}) {
    SCOPED_TRACE(FormatName(f.compression, f.bit_count));
    PixelSurface s;
    ASSERT_TRUE(s.BuildTile(image, 20, 16, f.compression, f.bit_count));
    const uint32_t pitch = 20 * 4;
    std::vector<uint8_t> frame(pitch * 16);
    ASSERT_TRUE(s.BlitScrolled(frame.data(), pitch, 20, 16, -2, -2, -1, -1));
    // Top-left picture pixel: image column 8 (of 0..9), bottom line (row 0 from the bottom).
    EXPECT_EQ(FramePixel(f, frame, pitch, 16, 0, 0), ExpectedPixel(f, image.Row(0) + 8 * 3));
    EXPECT_EQ(FramePixel(f, frame, pitch, 16, 1, 0), ExpectedPixel(f, image.Row(0) + 9 * 3));
    EXPECT_EQ(FramePixel(f, frame, pitch, 16, 2, 0), ExpectedPixel(f, image.Row(0) + 0 * 3));
    // Second line: the image's top line.
    EXPECT_EQ(FramePixel(f, frame, pitch, 16, 2, 1), ExpectedPixel(f, image.Row(7) + 0 * 3));
  }
}

TEST(PixelSurface, OddWidthImagesLeaveNoUnsetPixelsIn422Tiles) {
  // The whole tile against the colour formulas, pixel pair by pixel pair: tile
  // row t (top-down) shows image row (H - 1 - t) mod 3 from the bottom, and
  // pair k image columns 2k and 2k + 1 mod 5.
  const SourceBitmap image = NumberedImage(5, 3);
  for (uint32_t compression : {kFourccYUY2, kFourccYVYU, kFourccUYVY, kFourccHDYC}) {
    SCOPED_TRACE(FormatName(compression, 16));
    PixelSurface s;
    ASSERT_TRUE(s.BuildTile(image, 14, 6, compression, 16));  // 3 repeats of 5: doubled to 30
    ASSERT_EQ(s.width, 30);
    ASSERT_EQ(s.height, 6);
    std::vector<uint8_t> expected(size_t(s.stride) * s.height);
    for (int32_t t = 0; t < s.height; ++t) {
      const uint8_t* source = image.Row((s.height - 1 - t) % image.height);
      for (int32_t k = 0; k < s.width / 2; ++k) {
        zdtest::PairUnit(compression, source + (2 * k) % image.width * 3,
                         source + (2 * k + 1) % image.width * 3,
                         expected.data() + size_t(t) * s.stride + size_t(k) * 4);
      }
    }
    EXPECT_EQ(0, std::memcmp(expected.data(), s.pixels.get(), expected.size()));
  }
}

TEST(PixelSurface, BlitRefusesEmptySurfacesAndRowsLongerThanThePitch) {
  std::vector<uint8_t> frame(64 * 4, 0xEE);
  PixelSurface empty;
  EXPECT_FALSE(empty.BlitScrolled(frame.data(), 64, 16, 4, 0, 0, 0, 0));
  PixelSurface s;
  ASSERT_TRUE(s.BuildTile(NumberedImage(8, 8), 16, 4, kCompressionRgb, 32));
  EXPECT_FALSE(s.BlitScrolled(frame.data(), 60, 16, 4, 0, 0, 0, 0));
  EXPECT_FALSE(s.BlitScrolled(nullptr, 64, 16, 4, 0, 0, 0, 0));
  EXPECT_EQ(frame, std::vector<uint8_t>(64 * 4, 0xEE));
  EXPECT_TRUE(s.BlitScrolled(frame.data(), 64, 16, 0, 0, 0, 0, 0));  // no rows: nothing to do
  s.Release();
  EXPECT_TRUE(s.empty());
  EXPECT_EQ(s.width, 0);
  EXPECT_FALSE(s.BlitScrolled(frame.data(), 64, 16, 4, 0, 0, 0, 0));
}

}  // namespace
