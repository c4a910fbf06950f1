#include "tools/fontgen/font_sheet.h"

namespace zdtools {

// Text colours chosen to stay legible on black in every output format: red and
// blue are lightened a little, since pure blue on black is hard to read.
const BandColour kBands[6] = {
    {0, 3, 255, 255, 255},  // w: white
    {3, 3, 255, 64, 64},    // r: red
    {6, 3, 64, 255, 64},    // g: green
    {9, 3, 96, 144, 255},   // b: blue
    {12, 3, 255, 255, 0},   // y: yellow
    {15, 1, 0, 255, 255},   // i: cyan, codes 32-63 only
};

namespace {

int FontHeight(const PcfFont& font) {
  return font.FontAscent() + font.FontDescent();
}

// The widest advance among the printable ASCII characters.
int AsciiAdvance(const PcfFont& font) {
  int advance = 0;
  for (uint32_t ch = 32; ch <= 126; ++ch)
    if (const PcfGlyph* g = font.Find(ch))
      advance = g->advance > advance ? g->advance : advance;
  return advance;
}

void DrawGlyph(const PcfGlyph& glyph, const PcfFont& font, int scale, int advance, int cellX,
               int cellY, int cellW, int cellH, const BandColour& colour, RgbImage* sheet) {
  // Centre the character box (advance x font height) in the cell.
  const int boxX = cellX + (cellW - advance * scale) / 2;
  const int baseline = cellY + (cellH - FontHeight(font) * scale) / 2 + font.FontAscent() * scale;
  for (int iy = 0; iy < glyph.InkHeight(); ++iy) {
    for (int ix = 0; ix < glyph.InkWidth(); ++ix) {
      if (!glyph.Pixel(ix, iy))
        continue;
      const int px = boxX + (glyph.left + ix) * scale;
      const int py = baseline - (glyph.ascent - iy) * scale;
      for (int sy = 0; sy < scale; ++sy) {
        for (int sx = 0; sx < scale; ++sx) {
          const int x = px + sx, y = py + sy;
          // Ink never leaves its own cell.
          if (x < cellX || x >= cellX + cellW || y < cellY || y >= cellY + cellH)
            continue;
          sheet->Set(x, y, colour.r, colour.g, colour.b);
        }
      }
    }
  }
}

}  // namespace

bool RenderFontSheet(const PcfFont& font, const SheetOptions& options, RgbImage* sheet,
                     std::string* error) {
  const int scale = options.scale;
  if (scale < 1 || scale > 8) {
    *error = "scale must be 1 to 8";
    return false;
  }
  for (uint32_t ch = 32; ch <= 126; ++ch) {
    if (!font.Find(ch)) {
      *error = "the font has no glyph for code " + std::to_string(ch);
      return false;
    }
  }
  const int advance = AsciiAdvance(font);
  int cellW = options.cellWidth;
  int cellH = options.cellHeight;
  if (cellW == 0)
    cellW = ((advance + 1) * scale + 1) & ~1;  // a gap column, and even for 4:2:2 pairs
  if (cellH == 0)
    cellH = (FontHeight(font) + 2) * scale;
  if (cellW < advance * scale || cellH < FontHeight(font) * scale || cellW > 256 || cellH > 256) {
    *error = "cell " + std::to_string(cellW) + "x" + std::to_string(cellH) +
             " does not suit a glyph of " + std::to_string(advance * scale) + "x" +
             std::to_string(FontHeight(font) * scale);
    return false;
  }

  *sheet = RgbImage(cellW * kSheetColumns, cellH * kSheetRows);  // all black
  for (const BandColour& band : kBands) {
    for (int group = 0; group < band.rows; ++group) {
      for (int column = 0; column < kSheetColumns; ++column) {
        const uint32_t ch = uint32_t(32 + group * 32 + column);
        // Code 127 has no glyph; column 0 of group 0 is the space.
        if (ch > 126)
          continue;
        const int cellRow = band.firstRow + group;
        const int cellCol = int(ch % 32);
        DrawGlyph(*font.Find(ch), font, scale, advance, cellCol * cellW, cellRow * cellH, cellW,
                  cellH, band, sheet);
      }
    }
  }
  return true;
}

}  // namespace zdtools
