// The preview's conversions of delivered frames into viewable pictures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "pattern/pixel_format.h"
#include "tools/preview/frame_image.h"
#include "tools/preview/image_files.h"

namespace {

using zdpreview::FrameView;

TEST(PreviewImage, RgbFramesComeOutTheRightWayUp) {
  // 2 x 2 RGB24, rows padded to 8 bytes, bottom row first in memory.
  const std::vector<uint8_t> frame = {
      1, 2, 3, 4,  5,  6,  0, 0,  // bottom line: (B1 G2 R3), (B4 G5 R6)
      7, 8, 9, 10, 11, 12, 0, 0,  // top line
  };
  const FrameView view{frame.data(), 8, 2, 2, kCompressionRgb, 24};
  EXPECT_EQ(zdpreview::ToRgb(view), (std::vector<uint8_t>{9, 8, 7, 12, 11, 10, 3, 2, 1, 6, 5, 4}));
  const std::vector<uint8_t> frame32 = {1, 2, 3, 99, 7, 8, 9, 99};  // 1 x 2 RGB32
  const FrameView view32{frame32.data(), 4, 1, 2, kCompressionRgb, 32};
  EXPECT_EQ(zdpreview::ToRgb(view32), (std::vector<uint8_t>{9, 8, 7, 3, 2, 1}));
}

TEST(PreviewImage, YuvFramesConvertBackToTheirColours) {
  struct Case {
    uint32_t compression;
    std::vector<uint8_t> unit;  // one pixel pair in the format's byte order
    std::vector<int> rgb;       // both pixels, approximately
  };
  // Red twice in YUY2 (Y 81, U 90, V 239); white; black and white; HDYC red
  // (Y 62, U 102, V 240) twice.
  const Case cases[] = {
      {kFourccYUY2, {81, 90, 81, 239}, {255, 0, 0, 255, 0, 0}},
      {kFourccYUY2, {235, 128, 235, 128}, {255, 255, 255, 255, 255, 255}},
      {kFourccYVYU, {235, 128, 16, 128}, {255, 255, 255, 0, 0, 0}},
      {kFourccUYVY, {128, 16, 128, 235}, {0, 0, 0, 255, 255, 255}},
      {kFourccHDYC, {102, 62, 240, 62}, {255, 0, 0, 255, 0, 0}},
  };
  for (const Case& c : cases) {
    const FrameView view{c.unit.data(), 4, 2, 1, c.compression, 16};
    const std::vector<uint8_t> rgb = zdpreview::ToRgb(view);
    ASSERT_EQ(rgb.size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
      EXPECT_LE(std::abs(int(rgb[i]) - c.rgb[i]), 6)
          << FormatName(c.compression, 16) << " byte " << i;
    }
  }
}

TEST(PreviewImage, PlanarPicturesUnpackYuvAndConvertRgb) {
  // 4 x 2 UYVY, top line first.
  const std::vector<uint8_t> uyvy = {10, 11, 12, 13, 20, 21, 22, 23,
                                     30, 31, 32, 33, 40, 41, 42, 43};
  const zdpreview::PlanarImage p =
      zdpreview::ToPlanar(FrameView{uyvy.data(), 8, 4, 2, kFourccUYVY, 16});
  EXPECT_STREQ(p.chroma, "422");
  EXPECT_EQ(p.y, (std::vector<uint8_t>{11, 13, 21, 23, 31, 33, 41, 43}));
  EXPECT_EQ(p.u, (std::vector<uint8_t>{10, 20, 30, 40}));
  EXPECT_EQ(p.v, (std::vector<uint8_t>{12, 22, 32, 42}));

  const std::vector<uint8_t> yvyu = {1, 2, 3, 4};
  const zdpreview::PlanarImage q =
      zdpreview::ToPlanar(FrameView{yvyu.data(), 4, 2, 1, kFourccYVYU, 16});
  EXPECT_EQ(q.y, (std::vector<uint8_t>{1, 3}));
  EXPECT_EQ(q.u, (std::vector<uint8_t>{4}));
  EXPECT_EQ(q.v, (std::vector<uint8_t>{2}));

  // RGB32 white over black (bottom-up): 4:4:4, white on top.
  const std::vector<uint8_t> rgb = {0, 0, 0, 0, 255, 255, 255, 0};
  const zdpreview::PlanarImage r =
      zdpreview::ToPlanar(FrameView{rgb.data(), 4, 1, 2, kCompressionRgb, 32});
  EXPECT_STREQ(r.chroma, "444");
  EXPECT_EQ(r.y, (std::vector<uint8_t>{235, 16}));
  EXPECT_EQ(r.u, (std::vector<uint8_t>{128, 128}));
  EXPECT_EQ(r.v, (std::vector<uint8_t>{128, 128}));
}

TEST(PreviewImage, FieldOrderFollowsTheMemoryRowsOfEachFormat) {
  struct Case {
    uint32_t compression;
    int32_t bitCount, h, interlaced;
    char expected;
  };
  const Case cases[] = {
      {kFourccYUY2, 16, 480, 0, 'p'},     {kFourccYUY2, 16, 480, 1, 't'},
      {kFourccYUY2, 16, 480, 2, 'b'},     {kCompressionRgb, 32, 480, 1, 'b'},
      {kCompressionRgb, 24, 480, 2, 't'}, {kCompressionRgb, 32, 481, 1, 't'},
  };
  for (const Case& c : cases) {
    PresetInfo p{};
    p.compression = c.compression;
    p.bit_count = c.bitCount;
    p.h = c.h;
    p.interlaced = c.interlaced;
    EXPECT_EQ(zdpreview::Y4mInterlace(p), c.expected);
  }
}

TEST(PreviewImage, FrameRatesAndFileNames) {
  int64_t num = 0, den = 0;
  zdpreview::FrameRateOf(333667, &num, &den);
  EXPECT_EQ(num, 10000000);
  EXPECT_EQ(den, 333667);
  zdpreview::FrameRateOf(400000, &num, &den);
  EXPECT_EQ(num, 25);
  EXPECT_EQ(den, 1);
  zdpreview::FrameRateOf(20000000, &num, &den);
  EXPECT_EQ(num, 1);
  EXPECT_EQ(den, 2);

  struct Case {
    const char* pattern;
    uint32_t n;
    bool ok, numbered;
    const char* name;
  };
  const Case cases[] = {
      {"out/frame%04d.png", 7, true, true, "out/frame0007.png"},
      {"f%d.raw", 123, true, true, "f123.raw"},
      {"f%3d.raw", 5, true, true, "f  5.raw"},
      {"all.y4m", 5, true, false, "all.y4m"},
      {"100%%_%d.png", 2, true, true, "100%_2.png"},
      {"bad%s.png", 1, false, false, ""},
      {"two%d_%d.png", 1, false, false, ""},
      {"end%", 1, false, false, ""},
  };
  for (const Case& c : cases) {
    std::string name;
    bool numbered = false;
    EXPECT_EQ(zdpreview::ExpandPattern(c.pattern, c.n, &name, &numbered), c.ok) << c.pattern;
    if (!c.ok)
      continue;
    EXPECT_EQ(numbered, c.numbered) << c.pattern;
    EXPECT_EQ(name, c.name);
  }
}

}  // namespace
