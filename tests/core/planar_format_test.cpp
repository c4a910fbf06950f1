// NV12 and I420: the row functions against their reference twins, the
// reference against hand-worked bytes, and whole frames (pattern, text,
// marker, frame code) against the reference conversion of their YUY2 twin.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "pattern/frame_code_reader.h"
#include "pattern/picture_fingerprint.h"
#include "pattern/yuv420_convert.h"
#include "tests/core/support/stream_fixture.h"

namespace {

using zdtest::FakeSample;
using zdtest::StreamFixture;

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(n);
  for (uint8_t& b : bytes)
    b = uint8_t(random());
  return bytes;
}

TEST(PlanarFormats, FastRowFunctionsEqualTheirReferenceTwins) {
  // Widths around the 16- and 32-pixel steps, from unaligned addresses.
  for (int32_t width = 2; width <= 98; width += 2) {
    SCOPED_TRACE(width);
    const std::vector<uint8_t> rows = RandomBytes(size_t(width) * 4 + 1, uint32_t(width));
    const uint8_t* top = rows.data() + 1;
    const uint8_t* bottom = top + width * 2;
    std::vector<uint8_t> fast(size_t(width) + 2, 0xEE), reference(size_t(width) + 2, 0xEE);
    Yuy2ToLumaRow(top, fast.data() + 1, width);
    Yuy2ToLumaRow_Reference(top, reference.data() + 1, width);
    EXPECT_EQ(fast, reference);
    Yuy2ToNv12ChromaRow(top, bottom, fast.data() + 1, nullptr, width);
    Yuy2ToNv12ChromaRow_Reference(top, bottom, reference.data() + 1, nullptr, width);
    EXPECT_EQ(fast, reference);
    const size_t half = size_t(width) / 2;
    Yuy2ToI420ChromaRow(top, bottom, fast.data() + 1, fast.data() + 1 + half, width);
    Yuy2ToI420ChromaRow_Reference(top, bottom, reference.data() + 1, reference.data() + 1 + half,
                                  width);
    EXPECT_EQ(fast, reference);
    EXPECT_EQ(fast.front(), 0xEE);  // nothing written outside the row
    EXPECT_EQ(fast.back(), 0xEE);
  }
}

// A 4 x 4 YUY2 frame, worked by hand: Y is 10 * row + column; the U and V of
// row r's pairs are chosen so that each average shows the rounding.
TEST(PlanarFormats, ReferenceAveragesRowPairsRoundingHalfUp) {
  const uint8_t u[4][2] = {{10, 0}, {21, 1}, {100, 255}, {101, 0}};
  const uint8_t v[4][2] = {{200, 7}, {200, 8}, {3, 4}, {4, 4}};
  std::vector<uint8_t> yuy2;
  for (int r = 0; r < 4; ++r)
    for (int k = 0; k < 2; ++k)
      yuy2.insert(yuy2.end(),
                  {uint8_t(10 * r + 2 * k), u[r][k], uint8_t(10 * r + 2 * k + 1), v[r][k]});
  const std::vector<uint8_t> luma = {0, 1, 2, 3, 10, 11, 12, 13, 20, 21, 22, 23, 30, 31, 32, 33};
  struct Case {
    uint32_t compression;
    bool fields;
    std::vector<uint8_t> chroma;
  };
  const Case cases[] = {
      // rows 0+1 and 2+3: U (10+21+1)/2 = 16, (0+1+1)/2 = 1, ...
      {kFourccNV12, false, {16, 200, 1, 8, 101, 4, 128, 4}},
      {kFourccI420, false, {16, 1, 101, 128, 200, 8, 4, 4}},
      // one field's rows 0+2, the other's 1+3
      {kFourccNV12, true, {55, 102, 128, 6, 61, 102, 1, 6}},
      {kFourccI420, true, {55, 128, 61, 1, 102, 6, 102, 6}},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> out(24, 0xEE);
    Yuy2FrameTo420_Reference(yuy2.data(), out.data(), c.compression, 4, 4, c.fields);
    std::vector<uint8_t> expected = luma;
    expected.insert(expected.end(), c.chroma.begin(), c.chroma.end());
    EXPECT_EQ(out, expected) << FormatName(c.compression, 12) << (c.fields ? " fields" : "");
  }
}

