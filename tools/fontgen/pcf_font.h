#pragma once
// Reader of X11 bitmap fonts in the Portable Compiled Format (.pcf, optionally
// gzip-compressed, as the X11 font packages ship them). Only what a fixed-cell
// renderer needs: glyph metrics, glyph bitmaps, the code-to-glyph map and the
// font's ascent and descent.
#include <cstdint>
#include <string>
#include <vector>

namespace zdtools {

struct PcfGlyph {
  int left = 0;     // left side bearing: first ink column relative to the origin
  int right = 0;    // right side bearing: one past the last ink column
  int advance = 0;  // character width
  int ascent = 0;   // ink rows above the baseline
  int descent = 0;  // ink rows below the baseline
  // (right - left) x (ascent + descent) pixels, top row first, 1 for ink.
  std::vector<uint8_t> ink;

  int InkWidth() const { return right - left; }
  int InkHeight() const { return ascent + descent; }
  bool Pixel(int x, int y) const { return ink[size_t(y) * size_t(InkWidth()) + size_t(x)] != 0; }
};

class PcfFont {
 public:
  // Reads a .pcf or .pcf.gz file. False, with a reason in *error, when the
  // file is missing or is not a font this reader understands.
  bool Load(const std::string& path, std::string* error);

  // Parses a whole uncompressed PCF file held in memory.
  bool Parse(const std::vector<uint8_t>& data, std::string* error);

  // The glyph of a character code (the font's own encoding), or null.
  const PcfGlyph* Find(uint32_t code) const;

  int FontAscent() const { return m_fontAscent; }
  int FontDescent() const { return m_fontDescent; }

 private:
  std::vector<PcfGlyph> m_glyphs;
  std::vector<uint16_t> m_glyphIndex;  // by encoding cell; 0xFFFF for none
  int m_firstCol = 0, m_lastCol = -1, m_firstRow = 0, m_lastRow = -1;
  int m_fontAscent = 0;
  int m_fontDescent = 0;
};

}  // namespace zdtools
