#include "tools/analyse/identity/status_line_identity.h"

#include <cmath>
#include <cstring>

#include "platform/module_path.h"
#include "platform/source_bitmap.h"
#include "stream/stream_settings.h"

namespace zdanalyse {

bool StatusLineCandidates(const StreamSettings& settings, const std::string& settingsDir, int only,
                          int32_t width, int32_t height, std::vector<StatusLineCandidate>* out,
                          std::string* error) {
  out->clear();
  std::vector<std::pair<std::string, std::shared_ptr<const GlyphAtlas>>>
      atlases;  // per path+matrix
  for (int32_t i = 0; i < settings.m_presetNum; ++i) {
    if (only != 0 && i + 1 != only)
      continue;
    const PresetInfo& p = settings.m_presetTable[size_t(i)];
    const bool sameSize = p.w == width && p.h == height;
    const bool sameShape =
        std::fabs(double(width) / height - double(p.w) / p.h) < 0.01 * double(p.w) / p.h;
    if (!sameSize && !sameShape)
      continue;
    const std::string font(p.font, strnlen(p.font, kPresetTextSize));
    if (font.empty())
      continue;
    const std::string path = JoinModulePath(settingsDir, font);
    for (bool bt709 : {false, true}) {
      bool known = false;
      for (const StatusLineCandidate& c : *out)
        known = known ||
                (c.presetW == p.w && c.presetH == p.h && c.fontPath == path && c.bt709 == bt709);
      if (known)
        continue;
      std::shared_ptr<const GlyphAtlas> atlas;
      const std::string key = path + (bt709 ? "|709" : "|601");
      for (const auto& a : atlases)
        atlas = a.first == key ? a.second : atlas;
      if (!atlas) {
        SourceBitmap sheet;
        auto built = std::make_shared<GlyphAtlas>();
        if (!LoadSourceBitmap(path, &sheet) || !built->Build(sheet, bt709)) {
          *error = "font sheet " + path + " (preset " + std::to_string(i + 1) +
                   ") cannot be loaded: a 24- or 32-bit BMP is needed";
          return false;
        }
        atlas = built;
        atlases.emplace_back(key, atlas);
      }
      out->push_back({p.w, p.h, path, bt709, atlas});
    }
  }
  if (out->empty()) {
    *error = "no preset of the settings has a frame of " + std::to_string(width) + "x" +
             std::to_string(height) + " or its shape, with a font sheet (see --ini, --preset)";
    return false;
  }
  return true;
}

StatusLineIdentity::StatusLineIdentity(StatusLineCandidate candidate)
    : m_candidate(std::move(candidate)),
      m_reader(m_candidate.atlas.get(), m_candidate.presetW, m_candidate.presetH) {}

void StatusLineIdentity::Read(const LumaFrame& frame, int64_t index,
                              std::vector<FrameRecord>* out) {
  FrameRecord r = BlankRecord(frame, index);
  StatusLine line;
  if (m_reader.Read(frame, &line)) {
    r.readable = true;
    r.frame = line.frame;
    r.hasDrops = true;
    r.drops = line.drops;
    r.hasClockMs = true;
    r.clockMs = line.timeMs;
    r.confidence = line.confidence;
  }
  out->push_back(r);
}

size_t ChooseCandidate(const std::vector<StatusLineCandidate>& candidates,
                       const std::vector<LumaFrame>& frames, size_t* readCount) {
  size_t best = 0, bestCount = 0;
  double bestConfidence = -1;
  *readCount = 0;
  if (frames.empty())
    return 0;
  for (size_t c = 0; c < candidates.size(); ++c) {
    StatusLineReader reader(candidates[c].atlas.get(), candidates[c].presetW,
                            candidates[c].presetH);
    size_t count = 0;
    double confidence = 0;
    for (const LumaFrame& f : frames) {
      StatusLine line;
      if (reader.Read(f, &line)) {
        ++count;
        confidence += line.confidence;
      }
    }
    // More frames read wins; then the surer reading (BT.601 and BT.709 luma
    // both read most recordings, but only one of them exactly).
    if (count > bestCount || (count == bestCount && confidence > bestConfidence)) {
      best = c;
      bestCount = count;
      bestConfidence = confidence;
    }
  }
  *readCount = bestCount;
  return best;
}

}  // namespace zdanalyse
