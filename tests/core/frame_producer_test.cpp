// The frame loop as a capture application sees it: when frames come, how they
// are counted and stamped, and what the picture shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "pattern/pixel_format.h"
#include "tests/core/support/output_formats.h"
#include "tests/core/support/stream_fixture.h"
#include "tests/core/support/yuv_formula.h"

namespace {

using zdtest::FakeSample;
using zdtest::StreamFixture;

constexpr HResultCode kVfwNoClock = static_cast<HResultCode>(0x80040249u);

TEST(FrameLoop, NullSampleIsRefusedWithoutAskingTheFilter) {
  StreamFixture f;
  ASSERT_EQ(f.Start(), kS_OK);
  EXPECT_EQ(f.producer.FillBuffer(f.host, nullptr, f.preset, 0), kE_POINTER);
  EXPECT_EQ(f.host.getStateCalls, 0u);
  EXPECT_EQ(f.producer.m_frameCount, 0u);
}

TEST(FrameLoop, FirstFrameComesAtOnceAndTheSecondOneIntervalLater) {
  StreamFixture f;  // 40 ms frames on the processor clock
  ASSERT_EQ(f.Start(), kS_OK);
  ASSERT_EQ(f.producer.m_useCpuClock, 1);
  FakeSample first(f.FrameSize());
  ASSERT_EQ(f.NextFrame(first), kS_OK);
  EXPECT_EQ(f.host.sleepCalls, 0u);
  EXPECT_LT(f.MsSinceStart(), 0.1);
  EXPECT_EQ(first.start, 0);
  EXPECT_EQ(first.stop, 400000);
  EXPECT_TRUE(first.syncPoint);
  EXPECT_EQ(first.actualLength, f.FrameSize());
  EXPECT_EQ(f.producer.m_dropCount, 0u);

  FakeSample second(f.FrameSize());
  ASSERT_EQ(f.NextFrame(second), kS_OK);
  EXPECT_GE(f.MsSinceStart(), 40.0);
  EXPECT_LT(f.MsSinceStart(), 40.1);
  EXPECT_EQ(second.start, 400000);
  EXPECT_EQ(second.stop, 800000);
  EXPECT_EQ(f.producer.m_dropCount, 0u);
  EXPECT_EQ(f.producer.m_frameCount, 2u);
}

TEST(FrameLoop, StallOfThirtyIntervalsGivesThirtyDropsBackToBackWithConsecutiveStamps) {
  StreamFixture f;
  ASSERT_EQ(f.Start(), kS_OK);
  FakeSample sample(f.FrameSize());
  for (int k = 0; k < 5; ++k)
    ASSERT_EQ(f.NextFrame(sample), kS_OK);
  ASSERT_EQ(f.producer.m_dropCount, 0u);

  // Frame 5 was due at 200 ms; the clock jumps to 1420 ms (35.5 intervals).
  f.host.AdvanceMs(1420.0 - f.MsSinceStart());
  const uint32_t sleepsBefore = f.host.sleepCalls;
  for (int k = 5; k <= 35; ++k) {
    ASSERT_EQ(f.NextFrame(sample), kS_OK);
    EXPECT_EQ(sample.start, int64_t(k) * 400000) << "frame " << k;
    EXPECT_EQ(sample.stop, int64_t(k + 1) * 400000) << "frame " << k;
  }
  EXPECT_EQ(f.host.sleepCalls, sleepsBefore) << "caught-up frames wait for nothing";
  EXPECT_EQ(f.producer.m_dropCount, 30u);

  // Caught up: frame 36 waits for its due time at 1440 ms and is on time.
  ASSERT_EQ(f.NextFrame(sample), kS_OK);
  EXPECT_GT(f.host.sleepCalls, sleepsBefore);
  EXPECT_GE(f.MsSinceStart(), 1440.0);
  EXPECT_EQ(f.producer.m_dropCount, 30u);
}

// A frame interval longer than the one-second guard still streams; a clock
// that stops ends the stream one second after the frame should have come.
TEST(FrameLoop, LongIntervalsStreamWhileAStalledClockEndsTheStream) {
  struct Case {
    const char* name;
    uint32_t tickOrigin;
  };
  for (const Case c : {Case{"plain", 5000u}, Case{"counter about to wrap", 0xFFFFF000u}}) {
    SCOPED_TRACE(c.name);
    StreamFixture slow;
    slow.host.tickOrigin = c.tickOrigin;
    slow.preset.frame_time = 20000000;  // 0.5 frames per second
    ASSERT_EQ(slow.Start(), kS_OK);
    FakeSample sample(slow.FrameSize());
    for (int k = 0; k < 4; ++k) {
      ASSERT_EQ(slow.NextFrame(sample), kS_OK) << "frame " << k;
      EXPECT_GE(slow.MsSinceStart(), 2000.0 * k);
      EXPECT_LT(slow.MsSinceStart(), 2000.0 * k + 1.0);
    }
    EXPECT_EQ(slow.producer.m_dropCount, 0u);

    StreamFixture stalled;
    stalled.host.tickOrigin = c.tickOrigin;
    ASSERT_EQ(stalled.Start(), kS_OK);
    ASSERT_EQ(stalled.NextFrame(sample), kS_OK);
    stalled.host.FreezeCounter();
    const int setTimes = sample.setTimeCalls;
    EXPECT_EQ(stalled.NextFrame(sample), kS_FALSE);
    EXPECT_EQ(sample.setTimeCalls, setTimes);
    // Due at 40 ms, given up one second later.
    EXPECT_GE(stalled.MsSinceStart(), 1040.0);
    EXPECT_LT(stalled.MsSinceStart(), 1045.0);
  }
}

TEST(FrameLoop, GraphClockThatFailsWhileRunningEndsTheStream) {
  StreamFixture f;
  f.settings.m_autoClock = 1;
  ASSERT_EQ(f.Start(), kS_OK);
  ASSERT_EQ(f.producer.m_useCpuClock, 0);
  FakeSample sample(f.FrameSize());
  ASSERT_EQ(f.NextFrame(sample), kS_OK);
  ASSERT_EQ(f.NextFrame(sample), kS_OK);
  f.host.hasClock = false;  // the clock now reads 0
  EXPECT_EQ(f.NextFrame(sample), kS_FALSE);
  EXPECT_EQ(f.producer.m_frameCount, 2u);
}

TEST(FrameLoop, WaitsForTheRunningStateAndAnswersStopsAndFailures) {
  constexpr HResultCode kFail = static_cast<HResultCode>(0x80004005u);
  struct Case {
    const char* name;
    int32_t initialState;
    HResultCode initialResult;
    // What happens after the fifth 1 ms sleep.
    int32_t laterState;
    bool laterStop;
    HResultCode laterResult;
    HResultCode expected;
    bool frameMade;
  };
  const Case cases[] = {
      {"running", kStateRunning, kS_OK, kStateRunning, false, kS_OK, kS_OK, true},
      {"paused, then run", kStatePaused, kS_OK, kStateRunning, false, kS_OK, kS_OK, true},
      {"paused, then stopped", kStatePaused, kS_OK, kStatePaused, true, kS_OK, kS_FALSE, false},
      {"stopped with a stop pending", kStateStopped, kS_OK, kStateStopped, true, kS_OK, kS_FALSE,
       false},
      {"state unavailable", kStateRunning, kFail, kStateRunning, false, kS_OK, kFail, false},
      {"state fails while paused", kStatePaused, kS_OK, kStatePaused, false, kFail, kFail, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StreamFixture f;
    ASSERT_EQ(f.Start(), kS_OK);
    f.host.state = c.initialState;
    f.host.stateResult = c.initialResult;
    f.host.onSleep = [&c](zd::SimulatedFrameHost& h, uint32_t sleeps) {
      if (sleeps == 5) {
        h.state = c.laterState;
        h.stopRequested = c.laterStop;
        h.stateResult = c.laterResult;
      }
    };
    FakeSample sample(f.FrameSize());
    EXPECT_EQ(f.NextFrame(sample), c.expected);
    EXPECT_EQ(sample.setTimeCalls, c.frameMade ? 1 : 0);
    EXPECT_EQ(f.producer.m_frameCount, c.frameMade ? 1u : 0u);
    if (!c.frameMade) {
      EXPECT_EQ(sample.Frame(), std::vector<uint8_t>(f.FrameSize(), 0xCD)) << "sample untouched";
    }
  }
}

TEST(FrameLoop, StopDuringALongWaitEndsTheStream) {
  StreamFixture f;
  f.preset.frame_time = 50000000;  // 5 s frames
  ASSERT_EQ(f.Start(), kS_OK);
  FakeSample sample(f.FrameSize());
  ASSERT_EQ(f.NextFrame(sample), kS_OK);
  f.host.onSleep = [](zd::SimulatedFrameHost& h, uint32_t sleeps) {
    if (sleeps == 100)
      h.stopRequested = true;
  };
  EXPECT_EQ(f.NextFrame(sample), kS_FALSE);
  EXPECT_LT(f.MsSinceStart(), 110.0);
}

// Interlaced frames move one scroll step per field: frame 10 with a step of 4
// shows the earlier field at x 80 and the later one at x 84.
TEST(FrameLoop, InterlacedFieldsScrollOneStepApart) {
  struct Case {
    int32_t interlaced;
    uint32_t bitCount;
    int evenX, oddX;
  };
  const Case cases[] = {{1, 32, 80, 84}, {2, 32, 84, 80}, {0, 32, 40, 40},
                        {1, 24, 80, 84}, {2, 24, 84, 80}, {0, 24, 40, 40}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "interlaced " << c.interlaced << ", " << c.bitCount << " bits");
    StreamFixture f;
    // Blue is the image column, green the image line (from the top).
    ASSERT_TRUE(zdtest::WriteCoordinateImage(f.dir.File("chart.bmp"), 200, 120));
    f.preset = zdtest::MakePreset(160, 120, kCompressionRgb, int32_t(c.bitCount));
    zdtest::SetText(f.preset.bmp, "chart.bmp");
    f.preset.interlaced = c.interlaced;
    f.preset.scroll_x = 4;
    ASSERT_EQ(f.Start(), kS_OK);
    ASSERT_EQ(f.producer.m_scrollOriginY, 0);
    FakeSample sample(f.FrameSize());
    for (int k = 0; k <= 10; ++k)
      ASSERT_EQ(f.FrameAt(40.0 * k, sample), kS_OK);

    const uint32_t bpp = c.bitCount / 8;
    const uint32_t pitch = f.FrameSize() / 120;
    for (uint32_t row : {50u, 51u, 60u, 61u}) {  // memory rows clear of the text
      const int x = row % 2 == 0 ? c.evenX : c.oddX;
      const uint8_t* line = sample.memory.data() + row * pitch;
      for (uint32_t col : {0u, 1u, 100u, 159u}) {
        EXPECT_EQ(line[col * bpp], uint8_t((col + x) % 200)) << "row " << row << " col " << col;
        // Bottom-up: memory row r is picture line 119 - r; no vertical scroll.
        EXPECT_EQ(line[col * bpp + 1], uint8_t(119 - row)) << "row " << row << " col " << col;
      }
    }
    EXPECT_TRUE(sample.GuardIntact());
  }
}

// What a frame over the blank background must show, composed here from the
// font sheet's own pixel formula and the colour formulas, without the text
// drawing under test.

// The pixel the fixture's synthetic font sheet has at (x, y), counted from
// its top-left, as B, G, R: cell column and cell row in blue and green, with
// the place inside the cell.
std::array<uint8_t, 3> FontSheetPixel(int32_t x, int32_t y) {
  const int32_t col = x / zdtest::kCellW, row = y / zdtest::kCellH;
  return {uint8_t(col * 8 + x % zdtest::kCellW), uint8_t(row * 16 + y % zdtest::kCellH),
          uint8_t(0x40 + ((x + y) & 0x3F))};
}

struct Glyph {
  int32_t ch;
  int32_t band;  // the first cell row of its colour
};

// The characters a line draws, one cell each: "#w", "#r", "#g" and "#y" (the
// only codes the two lines use) choose the bands at cell rows 0, 3, 6 and 12.
std::vector<Glyph> Glyphs(const std::string& text) {
  std::vector<Glyph> glyphs;
  int32_t band = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '#') {
      glyphs.push_back({uint8_t(text[i]), band});
      continue;
    }
    const std::string bands = "w..r..g.....y";
    band = int32_t(bands.find(text[++i]));
    EXPECT_NE(band, int32_t(std::string::npos)) << text;
  }
  return glyphs;
}

