#pragma once
// Reads a frame's status line back: the glyph cells right-aligned to the
// frame's right edge on the top cell row, matched against the font sheet's
// glyphs, then parsed and checked by formatting the values again exactly as
// the filter does. A recording at another size than the preset's is sampled
// back to the preset's geometry first.
#include <cstdint>
#include <string>

#include "tools/analyse/glyph_atlas.h"
#include "tools/analyse/luma_frame.h"

namespace zdanalyse {

struct StatusLine {
  uint32_t frame = 0;   // the frame number shown: frames made before this one
  uint32_t drops = 0;   // the source's drop count at this frame
  uint32_t timeMs = 0;  // the source's clock at this frame, in ms
  double fps = 0.0;     // the rate the source measured
  double confidence = 0.0;  // of the least certain glyph: 1 exact, towards 0 ambiguous
  std::string text;         // the line as read, without colours
};

// How far a cell may be from its nearest glyph and still count as read, and
// how much nearer than the runner-up it must be.
struct GlyphTolerance {
  double maxDistance = 48.0;  // mean absolute luma difference per pixel
  double maxRatio = 0.6;      // distance / runner-up distance
};

class StatusLineReader {
 public:
  // presetW x presetH: the frame size the source drew the line for; the
  // atlas is cut from the preset's font sheet.
  StatusLineReader(const GlyphAtlas* atlas, int32_t presetW, int32_t presetH,
                   GlyphTolerance tolerance = {});

  // False when the line cannot be read with certainty: a cell that matches no
  // glyph, or a text that the filter would not have drawn.
  bool Read(const LumaFrame& frame, StatusLine* out) const;

 private:
  void SampleCell(const LumaFrame& frame, int32_t x0, uint8_t* cell) const;

  const GlyphAtlas* m_atlas;
  int32_t m_presetW;
  int32_t m_presetH;
  GlyphTolerance m_tolerance;
};

// Parses the text of a status line (without colours) as a frame of width w
// shows it. True only when FormatStatusLine gives exactly that text again.
bool ParseStatusText(const std::string& text, int32_t w, StatusLine* out);

}  // namespace zdanalyse
