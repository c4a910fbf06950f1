// Stream start and stop: the clock choice, the information line, the bitmaps
// beside the module and the state every start begins from.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/core/support/stream_fixture.h"

namespace {

using zdtest::FakeSample;
using zdtest::StreamFixture;

TEST(StreamStart, ClockFollowsAutoClockAndTheGraphsClock) {
  struct Case {
    int32_t autoClock;
    bool graphHasClock;
    int32_t cpuClock;
    const char* infoLine;
  };
  const Case cases[] = {
      {0, true, 1, "320x240p RG32 #rCPU Clock #g"},
      {0, false, 1, "320x240p RG32 #rCPU Clock #g"},
      {1, false, 1, "320x240p RG32 #rCPU Clock #g"},
      {1, true, 0, "320x240p RG32 #rStream Time #g"},
      {7, true, 0, "320x240p RG32 #rStream Time #g"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "auto_clock " << c.autoClock << ", clock " << c.graphHasClock);
    StreamFixture f;
    f.settings.m_autoClock = c.autoClock;
    f.host.hasClock = c.graphHasClock;
    ASSERT_EQ(f.Start(), kS_OK);
    EXPECT_EQ(f.producer.m_useCpuClock, c.cpuClock);
    EXPECT_STREQ(f.producer.m_infoLine, c.infoLine);
  }
}

TEST(StreamStart, InformationLineNamesSizeScanFormatClockAndComment) {
  struct Case {
    int32_t w, h, interlaced;
    uint32_t compression;
    int32_t bitCount;
    const char* comment;
    const char* infoLine;
  };
  const Case cases[] = {
      {720, 480, 1, kFourccYUY2, 16, "DV", "720x480i YUY2 #rStream Time #gDV"},
      {640, 480, 2, kCompressionRgb, 24, "", "640x480i RG24 #rStream Time #g"},
      {1920, 1080, 0, kFourccHDYC, 16, "HD 1080p", "1920x1080p HDYC #rStream Time #gHD 1080p"},
      {320, 240, 0, kFourccYVYU, 16, "a", "320x240p YVYU #rStream Time #ga"},
      {320, 240, 0, kFourccUYVY, 16, "b", "320x240p UYVY #rStream Time #gb"},
  };
  for (const Case& c : cases) {
    char line[kInfoLineSize];
    PresetInfo p = zdtest::MakePreset(c.w, c.h, c.compression, c.bitCount);
    p.interlaced = c.interlaced;
    zdtest::SetText(p.comment, c.comment);
    FormatInfoLine(line, p, false);
    EXPECT_STREQ(line, c.infoLine);
  }

  // A comment of 259 characters makes the line too long: it is cut at 259.
  PresetInfo p = zdtest::MakePreset(720, 480, kFourccYUY2, 16);
  zdtest::SetText(p.comment, std::string(259, 'c'));
  char line[kInfoLineSize];
  FormatInfoLine(line, p, true);
  const std::string head = "720x480p YUY2 #rCPU Clock #g";
  EXPECT_EQ(std::string(line), head + std::string(259 - head.size(), 'c'));
  // A comment field without a terminator is read up to the field's end.
  std::fill(std::begin(p.comment), std::end(p.comment), 'x');
  FormatInfoLine(line, p, true);
  EXPECT_EQ(std::string(line), head + std::string(259 - head.size(), 'x'));
}

TEST(StreamStart, MissingBackgroundGivesABlankPictureWhileAMissingFontStopsTheStart) {
  struct Case {
    const char* name;
    std::string bmp;
    std::string font;
    HResultCode expected;
  };
  const Case cases[] = {
      {"both present", "chart.bmp", "font.bmp", kS_OK},
      {"empty background name", "", "font.bmp", kS_OK},
      {"missing background file", "nothing.bmp", "font.bmp", kS_OK},
      {"background path too long", std::string(250, 'p') + ".bmp", "font.bmp", kS_OK},
      {"empty font name", "chart.bmp", "", kE_OUTOFMEMORY},
      {"missing font file", "chart.bmp", "nothing.bmp", kE_OUTOFMEMORY},
      {"font that is no bitmap", "chart.bmp", "ZintuDobrel.ini", kE_OUTOFMEMORY},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StreamFixture f;
    ASSERT_TRUE(zdtest::WriteCoordinateImage(f.dir.File("chart.bmp"), 100, 100));
    if (std::FILE* ini = std::fopen(f.dir.File("ZintuDobrel.ini").c_str(), "wb")) {
      std::fputs("[MAIN]\r\n", ini);
      std::fclose(ini);
    }
    zdtest::SetText(f.preset.bmp, c.bmp);
    zdtest::SetText(f.preset.font, c.font);
    f.producer.m_frameCount = 7;  // left over from an earlier stream
    f.producer.m_sampleTime = 12345;
    EXPECT_EQ(f.Start(), c.expected);
    EXPECT_EQ(f.producer.m_frameCount, 0u);
    EXPECT_EQ(f.producer.m_sampleTime, 0);
    if (c.expected != kS_OK) {
      EXPECT_TRUE(f.producer.m_font.empty());
      continue;
    }
    const PixelSurface& pattern = f.producer.m_pattern;
    ASSERT_FALSE(pattern.empty());
    const bool blank = c.bmp != "chart.bmp";
    if (blank) {
      EXPECT_EQ(pattern.width, 320);
      EXPECT_EQ(pattern.height, 240);
      const uint8_t* px = pattern.pixels.get();
      EXPECT_TRUE(std::all_of(px, px + 320 * 240 * 4, [](uint8_t b) { return b == 0; }));
    } else {
      EXPECT_EQ(pattern.width, 400);
      EXPECT_EQ(pattern.height, 300);
    }
    EXPECT_EQ(f.producer.m_font.glyph_w, zdtest::kCellW);
    EXPECT_EQ(f.producer.m_font.glyph_h, zdtest::kCellH);
  }
}

TEST(StreamStart, UnsupportedFormatFailsTheStart) {
  StreamFixture f;
  f.preset.bit_count = 16;  // RGB with 16 bits is not offered
  EXPECT_EQ(f.Start(), kE_OUTOFMEMORY);
  f.preset = zdtest::MakePreset(320, 240, MakeFourcc('Y', 'V', '1', '2'), 12);
  EXPECT_EQ(f.Start(), kE_OUTOFMEMORY);
}

TEST(StreamStart, PictureWithoutVerticalScrollIsCentredOnTheRepeatedImage) {
  struct Case {
    int32_t imageH, scrollY, originY;
  };
  // A 100-line image for 240 lines repeats to 300 lines: (300 - 240) / 2 = 30.
  const Case cases[] = {{100, 0, 30}, {100, 2, 0},  {100, -2, 0},
                        {240, 0, 0},  {301, 0, 30}, {70, 0, 20}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "image height " << c.imageH << ", scroll_y " << c.scrollY);
    StreamFixture f;
    ASSERT_TRUE(zdtest::WriteCoordinateImage(f.dir.File("chart.bmp"), 100, c.imageH));
    zdtest::SetText(f.preset.bmp, "chart.bmp");
    f.preset.scroll_y = c.scrollY;
    f.preset.scroll_x = 6;
    ASSERT_EQ(f.Start(), kS_OK);
    EXPECT_EQ(f.producer.m_scrollOriginX, 0);
    EXPECT_EQ(f.producer.m_scrollOriginY, c.originY);
  }
}

