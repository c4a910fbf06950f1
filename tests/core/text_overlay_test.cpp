// Text and marker drawing: colour codes, pen movement, glyph placement in both
// row orders, clipping, and the marker's bytes.
#include "pattern/text_overlay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "pattern/pixel_format.h"
#include "pattern/pixel_surface.h"
#include "tests/core/support/output_formats.h"

namespace {

using Format = zdtest::OutputFormat;
using zdtest::kOutputFormats;
using zdtest::MemoryRow;

constexpr uint8_t kUntouched = 0xEE;

// The bytes of sheet pixel (column c, line L from the top): its cell column and
// row plus one, then its place inside the cell, cut to the pixel size.
std::vector<uint8_t> SheetBytes(int32_t c, int32_t line, int32_t gw, int32_t gh, int bpp) {
  std::vector<uint8_t> px = {uint8_t(c / gw + 1), uint8_t(line / gh + 1),
                             uint8_t((line % gh) * 16 + c % gw), 0x40};
  px.resize(size_t(bpp));
  return px;
}

// A font sheet of 32 x 16 cells of gw x gh pixels whose every pixel tells
// where it comes from.
PixelSurface NumberedSheet(const Format& f, int32_t gw, int32_t gh) {
  PixelSurface s;
  EXPECT_TRUE(s.CreateBlank(32 * gw, 16 * gh, f.compression, f.bit_count));
  for (int32_t line = 0; line < s.height; ++line) {
    uint8_t* row = s.pixels.get() + MemoryRow(f.compression, s.height, line) * s.stride;
    for (int32_t c = 0; c < s.width; ++c) {
      const std::vector<uint8_t> px = SheetBytes(c, line, gw, gh, s.bytes_per_pixel);
      std::copy(px.begin(), px.end(), row + c * s.bytes_per_pixel);
    }
  }
  return s;
}

struct Frame {
  Frame(const PixelSurface& font, uint32_t row_len_, uint32_t rows_)
      : compression(font.compression),
        bpp(font.bytes_per_pixel),
        pitch(row_len_ * uint32_t(font.bytes_per_pixel) + 4),  // spare bytes at each row's end
        row_len(row_len_),
        rows(rows_),
        bytes(size_t(pitch) * rows_, kUntouched) {}

  std::vector<uint8_t> Pixel(int64_t x, int64_t line) const {
    const uint8_t* p = bytes.data() + MemoryRow(compression, rows, line) * pitch + x * bpp;
    return std::vector<uint8_t>(p, p + bpp);
  }
  bool Untouched() const { return bytes == std::vector<uint8_t>(bytes.size(), kUntouched); }

  uint32_t compression;
  int bpp;
  uint32_t pitch, row_len, rows;
  std::vector<uint8_t> bytes;
};

// What the frame shows in the cell-sized box at (x, y): "r:c" for a whole copy
// of cell row r, column c, "-" for an untouched box, "?" for anything else.
std::string BoxAt(const Frame& frame, const PixelSurface& font, int64_t x, int64_t y) {
  const int32_t gw = font.glyph_w, gh = font.glyph_h;
  const std::vector<uint8_t> first = frame.Pixel(x, y);
  if (first[0] == kUntouched) {
    for (int32_t i = 0; i < gh; ++i)
      for (int32_t j = 0; j < gw; ++j)
        if (frame.Pixel(x + j, y + i) != std::vector<uint8_t>(size_t(frame.bpp), kUntouched))
          return "?";
    return "-";
  }
  const int32_t col = first[0] - 1, row = first[1] - 1;
  for (int32_t i = 0; i < gh; ++i)
    for (int32_t j = 0; j < gw; ++j)
      if (frame.Pixel(x + j, y + i) != SheetBytes(col * gw + j, row * gh + i, gw, gh, frame.bpp))
        return "?";
  return std::to_string(row) + ":" + std::to_string(col);
}

// The boxes of n pen positions from (x, y).
std::string BoxesAlong(const Frame& frame, const PixelSurface& font, int64_t x, int64_t y, int n) {
  std::string out;
  for (int k = 0; k < n; ++k) {
    if (k)
      out += " ";
    out += BoxAt(frame, font, x + int64_t(k) * font.glyph_w, y);
  }
  return out;
}

TEST(TextOverlay, ColourCodesSelectBandsAndOrdinaryBytesAdvanceThePen) {
  struct Case {
    const char* text;
    const char* boxes;  // four pen positions from the start
    int32_t cells;      // MeasureString in cells
  } cases[] = {
      {"AB", "1:1 1:2 - -", 2},
      {"##", "0:3 - - -", 1},               // "##" is one "#"
      {"A#", "1:1 - - -", 1},               // a final "#" ends the text
      {"A#B", "1:1 - - -", 1},              // "#B": blue, no glyph
      {"#xA", "1:1 - - -", 1},              // unknown code: no colour change, no space
      {"#rA#yB#YC", "4:1 13:2 13:3 -", 3},  // y and Y are the same colour
      {"#Ga#bb", "8:1 11:2 - -", 2},
      {"#i5A6", "15:21 - 15:22 -", 3},  // the sixth colour has digits but no letters
      {"#w~ ", "2:30 0:0 - -", 2},
      {"\tA", "- 1:1 - -", 2},  // control bytes leave a gap
      {"\xC8"
       "A",
       "- 1:1 - -", 2},  // so do bytes above 126
      {"\x7F"
       "A",
       "- 1:1 - -", 2},
      {"#", "- - - -", 0},
      {"", "- - - -", 0},
  };
  for (const Format& f : kOutputFormats) {
    const PixelSurface font = NumberedSheet(f, 3, 4);
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message()
                   << FormatName(f.compression, f.bit_count) << " \"" << c.text << "\"");
      Frame frame(font, 60, 20);
      DrawString(font, frame.bytes.data(), frame.pitch, frame.row_len, frame.rows, 6, 4, c.text);
      EXPECT_EQ(BoxesAlong(frame, font, 6, 4, 4), c.boxes);
      EXPECT_EQ(MeasureString(font, c.text), c.cells * 3);
    }
  }
}