// A picture in B, G, R with a mark for the pixels that text covers.
struct TextPicture {
  TextPicture(int32_t w_, int32_t h_) : w(w_), h(h_), bgr(size_t(w_) * h_), inked(bgr.size()) {}

  // Copies each character's cell to its pen position, one cell further each.
  void Write(int32_t x, int32_t y, const std::string& text) {
    for (const Glyph& g : Glyphs(text)) {
      const int32_t cellX = (g.ch % 32) * zdtest::kCellW;
      const int32_t cellY = (g.band + (g.ch - 32) / 32) * zdtest::kCellH;
      for (int32_t j = 0; j < zdtest::kCellH; ++j) {
        for (int32_t k = 0; k < zdtest::kCellW; ++k) {
          bgr[size_t(y + j) * w + x + k] = FontSheetPixel(cellX + k, cellY + j);
          inked[size_t(y + j) * w + x + k] = true;
        }
      }
      x += zdtest::kCellW;
    }
  }

  // The frame bytes: uncovered pixels stay zero bytes (the blank background),
  // covered ones take their colour in the frame's format and row order.
  std::vector<uint8_t> Encode(uint32_t compression, int32_t bitCount, uint32_t frameSize) const {
    std::vector<uint8_t> frame(frameSize, 0);
    const uint32_t pitch = frameSize / uint32_t(h);
    for (int32_t line = 0; line < h; ++line) {
      const size_t at = size_t(line) * w;
      uint8_t* row = frame.data() + size_t(zdtest::MemoryRow(compression, h, line)) * pitch;
      if (IsRgbFormat(compression)) {
        for (int32_t c = 0; c < w; ++c) {
          if (inked[at + c])
            std::copy(bgr[at + c].begin(), bgr[at + c].end(), row + size_t(c) * (bitCount / 8));
        }
        continue;
      }
      for (int32_t c = 0; c < w; c += 2) {
        EXPECT_EQ(inked[at + c], inked[at + c + 1]) << "text split a pixel pair";
        if (inked[at + c])
          zdtest::PairUnit(compression, bgr[at + c].data(), bgr[at + c + 1].data(),
                           row + size_t(c) * 2);
      }
    }
    return frame;
  }