TEST(StreamStart, CentredPictureShowsTheImagesMiddleLines) {
  StreamFixture f;
  ASSERT_TRUE(zdtest::WriteCoordinateImage(f.dir.File("chart.bmp"), 100, 100));
  zdtest::SetText(f.preset.bmp, "chart.bmp");
  ASSERT_EQ(f.Start(), kS_OK);
  FakeSample sample(f.FrameSize());
  ASSERT_EQ(f.NextFrame(sample), kS_OK);
  // Picture line 100 shows image line (100 + 30) mod 100 = 30; green holds the line.
  const uint8_t* line100 = sample.memory.data() + size_t(239 - 100) * 320 * 4;
  EXPECT_EQ(line100[1], 30);
  EXPECT_EQ(line100[0], 0);  // image column 0
}

TEST(StreamStart, EveryStartBeginsAtFrameZeroAndRereadsTheBitmaps) {
  StreamFixture f;
  ASSERT_TRUE(zdtest::WriteCoordinateImage(f.dir.File("chart.bmp"), 100, 100));
  zdtest::SetText(f.preset.bmp, "chart.bmp");
  f.preset.scroll_x = 2;
  ASSERT_EQ(f.Start(), kS_OK);
  FakeSample sample(f.FrameSize());
  for (int k = 0; k < 3; ++k)
    ASSERT_EQ(f.FrameAt(40.0 * k, sample), kS_OK);
  EXPECT_EQ(sample.start, 800000);
  ASSERT_EQ(f.producer.OnThreadDestroy(), kS_OK);
  EXPECT_EQ(f.producer.m_pattern.width, 400) << "surfaces stay until the next start";

  ASSERT_TRUE(zdtest::WriteCoordinateImage(f.dir.File("chart.bmp"), 150, 240));
  f.host.AdvanceMs(5000);
  ASSERT_EQ(f.Start(), kS_OK);
  EXPECT_EQ(f.producer.m_pattern.width, 450);
  EXPECT_EQ(f.producer.m_pattern.height, 240);
  ASSERT_EQ(f.NextFrame(sample), kS_OK);
  EXPECT_EQ(sample.start, 0);
  EXPECT_EQ(sample.stop, 400000);
  EXPECT_EQ(f.producer.m_frameCount, 1u);
  EXPECT_EQ(f.producer.m_dropCount, 0u);
  EXPECT_EQ(f.host.sleepCalls, 0u) << "the restarted stream's first frame came at once";
}

TEST(StreamStart, LatencyLogIsCreatedBesideTheModuleAndClosedAtStop) {
  StreamFixture f;
  zdtest::SetText(f.settings.m_latencyLog, "latency.log");
  ASSERT_EQ(f.Start(), kS_OK);
  EXPECT_TRUE(f.producer.m_latencyLog.IsOpen());
  FakeSample sample(f.FrameSize());
  ASSERT_EQ(f.NextFrame(sample), kS_OK);
  ASSERT_EQ(f.producer.OnThreadDestroy(), kS_OK);
  EXPECT_FALSE(f.producer.m_latencyLog.IsOpen());
  EXPECT_EQ(f.producer.OnThreadDestroy(), kS_OK) << "a second stop is harmless";

  // A log that cannot be created leaves the stream running unlogged.
  zdtest::SetText(f.settings.m_latencyLog, "missing-folder/latency.log");
  EXPECT_EQ(f.Start(), kS_OK);
  EXPECT_FALSE(f.producer.m_latencyLog.IsOpen());
  EXPECT_EQ(f.NextFrame(sample), kS_OK);
}

}  // namespace
