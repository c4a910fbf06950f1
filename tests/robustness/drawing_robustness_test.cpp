// Random images, formats, frame geometry, scroll offsets, texts and positions
// through tiling, text drawing and the frame loop: nothing is ever written
// outside the picture's rows. Every frame buffer sits between guard zones, and
// the bytes between a row's end and the next row's start are watched as well.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "pattern/frame_producer.h"
#include "pattern/pixel_format.h"
#include "pattern/pixel_surface.h"
#include "pattern/text_overlay.h"
#include "platform/source_bitmap.h"
#include "pattern/simulated_frame_host.h"
#include "tests/core/support/fake_sample.h"
#include "tests/core/support/output_formats.h"
#include "tests/robustness/mutator.h"

namespace {

using zdrobust::Rng;

constexpr uint8_t kGuard = 0xA5;
constexpr uint8_t kUntouched = 0x3C;
constexpr size_t kGuardBytes = 64;

// A frame of `rows` rows starting every `pitch` bytes, of which the first
// row_bytes belong to the picture, between two guard zones.
class GuardedFrame {
 public:
  GuardedFrame(uint32_t rows, uint32_t pitch, uint32_t row_bytes)
      : m_rows(rows),
        m_pitch(pitch),
        m_rowBytes(row_bytes),
        m_memory(kGuardBytes * 2 + size_t(rows) * pitch, kGuard) {
    std::memset(m_memory.data() + kGuardBytes, kUntouched, size_t(rows) * pitch);
  }
  uint8_t* data() { return m_memory.data() + kGuardBytes; }
  const uint8_t* Row(uint32_t r) const {
    return m_memory.data() + kGuardBytes + size_t(r) * m_pitch;
  }
  size_t size() const { return size_t(m_rows) * m_pitch; }

  // The guard zones, and every byte past a row's picture up to the next row.
  ::testing::AssertionResult OutsideUntouched() const {
    for (size_t i = 0; i < kGuardBytes; ++i) {
      if (m_memory[i] != kGuard)
        return ::testing::AssertionFailure()
               << "written " << kGuardBytes - i << " bytes before the frame";
      if (m_memory[kGuardBytes + size() + i] != kGuard)
        return ::testing::AssertionFailure() << "written " << i << " bytes after the frame";
    }
    if (m_rowBytes >= m_pitch)
      return ::testing::AssertionSuccess();
    for (uint32_t r = 0; r < m_rows; ++r) {
      for (size_t i = m_rowBytes; i < m_pitch; ++i) {
        if (Row(r)[i] != kUntouched)
          return ::testing::AssertionFailure()
                 << "written past the picture of row " << r << " at byte " << i;
      }
    }
    return ::testing::AssertionSuccess();
  }
  bool AllUntouched() const {
    for (size_t i = 0; i < size(); ++i) {
      if (m_memory[kGuardBytes + i] != kUntouched)
        return false;
    }
    return true;
  }

