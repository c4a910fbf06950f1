#include "tools/analyse/picture_check.h"

#include <algorithm>
#include <cmath>

#include "platform/module_path.h"

namespace zdanalyse {
namespace {

constexpr size_t kWorstKept = 5;
constexpr int32_t kThumbnailWidth = 480;

uint8_t Clamp8(double v) {
  return uint8_t(std::clamp(v + 0.5, 0.0, 255.0));
}

// A picture for the page, at most kThumbnailWidth wide (nearest samples).
Thumbnail ThumbnailOf(const PlanarPicture& p, bool bt709) {
  Thumbnail t;
  if (!p.width || !p.height || !p.chromaWidth || !p.chromaHeight)
    return t;
  t.width = std::min(p.width, kThumbnailWidth);
  t.height = std::max(1, int32_t(int64_t(p.height) * t.width / p.width));
  t.bgr.resize(size_t(t.width) * size_t(t.height) * 3);
  const double kr = bt709 ? 0.2126 : 0.299, kb = bt709 ? 0.0722 : 0.114, kg = 1 - kr - kb;
  for (int32_t y = 0; y < t.height; ++y) {
    const int32_t sy = int32_t(int64_t(y) * p.height / t.height);
    for (int32_t x = 0; x < t.width; ++x) {
      const int32_t sx = int32_t(int64_t(x) * p.width / t.width);
      const size_t c = size_t(int64_t(sy) * p.chromaHeight / p.height) * size_t(p.chromaWidth) +
                       size_t(int64_t(sx) * p.chromaWidth / p.width);
      const double Y = (p.y[size_t(sy) * size_t(p.width) + size_t(sx)] - 16) * 255.0 / 219.0;
      const double U = (p.cb[c] - 128) * 255.0 / 224.0, V = (p.cr[c] - 128) * 255.0 / 224.0;
      const double r = Y + 2 * (1 - kr) * V, b = Y + 2 * (1 - kb) * U;
      const double g = (Y - kr * r - kb * b) / kg;
      uint8_t* out = &t.bgr[(size_t(y) * size_t(t.width) + size_t(x)) * 3];
      out[0] = Clamp8(b), out[1] = Clamp8(g), out[2] = Clamp8(r);
    }
  }
  return t;
}

const FrameRecord* Identified(const FrameRecord* records, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (records[i].readable && records[i].hasCapability)
      return &records[i];
  return nullptr;
}

}  // namespace

bool PictureChecker::Open(const std::string& iniPath, int64_t expectedFrames,
                          std::string* error) {
  if (!m_settings.LoadSettings(iniPath) || m_settings.m_presetNum < 1 ||
      !m_settings.m_presetTable) {
    *error = "cannot read the presets of " + iniPath;
    return false;
  }
  m_dir = DirectoryOfModulePath(iniPath);
  if (expectedFrames > 0)
    m_spacing = std::max<int64_t>(1, expectedFrames / kMaxDiagnosed);
  return true;
}

// The original of frame n of the preset at the capability index, made once
// per frame number (once for all frames of a still preset).
bool PictureChecker::Original(int capability, uint32_t n) {
  if (capability != m_capability) {
    m_capability = capability;
    m_haveOriginal = false;
    m_original = std::make_unique<OriginalFrames>();
    std::string error;
    if (!m_original->Open(m_settings, m_dir, capability, &error)) {
      m_original.reset();
      m_note = error;
    }
  }
  if (!m_original)
    return false;
  if (m_haveOriginal && (m_originalFrame == n || m_original->Still()))
    return true;
  m_haveOriginal = m_original->Make(n, &m_orig);
  m_originalFrame = n;
  return m_haveOriginal;
}

void PictureChecker::Frame(const LumaFrame& frame, const FrameRecord* records, size_t count) {
  const FrameRecord* id = Identified(records, count);
  if (!id || !Original(id->capability, id->frame))
    return;
  const bool bt709 = m_original->Bt709();
  if (!PlanarFromRecording(frame, bt709, &m_rec)) {
    m_note = "the recording's frames carry no colour that can be compared";
    return;
  }
  const PlanarPicture* orig = &m_orig;
  if (!m_rec.SameLayout(m_orig)) {
    Resample(m_orig, m_rec.width, m_rec.height, m_rec.chromaWidth, m_rec.chromaHeight, &m_scaled);
    orig = &m_scaled;
  }
  const PresetInfo& preset = m_original->Preset();
  const CompareArea area =
      UprightArea(m_rec.width, m_rec.height, preset.h, m_original->TextHeight());
  const PictureErrors e = ComparePictures(m_rec, *orig, area, m_result.rowStep);
  m_total.Add(e);
  PictureFrameResult r;
  r.index = id->index;
  r.frame = id->frame;
  r.psnrY = Psnr(e.sseY, e.countY);
  r.psnrC = Psnr(e.sseC, e.countC);
  m_result.perFrame.push_back(r);
  const bool worst = m_result.worst.empty() || r.psnrY < m_result.worst.front().psnrY;
  KeepWorst(r);
  if (worst && e.sseY + e.sseC > 0) {
    m_result.worstOriginal = ThumbnailOf(*orig, bt709);
    m_result.worstRecorded = ThumbnailOf(m_rec, bt709);
  }
  if (e.sseY + e.sseC > 0 && m_tally.Frames() < kMaxDiagnosed &&
      (m_lastDiagnosed < 0 || id->index - m_lastDiagnosed >= m_spacing)) {
    m_lastDiagnosed = id->index;
    m_tally.Add(DiagnoseFrame(m_rec, *orig, area, bt709));
  }
}

void PictureChecker::KeepWorst(const PictureFrameResult& r) {
  auto& w = m_result.worst;
  auto worse = [](const PictureFrameResult& a, const PictureFrameResult& b) {
    return a.psnrY + a.psnrC < b.psnrY + b.psnrC ||
           (a.psnrY + a.psnrC == b.psnrY + b.psnrC && a.index < b.index);
  };
  if (w.size() == kWorstKept && !worse(r, w.back()))
    return;
  w.insert(std::upper_bound(w.begin(), w.end(), r, worse), r);
  if (w.size() > kWorstKept)
    w.pop_back();
}

PictureCheck PictureChecker::Finish() {
  PictureCheck out = std::move(m_result);
  out.frames = int64_t(out.perFrame.size());
  out.compared = out.frames > 0;
  out.note = m_note;
  if (!out.compared) {
    if (out.note.empty())
      out.note = "no frame's code was read";
    return out;
  }
  out.domain = m_original && m_original->Bt709() ? "Y'CbCr BT.709 studio range"
                                                 : "Y'CbCr BT.601 studio range";
  out.psnrY = Psnr(m_total.sseY, m_total.countY);
  out.psnrC = Psnr(m_total.sseC, m_total.countC);
  out.minPsnrY = out.perFrame.front().psnrY;
  out.minPsnrC = out.perFrame.front().psnrC;
  for (const PictureFrameResult& r : out.perFrame) {
    out.minPsnrY = std::min(out.minPsnrY, r.psnrY);
    out.minPsnrC = std::min(out.minPsnrC, r.psnrC);
  }
  out.diagnosedFrames = m_tally.Frames();
  out.diagnoses = m_tally.Result();
  return out;
}

}  // namespace zdanalyse