  int32_t w, h;
  std::vector<std::array<uint8_t, 3>> bgr;
  std::vector<bool> inked;
};

// The information line at the bottom left and the status line right-aligned.
std::vector<uint8_t> ExpectedTextFrame(const StreamFixture& f, const std::string& info,
                                       const std::string& status) {
  TextPicture picture(f.preset.w, f.preset.h);
  picture.Write(0, f.preset.h - zdtest::kCellH, info);
  picture.Write(f.preset.w - int32_t(Glyphs(status).size()) * zdtest::kCellW, 0, status);
  return picture.Encode(f.preset.compression, f.preset.bit_count, f.FrameSize());
}

TEST(FrameLoop, StatusLineShowsFrameDropsTimeAndRateInTheFormForTheWidth) {
  struct Case {
    int32_t w;
    uint32_t compression;
    int32_t bitCount;
    int frame;  // made at frame * 40 ms
    const char* status;
    const char* info;  // paced by the processor clock, no comment
  };
  const Case cases[] = {
      {480, kCompressionRgb, 32, 0, "#yFR#w   0#y(#w0#y) TM#w  0.000#ys FPS#w0.00",
       "480x120p RG32 #rCPU Clock #g"},
      {482, kCompressionRgb, 32, 0,
       "#yFrame#w0   #y #yDrop#w0 #y Time#w0#yh#w00#ym#w00#ys#w000#yms FPS#w 0.00",
       "482x120p RG32 #rCPU Clock #g"},
      {480, kCompressionRgb, 24, 24, "#yFR#w  24#y(#w0#y) TM#w  0.960#ys FPS#w0.00",
       "480x120p RG24 #rCPU Clock #g"},
      {480, kFourccYUY2, 16, 25, "#yFR#w  25#y(#w0#y) TM#w  1.000#ys FPS#w25.00",
       "480x120p YUY2 #rCPU Clock #g"},
      {482, kFourccUYVY, 16, 25,
       "#yFrame#w25  #y #yDrop#w0 #y Time#w0#yh#w00#ym#w01#ys#w000#yms FPS#w25.00",
       "482x120p UYVY #rCPU Clock #g"},
      {482, kCompressionRgb, 24, 26,
       "#yFrame#w26  #y #yDrop#w0 #y Time#w0#yh#w00#ym#w01#ys#w040#yms FPS#w25.00",
       "482x120p RG24 #rCPU Clock #g"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "w " << c.w << ", frame " << c.frame);
    StreamFixture f;  // no background: the picture is all zero bytes
    f.preset = zdtest::MakePreset(c.w, 120, c.compression, c.bitCount);
    ASSERT_EQ(f.Start(), kS_OK);
    FakeSample sample(f.FrameSize(), 0);  // RGB24 row padding is left as it was
    for (int k = 0; k <= c.frame; ++k)
      ASSERT_EQ(f.FrameAt(40.0 * k, sample), kS_OK);
    EXPECT_TRUE(sample.Frame() == ExpectedTextFrame(f, c.info, c.status))
        << "expected " << c.status;
    EXPECT_TRUE(sample.GuardIntact());
  }
}