TEST(TextOverlay, EveryCallStartsInWhite) {
  const PixelSurface font = NumberedSheet({kCompressionRgb, 24}, 3, 4);
  Frame frame(font, 30, 12);
  DrawString(font, frame.bytes.data(), frame.pitch, frame.row_len, frame.rows, 0, 0, "#gA");
  DrawString(font, frame.bytes.data(), frame.pitch, frame.row_len, frame.rows, 0, 4, "A");
  EXPECT_EQ(BoxAt(frame, font, 0, 0), "7:1");
  EXPECT_EQ(BoxAt(frame, font, 0, 4), "1:1");
}

TEST(TextOverlay, GlyphsAreCopiedUprightInBothRowOrders) {
  for (const Format& f : kOutputFormats) {
    SCOPED_TRACE(FormatName(f.compression, f.bit_count));
    const PixelSurface font = NumberedSheet(f, 2, 3);
    Frame frame(font, 10, 8);
    DrawGlyph(font, frame.bytes.data(), frame.pitch, frame.row_len, frame.rows, 0, 0, 'A', 0);
    // Picture line 0 is the last memory row of a bottom-up frame.
    const size_t top_row = IsRgbFormat(f.compression) ? 7 : 0;
    EXPECT_EQ(frame.bytes[top_row * frame.pitch], 2);      // cell column 1, plus one
    EXPECT_EQ(frame.bytes[top_row * frame.pitch + 1], 2);  // cell row 1, plus one
    EXPECT_EQ(BoxAt(frame, font, 0, 0), "1:1");
  }
}

TEST(TextOverlay, AGlyphIsDrawnWholeOrNotAtAll) {
  struct Case {
    int32_t x, y;
    char ch;
    int32_t band;
    const char* box;
  } cases[] = {
      {0, 0, 'A', 0, "1:1"},
      {27, 16, 'A', 0, "1:1"},  // the bottom-right corner of a 30 x 20 frame
      {28, 0, 'A', 0, nullptr},
      {-1, 0, 'A', 0, nullptr},
      {0, -1, 'A', 0, nullptr},
      {0, 17, 'A', 0, nullptr},
      {INT32_MAX, 0, 'A', 0, nullptr},
      {0, INT32_MAX, 'A', 0, nullptr},
      {INT32_MIN, INT32_MIN, 'A', 0, nullptr},
      {0, 0, '5', 15, "15:21"},
      {0, 0, 'A', 15, nullptr},  // would need cell row 16
      {0, 0, '~', 12, "14:30"},
      {0, 0, 'A', -3, nullptr},
      {0, 0, 'A', 16, nullptr},
      {0, 0, 'A', INT32_MAX, nullptr},
      {0, 0, char(200), 0, nullptr},
      {0, 0, char(31), 0, nullptr},
  };
  const PixelSurface font = NumberedSheet({kCompressionRgb, 24}, 3, 4);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y << " " << int(c.ch) << " band " << c.band);
    Frame frame(font, 30, 20);
    DrawGlyph(font, frame.bytes.data(), frame.pitch, frame.row_len, frame.rows, c.x, c.y, c.ch,
              c.band);
    if (c.box) {
      EXPECT_EQ(BoxAt(frame, font, c.x, c.y), c.box);
    } else {
      EXPECT_TRUE(frame.Untouched());
    }
  }
}

