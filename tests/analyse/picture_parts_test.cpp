// The pixel comparison's plumbing on pictures small enough to work out by
// hand: packed 4:2:2 bytes split into planes as each format orders them, the
// chroma of 4:2:0 recordings from 4:2:2 originals, chroma read from Y4M, a
// shift found from the profiles, the recording-wide vote on diagnoses, and
// the page's BMP pictures.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "pattern/pixel_format.h"
#include "tools/analyse/report/html_pixels.h"
#include "tools/analyse/pixels/picture_diagnosis.h"
#include "tools/analyse/read/y4m_reader.h"

namespace zdanalyse {
namespace {

TEST(PlanarPictures, EachPackedFormatSplitsIntoItsPlanes) {
  // One row of two pixel pairs; byte order per the formats (Y0 U Y1 V etc.).
  const uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  const struct {
    uint32_t fourcc;
    uint8_t y[4], cb[2], cr[2];
  } cases[] = {
      {kFourccYUY2, {1, 3, 5, 7}, {2, 6}, {4, 8}},
      {kFourccYVYU, {1, 3, 5, 7}, {4, 8}, {2, 6}},
      {kFourccUYVY, {2, 4, 6, 8}, {1, 5}, {3, 7}},
      {kFourccHDYC, {2, 4, 6, 8}, {1, 5}, {3, 7}},
  };
  for (const auto& c : cases) {
    PlanarPicture p;
    ASSERT_TRUE(PlanarFromSample(bytes, sizeof bytes, 4, 1, c.fourcc, 16, &p));
    EXPECT_EQ(p.y, std::vector<uint8_t>(c.y, c.y + 4)) << FormatName(c.fourcc, 16);
    EXPECT_EQ(p.cb, std::vector<uint8_t>(c.cb, c.cb + 2)) << FormatName(c.fourcc, 16);
    EXPECT_EQ(p.cr, std::vector<uint8_t>(c.cr, c.cr + 2)) << FormatName(c.fourcc, 16);
  }
  PlanarPicture p;
  EXPECT_FALSE(PlanarFromSample(bytes, 4, 4, 1, kFourccYUY2, 16, &p));  // too short
  EXPECT_FALSE(PlanarFromSample(bytes, sizeof bytes, 4, 1, 0x12345678, 16, &p));
}

TEST(PlanarPictures, HalfChromaRowsAreTheRoundedMeanOfEachPair) {
  PlanarPicture p;
  p.Resize(2, 4, 1, 4);
  p.cb = {10, 11, 200, 203};
  p.cr = {0, 255, 7, 7};
  Conform(&p, 2, 4, 1, 2);
  EXPECT_EQ(p.cb, (std::vector<uint8_t>{11, 202}));  // (10 + 11 + 1) / 2, (200 + 203 + 1) / 2
  EXPECT_EQ(p.cr, (std::vector<uint8_t>{128, 7}));
  EXPECT_EQ(p.y.size(), 8u);
}

TEST(Y4mColour, TheChromaPlanesOfEachLayoutAreKept) {
  const struct {
    const char* layout;
    int32_t cw, ch;
  } cases[] = {{"420jpeg", 2, 1}, {"422", 2, 2}, {"444", 4, 2}, {"mono", 0, 0}};
  for (const auto& c : cases) {
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    std::fprintf(f, "YUV4MPEG2 W4 H2 F30:1 C%s\nFRAME\n", c.layout);
    for (int i = 0; i < 8; ++i)
      std::fputc(16 + i, f);
    for (int i = 0; i < 2 * c.cw * c.ch; ++i)
      std::fputc(100 + i, f);
    std::rewind(f);
    Y4mReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(f, &error)) << error;
    reader.KeepColour(true);
    LumaFrame frame;
    ASSERT_EQ(reader.Next(&frame, &error), ReadStatus::kFrame) << c.layout << ": " << error;
    if (c.cw == 0) {
      EXPECT_EQ(frame.colour, ColourLayout::kNone);
    } else {
      ASSERT_EQ(frame.colour, ColourLayout::kYuv) << c.layout;
      EXPECT_EQ(frame.chromaWidth, c.cw);
      EXPECT_EQ(frame.chromaHeight, c.ch);
      EXPECT_EQ(frame.cb.front(), 100);
      EXPECT_EQ(frame.cr.front(), 100 + c.cw * c.ch);  // Cr follows the whole Cb plane
    }
    EXPECT_EQ(reader.Next(&frame, &error), ReadStatus::kEnd) << c.layout;
    std::fclose(f);
  }
}

TEST(PictureGeometry, AShiftedPictureIsFoundByItsProfiles) {
  // A random texture of 320 x 240, and the same moved 6 right and 4 up.
  PlanarPicture orig;
  orig.Resize(320, 240, 160, 240);
  std::mt19937 random(7);
  for (uint8_t& v : orig.y)
    v = uint8_t(16 + random() % 200);
  std::fill(orig.cb.begin(), orig.cb.end(), 128);
  std::fill(orig.cr.begin(), orig.cr.end(), 128);
  Geometry moved;
  moved.tx = 6;
  moved.ty = -4;
  PlanarPicture rec;
  Warp(orig, moved, &rec);
  CompareArea area;
  area.valid = {0, 0, 320, 240};
  Geometry found;
  EstimateScaleShift(rec.View(), orig.View(), area, &found);
  EXPECT_NEAR(found.tx, 6, 0.3);
  EXPECT_NEAR(found.ty, -4, 0.3);
  EXPECT_NEAR(found.sx, 1, 0.002);
  EXPECT_NEAR(found.sy, 1, 0.002);
}

// Diagnosed frames in order: F the flip won (gain 0.9), S the flip and a Cb/Cr
// swap (gain 0.8), . nothing. A name is given when it won in half the frames
// or in 3 diagnosed frames in a row; the frames are the first and last win
// (of the run, for a stretch), numbered here 100 + the position.
TEST(DiagnosisTally, NamesWhatWonInHalfTheFramesOrInThreeInARow) {
  struct Case {
    const char* frames;
    const char* name;  // the one name expected, or null for none
    int64_t won;
    double confidence;
    uint32_t first, last;
  };
  const Case cases[] = {
      {"FSF.", "flipped_vertically", 3, 0.9 * 3 / 4, 100, 102},  // Cb/Cr in 1 of 4: not named
      {"........FFF", "flipped_vertically", 3, 0.9, 108, 110},   // begins late
      {"FFF.F......", "flipped_vertically", 3, 0.9, 100, 102},   // the longest run
      {"F.F.F.F......", nullptr, 0, 0, 0, 0},                    // scattered, under half
      {"FF......", nullptr, 0, 0, 0, 0},                         // two in a row
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frames);
    FrameDiagnosis flipped;
    flipped.geometry.flipV = true;
    flipped.flipGain = 0.9;
    FrameDiagnosis swapped = flipped;
    swapped.colour = ColourFault::kSwapCbCr;
    swapped.colourGain = 0.8;
    DiagnosisTally tally;
    for (int i = 0; c.frames[i]; ++i)
      tally.Add(c.frames[i] == 'F'   ? flipped
                : c.frames[i] == 'S' ? swapped
                                     : FrameDiagnosis{},
                i, uint32_t(100 + i));
    const std::vector<PictureDiagnosis> result = tally.Result();
    ASSERT_EQ(result.size(), c.name ? 1u : 0u);
    if (!c.name)
      continue;
    EXPECT_EQ(result[0].name, c.name);
    EXPECT_EQ(result[0].frames, c.won);
    EXPECT_NEAR(result[0].confidence, c.confidence, 1e-9);
    EXPECT_EQ(result[0].firstFrame, c.first);
    EXPECT_EQ(result[0].lastFrame, c.last);
  }
}

TEST(HtmlPixels, APictureIsAWholeBmpFile) {
  Thumbnail t;
  t.width = 1;
  t.height = 1;
  t.bgr = {1, 2, 3};
  // 'BM', size 58 (54 header bytes, 3 pixel bytes and 1 of padding), offset
  // 54; a 40-byte header of 1 x 1, one plane, 24 bits, 4 bytes of pixels: in
  // base64 as Python's struct and base64 modules make it.
  const std::string expected =
      "Qk06AAAAAAAAADYAAAAoAAAAAQAAAAEAAAABABgAAAAAAAQAAAAAAAAAAAAAAAAAAAAAAAAAAQIDAA==";
  EXPECT_EQ(BmpBase64(t), expected);
}

}  // namespace
}  // namespace zdanalyse