TEST(FrameLoop, LongStatusLineCountsDropsAndHours) {
  StreamFixture f;
  f.preset = zdtest::MakePreset(640, 120, kCompressionRgb, 32);
  ASSERT_EQ(f.Start(), kS_OK);
  FakeSample sample(f.FrameSize());
  ASSERT_EQ(f.FrameAt(0, sample), kS_OK);
  ASSERT_EQ(f.FrameAt(40, sample), kS_OK);
  // 1 h 2 min 3.456 s: frame 2 is very late, and counted as dropped.
  ASSERT_EQ(f.FrameAt(3723456, sample), kS_OK);
  // Two frames in 3723.456 s: the rate is 2000 / 3723456 = 0.000537... per s.
  EXPECT_TRUE(sample.Frame() ==
              ExpectedTextFrame(f, "640x120p RG32 #rCPU Clock #g",
                                "#yFrame#w2   #y #yDrop#w1 #y Time#w1#yh#w02#ym#w03#ys#w456#yms "
                                "FPS#w 0.00"));
}

TEST(FrameLoop, MouseMarkerOnlyWhenTheSettingIsExactlyOne) {
  struct Case {
    int32_t mouseCursol;
    bool cursorAvailable;
    bool marker;
  };
  const Case cases[] = {
      {1, true, true}, {0, true, false}, {2, true, false}, {-1, true, false}, {1, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mouse_cursol " << c.mouseCursol);
    StreamFixture f;
    f.preset = zdtest::MakePreset(320, 240, kCompressionRgb, 32);
    ASSERT_EQ(f.Start(), kS_OK);
    f.host.cursorAvailable = c.cursorAvailable;
    f.host.cursorX = 50;  // the marker's top-left lands at (100, 80)
    f.host.cursorY = 40;
    FakeSample sample(f.FrameSize());
    ASSERT_EQ(f.NextFrame(sample, c.mouseCursol), kS_OK);
    const uint32_t pitch = 320 * 4;
    auto pixelAt = [&](int x, int line) {  // bottom-up: line L is memory row 239 - L
      return sample.memory.data() + size_t(239 - line) * pitch + size_t(x) * 4;
    };
    const uint8_t markerBytes[4] = {0xFF, 0x80, 0xFF, 0x80};
    for (auto [x, line] : {std::pair{100, 80}, std::pair{131, 111}, std::pair{115, 95}}) {
      EXPECT_EQ(std::memcmp(pixelAt(x, line), markerBytes, 4) == 0, c.marker)
          << "at " << x << "," << line;
    }
    // Just outside the 32 x 32 block the blank background shows.
    for (auto [x, line] :
         {std::pair{99, 80}, std::pair{132, 80}, std::pair{100, 79}, std::pair{100, 112}}) {
      EXPECT_EQ(*pixelAt(x, line), 0) << "at " << x << "," << line;
    }
  }
}

TEST(FrameLoop, SamplesOfAnySizeAreNeverWrittenBeyondTheirEnd) {
  struct Case {
    const char* name;
    uint32_t size;
    int32_t h;  // of the preset passed to FillBuffer
    int32_t bitCount;
  };
  const uint32_t frame = zdtest::FrameBytes(320, 240, 32);
  const Case cases[] = {
      {"empty", 0, 240, 32},
      {"ten bytes", 10, 240, 32},
      {"less than a row per line", 239, 240, 32},
      {"just under one row of pixels per line", 240 * 1279, 240, 32},
      {"half a frame", frame / 2, 240, 32},
      {"one byte short", frame - 1, 240, 32},
      {"a frame and a half", frame + frame / 2, 240, 32},
      {"no lines", frame, 0, 32},
      {"negative height", frame, -240, 32},
      {"wider pixels than the surfaces", frame, 240, 48},
      {"narrower pixels than the surfaces", frame, 240, 24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StreamFixture f;
    ASSERT_TRUE(zdtest::WriteCoordinateImage(f.dir.File("chart.bmp"), 100, 100));
    zdtest::SetText(f.preset.bmp, "chart.bmp");
    ASSERT_EQ(f.Start(), kS_OK);
    PresetInfo other = f.preset;
    other.h = c.h;
    other.bit_count = c.bitCount;
    FakeSample sample(c.size);
    f.host.cursorX = 150;
    f.host.cursorY = 110;
    EXPECT_EQ(f.producer.FillBuffer(f.host, &sample, other, 1), kS_OK);
    EXPECT_TRUE(sample.GuardIntact());
    EXPECT_EQ(sample.actualLength, c.size);
  }
}

TEST(FrameLoop, LatencyRecordsCompareTheClockWithEachTimeStamp) {
  StreamFixture f;
  zdtest::SetText(f.settings.m_latencyLog, "latency.log");
  ASSERT_EQ(f.Start(), kS_OK);
  FakeSample sample(f.FrameSize());
  ASSERT_EQ(f.FrameAt(0, sample), kS_OK);
  ASSERT_EQ(f.FrameAt(40, sample), kS_OK);
  ASSERT_EQ(f.FrameAt(95, sample), kS_OK);  // due at 80 ms, made 15 ms late
  ASSERT_EQ(f.producer.OnThreadDestroy(), kS_OK);
  EXPECT_FALSE(f.producer.m_latencyLog.IsOpen());

  std::FILE* file = std::fopen(f.dir.File("latency.log").c_str(), "rb");
  ASSERT_NE(file, nullptr);
  std::string text(4096, '\0');
  text.resize(std::fread(&text[0], 1, text.size(), file));
  std::fclose(file);
  EXPECT_EQ(text,
            "       0(  0)ms: Latancy=   0ms, TimeStamp=   0ms\r\n"
            "      40( 40)ms: Latancy=   0ms, TimeStamp=  40ms\r\n"
            "      95( 55)ms: Latancy= -15ms, TimeStamp=  80ms\r\n");
}

}  // namespace
