#pragma once
// Lays out a font sheet: 32 x 16 cells, one colour band of three cell rows per
// colour (white, red, green, blue, yellow), each band holding the printable
// ASCII characters with code ch in cell row band + (ch - 32) / 32 and cell
// column ch % 32, and a sixth colour (cyan) in cell row 15 for codes 32-63
// only. Glyphs sit on an opaque black cell, since cells are copied opaquely
// onto the moving picture.
#include <cstdint>
#include <string>

#include "tools/common/rgb_image.h"
#include "tools/fontgen/pcf_font.h"

namespace zdtools {

constexpr int kSheetColumns = 32;
constexpr int kSheetRows = 16;

struct SheetOptions {
  int cellWidth = 0;   // 0: the glyph advance times the scale, plus a gap, rounded up to even
  int cellHeight = 0;  // 0: (the font height plus two rows) times the scale
  int scale = 1;       // each font pixel becomes scale x scale sheet pixels
};

struct BandColour {
  int firstRow;  // first cell row of the band
  int rows;      // 3, or 1 for the sixth colour
  uint8_t r, g, b;
};

// The six bands, in cell-row order.
extern const BandColour kBands[6];

// Renders the sheet. False, with a reason in *error, when a printable ASCII
// character has no glyph in the font or the cell is too small for the font.
bool RenderFontSheet(const PcfFont& font, const SheetOptions& options, RgbImage* sheet,
                     std::string* error);

}  // namespace zdtools