 private:
  uint32_t m_rows, m_pitch, m_rowBytes;
  std::vector<uint8_t> m_memory;
};

using Format = zdtest::OutputFormat;
using zdtest::kOutputFormats;
constexpr Format kOtherFormats[] = {
    {kCompressionRgb, 16}, {kCompressionRgb, 0},
    {kCompressionRgb, -8}, {kFourccYUY2, 24},
    {kFourccHDYC, 32},     {0x3231564Eu, 12},
    {0x12345678u, 16},     {kCompressionRgb, INT32_MIN},
};

Format RandomFormat(Rng& rng) {
  return rng.OneIn(8) ? rng.Pick(kOtherFormats) : rng.Pick(kOutputFormats);
}

// Pixels of random colours; now and then an image that claims more pixels than
// it holds, which must be refused.
SourceBitmap RandomImage(Rng& rng, int32_t max_w, int32_t max_h) {
  SourceBitmap image;
  image.width = int32_t(rng.Between(1, max_w));
  image.height = int32_t(rng.Between(1, max_h));
  image.bgr.resize(size_t(image.width) * size_t(image.height) * 3);
  for (uint8_t& b : image.bgr)
    b = uint8_t(rng.Next());
  if (rng.OneIn(16))
    image.bgr.resize(rng.Below(image.bgr.size()));
  if (rng.OneIn(32))
    image.width = rng.OneIn(2) ? 0 : -image.width;
  return image;
}

// A frame side for BuildTile: mostly small; else no size at all, negative, or
// so large that the tile must be refused rather than attempted.
int32_t RandomTileSide(Rng& rng) {
  static constexpr int32_t kOdd[] = {0, -1, INT32_MIN, -16384, INT32_MAX, 1 << 30, 0x7FFFFFF0};
  return rng.OneIn(6) ? rng.Pick(kOdd) : int32_t(rng.Between(1, 300));
}

// Scroll offsets and positions at the edges of their range, or anywhere.
int32_t RandomOffset(Rng& rng, int32_t near) {
  static constexpr int32_t kEdges[] = {
      0, 1, -1, 2, INT32_MIN, INT32_MAX, INT32_MIN + 1, INT32_MAX - 1, -32, 16384};
  switch (rng.Below(4)) {
    case 0:
      return rng.Pick(kEdges);
    case 1:
      return int32_t(uint32_t(rng.Next()));
    default:
      return int32_t(rng.Between(-int64_t(near) - 40, int64_t(near) + 40));
  }
}

// Rows and row length of a frame, and a pitch that sometimes cannot hold a row.
struct Geometry {
  uint32_t rows, row_len, pitch;
};
Geometry RandomGeometry(Rng& rng, int32_t bpp) {
  Geometry g;
  g.rows = uint32_t(rng.OneIn(10) ? rng.Below(3) : rng.Between(1, 120));
  g.row_len = uint32_t(rng.OneIn(10) ? rng.Below(3) : rng.Between(1, 300));
  const int64_t exact = int64_t(g.row_len) * (bpp > 0 ? bpp : 1);
  const int64_t pitch = rng.OneIn(4) ? exact + rng.Between(-6, -1) : exact + rng.Between(0, 12);
  g.pitch = uint32_t(pitch < 0 ? 0 : pitch);
  return g;
}

int64_t Mod(int64_t v, int64_t m) {
  return ((v % m) + m) % m;
}

// A frame row shows a tile row from column x (mod the tile width) on, wrapping around.
bool RowShowsSomeTileRow(const PixelSurface& tile, const uint8_t* row, uint32_t row_len,
                         int32_t x) {
  const size_t bpp = size_t(tile.bytes_per_pixel);
  const int64_t start = Mod(x, tile.width);
  for (int32_t t = 0; t < tile.height; ++t) {
    const uint8_t* src = tile.pixels.get() + size_t(t) * size_t(tile.stride);
    bool same = true;
    for (uint32_t i = 0; i < row_len && same; ++i) {
      same = std::memcmp(row + i * bpp, src + size_t(Mod(start + i, tile.width)) * bpp, bpp) == 0;
    }
    if (same)
      return true;
  }
  return false;
}

TEST(DrawingRobustness, TilesOfAnyImageAndFrameSizeAreRefusedOrWhole) {
  const zdrobust::SeededRounds rounds(0x711E, 1500);
  uint32_t built = 0;
  for (uint32_t i = 0; i < rounds.Count(); ++i) {
    Rng rng = rounds.RngOf(i);
    const SourceBitmap image = RandomImage(rng, 90, 70);
    const Format f = RandomFormat(rng);
    const int32_t frame_w = RandomTileSide(rng);
    const int32_t frame_h = RandomTileSide(rng);
    PixelSurface tile;
    if (!tile.BuildTile(image, frame_w, frame_h, f.compression, f.bit_count)) {
      ASSERT_TRUE(tile.empty()) << rounds.Describe(i);
      continue;
    }
    ++built;
    const bool usable = image.width > 0 && image.height > 0 &&
                        image.bgr.size() >= size_t(image.width) * size_t(image.height) * 3;
    ASSERT_TRUE(usable) << rounds.Describe(i) << ": built from an image without all its pixels";
    ASSERT_EQ(tile.bytes_per_pixel, f.bit_count / 8) << rounds.Describe(i);
    ASSERT_EQ(tile.stride, tile.width * tile.bytes_per_pixel) << rounds.Describe(i);
    // Whole repeats of the image that cover the frame; 4:2:2 tiles keep whole pixel pairs.
    ASSERT_EQ(tile.width % image.width, 0) << rounds.Describe(i);
    ASSERT_EQ(tile.height % image.height, 0) << rounds.Describe(i);
    ASSERT_GE(tile.width, frame_w) << rounds.Describe(i);
    ASSERT_GE(tile.height, frame_h) << rounds.Describe(i);
    if (!IsRgbFormat(f.compression)) {
      ASSERT_EQ(tile.width % 2, 0) << rounds.Describe(i);
    }
  }
  EXPECT_GT(built, rounds.Count() / 2);
}

TEST(DrawingRobustness, ScrolledCopiesStayInsideTheFrameAtAnyOffset) {
  const zdrobust::SeededRounds rounds(0xB117, 1500);
  for (uint32_t i = 0; i < rounds.Count(); ++i) {
    Rng rng = rounds.RngOf(i);
    const Format f = rng.Pick(kOutputFormats);
    PixelSurface tile;
    const SourceBitmap image = RandomImage(rng, 40, 40);
    tile.BuildTile(image, int32_t(rng.Below(100)), int32_t(rng.Below(100)), f.compression,
                   f.bit_count);
    const int32_t bpp = f.bit_count / 8;
    const Geometry g = RandomGeometry(rng, bpp);
    const uint32_t row_bytes = g.row_len * uint32_t(bpp);
    GuardedFrame frame(g.rows, g.pitch, row_bytes);
    const int32_t xe = RandomOffset(rng, tile.width), xo = RandomOffset(rng, tile.width);
    const int32_t ye = RandomOffset(rng, tile.height), yo = RandomOffset(rng, tile.height);

    const bool drawn = tile.BlitScrolled(frame.data(), g.pitch, g.row_len, g.rows, xe, xo, ye, yo);
    ASSERT_TRUE(frame.OutsideUntouched()) << rounds.Describe(i);
    const bool fits = !tile.empty() && (g.rows == 0 || row_bytes <= g.pitch);
    ASSERT_EQ(drawn, fits) << rounds.Describe(i);
    if (!drawn) {
      ASSERT_TRUE(frame.AllUntouched()) << rounds.Describe(i) << ": refused, yet drew";
      continue;
    }
    for (uint32_t r = 0; r < g.rows; ++r) {
      ASSERT_TRUE(RowShowsSomeTileRow(tile, frame.Row(r), g.row_len, r % 2 ? xo : xe))
          << rounds.Describe(i) << ", row " << r;
    }
  }
}

// Text of colour codes, line breaks, printable and high bytes.
std::string RandomText(Rng& rng) {
  static const char* const kPieces[] = {"#",  "##",   "#w",   "#r",   "#g",        "#b", "#y",
                                        "#i", "#x",   "#\n",  "\n",   "A",         "z",  " ",
                                        "~",  "\x7f", "\x80", "\xff", "1234567890"};
  std::string text;
  for (uint64_t n = rng.Below(40); n > 0; --n) {
    if (rng.OneIn(5)) {
      const char c = char(1 + rng.Below(255));
      text.push_back(c);
    } else {
      text += rng.Pick(kPieces);
    }
  }
  return text;
}

// A font sheet in an output format; now and then with cell sizes that
// disagree with the sheet.
PixelSurface RandomFont(Rng& rng, Format f) {
  PixelSurface font;
  const SourceBitmap image = RandomImage(rng, 200, 120);
  font.BuildTile(image, 0, 0, f.compression, f.bit_count);
  if (!font.empty() && rng.OneIn(6)) {
    static constexpr int32_t kCells[] = {0, -1, 1, 1000, INT32_MAX, INT32_MIN};
    if (rng.OneIn(2)) {
      font.glyph_w = rng.Pick(kCells);
    } else {
      font.glyph_h = rng.Pick(kCells);
    }
  }
  return font;
}

TEST(DrawingRobustness, TextAndMarkerStayInsideTheFrameAtAnyPosition) {
  const zdrobust::SeededRounds rounds(0x7E47, 1500);
  for (uint32_t i = 0; i < rounds.Count(); ++i) {
    Rng rng = rounds.RngOf(i);
    const Format f = rng.Pick(kOutputFormats);
    const PixelSurface font = RandomFont(rng, f);
    const int32_t bpp = f.bit_count / 8;
    const Geometry g = RandomGeometry(rng, bpp);
    const uint32_t row_bytes = g.row_len * uint32_t(bpp);
    GuardedFrame frame(g.rows, g.pitch, row_bytes);
    const std::string text = RandomText(rng);
    const int32_t x = RandomOffset(rng, int32_t(g.row_len)), y = RandomOffset(rng, int32_t(g.rows));
    const int32_t mx = RandomOffset(rng, int32_t(g.row_len)),
                  my = RandomOffset(rng, int32_t(g.rows));
    const char glyph = char(rng.Next());
    const int32_t band = int32_t(rng.Between(-2, 17));

    DrawString(font, frame.data(), g.pitch, g.row_len, g.rows, x, y, text.c_str());
    ASSERT_TRUE(frame.OutsideUntouched()) << rounds.Describe(i) << " (text)";
    DrawGlyph(font, frame.data(), g.pitch, g.row_len, g.rows, x, y, glyph, band);
    ASSERT_TRUE(frame.OutsideUntouched()) << rounds.Describe(i) << " (glyph)";
    DrawCursorMarker(font, frame.data(), g.pitch, g.row_len, g.rows, mx, my);
    ASSERT_TRUE(frame.OutsideUntouched()) << rounds.Describe(i) << " (marker)";
    if (row_bytes > g.pitch) {
      ASSERT_TRUE(frame.AllUntouched()) << rounds.Describe(i) << ": rows overlap";
    }
    // Measuring never overflows into a negative width.
    ASSERT_GE(MeasureString(font, text.c_str()), 0) << rounds.Describe(i);
  }
}

// The picture pixels (column, line from the top) whose bytes changed.
template <typename Visit>
void ForEachChangedPixel(const GuardedFrame& frame, const Geometry& g, int32_t bpp, bool rgb,
                         Visit visit) {
  for (uint32_t r = 0; r < g.rows; ++r) {
    const int64_t line = rgb ? int64_t(g.rows) - 1 - r : int64_t(r);
    for (uint32_t c = 0; c < g.row_len; ++c) {
      for (int32_t b = 0; b < bpp; ++b) {
        if (frame.Row(r)[size_t(c) * size_t(bpp) + size_t(b)] != kUntouched) {
          visit(int64_t(c), line);
          break;
        }
      }
    }
  }
}

TEST(DrawingRobustness, TextAndMarkerChangeOnlyTheirOwnBox) {
  const zdrobust::SeededRounds rounds(0xB0C5, 600);
  uint32_t drawn = 0;
  for (uint32_t i = 0; i < rounds.Count(); ++i) {
    Rng rng = rounds.RngOf(i);
    const Format f = rng.Pick(kOutputFormats);
    const PixelSurface font = RandomFont(rng, f);
    const int32_t bpp = f.bit_count / 8;
    Geometry g = RandomGeometry(rng, bpp);
    if (uint64_t(g.row_len) * uint64_t(bpp) > g.pitch)
      g.pitch = g.row_len * uint32_t(bpp);
    const bool rgb = IsRgbFormat(f.compression);

    // One line of text: its box is MeasureString wide and one cell high.
    std::string text = RandomText(rng);
    text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
    const int32_t x = RandomOffset(rng, int32_t(g.row_len)), y = RandomOffset(rng, int32_t(g.rows));
    GuardedFrame frame(g.rows, g.pitch, g.row_len * uint32_t(bpp));
    DrawString(font, frame.data(), g.pitch, g.row_len, g.rows, x, y, text.c_str());
    const int64_t right = int64_t(x) + MeasureString(font, text.c_str());
    bool inside = true;
    ForEachChangedPixel(frame, g, bpp, rgb, [&](int64_t c, int64_t line) {
      ++drawn;
      inside = inside && c >= x && c < right && line >= y && line < int64_t(y) + font.glyph_h;
    });
    ASSERT_TRUE(inside) << rounds.Describe(i) << " (text)";

    // The marker: a block of kMarkerSize pixels from its position.
    const int32_t mx = RandomOffset(rng, int32_t(g.row_len)),
                  my = RandomOffset(rng, int32_t(g.rows));
    GuardedFrame marked(g.rows, g.pitch, g.row_len * uint32_t(bpp));
    DrawCursorMarker(font, marked.data(), g.pitch, g.row_len, g.rows, mx, my);
    ForEachChangedPixel(marked, g, bpp, rgb, [&](int64_t c, int64_t line) {
      inside = inside && c >= mx && c < int64_t(mx) + kMarkerSize && line >= my &&
               line < int64_t(my) + kMarkerSize;
    });
    ASSERT_TRUE(inside) << rounds.Describe(i) << " (marker)";
  }
  // Text did land on the frames: the boxes were checked against real pixels.
  EXPECT_GT(drawn, rounds.Count());
}

// A media sample between guard zones; its size need not suit the preset.
class GuardedSample : public FrameSample {
 public:
  explicit GuardedSample(uint32_t size, bool null_pointer = false)
      : m_memory(kGuardBytes * 2 + size, kGuard), m_size(size), m_null(null_pointer) {
    std::memset(m_memory.data() + kGuardBytes, kUntouched, size);
  }
  uint8_t* Pointer() override { return m_null ? nullptr : m_memory.data() + kGuardBytes; }
  uint32_t Size() override { return m_size; }
  void SetTime(int64_t s, int64_t e) override {
    start = s;
    stop = e;
  }
  void ClearTime() override {}
  void SetSyncPoint(bool) override {}
  void SetActualDataLength(uint32_t length) override { actual = length; }

