#pragma once
// The glyphs a status line is made of, as luma cells cut from a font sheet:
// white digits, points and blanks (the values) and the yellow letters and
// signs of the labels. A picture cell is matched to the nearest of them.
#include <cstdint>
#include <vector>

struct SourceBitmap;

namespace zdanalyse {

struct Glyph {
  char ch;
  bool yellow;                // drawn in the yellow band (labels), else white (values)
  std::vector<uint8_t> luma;  // cell_w * cell_h, top line first
};

struct GlyphMatch {
  int index = -1;           // into Glyphs(), -1 when there are none
  double distance = 0.0;    // mean absolute luma difference per pixel to that glyph
  double runnerUp = 255.0;  // the same for the nearest glyph of another character
};

class GlyphAtlas {
 public:
  // Cuts the status line's glyphs from a font sheet (32 x 16 cells), with the
  // luma the filter's formats give its colours (BT.709 for HDYC). False when
  // the sheet is too small to hold cells.
  bool Build(const SourceBitmap& sheet, bool bt709);

  int32_t CellWidth() const { return m_cellW; }
  int32_t CellHeight() const { return m_cellH; }
  const std::vector<Glyph>& Glyphs() const { return m_glyphs; }

 private:
  int32_t m_cellW = 0;
  int32_t m_cellH = 0;
  std::vector<Glyph> m_glyphs;
};

}  // namespace zdanalyse
