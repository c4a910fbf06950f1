#include "pattern/text_overlay.h"

#include <algorithm>
#include <cstring>

#include "pattern/pixel_format.h"
#include "pattern/pixel_surface.h"

namespace {

constexpr int32_t kSheetColumns = 32;
constexpr int32_t kSheetRows = 16;
constexpr uint8_t kMarkerBytes[4] = {0xFF, 0x80, 0xFF, 0x80};

// The first cell row of the colour a "#" code selects, or -1 for a byte that is
// no colour letter.
int32_t BandOfLetter(char letter) {
  switch (letter) {
    case 'w':
    case 'W':
      return 0;
    case 'r':
    case 'R':
      return 3;
    case 'g':
    case 'G':
      return 6;
    case 'b':
    case 'B':
      return 9;
    case 'y':
    case 'Y':
      return 12;
    case 'i':
    case 'I':
      return 15;
    default:
      return -1;
  }
}

bool UsableFormat(const PixelSurface& s) {
  if (IsRgbFormat(s.compression))
    return s.bytes_per_pixel == 3 || s.bytes_per_pixel == 4;
  return s.bytes_per_pixel == 2;
}

// The frame can hold rows of row_len pixels of this format.
bool FrameFits(const PixelSurface& s, const uint8_t* buffer, uint32_t pitch, uint32_t row_len,
               uint32_t rows) {
  return buffer && rows > 0 && row_len > 0 &&
         uint64_t(row_len) * uint64_t(s.bytes_per_pixel) <= pitch;
}

// Buffer row of picture line `line` (from the top).
uint8_t* FrameLine(const PixelSurface& s, uint8_t* buffer, uint32_t pitch, uint32_t rows,
                   int64_t line) {
  const int64_t row = IsRgbFormat(s.compression) ? int64_t(rows) - 1 - line : line;
  return buffer + size_t(row) * size_t(pitch);
}

// Copies one glyph row (tens of bytes) without calling the C library: at this
// length the call costs more than the copy, and Windows' msvcrt copies short
// runs with string instructions. The fixed-size memcpy calls become plain
// moves; runs longer than 64 bytes go to memcpy. The ranges must not overlap.
void CopyGlyphRow(uint8_t* dst, const uint8_t* src, size_t n) {
  if (n > 64) {
    std::memcpy(dst, src, n);
  } else if (n >= 16) {
    // Two to four 16-byte moves from both ends; they overlap in the middle.
    std::memcpy(dst, src, 16);
    std::memcpy(dst + n - 16, src + n - 16, 16);
    if (n > 32) {
      std::memcpy(dst + 16, src + 16, 16);
      std::memcpy(dst + n - 32, src + n - 32, 16);
    }
  } else if (n >= 8) {
    std::memcpy(dst, src, 8);
    std::memcpy(dst + n - 8, src + n - 8, 8);
  } else if (n >= 4) {
    std::memcpy(dst, src, 4);
    std::memcpy(dst + n - 4, src + n - 4, 4);
  } else if (n >= 2) {
    std::memcpy(dst, src, 2);
    std::memcpy(dst + n - 2, src + n - 2, 2);
  } else if (n == 1) {
    *dst = *src;
  }
}

// DrawGlyph with a pen that may have run beyond the 32-bit range.
void DrawGlyphAt(const PixelSurface& font, uint8_t* buffer, uint32_t pitch, uint32_t row_len,
                 uint32_t rows, int64_t x, int64_t y, char ch, int32_t band) {
  if (font.empty() || !UsableFormat(font) || !FrameFits(font, buffer, pitch, row_len, rows))
    return;
  const int64_t gw = font.glyph_w;
  const int64_t gh = font.glyph_h;
  if (gw <= 0 || gh <= 0)
    return;
  // Whole glyphs only.
  if (x < 0 || x + gw > int64_t(row_len) || y < 0 || y + gh > int64_t(rows))
    return;
  const int32_t code = static_cast<signed char>(ch);
  if (code < 32 || code > 127)
    return;
  const int32_t group = (code - 32) / 32;
  if (band < 0 || int64_t(band) + group >= kSheetRows)
    return;

  // The cell, checked against the sheet itself in case the cell size and the
  // sheet disagree.
  const int64_t cell_x = int64_t(code % kSheetColumns) * gw;
  const int64_t cell_line = int64_t(band + group) * gh;
  if (cell_x + gw > font.width || cell_line + gh > font.height)
    return;
  if (int64_t(font.stride) < int64_t(font.width) * font.bytes_per_pixel)
    return;

  const size_t bpp = size_t(font.bytes_per_pixel);
  const size_t bytes = size_t(gw) * bpp;
  const bool rgb = IsRgbFormat(font.compression);
  for (int64_t i = 0; i < gh; ++i) {
    const int64_t sheet_line = cell_line + i;
    const int64_t sheet_row = rgb ? int64_t(font.height) - 1 - sheet_line : sheet_line;
    const uint8_t* src =
        font.pixels.get() + size_t(sheet_row) * size_t(font.stride) + size_t(cell_x) * bpp;
    uint8_t* dst = FrameLine(font, buffer, pitch, rows, y + i) + size_t(x) * bpp;
    CopyGlyphRow(dst, src, bytes);
  }
}

}  // namespace

