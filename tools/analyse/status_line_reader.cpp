#include "tools/analyse/status_line_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "pattern/frame_producer.h"

namespace zdanalyse {
namespace {

// The longest status line: a long-form line with ten-digit counts.
constexpr int32_t kMaxCells = 80;

// The formatted line without its colour codes, and whether each character is
// drawn in yellow.
std::string StripColours(const char* formatted, std::vector<bool>* yellow) {
  std::string text;
  bool inYellow = false;
  for (const char* p = formatted; *p; ++p) {
    if (*p == '#' && p[1]) {
      inYellow = p[1] == 'y' || p[1] == 'Y';
      ++p;
      continue;
    }
    text.push_back(*p);
    if (yellow)
      yellow->push_back(inYellow);
  }
  return text;
}

}  // namespace

bool ParseStatusText(const std::string& text, int32_t w, StatusLine* out) {
  unsigned frame = 0, drops = 0, a = 0, b = 0, c = 0, d = 0;
  double fps = 0.0;
  int used = -1;
  uint64_t t = 0;
  if (w > 480) {
    if (std::sscanf(text.c_str(), "Frame%u Drop%u Time%uh%um%us%ums FPS%lf%n", &frame, &drops, &a,
                    &b, &c, &d, &fps, &used) != 7)
      return false;
    t = uint64_t(a) * 3600000u + uint64_t(b) * 60000u + uint64_t(c) * 1000u + d;
  } else {
    if (std::sscanf(text.c_str(), "FR%u(%u) TM%u.%us FPS%lf%n", &frame, &drops, &a, &b, &fps,
                    &used) != 5)
      return false;
    t = uint64_t(a) * 1000u + b;
  }
  if (used != int(text.size()) || t > 0xFFFFFFFFu || !std::isfinite(fps))
    return false;
  char again[256];
  FormatStatusLine(again, sizeof again, w, frame, drops, uint32_t(t), fps);
  if (StripColours(again, nullptr) != text)
    return false;
  out->frame = frame;
  out->drops = drops;
  out->timeMs = uint32_t(t);
  out->fps = fps;
  out->text = text;
  return true;
}

StatusLineReader::StatusLineReader(const GlyphAtlas* atlas, int32_t presetW, int32_t presetH,
                                   GlyphTolerance tolerance)
    : m_atlas(atlas), m_presetW(presetW), m_presetH(presetH), m_tolerance(tolerance) {}

void StatusLineReader::SampleCell(const LumaFrame& frame, int32_t x0, uint8_t* cell) const {
  const int32_t cw = m_atlas->CellWidth(), ch = m_atlas->CellHeight();
  if (frame.width == m_presetW && frame.height == m_presetH) {
    for (int32_t j = 0; j < ch; ++j)
      std::copy_n(frame.Row(j) + x0, cw, cell + size_t(j) * size_t(cw));
    return;
  }
  // Bilinear samples at the centres of the preset's pixels.
  const double sx = double(frame.width) / m_presetW, sy = double(frame.height) / m_presetH;
  for (int32_t j = 0; j < ch; ++j) {
    const double fy = std::clamp((j + 0.5) * sy - 0.5, 0.0, double(frame.height - 1));
    const int32_t y0 = int32_t(fy), y1 = std::min(y0 + 1, frame.height - 1);
    const double wy = fy - y0;
    for (int32_t i = 0; i < cw; ++i) {
      const double fx = std::clamp((x0 + i + 0.5) * sx - 0.5, 0.0, double(frame.width - 1));
      const int32_t xa = int32_t(fx), xb = std::min(xa + 1, frame.width - 1);
      const double wx = fx - xa;
      const double top = frame.Row(y0)[xa] * (1 - wx) + frame.Row(y0)[xb] * wx;
      const double bottom = frame.Row(y1)[xa] * (1 - wx) + frame.Row(y1)[xb] * wx;
      cell[size_t(j) * size_t(cw) + size_t(i)] = uint8_t(std::lround(top * (1 - wy) + bottom * wy));
    }
  }
}

bool StatusLineReader::Read(const LumaFrame& frame, StatusLine* out) const {
  const int32_t cw = m_atlas->CellWidth(), ch = m_atlas->CellHeight();
  if (cw < 1 || ch < 1 || ch > m_presetH || frame.width < 1 || frame.height < 1 ||
      frame.luma.size() < size_t(frame.width) * size_t(frame.height))
    return false;
  std::vector<uint8_t> cell(size_t(cw) * size_t(ch));
  std::string reversed;  // the line from its right end
  std::vector<bool> yellow;
  double confidence = 1.0;
  for (int32_t k = 0; k < kMaxCells; ++k) {
    const int32_t x0 = m_presetW - (k + 1) * cw;
    if (x0 < 0)
      return false;
    SampleCell(frame, x0, cell.data());
    const GlyphMatch m = m_atlas->Match(cell.data());
    if (m.index < 0 || m.distance > m_tolerance.maxDistance ||
        m.distance > m_tolerance.maxRatio * m.runnerUp)
      return false;
    const Glyph& g = m_atlas->Glyphs()[size_t(m.index)];
    reversed.push_back(g.ch);
    yellow.push_back(g.yellow);
    confidence = std::min(confidence, m.runnerUp > 0 ? 1.0 - m.distance / m.runnerUp : 0.0);
    if (g.ch != 'F' || !g.yellow)
      continue;
    // A yellow F may start the line ("Frame" or "FR"); the one of "FPS" does not parse.
    const std::string text(reversed.rbegin(), reversed.rend());
    StatusLine line;
    if (!ParseStatusText(text, m_presetW, &line))
      continue;
    // The colours must be the filter's too: labels yellow, values white.
    char formatted[256];
    FormatStatusLine(formatted, sizeof formatted, m_presetW, line.frame, line.drops, line.timeMs,
                     line.fps);
    std::vector<bool> expected;
    StripColours(formatted, &expected);
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] != ' ' && expected[i] != yellow[text.size() - 1 - i])
        return false;
    }
    line.confidence = confidence;
    *out = line;
    return true;
  }
  return false;
}

}  // namespace zdanalyse