TEST(TextOverlay, ATextStartingLeftOfTheFrameShowsTheGlyphsThatFit) {
  const PixelSurface font = NumberedSheet({kFourccYUY2, 16}, 3, 4);
  Frame frame(font, 30, 8);
  // Pens at -7, -4, -1 (partly outside: skipped), 2 and 5.
  DrawString(font, frame.bytes.data(), frame.pitch, frame.row_len, frame.rows, -7, 0, "ABCDE");
  EXPECT_EQ(BoxesAlong(frame, font, 2, 0, 3), "1:4 1:5 -");
  EXPECT_EQ(frame.Pixel(0, 0)[0], kUntouched);
  EXPECT_EQ(frame.Pixel(1, 3)[0], kUntouched);
}

TEST(TextOverlay, ALineFeedStartsANewLineAtTheStartColumn) {
  const PixelSurface font = NumberedSheet({kCompressionRgb, 32}, 3, 4);
  Frame frame(font, 30, 10);
  DrawString(font, frame.bytes.data(), frame.pitch, frame.row_len, frame.rows, 3, 1, "AB\nC\nDE");
  EXPECT_EQ(BoxesAlong(frame, font, 3, 1, 3), "1:1 1:2 -");
  EXPECT_EQ(BoxesAlong(frame, font, 3, 5, 2), "1:3 -");
  // The third line (lines 9 to 12) falls below the 10-line frame: nothing of it.
  for (int32_t c = 0; c < 30; ++c)
    EXPECT_EQ(frame.Pixel(c, 9)[0], kUntouched) << c;
  EXPECT_EQ(MeasureString(font, "AB\nCDE"), 9);
  EXPECT_EQ(MeasureString(font, "ABC\nD"), 9);
  EXPECT_EQ(MeasureString(font, "\n"), 0);
}

TEST(TextOverlay, CellsComeFromTheSheetSizeAndItsRemainderIsNeverUsed) {
  PixelSurface sheet;
  ASSERT_TRUE(sheet.CreateBlank(512, 288, kCompressionRgb, 24));
  EXPECT_EQ(sheet.glyph_w, 16);
  EXPECT_EQ(sheet.glyph_h, 18);

  const Format f{kCompressionRgb, 24};
  PixelSurface font;
  ASSERT_TRUE(font.CreateBlank(500, 250, f.compression, f.bit_count));
  ASSERT_EQ(font.glyph_w, 15);
  ASSERT_EQ(font.glyph_h, 15);
  // Cells hold 0x11; the unused right 20 columns and bottom 10 lines 0x99.
  for (int32_t line = 0; line < 250; ++line) {
    uint8_t* row = font.pixels.get() + MemoryRow(f.compression, 250, line) * font.stride;
    for (int32_t c = 0; c < 500; ++c) {
      const uint8_t v = (c >= 480 || line >= 240) ? 0x99 : 0x11;
      std::fill(row + c * 3, row + c * 3 + 3, v);
    }
  }
  Frame frame(font, 600, 30);
  for (int32_t band = 0; band <= 15; band += 3) {
    for (int ch = 32; ch < 128; ++ch) {
      DrawGlyph(font, frame.bytes.data(), frame.pitch, frame.row_len, frame.rows, (ch % 32) * 15,
                (ch / 64) * 15, char(ch), band);
    }
  }
  EXPECT_EQ(std::count(frame.bytes.begin(), frame.bytes.end(), 0x99), 0);
  EXPECT_GT(std::count(frame.bytes.begin(), frame.bytes.end(), 0x11), 0);
}

TEST(TextOverlay, SheetsWithoutCellsDrawNothing) {
  PixelSurface tiny;
  ASSERT_TRUE(tiny.CreateBlank(20, 10, kCompressionRgb, 32));  // cells of 0 x 0
  PixelSurface empty;
  empty.compression = kCompressionRgb;
  empty.bytes_per_pixel = 4;
  empty.glyph_w = 3;
  empty.glyph_h = 4;
  for (const PixelSurface* font : {&tiny, &empty}) {
    Frame frame(tiny, 30, 10);
    DrawString(*font, frame.bytes.data(), frame.pitch, frame.row_len, frame.rows, 0, 0, "AB\nCD");
    DrawGlyph(*font, frame.bytes.data(), frame.pitch, frame.row_len, frame.rows, 0, 0, 'A', 0);
    DrawCursorMarker(empty, frame.bytes.data(), frame.pitch, frame.row_len, frame.rows, 0, 0);
    EXPECT_TRUE(frame.Untouched());
  }
  EXPECT_EQ(MeasureString(tiny, "ABC"), 0);
  EXPECT_EQ(MeasureString(tiny, nullptr), 0);
}