// Makes frames of a preset and of its YUY2 twin with the same clock, scroll,
// information line and stream id, and checks each planar frame against the reference
// conversion of the twin's frame.
void ExpectFramesOfTheTwin(const PresetInfo& preset, int frameCode, bool marker) {
  StreamFixture planar, twin;
  for (StreamFixture* f : {&planar, &twin}) {
    zdtest::WriteChartImage(f->dir.File("chart.bmp"), 100, 75);
    zdtest::WriteCoordinateImage(f->dir.File("coord.bmp"), 150, 101);
    zdtest::WriteCoordinateImage(f->dir.File("wide.bmp"), 514, 37);
    f->preset = preset;
    f->settings.m_frameCode = frameCode;
    f->host.cursorAvailable = marker;
    f->host.cursorX = 35;
    f->host.cursorY = 61;
  }
  twin.preset.compression = kFourccYUY2;
  twin.preset.bit_count = 16;
  ASSERT_EQ(planar.Start(), kS_OK);
  ASSERT_EQ(twin.Start(), kS_OK);
  // The twin's information line names YUY2; the frames name their own format.
  std::memcpy(twin.producer.m_infoLine, planar.producer.m_infoLine,
              sizeof twin.producer.m_infoLine);
  if (frameCode) {
    // The planar stream's id, and its fingerprint: that of the planar preset.
    FrameCodeSettingsFields fields;
    if (frameCode == kFrameCodeLayout2)
      fields.fingerprint =
          PictureFingerprint(preset, planar.settings.m_mouseCursol, planar.dir.Path());
    ASSERT_TRUE(twin.producer.m_frameCode.Prepare(
        frameCode, twin.preset, planar.producer.m_frameCode.stream_id(), 0, fields));
  }
  const uint32_t planarBytes = uint32_t(preset.w) * uint32_t(preset.h) * 3 / 2;
  for (int n = 0; n < 3; ++n) {
    SCOPED_TRACE(n);
    FakeSample out(planarBytes), twinFrame(uint32_t(preset.w) * uint32_t(preset.h) * 2);
    ASSERT_EQ(planar.FrameAt(40.0 * n, out, marker ? 1 : 0), kS_OK);
    ASSERT_EQ(twin.FrameAt(40.0 * n, twinFrame, marker ? 1 : 0), kS_OK);
    EXPECT_TRUE(out.GuardIntact());
    std::vector<uint8_t> expected(planarBytes);
    Yuy2FrameTo420_Reference(twinFrame.memory.data(), expected.data(), preset.compression, preset.w,
                             preset.h, preset.interlaced != 0);
    const std::vector<uint8_t> actual = out.Frame();
    size_t firstDiff = 0;
    while (firstDiff < actual.size() && actual[firstDiff] == expected[firstDiff])
      ++firstDiff;
    ASSERT_EQ(firstDiff, actual.size())
        << "first difference at byte " << firstDiff << " of " << actual.size();
    if (frameCode) {
      const LumaPlane luma = LumaOfFrame(out.memory.data(), out.size, out.size / uint32_t(preset.h),
                                         preset.w, preset.h, preset.compression, 12);
      const FrameCodeReading code = ReadFrameCode(luma);
      ASSERT_EQ(code.status, FrameCodeStatus::kDecoded);
      EXPECT_EQ(code.payload.frame_number, uint32_t(n));
    }
  }
}

TEST(PlanarFormats, FramesAreTheirTwinsWithChromaAveragedOverRowPairs) {
  struct Case {
    int32_t w, h, interlaced, scrollX, scrollY;
    const char* bmp;
    int frameCode;  // 0 off, else the layout
    bool marker;
  };
  const Case cases[] = {
      {320, 240, 0, 0, 0, "chart.bmp", 1, false},
      {320, 240, 0, 2, 2, "coord.bmp", 0, true},
      {642, 484, 0, -4, 6, "coord.bmp", 2, true},
      {160, 122, 0, 2, -2, "chart.bmp", 0, false},  // a tile of odd height
      {322, 240, 1, 2, 2, "coord.bmp", 1, false},
      {640, 484, 2, -6, 4, "chart.bmp", 2, true},
      {320, 244, 1, 0, 0, "coord.bmp", 0, true},  // centred: an odd vertical origin
      {320, 240, 0, 4, 0, "", 1, false},          // no background: the blank tile
      // An image wide enough that only its first repeat is read, of odd height.
      {1100, 124, 0, -6, 3, "wide.bmp", 0, false},
      {1030, 244, 1, 4, -2, "wide.bmp", 1, false},
  };
  for (const uint32_t compression : {kFourccNV12, kFourccI420}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message()
                   << FormatName(compression, 12) << " " << c.w << "x" << c.h << " interlaced "
                   << c.interlaced << " scroll " << c.scrollX << "," << c.scrollY << " " << c.bmp);
      PresetInfo p = zdtest::MakePreset(c.w, c.h, compression, 12);
      p.interlaced = c.interlaced;
      p.scroll_x = c.scrollX;
      p.scroll_y = c.scrollY;
      zdtest::SetText(p.bmp, c.bmp);
      zdtest::SetText(p.comment, "planar");
      ExpectFramesOfTheTwin(p, c.frameCode, c.marker);
    }
  }
}

TEST(PlanarFormats, FramesThatCannotBeLaidOutAreZeroedNotOverrun) {
  StreamFixture f;
  f.preset = zdtest::MakePreset(320, 240, kFourccNV12, 12);
  ASSERT_EQ(f.Start(), kS_OK);
  for (const uint32_t size : {0u, 320u * 240u, 320u * 240u * 3u / 2u - 1u}) {
    FakeSample sample(size);
    ASSERT_EQ(f.NextFrame(sample), kS_OK);
    EXPECT_TRUE(sample.GuardIntact());
    const std::vector<uint8_t> frame = sample.Frame();
    EXPECT_TRUE(std::all_of(frame.begin(), frame.end(), [](uint8_t b) { return b == 0; }));
  }
  // A longer sample holds the frame, then zero bytes.
  FakeSample longer(320 * 240 * 2);
  ASSERT_EQ(f.NextFrame(longer), kS_OK);
  EXPECT_TRUE(longer.GuardIntact());
  EXPECT_TRUE(std::all_of(longer.memory.begin() + 320 * 240 * 3 / 2,
                          longer.memory.begin() + 320 * 240 * 2, [](uint8_t b) { return b == 0; }));
}

}  // namespace
