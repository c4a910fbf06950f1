#include "tools/analyse/identity/status_line_reader.h"

#include <algorithm>
#include <cmath>
#include <cctype>
#include <cstdio>
#include <cstring>
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

// The cells of the frame number and the drop count: the digits (and blanks)
// after "Frame" and "Drop", or after "FR" and "(".
std::vector<bool> IdentityCells(const std::string& text) {
  std::vector<bool> mask(text.size(), false);
  static const char* const kLongForm[2] = {"Frame", "Drop"};
  static const char* const kShortForm[2] = {"FR", "("};
  const bool longForm = text.compare(0, 5, "Frame") == 0;
  for (const char* label : longForm ? kLongForm : kShortForm) {
    size_t i = text.find(label);
    if (i == std::string::npos)
      continue;
    for (i += std::strlen(label);
         i < text.size() && (text[i] == ' ' || std::isdigit(uint8_t(text[i]))); ++i)
      mask[i] = true;
  }
  return mask;
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

namespace {

// How much of each source unit [i, i + 1) falls into the footprint of target
// pixel t, [t / scale, (t + 1) / scale), for source units first..first + n - 1.
std::vector<double> Footprint(int32_t t, double scale, int32_t first, int32_t n) {
  std::vector<double> w(size_t(n), 0.0);
  const double lo = t / scale, hi = (t + 1) / scale;
  double sum = 0;
  for (int32_t i = 0; i < n; ++i) {
    const double a = std::max(lo, double(first + i)), b = std::min(hi, double(first + i + 1));
    w[size_t(i)] = std::max(0.0, b - a);
    sum += w[size_t(i)];
  }
  for (double& v : w)
    v = sum > 0 ? v / sum : 0;
  return w;
}

}  // namespace

const std::vector<StatusLineReader::ScaledCell>& StatusLineReader::CellsFor(int32_t width,
                                                                            int32_t height) {
  auto found = m_cells.find({width, height});
  if (found != m_cells.end())
    return found->second;
  std::vector<ScaledCell>& cells = m_cells[{width, height}];
  const int32_t cw = m_atlas->CellWidth(), ch = m_atlas->CellHeight();
  const double sx = double(width) / m_presetW, sy = double(height) / m_presetH;
  const int32_t rows = std::max(0, std::min(height, int32_t(std::floor(ch * sy + 1e-9))));
  std::vector<std::vector<double>> wy;
  for (int32_t y = 0; y < rows; ++y)
    wy.push_back(Footprint(y, sy, 0, ch));
  for (int32_t k = 0; k < kMaxCells && m_presetW - (k + 1) * cw >= 0; ++k) {
    const int32_t nx0 = m_presetW - (k + 1) * cw;  // the cell in the preset's frame
    ScaledCell cell;
    cell.x0 = int32_t(std::ceil(nx0 * sx - 1e-9));
    // No pixel lies wholly inside a cell narrower than one: x1 = x0, an empty cell.
    cell.x1 = std::max(cell.x0, std::min(width, int32_t(std::floor((nx0 + cw) * sx + 1e-9))));
    cell.y1 = rows;
    std::vector<std::vector<double>> wx;
    for (int32_t x = cell.x0; x < cell.x1; ++x)
      wx.push_back(Footprint(x, sx, nx0, cw));
    for (const Glyph& g : m_atlas->Glyphs()) {
      std::vector<uint8_t> scaled;
      for (int32_t y = 0; y < cell.y1; ++y) {
        for (size_t x = 0; x < wx.size(); ++x) {
          double v = 0;
          for (int32_t j = 0; j < ch; ++j) {
            if (wy[size_t(y)][size_t(j)] == 0)
              continue;
            const uint8_t* row = g.luma.data() + size_t(j) * size_t(cw);
            for (int32_t i = 0; i < cw; ++i)
              v += wy[size_t(y)][size_t(j)] * wx[x][size_t(i)] * row[i];
          }
          scaled.push_back(uint8_t(std::lround(std::clamp(v, 0.0, 255.0))));
        }
      }
      cell.glyphs.push_back(std::move(scaled));
    }
    cells.push_back(std::move(cell));
  }
  return cells;
}

GlyphMatch StatusLineReader::MatchCell(const LumaFrame& frame, const ScaledCell& cell) const {
  GlyphMatch m;
  const size_t w = size_t(cell.x1 - cell.x0), n = w * size_t(cell.y1);
  if (n == 0)
    return m;
  const std::vector<Glyph>& glyphs = m_atlas->Glyphs();
  std::vector<double> distance(glyphs.size());
  for (size_t g = 0; g < glyphs.size(); ++g) {
    const uint8_t* ref = cell.glyphs[g].data();
    uint64_t sum = 0;
    for (int32_t y = 0; y < cell.y1; ++y) {
      const uint8_t* px = frame.Row(y) + cell.x0;
      for (size_t x = 0; x < w; ++x)
        sum += uint64_t(std::abs(int(px[x]) - int(*ref++)));
    }
    distance[g] = double(sum) / double(n);
    if (m.index < 0 || distance[g] < m.distance) {
      m.index = int(g);
      m.distance = distance[g];
    }
  }
  // The runner-up is the nearest glyph of another character: a blank in white
  // and one in yellow look alike and are no rivals.
  for (size_t g = 0; g < glyphs.size(); ++g) {
    if (glyphs[g].ch != glyphs[size_t(m.index)].ch && distance[g] < m.runnerUp)
      m.runnerUp = distance[g];
  }
  return m;
}

bool StatusLineReader::Read(const LumaFrame& frame, StatusLine* out) {
  const int32_t cw = m_atlas->CellWidth(), ch = m_atlas->CellHeight();
  if (cw < 1 || ch < 1 || ch > m_presetH || !frame.HasLuma())
    return false;
  const std::vector<ScaledCell>& cells = CellsFor(frame.width, frame.height);
  std::string reversed;  // the line from its right end
  std::vector<bool> yellow;
  std::vector<double> ratio;
  for (int32_t k = 0; k < kMaxCells; ++k) {
    if (size_t(k) >= cells.size())
      return false;
    const GlyphMatch m = MatchCell(frame, cells[size_t(k)]);
    if (m.index < 0 || m.distance > m_tolerance.maxDistance ||
        m.distance > m_tolerance.maxRatioElsewhere * m.runnerUp)
      return false;
    const Glyph& g = m_atlas->Glyphs()[size_t(m.index)];
    reversed.push_back(g.ch);
    yellow.push_back(g.yellow);
    ratio.push_back(m.runnerUp > 0 ? m.distance / m.runnerUp : 1.0);
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
    // The frame number and the drop count must be certain, digit by digit.
    double confidence = 1.0;
    const std::vector<bool> identity = IdentityCells(text);
    for (size_t i = 0; i < text.size(); ++i) {
      const double r = ratio[text.size() - 1 - i];
      if (identity[i] && r > m_tolerance.maxRatio)
        return false;
      confidence = identity[i] ? std::min(confidence, 1.0 - r) : confidence;
    }
    line.confidence = confidence;
    *out = line;
    return true;
  }
  return false;
}

}  // namespace zdanalyse