TEST(TextOverlay, TheMarkerRepeatsFf80FF80InEachFormat) {
  struct Case {
    Format f;
    std::vector<uint8_t> first_pixels;  // the first two pixels of a line
  } cases[] = {
      {{kCompressionRgb, 32},
       {0xFF, 0x80, 0xFF, 0x80, 0xFF, 0x80, 0xFF, 0x80}},  // B 255 G 128 R 255 X 128
      {{kCompressionRgb, 24},
       {0xFF, 0x80, 0xFF, 0x80, 0xFF, 0x80}},         // magenta, then B 128 G 255 R 128
      {{kFourccYUY2, 16}, {0xFF, 0x80, 0xFF, 0x80}},  // white: Y 255, U 128, V 128
      {{kFourccYVYU, 16}, {0xFF, 0x80, 0xFF, 0x80}},
      {{kFourccUYVY, 16}, {0xFF, 0x80, 0xFF, 0x80}},  // U 255, Y 128, V 255
      {{kFourccHDYC, 16}, {0xFF, 0x80, 0xFF, 0x80}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(FormatName(c.f.compression, c.f.bit_count));
    const PixelSurface font = NumberedSheet(c.f, 2, 2);
    Frame frame(font, 40, 40);
    DrawCursorMarker(font, frame.bytes.data(), frame.pitch, frame.row_len, frame.rows, 4, 2);
    const size_t marker_bytes = size_t(32) * frame.bpp;
    for (int32_t line = 0; line < 40; ++line) {
      const uint8_t* row = frame.bytes.data() + MemoryRow(c.f.compression, 40, line) * frame.pitch;
      const bool inside = line >= 2 && line < 34;
      for (size_t i = 0; i < frame.pitch; ++i) {
        const bool in_block =
            inside && i >= size_t(4 * frame.bpp) && i < size_t(4 * frame.bpp) + marker_bytes;
        // The sequence starts afresh at the block's left edge on every line.
        const uint8_t expected =
            in_block ? ((i - 4 * frame.bpp) % 2 == 0 ? 0xFF : 0x80) : kUntouched;
        ASSERT_EQ(row[i], expected) << "line " << line << " byte " << i;
      }
      if (inside) {
        const uint8_t* start = row + 4 * frame.bpp;
        EXPECT_EQ(std::vector<uint8_t>(start, start + c.first_pixels.size()), c.first_pixels);
      }
    }
  }
}

TEST(TextOverlay, TheMarkerIsClippedToTheFrame) {
  struct Case {
    int32_t x, y;
    int32_t left, top, w, h;  // the visible block, in picture pixels
  } cases[] = {
      {-10, -10, 0, 0, 22, 22},   {50, 40, 50, 40, 14, 8},
      {10, 5, 10, 5, 32, 32},     {64, 0, 0, 0, 0, 0},
      {0, 48, 0, 0, 0, 0},        {-32, 0, 0, 0, 0, 0},
      {-31, -31, 0, 0, 1, 1},     {INT32_MIN, 0, 0, 0, 0, 0},
      {0, INT32_MAX, 0, 0, 0, 0}, {INT32_MAX, INT32_MIN, 0, 0, 0, 0},
  };
  const PixelSurface font = NumberedSheet({kCompressionRgb, 32}, 2, 2);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
    Frame frame(font, 64, 48);
    DrawCursorMarker(font, frame.bytes.data(), frame.pitch, frame.row_len, frame.rows, c.x, c.y);
    for (int32_t line = 0; line < 48; ++line) {
      for (int32_t col = 0; col < 64; ++col) {
        const bool in = col >= c.left && col < c.left + c.w && line >= c.top && line < c.top + c.h;
        ASSERT_EQ(frame.Pixel(col, line)[0], in ? 0xFF : kUntouched) << col << "," << line;
      }
    }
  }
}

TEST(TextOverlay, A422MarkerCoversWholePixelPairsOnly) {
  struct Case {
    uint32_t row_len;
    int32_t x;
    size_t units;
  } cases[] = {{64, 58, 3}, {64, 60, 2}, {63, 58, 2}, {64, 0, 16}, {64, -9, 11}};
  const PixelSurface font = NumberedSheet({kFourccUYVY, 16}, 2, 2);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.row_len << " " << c.x);
    Frame frame(font, c.row_len, 4);
    DrawCursorMarker(font, frame.bytes.data(), frame.pitch, frame.row_len, frame.rows, c.x, 0);
    const size_t start = size_t(std::max(c.x, 0)) * 2;
    for (size_t i = 0; i < frame.pitch; ++i) {
      const bool in = i >= start && i < start + c.units * 4;
      ASSERT_EQ(frame.bytes[i], in ? (((i - start) % 2) ? 0x80 : 0xFF) : kUntouched) << i;
    }
  }
}

}  // namespace
