#include "tools/analyse/pixels/picture_check.h"

#include <algorithm>
#include <cmath>

#include "pattern/frame_code_reader.h"
#include "pattern/text_overlay.h"
#include "platform/module_path.h"

namespace zdanalyse {
namespace {

constexpr size_t kWorstKept = 5;
constexpr int32_t kThumbnailWidth = 480;
constexpr int64_t kSamplesPerFrame = 1 << 18;
constexpr int32_t kDiagnosisWidth = 480;
// Frames compared per second of recording at most: of faster recordings every
// second (third, ...) frame number.
constexpr double kComparedPerSecond = 30.5;

uint8_t Clamp8(double v) {
  return uint8_t(std::clamp(v + 0.5, 0.0, 255.0));
}

// The picture at most kThumbnailWidth wide (nearest samples), for the page;
// only rows that are multiples of rowStep are read (those a subset holds).
void Shrink(const PictureView& p, int32_t rowStep, PlanarPicture* out) {
  if (!p.width || !p.height || !p.chromaWidth || !p.chromaHeight)
    return;
  const int32_t w = std::min(p.width, kThumbnailWidth);
  const int32_t h = std::max(1, int32_t(int64_t(p.height) * w / p.width));
  out->Resize(w, h, w, h);
  std::vector<int32_t> lumaX(static_cast<size_t>(w)), chromaX(static_cast<size_t>(w));
  for (int32_t x = 0; x < w; ++x) {
    lumaX[size_t(x)] = int32_t(int64_t(x) * p.width / w);
    chromaX[size_t(x)] = int32_t(int64_t(lumaX[size_t(x)]) * p.chromaWidth / p.width);
  }
  for (int32_t y = 0; y < h; ++y) {
    const int32_t sy = int32_t(int64_t(y) * p.height / h) / rowStep * rowStep;
    const uint8_t* ly = p.y + size_t(sy) * size_t(p.width);
    const size_t crow = size_t(int64_t(sy) * p.chromaHeight / p.height) * size_t(p.chromaWidth);
    uint8_t* oy = &out->y[size_t(y) * size_t(w)];
    uint8_t* ob = &out->cb[size_t(y) * size_t(w)];
    uint8_t* orr = &out->cr[size_t(y) * size_t(w)];
    for (int32_t x = 0; x < w; ++x) {
      oy[x] = ly[lumaX[size_t(x)]];
      ob[x] = p.cb[crow + size_t(chromaX[size_t(x)])];
      orr[x] = p.cr[crow + size_t(chromaX[size_t(x)])];
    }
  }
}

// A 4:4:4 picture to B, G, R with the inverse of the studio-range matrix.
Thumbnail ThumbnailOf(const PlanarPicture& p, bool bt709) {
  Thumbnail t;
  t.width = p.width;
  t.height = p.height;
  t.bgr.resize(size_t(t.width) * size_t(t.height) * 3);
  const double kr = bt709 ? 0.2126 : 0.299, kb = bt709 ? 0.0722 : 0.114, kg = 1 - kr - kb;
  for (size_t i = 0; i < p.y.size(); ++i) {
    const double Y = (p.y[i] - 16) * 255.0 / 219.0;
    const double U = (p.cb[i] - 128) * 255.0 / 224.0, V = (p.cr[i] - 128) * 255.0 / 224.0;
    const double r = Y + 2 * (1 - kr) * V, b = Y + 2 * (1 - kb) * U;
    const double g = (Y - kr * r - kb * b) / kg;
    t.bgr[i * 3] = Clamp8(b), t.bgr[i * 3 + 1] = Clamp8(g), t.bgr[i * 3 + 2] = Clamp8(r);
  }
  return t;
}

// What a recording declared that the comparison followed, for the reports.
std::string DeclaredCoding(DeclaredRange range, DeclaredMatrix matrix) {
  std::string what;
  if (range == DeclaredRange::kFull)
    what = "full range";
  if (matrix != DeclaredMatrix::kUnstated)
    what += std::string(what.empty() ? "" : ", ") +
            (matrix == DeclaredMatrix::kBt709 ? "BT.709" : "BT.601");
  return what;
}

const FrameRecord* Identified(const FrameRecord* records, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (records[i].readable && records[i].hasCapability)
      return &records[i];
  return nullptr;
}

}  // namespace

bool PictureChecker::Open(const std::string& iniPath, int64_t expectedFrames, double rate,
                          std::string* error) {
  if (!m_settings.LoadSettings(iniPath) || m_settings.m_presetNum < 1 ||
      !m_settings.m_presetTable) {
    *error = "cannot read the presets of " + iniPath;
    return false;
  }
  m_dir = DirectoryOfModulePath(iniPath);
  m_frameStep =
      rate > kComparedPerSecond ? uint32_t(std::ceil(rate / kComparedPerSecond - 0.01)) : 1;
  m_result.frameStep = int32_t(m_frameStep);
  m_result.steadyFrameStep = int32_t(m_frameStep * kSteadyFactor);
  if (expectedFrames > 0)
    m_spacing = std::max<int64_t>(1, expectedFrames / kMaxDiagnosed);
  return true;
}

// Every rowStep-th row is compared: an odd step (both fields of interlaced
// frames), about a quarter of a million luma samples a frame at most, half that when
// the recording's pixels are B, G, R to be converted first.
int32_t RowStepFor(int32_t w, int32_t h, bool converted) {
  const int64_t pixels = int64_t(w) * int64_t(h);
  const int64_t samples = converted ? kSamplesPerFrame / 2 : kSamplesPerFrame;
  int32_t step = int32_t((pixels + samples - 1) / samples);
  return std::max(1, step | 1);
}

// The stream of the preset at the capability index, in the colours its frames
// were sent in (layout 2's conversion), opened once per index and conversion.
// A frame whose settings block did not read keeps the stream open (it is not
// compared: SettingsMade).
bool PictureChecker::OpenPreset(const FrameRecord& id) {
  const uint8_t conversion = id.hasFingerprint ? id.conversion : m_conversion;
  if (id.capability == m_capability && conversion == m_conversion)
    return m_original != nullptr;
  m_capability = id.capability;
  m_conversion = conversion;
  m_haveOriginal = false;
  m_original = std::make_unique<OriginalFrames>();
  std::string error;
  if (!m_original->Open(m_settings, m_dir, id.capability, &error, false, conversion)) {
    m_original.reset();
    m_note = error;
  }
  return m_original != nullptr;
}

// Whether the settings given made the recording's picture: layout 2 says so
// through its fingerprint; originals of other settings are never compared (a
// confident PSNR of the wrong pictures). Layout 1 cannot tell.
bool PictureChecker::SettingsMade(const FrameRecord& id) {
  if (m_settingsState == "other")
    return false;
  if (id.layout != kFrameCodeLayout2) {
    if (m_settingsState.empty())
      m_settingsState = "unchecked";
    return true;
  }
  if (!id.hasFingerprint)
    return false;  // this frame's settings block did not read
  m_settingsBlock = true;
  if (id.fingerprint != m_original->Fingerprint()) {
    m_settingsState = "other";
    return false;
  }
  if (m_settingsState != "match" && m_settingsState != "unchecked")
    m_settingsState = "match";
  return true;
}

// The original of frame n in the recording's layout, made once per frame
// number (once for all frames of a still preset) and rows.
bool PictureChecker::Original(uint32_t n, const PictureView& rec, RowSubset rows) {
  const bool reuse = m_haveOriginal && (m_originalFrame == n || m_original->Still()) &&
                     (m_originalRows == 1 || m_originalRows == rows.rowStep) &&
                     m_orig.View().SameLayout(rec);
  if (reuse)
    return true;
  m_haveOriginal = m_original->Make(n, &m_orig, rows);
  if (m_haveOriginal && !m_orig.View().SameLayout(rec))
    Conform(&m_orig, rec.width, rec.height, rec.chromaWidth, rec.chromaHeight, rows);
  m_originalFrame = n;
  m_originalRows = rows.rowStep;
  return m_haveOriginal;
}

// The recorded frame's planes: in place for YUV, converted for B, G, R.
bool PictureChecker::Recorded(const LumaFrame& frame, RowSubset rows, PictureView* rec) {
  if (ViewOfRecording(frame, rec)) {
    // Full range or another matrix, as the recording declares it: brought to
    // the source's coding first, so that only a contradiction is diagnosed.
    if (ToSourceCoding(*rec, frame.range, frame.matrix, m_original->Bt709(), &m_rec, rows)) {
      *rec = m_rec.View();
      m_declared = DeclaredCoding(frame.range, frame.matrix);
    }
    return true;
  }
  if (!PlanarFromRecording(frame, m_original->Bt709(), &m_rec, rows))
    return false;
  *rec = m_rec.View();
  return true;
}

namespace {

// Whether the picture's error changed enough since the previous compared
// frame to look at it closely: either PSNR fell by kChangeDb or more (an
// identical frame's infinity counts as high).
bool Worsened(const PictureFrameResult& before, const PictureFrameResult& now) {
  return now.psnrY < before.psnrY - kChangeDb || now.psnrC < before.psnrC - kChangeDb;
}

bool Changed(const PictureFrameResult& before, const PictureFrameResult& now) {
  return Worsened(before, now) || Worsened(now, before);
}

}  // namespace

bool PictureChecker::MayCompare(const FrameRecord* records, size_t count) const {
  const FrameRecord* id = Identified(records, count);
  return id && id->frame % m_frameStep == 0;
}

// A frame on the frame step, and while the picture holds steady on the steady
// step too.
bool PictureChecker::WillCompare(const FrameRecord* records, size_t count) const {
  return MayCompare(records, count) &&
         (m_denseLeft > 0 ||
          Identified(records, count)->frame % (m_frameStep * kSteadyFactor) == 0);
}

void PictureChecker::Frame(const LumaFrame& frame, const FrameRecord* records, size_t count) {
  if (!WillCompare(records, count))
    return;
  const FrameRecord* id = Identified(records, count);
  if (!OpenPreset(*id) || !SettingsMade(*id))
    return;
  if (!m_result.rowStep) {
    m_result.rowStep = RowStepFor(frame.width, frame.height, frame.colour == ColourLayout::kBgr);
    m_result.width = frame.width, m_result.height = frame.height;
  }
  // Every so often a frame is made whole, for the diagnosis should it differ;
  // so are the frames that follow a change (see below).
  const bool spread = m_spreadDiagnosed < kMaxDiagnosed &&
                      (m_lastWhole < 0 || id->index - m_lastWhole >= m_spacing);
  bool whole = spread || m_confirm > 0;
  RowSubset rows{whole ? 1 : m_result.rowStep, frame.chromaHeight * 2 == frame.height};
  PictureView rec;
  if (!Recorded(frame, rows, &rec)) {
    m_note = "the recording's frames carry no colour that can be compared";
    return;
  }
  const PresetInfo& preset = m_original->Preset();
  // Subsets of rows only where each recorded row has its own original row.
  if (rec.width != preset.w || rec.height != preset.h || rec.chromaWidth * 2 != preset.w)
    rows.rowStep = 1;
  if (!Original(id->frame, rec, rows))
    return;
  const CompareArea area = AreaOf(rec, m_orig.View(), m_result.rowStep);
  const PictureErrors e = ComparePictures(rec, m_orig.View(), area, m_result.rowStep);
  m_total.Add(e);
  PictureFrameResult r{id->index, id->frame, Psnr(e.sseY, e.countY), Psnr(e.sseC, e.countC)};
  // The first frame, and one whose error grew, start a closer look: it and
  // the next kConfirmFrames compared frames are diagnosed, so that a fault
  // that begins part way, even in the last frames, is seen in a row of them.
  const bool changed = m_extraDiagnosed < kMaxExtraDiagnosed &&
                       (m_result.perFrame.empty() || Worsened(m_result.perFrame.back(), r)) &&
                       e.sseY + e.sseC > 0;
  if (m_result.perFrame.empty() || Changed(m_result.perFrame.back(), r))
    m_denseLeft = kDenseFrames;
  else
    --m_denseLeft;
  m_result.perFrame.push_back(r);
  const bool worst = m_result.worst.empty() || r.psnrY < m_result.worst.front().psnrY;
  KeepWorst(r);
  if (changed && !whole) {
    rows.rowStep = 1;
    if (!Recorded(frame, rows, &rec) || !Original(id->frame, rec, rows))
      return;
    whole = true;
  }
  if (worst && e.sseY + e.sseC > 0) {
    const int32_t step = whole ? 2 : 2 * m_result.rowStep;
    Shrink(m_orig.View(), step, &m_worstOrig);
    Shrink(rec, step, &m_worstRec);
    m_worstBt709 = m_original->Bt709();
  }
  if (spread)
    m_lastWhole = id->index, ++m_spreadDiagnosed;
  else if (whole)
    ++m_extraDiagnosed;
  if (changed)
    m_confirm = kConfirmFrames;
  else if (m_confirm > 0)
    --m_confirm;
  if (whole && e.sseY + e.sseC > 0)
    Diagnose(rec, *id);
}

// What of rec (and its original, orig) is compared: all but the text lines and
// the frame code; when the settings draw the mouse marker, not where it stands.
CompareArea PictureChecker::AreaOf(const PictureView& rec, const PictureView& orig,
                                   int32_t rowStep) const {
  const PresetInfo& preset = m_original->Preset();
  CompareArea area =
      UprightArea(rec.width, rec.height, preset.h, m_original->TextHeight(), m_settingsBlock);
  if (m_settings.m_mouseCursol == 1 && preset.w > 0 && preset.h > 0) {
    const int32_t w = int32_t((int64_t(kMarkerSize) * rec.width + preset.w - 1) / preset.w);
    const int32_t h = int32_t((int64_t(kMarkerSize) * rec.height + preset.h - 1) / preset.h);
    Exclude(&area, MarkerRect(rec, orig, area, w, h, rowStep));
  }
  return area;
}

// The hypotheses are tried on pictures at most about kDiagnosisWidth wide
// (averages of f x f boxes); the geometry comes back in the recording's pixels.
void PictureChecker::Diagnose(const PictureView& rec, const FrameRecord& id) {
  const int32_t f = std::max(1, (rec.width + kDiagnosisWidth - 1) / kDiagnosisWidth);
  if (f == 1) {
    m_tally.Add(DiagnoseFrame(rec, m_orig, AreaOf(rec, m_orig.View(), 1), m_original->Bt709()),
                id.index, id.frame);
    return;
  }
  PlanarPicture small, orig;
  ShrinkBy(rec, f, &small);
  ShrinkBy(m_orig.View(), f, &orig);
  FrameDiagnosis d =
      DiagnoseFrame(small.View(), orig, AreaOf(small.View(), orig.View(), 1), m_original->Bt709());
  d.geometry.tx *= f;
  d.geometry.ty *= f;
  m_tally.Add(d, id.index, id.frame);
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
  out.settings = m_settingsState;
  if (m_settingsState == "other") {
    // Not one frame of other settings is compared, nor diagnosed.
    out = PictureCheck();
    out.settings = m_settingsState;
    out.note =
        "the recording was made with other settings: pass the module's ZintuDobrel.ini "
        "with --ini";
    return out;
  }
  out.frames = int64_t(out.perFrame.size());
  out.compared = out.frames > 0;
  out.note = m_note;
  if (out.compared && m_settingsState == "unchecked")
    out.note += std::string(out.note.empty() ? "" : "; ") +
                "the settings could not be checked: frame code layout 1 carries no fingerprint of "
                "them (frame_code=2 does)";
  if (!out.compared) {
    if (out.note.empty())
      out.note = "no frame's code was read";
    return out;
  }
  out.domain = m_original && m_original->Bt709() ? "Y'CbCr BT.709 studio range"
                                                 : "Y'CbCr BT.601 studio range";
  if (!m_declared.empty())
    out.domain += "; the recording's " + m_declared + " as it declares";
  out.psnrY = Psnr(m_total.sseY, m_total.countY);
  out.psnrC = Psnr(m_total.sseC, m_total.countC);
  out.minPsnrY = out.perFrame.front().psnrY;
  out.minPsnrC = out.perFrame.front().psnrC;
  for (const PictureFrameResult& r : out.perFrame) {
    out.minPsnrY = std::min(out.minPsnrY, r.psnrY);
    out.minPsnrC = std::min(out.minPsnrC, r.psnrC);
  }
  out.worstOriginal = ThumbnailOf(m_worstOrig, m_worstBt709);
  out.worstRecorded = ThumbnailOf(m_worstRec, m_worstBt709);
  out.diagnosedFrames = m_tally.Frames();
  out.diagnoses = m_tally.Result();
  return out;
}

}  // namespace zdanalyse
