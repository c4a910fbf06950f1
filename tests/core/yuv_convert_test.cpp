// Colour conversion to the 4:2:2 formats: the worked colour values, the pair
// averaging and byte orders, and the fast conversions against the plain
// double-precision reference.
#include "pattern/yuv_convert.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "pattern/pixel_format.h"
#include "platform/source_bitmap.h"

namespace {

struct Bgr {
  uint8_t b, g, r;
};

constexpr uint32_t k422Formats[] = {kFourccYUY2, kFourccYVYU, kFourccUYVY, kFourccHDYC};

SourceBitmap RandomImage(int32_t w, int32_t h, std::mt19937* rng) {
  SourceBitmap image;
  image.width = w;
  image.height = h;
  image.bgr.resize(size_t(w) * size_t(h) * 3);
  // Mostly random bytes, with runs of the saturated values a test pattern uses.
  for (uint8_t& byte : image.bgr) {
    const uint32_t pick = (*rng)() % 8;
    byte = pick == 0 ? 0 : pick == 1 ? 255 : pick == 2 ? 128 : uint8_t((*rng)());
  }
  return image;
}

TEST(YuvConvert, PrimaryColoursGiveTheWorkedValues) {
  struct Case {
    const char* name;
    Bgr in;
    YuvPixel bt601;
    YuvPixel bt709;
  } cases[] = {
      {"white", {255, 255, 255}, {235, 128, 128}, {234, 128, 128}},
      {"black", {0, 0, 0}, {16, 128, 128}, {16, 128, 128}},
      {"red", {0, 0, 255}, {81, 90, 239}, {62, 102, 240}},
      {"green", {0, 255, 0}, {144, 53, 34}, {172, 41, 26}},
      {"blue", {255, 0, 0}, {40, 239, 109}, {31, 240, 117}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (auto fn : {&Bgr24ToYuvBt601, &Bgr24ToYuvBt601_Reference}) {
      const YuvPixel p = fn(c.in.b, c.in.g, c.in.r);
      EXPECT_EQ(p.y, c.bt601.y);
      EXPECT_EQ(p.u, c.bt601.u);
      EXPECT_EQ(p.v, c.bt601.v);
    }
    for (auto fn : {&Bgr24ToYuvBt709, &Bgr24ToYuvBt709_Reference}) {
      const YuvPixel p = fn(c.in.b, c.in.g, c.in.r);
      EXPECT_EQ(p.y, c.bt709.y);
      EXPECT_EQ(p.u, c.bt709.u);
      EXPECT_EQ(p.v, c.bt709.v);
    }
  }
}

TEST(YuvConvert, ARedThenBluePairAveragesChromaInEachFormatsByteOrder) {
  const uint8_t red_blue[6] = {0, 0, 255, 255, 0, 0};
  struct Case {
    uint32_t format;
    uint8_t unit[4];
  } cases[] = {
      {kFourccYUY2, {81, 165, 40, 174}},  // U (90 + 239 + 1) / 2, V (239 + 109 + 1) / 2
      {kFourccYVYU, {81, 174, 40, 165}},
      {kFourccUYVY, {165, 81, 174, 40}},
      {kFourccHDYC, {171, 62, 179, 31}},  // U (102 + 240 + 1) / 2, V (240 + 117 + 1) / 2
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(FormatName(c.format, 16));
    for (auto row_fn : {Bgr24To422RowFor(c.format), Bgr24To422RowFor_Reference(c.format)}) {
      ASSERT_NE(row_fn, nullptr);
      uint8_t unit[4] = {};
      row_fn(red_blue, unit, 2);
      EXPECT_EQ(std::vector<uint8_t>(unit, unit + 4), std::vector<uint8_t>(c.unit, c.unit + 4));
    }
  }
}

TEST(YuvConvert, WhiteIs234InHdycBut235InTheOthers) {
  const uint8_t white[6] = {255, 255, 255, 255, 255, 255};
  uint8_t unit[4];
  ConvertToHDYC(unit, 4, SourceBitmap{2, 1, std::vector<uint8_t>(white, white + 6)}, 2, 1);
  EXPECT_EQ(unit[1], 234);
  EXPECT_EQ(unit[3], 234);
  ConvertToYUY2(unit, 4, SourceBitmap{2, 1, std::vector<uint8_t>(white, white + 6)}, 2, 1);
  EXPECT_EQ(unit[0], 235);
  EXPECT_EQ(unit[2], 235);
}

TEST(YuvConvert, OnlyFourCharacterCodesOf422FormatsHaveRowFunctions) {
  EXPECT_EQ(Bgr24To422RowFor(kCompressionRgb), nullptr);
  EXPECT_EQ(Bgr24To422RowFor(MakeFourcc('N', 'V', '1', '2')), nullptr);
  EXPECT_EQ(Bgr24To422RowFor_Reference(MakeFourcc('I', '4', '2', '0')), nullptr);
}

// Every one of the 2^24 colours, so that the integer path can never drift from
// the double formula.
TEST(YuvConvert, FastPixelMatchesTheDoubleFormulaForEveryColour) {
  uint32_t mismatches601 = 0;
  uint32_t mismatches709 = 0;
  for (uint32_t c = 0; c < (1u << 24); ++c) {
    const uint8_t b = uint8_t(c), g = uint8_t(c >> 8), r = uint8_t(c >> 16);
    const YuvPixel f1 = Bgr24ToYuvBt601(b, g, r), r1 = Bgr24ToYuvBt601_Reference(b, g, r);
    const YuvPixel f7 = Bgr24ToYuvBt709(b, g, r), r7 = Bgr24ToYuvBt709_Reference(b, g, r);
    mismatches601 += (f1.y != r1.y || f1.u != r1.u || f1.v != r1.v);
    mismatches709 += (f7.y != r7.y || f7.u != r7.u || f7.v != r7.v);
  }
  EXPECT_EQ(mismatches601, 0u);
  EXPECT_EQ(mismatches709, 0u);
}

// The same through the row functions, whose pairs take a vector path: each
// colour is paired with itself, so its unit carries its own Y, U and V.
TEST(YuvConvert, FastRowsMatchTheDoubleFormulaForEveryColour) {
  constexpr int32_t kColoursPerRow = 4096;
  std::vector<uint8_t> src(size_t(kColoursPerRow) * 2 * 3);
  std::vector<uint8_t> fast(size_t(kColoursPerRow) * 4), ref(size_t(kColoursPerRow) * 4);
  for (uint32_t format : {kFourccYUY2, kFourccHDYC}) {
    SCOPED_TRACE(FormatName(format, 16));
    uint32_t mismatched_rows = 0;
    for (uint32_t first = 0; first < (1u << 24); first += kColoursPerRow) {
      for (int32_t i = 0; i < kColoursPerRow; ++i) {
        const uint32_t c = first + uint32_t(i);
        for (int k = 0; k < 2; ++k) {
          src[size_t(i) * 6 + size_t(k) * 3 + 0] = uint8_t(c);
          src[size_t(i) * 6 + size_t(k) * 3 + 1] = uint8_t(c >> 8);
          src[size_t(i) * 6 + size_t(k) * 3 + 2] = uint8_t(c >> 16);
        }
      }
      Bgr24To422RowFor(format)(src.data(), fast.data(), kColoursPerRow * 2);
      Bgr24To422RowFor_Reference(format)(src.data(), ref.data(), kColoursPerRow * 2);
      mismatched_rows += (fast != ref);
    }
    EXPECT_EQ(mismatched_rows, 0u);
  }
}

TEST(YuvConvert, ValuesStayInStudioRange) {
  for (uint32_t c = 0; c < (1u << 24); c += 97) {
    const uint8_t b = uint8_t(c), g = uint8_t(c >> 8), r = uint8_t(c >> 16);
    for (const YuvPixel p :
         {Bgr24ToYuvBt601_Reference(b, g, r), Bgr24ToYuvBt709_Reference(b, g, r)}) {
      ASSERT_GE(p.y, 16);
      ASSERT_LE(p.y, 240);
      ASSERT_GE(p.u, 16);
      ASSERT_LE(p.u, 240);
      ASSERT_GE(p.v, 16);
      ASSERT_LE(p.v, 240);
    }
  }
}

TEST(YuvConvert, FastRowsMatchReferenceRowsForEveryWidth) {
  std::mt19937 rng(7);
  for (uint32_t format : k422Formats) {
    SCOPED_TRACE(FormatName(format, 16));
    for (int32_t width = 1; width <= 70; ++width) {
      const SourceBitmap image = RandomImage(width, 1, &rng);
      // A guard byte after the row shows that exactly width * 2 bytes are written.
      std::vector<uint8_t> fast(size_t(width) * 2 + 1, 0xA5), ref(size_t(width) * 2 + 1, 0x5A);
      Bgr24To422RowFor(format)(image.bgr.data(), fast.data(), width);
      Bgr24To422RowFor_Reference(format)(image.bgr.data(), ref.data(), width);
      ASSERT_EQ(fast.back(), 0xA5) << width;
      ASSERT_EQ(ref.back(), 0x5A) << width;
      fast.pop_back();
      ref.pop_back();
      ASSERT_EQ(fast, ref) << "width " << width;
    }
  }
}

// The replicating frame walk against the pair-by-pair one: odd and even image
// widths, tiles narrower, equal to and many times wider than the image, odd
// tile widths, one-pixel images, and padded strides.
TEST(YuvConvert, ReplicatedTilesMatchPairByPairConversion) {
  struct Size {
    int32_t w, h;
  };
  const Size images[] = {{1, 1}, {1, 3}, {2, 1}, {3, 2}, {5, 5}, {7, 3}, {8, 4}, {13, 9}, {64, 2}};
  const Size tiles[] = {{1, 1},   {2, 2},  {3, 1},    {6, 7},   {13, 9},
                        {26, 18}, {39, 5}, {100, 11}, {130, 40}};
  std::mt19937 rng(11);
  for (uint32_t format : k422Formats) {
    for (const Size& is : images) {
      const SourceBitmap image = RandomImage(is.w, is.h, &rng);
      for (const Size& ts : tiles) {
        for (int32_t padding : {0, 6}) {
          SCOPED_TRACE(testing::Message()
                       << FormatName(format, 16) << " image " << is.w << "x" << is.h << " tile "
                       << ts.w << "x" << ts.h << " padding " << padding);
          const int32_t stride = ts.w * 2 + padding;
          std::vector<uint8_t> fast(size_t(stride) * ts.h, 0xEE), ref(size_t(stride) * ts.h, 0xEE);
          Convert422Frame(Bgr24To422RowFor(format), fast.data(), stride, image, ts.w, ts.h);
          Convert422Frame_Reference(Bgr24To422RowFor_Reference(format), ref.data(), stride, image,
                                    ts.w, ts.h);
          ASSERT_EQ(fast, ref);
        }
      }
    }
  }
}

TEST(YuvConvert, TileRowsRunTopDownAndPairsWrapAcrossTheImageEdge) {
  // A 3 x 2 image: bottom row red, green, blue; top row white, black, white.
  const SourceBitmap image{3,
                           2,
                           {0, 0, 255, 0, 255, 0, 255, 0, 0,  //
                            255, 255, 255, 0, 0, 0, 255, 255, 255}};
  uint8_t tile[2 * 6 * 2];
  ConvertToYUY2(tile, 12, image, 6, 2);
  // Top tile row: white, black | white, white | black, white.
  const uint8_t top[12] = {235, 128, 16, 128, 235, 128, 235, 128, 16, 128, 235, 128};
  // Bottom tile row: red, green | blue, red | green, blue.
  const uint8_t bottom[12] = {81, 72, 144, 137, 40, 165, 81, 174, 144, 146, 40, 72};
  EXPECT_EQ(std::vector<uint8_t>(tile, tile + 12), std::vector<uint8_t>(top, top + 12));
  EXPECT_EQ(std::vector<uint8_t>(tile + 12, tile + 24), std::vector<uint8_t>(bottom, bottom + 12));
}

TEST(YuvConvert, AnImageWithoutPixelsGivesAnAllZeroTile) {
  SourceBitmap missing{4, 4, {}};
  std::vector<uint8_t> tile(8 * 4, 0xEE);
  ConvertToUYVY(tile.data(), 8, missing, 4, 4);
  EXPECT_EQ(tile, std::vector<uint8_t>(8 * 4, 0));
}

TEST(YuvConvert, Rgb32TilesCopyBgrAndZeroTheFourthByte) {
  const SourceBitmap image{2, 1, {1, 2, 3, 4, 5, 6}};
  uint8_t tile[3 * 4];
  ConvertToRGB32(tile, 12, image, 3, 1);
  const uint8_t expected[12] = {1, 2, 3, 0, 4, 5, 6, 0, 1, 2, 3, 0};
  EXPECT_EQ(std::vector<uint8_t>(tile, tile + 12), std::vector<uint8_t>(expected, expected + 12));
}

}  // namespace