  bool GuardsIntact() const {
    for (size_t i = 0; i < kGuardBytes; ++i) {
      if (m_memory[i] != kGuard || m_memory[kGuardBytes + m_size + i] != kGuard)
        return false;
    }
    return true;
  }

  int64_t start = -1, stop = -1;
  uint32_t actual = 0;

 private:
  std::vector<uint8_t> m_memory;
  uint32_t m_size;
  bool m_null;
};

// A preset as the table holds it, with now and then fields no table holds.
PresetInfo RandomPreset(Rng& rng) {
  PresetInfo p = {};
  p.enable = 1;
  const Format f = RandomFormat(rng);
  p.compression = f.compression;
  p.bit_count = f.bit_count;
  static constexpr int32_t kOddSides[] = {0, -2, INT32_MIN, INT32_MAX, 16384, 1, 3};
  p.w = rng.OneIn(8) ? rng.Pick(kOddSides) : int32_t(rng.Between(40, 400));
  p.h = rng.OneIn(8) ? rng.Pick(kOddSides) : int32_t(rng.Between(30, 300));
  static constexpr int64_t kTimes[] = {333667, 1, 0, -1, 1000, 166833, 400000};
  p.frame_time = rng.Pick(kTimes);
  static constexpr int32_t kInterlace[] = {0, 1, 2, 3, -1, INT32_MIN};
  p.interlaced = rng.OneIn(4) ? rng.Pick(kInterlace) : int32_t(rng.Below(3));
  p.scroll_x = RandomOffset(rng, 64);
  p.scroll_y = RandomOffset(rng, 64);
  const std::string comment = RandomText(rng);
  std::memcpy(p.comment, comment.data(), std::min(comment.size(), sizeof p.comment - 1));
  return p;
}

uint32_t RandomSampleSize(Rng& rng, const PresetInfo& p) {
  const bool sane =
      p.w > 0 && p.w <= 1000 && p.h > 0 && p.h <= 1000 && p.bit_count > 0 && p.bit_count <= 32;
  const uint32_t proper = sane ? zdtest::FrameBytes(p.w, p.h, p.bit_count) : 0;
  switch (rng.Below(5)) {
    case 0:
      return uint32_t(rng.Below(64));
    case 1:
      return uint32_t(rng.Below(300000));
    case 2:
      return proper ? uint32_t(rng.Between(proper / 2, proper)) : uint32_t(rng.Below(5000));
    default:
      return proper ? proper + uint32_t(rng.Below(3) * rng.Below(64)) : uint32_t(rng.Below(5000));
  }
}

TEST(DrawingRobustness, FramesOfAnyPresetAndSampleSizeStayInsideTheSample) {
  const zdrobust::SeededRounds rounds(0xF7A3, 400);
  for (uint32_t i = 0; i < rounds.Count(); ++i) {
    Rng rng = rounds.RngOf(i);
    zd::SimulatedFrameHost host;
    FrameProducer producer;
    // The surfaces of the stream's preset; frames may come for another one
    // (the preset replaced after the stream started).
    const PresetInfo streamPreset = RandomPreset(rng);
    const SourceBitmap picture = RandomImage(rng, 64, 48);
    producer.m_pattern.BuildTile(picture, std::min(streamPreset.w, 400),
                                 std::min(streamPreset.h, 300), streamPreset.compression,
                                 streamPreset.bit_count);
    producer.m_font = RandomFont(rng, Format{streamPreset.compression, streamPreset.bit_count});
    producer.m_useCpuClock = int32_t(rng.Below(2));
    FormatInfoLine(producer.m_infoLine, streamPreset, producer.m_useCpuClock != 0);
    if (rng.OneIn(4))
      producer.m_frameCount = uint32_t(rng.Next());
    host.cursorX = RandomOffset(rng, 200);
    host.cursorY = RandomOffset(rng, 200);

    int64_t expected_start = 0;
    for (uint64_t n = 1 + rng.Below(3); n > 0; --n) {
      const PresetInfo preset = rng.OneIn(4) ? RandomPreset(rng) : streamPreset;
      const uint32_t size = RandomSampleSize(rng, preset);
      GuardedSample sample(size, rng.OneIn(40));
      const int32_t mouse = int32_t(rng.Below(3));
      // The next frame is due now: the loop need not wait for it.
      host.AdvanceMs(double(preset.frame_time > 0 ? preset.frame_time : 0) / 10000.0 + 1.0);

      ASSERT_EQ(producer.FillBuffer(host, &sample, preset, mouse), kS_OK) << rounds.Describe(i);
      ASSERT_TRUE(sample.GuardsIntact()) << rounds.Describe(i);
      EXPECT_EQ(sample.actual, size) << rounds.Describe(i);
      EXPECT_EQ(sample.start, expected_start) << rounds.Describe(i);
      EXPECT_EQ(sample.stop, expected_start + preset.frame_time) << rounds.Describe(i);
      expected_start = sample.stop;
    }
  }
}

}  // namespace