void DrawGlyph(const PixelSurface& font, uint8_t* buffer, uint32_t pitch, uint32_t row_len,
               uint32_t rows, int32_t x, int32_t y, char ch, int32_t band) {
  DrawGlyphAt(font, buffer, pitch, row_len, rows, x, y, ch, band);
}

void DrawString(const PixelSurface& font, uint8_t* buffer, uint32_t pitch, uint32_t row_len,
                uint32_t rows, int32_t x, int32_t y, const char* text) {
  if (!text)
    return;
  int64_t pen_x = x;
  int64_t pen_y = y;
  int32_t band = 0;  // white
  for (const char* p = text; *p != '\0'; ++p) {
    char ch = *p;
    if (ch == '\n') {
      pen_x = x;
      pen_y += font.glyph_h;
      continue;
    }
    if (ch == '#') {
      const char next = p[1];
      if (next == '\0')
        return;
      ++p;
      if (next != '#') {
        const int32_t selected = BandOfLetter(next);
        if (selected >= 0)
          band = selected;
        continue;
      }
      // "##" draws one "#".
    }
    const unsigned char code = static_cast<unsigned char>(ch);
    if (code >= 32 && code <= 126)
      DrawGlyphAt(font, buffer, pitch, row_len, rows, pen_x, pen_y, ch, band);
    pen_x += font.glyph_w;
  }
}

int32_t MeasureString(const PixelSurface& font, const char* text) {
  if (!text)
    return 0;
  int64_t line = 0;
  int64_t widest = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '\n') {
      widest = std::max(widest, line);
      line = 0;
      continue;
    }
    if (*p == '#') {
      const char next = p[1];
      if (next == '\0')
        break;
      ++p;
      if (next != '#')
        continue;  // a colour code, or an unknown one: no space
    }
    line += font.glyph_w;
  }
  widest = std::max(widest, line);
  return int32_t(std::min<int64_t>(widest, INT32_MAX));
}

void DrawCursorMarker(const PixelSurface& font, uint8_t* buffer, uint32_t pitch, uint32_t row_len,
                      uint32_t rows, int32_t x, int32_t y) {
  if (font.empty() || !UsableFormat(font) || !FrameFits(font, buffer, pitch, row_len, rows))
    return;
  int64_t left = x;
  int64_t top = y;
  int64_t w = kMarkerSize;
  int64_t h = kMarkerSize;
  if (top < 0) {
    h += top;
    top = 0;
  }
  if (top + h > int64_t(rows))
    h = int64_t(rows) - top;
  if (left < 0) {
    w += left;
    left = 0;
  }
  if (left + w > int64_t(row_len))
    w = int64_t(row_len) - left;
  if (w <= 0 || h <= 0)
    return;

  const size_t bpp = size_t(font.bytes_per_pixel);
  // RGB: every byte of the block; 4:2:2: whole pixel pairs only.
  const size_t bytes = IsRgbFormat(font.compression) ? size_t(w) * bpp : size_t(w / 2) * 4;
  for (int64_t line = 0; line < h; ++line) {
    uint8_t* dst = FrameLine(font, buffer, pitch, rows, top + line) + size_t(left) * bpp;
    for (size_t i = 0; i < bytes; ++i)
      dst[i] = kMarkerBytes[i % 4];
  }
}
