#include "tools/analyse/identity/glyph_atlas.h"

#include <cstring>

#include "platform/source_bitmap.h"
#include "tools/analyse/read/luma_frame.h"

namespace zdanalyse {
namespace {

constexpr int32_t kWhiteBand = 0;
constexpr int32_t kYellowBand = 12;
// The characters of both forms of the status line, by colour.
constexpr const char* kValueChars = "0123456789. -";
constexpr const char* kLabelChars = "FrameDopTihsPSRM()";

}  // namespace

bool GlyphAtlas::Build(const SourceBitmap& sheet, bool bt709) {
  m_glyphs.clear();
  m_cellW = sheet.width / 32;
  m_cellH = sheet.height / 16;
  if (m_cellW < 1 || m_cellH < 1 ||
      sheet.bgr.size() < size_t(sheet.width) * size_t(sheet.height) * 3)
    return false;
  auto cut = [&](char ch, int32_t band, bool yellow) {
    Glyph g{ch, yellow, std::vector<uint8_t>(size_t(m_cellW) * size_t(m_cellH))};
    const int32_t cellRow = band + (ch - 32) / 32, cellCol = ch % 32;
    for (int32_t i = 0; i < m_cellH; ++i) {
      const int32_t line = cellRow * m_cellH + i;  // from the top of the sheet
      const uint8_t* px =
          sheet.Row(sheet.height - 1 - line) + size_t(cellCol) * size_t(m_cellW) * 3;
      for (int32_t x = 0; x < m_cellW; ++x, px += 3)
        g.luma[size_t(i) * size_t(m_cellW) + size_t(x)] = LumaOfBgr(px[0], px[1], px[2], bt709);
    }
    m_glyphs.push_back(std::move(g));
  };
  for (const char* c = kValueChars; *c; ++c)
    cut(*c, kWhiteBand, false);
  for (const char* c = kLabelChars; *c; ++c)
    cut(*c, kYellowBand, true);
  return true;
}

}  // namespace zdanalyse