namespace {

// Found by the test above: the frame loop placed the status line at
// w - (its width) and the information line at h - (cell height) in 32-bit
// arithmetic, which overflowed for a frame width or cell height near the
// 32-bit limits. Such text now lands off the frame and is left out.
TEST(DrawingRobustness, AbsurdFrameWidthOrCellHeightLeavesTheTextOffTheFrame) {
  struct Case {
    const char* name;
    int32_t w;
    int32_t glyph_h;
  };
  const Case cases[] = {
      {"frame width INT32_MIN", INT32_MIN, 4},
      {"frame width INT32_MIN + 1", INT32_MIN + 1, 4},
      {"cell height INT32_MIN", 80, INT32_MIN},
      {"cell height INT32_MAX", 80, INT32_MAX},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SourceBitmap dot;
    dot.width = 1;
    dot.height = 1;
    dot.bgr = {10, 200, 30};
    PresetInfo preset = {};
    preset.w = c.w;
    preset.h = 60;
    preset.bit_count = 32;
    preset.frame_time = 333667;
    FrameProducer producer;
    ASSERT_TRUE(producer.m_pattern.CreateBlank(80, 60, kCompressionRgb, 32));
    ASSERT_TRUE(producer.m_font.BuildTile(dot, 32 * 3, 16 * 4, kCompressionRgb, 32));
    ASSERT_EQ(producer.m_font.glyph_h, 4);
    producer.m_font.glyph_h = c.glyph_h;
    FormatInfoLine(producer.m_infoLine, preset, true);
    zd::SimulatedFrameHost host;
    GuardedSample sample(zdtest::FrameBytes(80, 60, 32));
    ASSERT_EQ(producer.FillBuffer(host, &sample, preset, 0), kS_OK);
    EXPECT_TRUE(sample.GuardsIntact());
  }
}

}  // namespace
