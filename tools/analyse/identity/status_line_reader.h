#pragma once
// Reads a frame's status line back: the glyph cells right-aligned to the
// frame's right edge on the top cell row, matched against the font sheet's
// glyphs, then parsed and checked by formatting the values again exactly as
// the filter does. For a recording at another size than the preset's, each
// glyph is first scaled to where its cell lies in the recording (by area), and
// only the recording's pixels wholly inside the cell are compared; at the
// preset's own size that is the glyph itself, pixel for pixel.
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tools/analyse/identity/glyph_atlas.h"
#include "tools/analyse/read/luma_frame.h"

namespace zdanalyse {

struct StatusLine {
  uint32_t frame = 0;       // the frame number shown: frames made before this one
  uint32_t drops = 0;       // the source's drop count at this frame
  uint32_t timeMs = 0;      // the source's clock at this frame, in ms
  double fps = 0.0;         // the rate the source measured
  double confidence = 0.0;  // of the least certain digit of frame number and drop
                            // count: 1 exact, towards 0 ambiguous
  std::string text;         // the line as read, without colours
};

// How far a cell may be from its nearest glyph and still count as read, and
// how much nearer than the runner-up it must be: strictly for the frame
// number and the drop count (the frame's identity), less so for the labels,
// the clock and the rate, which only have to make the line parse.
struct GlyphTolerance {
  double maxDistance = 48.0;        // mean absolute luma difference per pixel
  double maxRatio = 0.6;            // distance / runner-up distance, identity digits
  double maxRatioElsewhere = 0.85;  // the same for every other cell
};

class StatusLineReader {
 public:
  // presetW x presetH: the frame size the source drew the line for; the
  // atlas is cut from the preset's font sheet.
  StatusLineReader(const GlyphAtlas* atlas, int32_t presetW, int32_t presetH,
                   GlyphTolerance tolerance = {});

  // False when the line cannot be read with certainty: a cell that matches no
  // glyph, or a text that the filter would not have drawn. Not thread-safe:
  // the scaled glyphs are made on first use for each recording size.
  bool Read(const LumaFrame& frame, StatusLine* out);

 private:
  // The glyphs as cell k (from the right) shows them in a recording: the
  // recording's pixels x0..x1-1 across and 0..y1-1 down, row by row.
  struct ScaledCell {
    int32_t x0 = 0, x1 = 0, y1 = 0;
    std::vector<std::vector<uint8_t>> glyphs;  // one per atlas glyph
  };
  const std::vector<ScaledCell>& CellsFor(int32_t width, int32_t height);
  GlyphMatch MatchCell(const LumaFrame& frame, const ScaledCell& cell) const;

  std::map<std::pair<int32_t, int32_t>, std::vector<ScaledCell>> m_cells;
  const GlyphAtlas* m_atlas;
  int32_t m_presetW;
  int32_t m_presetH;
  GlyphTolerance m_tolerance;
};

// Parses the text of a status line (without colours) as a frame of width w
// shows it. True only when FormatStatusLine gives exactly that text again.
bool ParseStatusText(const std::string& text, int32_t w, StatusLine* out);

}  // namespace zdanalyse
