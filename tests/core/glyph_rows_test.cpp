// Glyph rows of every length from 1 to 96 bytes: each glyph arrives byte for
// byte from its cell, and not one byte beside it changes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "pattern/pixel_format.h"
#include "pattern/pixel_surface.h"
#include "pattern/text_overlay.h"
#include "tests/core/support/output_formats.h"

namespace {

constexpr uint8_t kUntouched = 0xEE;

using Format = zdtest::OutputFormat;
using zdtest::MemoryRow;

// A font sheet whose bytes within any glyph row all differ.
PixelSurface PatternedSheet(const Format& f, int32_t gw, int32_t gh) {
  PixelSurface s;
  EXPECT_TRUE(s.CreateBlank(32 * gw, 16 * gh, f.compression, f.bit_count));
  for (int32_t r = 0; r < s.height; ++r) {
    for (int32_t b = 0; b < s.stride; ++b) {
      s.pixels[size_t(r) * size_t(s.stride) + size_t(b)] = uint8_t(b * 131 + r * 17 + 5);
    }
  }
  return s;
}

TEST(GlyphRows, EveryCellWidthIsCopiedExactlyAndNothingBesideIt) {
  const Format formats[] = {{kCompressionRgb, 32}, {kCompressionRgb, 24}, {kFourccYUY2, 16}};
  const char ch = 'A';  // cell column 1, cell row 1 with the white band
  for (const Format& f : formats) {
    for (int32_t gw = 1; gw <= 24; ++gw) {
      const int32_t gh = 3;
      const PixelSurface font = PatternedSheet(f, gw, gh);
      const int32_t bpp = f.bit_count / 8;
      const uint32_t rowLen = uint32_t(3 * gw + 3);
      const uint32_t rows = uint32_t(gh + 2);
      const uint32_t pitch = rowLen * uint32_t(bpp) + 8;  // spare bytes after each row
      // One glyph one pixel in from the left, one flush with the right edge.
      const int32_t xs[] = {1, int32_t(rowLen) - gw};
      for (int32_t x : xs) {
        SCOPED_TRACE(std::string(FormatName(f.compression, f.bit_count)) + " cell width " +
                     std::to_string(gw) + " at x " + std::to_string(x));
        std::vector<uint8_t> frame(size_t(pitch) * rows, kUntouched);
        DrawGlyph(font, frame.data(), pitch, rowLen, rows, x, 1, ch, 0);

        std::vector<uint8_t> expected(frame.size(), kUntouched);
        const int64_t cellX = int64_t(ch % 32) * gw;
        const int64_t cellLine = int64_t(1) * gh;
        for (int32_t i = 0; i < gh; ++i) {
          const int64_t sheetRow = MemoryRow(f.compression, font.height, cellLine + i);
          const int64_t frameRow = MemoryRow(f.compression, rows, 1 + i);
          for (int64_t b = 0; b < int64_t(gw) * bpp; ++b) {
            expected[size_t(frameRow * pitch + x * bpp + b)] =
                font.pixels[size_t(sheetRow * font.stride + cellX * bpp + b)];
          }
        }
        EXPECT_EQ(frame, expected);
      }
    }
  }
}

}  // namespace
