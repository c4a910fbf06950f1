#include "tools/analyse/pixels/picture_diagnosis.h"

#include <algorithm>
#include <cstdio>

namespace zdanalyse {
namespace {

double ErrorOf(const PictureView& rec, const PlanarPicture& expect, const CompareArea& area) {
  return ComparePictures(rec, expect.View(), area, 1).Mse();
}

double Gain(double before, double after) {
  return before > 0 ? 1.0 - after / before : 0.0;
}

// The best of the three flips, when one removes enough of the error.
void TryFlips(const PictureView& rec, const PlanarPicture& orig, const CompareArea& area,
              FrameDiagnosis* d, double* error, PlanarPicture* moved) {
  const double before = *error;
  PlanarPicture candidate;
  for (int f = 1; f < 4; ++f) {
    Geometry g;
    g.flipV = (f & 1) != 0;
    g.flipH = (f & 2) != 0;
    Warp(orig, g, &candidate);
    const double e = ErrorOf(rec, candidate, WarpArea(area, g, rec.width, rec.height));
    if (e <= kKeepRatio * before && e < *error) {
      *error = e;
      d->geometry = g;
      *moved = candidate;
    }
  }
  d->flipGain = Gain(before, *error);
}

void TryScaleShift(const PictureView& rec, const PlanarPicture& orig, const CompareArea& area,
                   FrameDiagnosis* d, double* error, PlanarPicture* moved) {
  Geometry g = d->geometry;
  EstimateScaleShift(rec, moved->View(), area, &g);
  if (!g.Scaled() && !g.Shifted())
    return;
  PlanarPicture candidate;
  Warp(orig, g, &candidate);
  const double e = ErrorOf(rec, candidate, WarpArea(area, g, rec.width, rec.height));
  if (e <= kKeepRatio * *error) {
    d->scaleShiftGain = Gain(*error, e);
    *error = e;
    d->geometry = g;
    *moved = candidate;
  }
}

}  // namespace

FrameDiagnosis DiagnoseFrame(const PictureView& rec, const PlanarPicture& orig,
                             const CompareArea& area, bool bt709) {
  FrameDiagnosis d;
  double error = ErrorOf(rec, orig, area);
  d.mseAsRecorded = d.mseExplained = error;
  if (error <= 0 || !rec.SameLayout(orig.View()))
    return d;
  PlanarPicture moved = orig;
  TryFlips(rec, orig, area, &d, &error, &moved);
  TryScaleShift(rec, orig, area, &d, &error, &moved);
  const CompareArea warped = WarpArea(area, d.geometry, rec.width, rec.height);
  const double geometric = error;
  PlanarPicture coloured;
  for (int c = 1; c < kColourFaults; ++c) {
    ApplyColour(moved, ColourMapOf(ColourFault(c), bt709), &coloured);
    const double e = ErrorOf(rec, coloured, warped);
    if (e <= kKeepRatio * geometric && e < error) {
      error = e;
      d.colour = ColourFault(c);
    }
  }
  d.colourGain = Gain(geometric, error);
  d.mseExplained = error;
  return d;
}

// One win of a name, in the frame just added.
void DiagnosisTally::Count(const std::string& name, double gain, const Geometry& g, int64_t index,
                           uint32_t frame) {
  const Win win{m_frames - 1, index, frame};
  auto it = std::find_if(m_entries.begin(), m_entries.end(),
                         [&name](const Entry& e) { return e.name == name; });
  if (it == m_entries.end()) {
    Entry e;
    e.name = name;
    e.first = e.runStart = win;
    e.last.ordinal = -2;
    it = m_entries.insert(m_entries.end(), e);
  }
  Entry& e = *it;
  if (win.ordinal != e.last.ordinal + 1)
    e.run = 0, e.runGain = 0, e.runStart = win;
  ++e.frames, e.gain += gain, ++e.run, e.runGain += gain;
  e.sx += g.sx, e.sy += g.sy, e.tx += g.tx, e.ty += g.ty;
  e.last = win;
  if (e.run > e.best)
    e.best = e.run, e.bestGain = e.runGain, e.bestStart = e.runStart, e.bestEnd = win;
}

void DiagnosisTally::Add(const FrameDiagnosis& d, int64_t index, uint32_t frame) {
  ++m_frames;
  const Geometry& g = d.geometry;
  if (g.flipV)
    Count("flipped_vertically", d.flipGain, g, index, frame);
  if (g.flipH)
    Count("mirrored_horizontally", d.flipGain, g, index, frame);
  // A scaled picture's shift is where its corner went: part of the scaling.
  if (g.Scaled())
    Count("scaled", d.scaleShiftGain, g, index, frame);
  else if (g.Shifted())
    Count("shifted", d.scaleShiftGain, g, index, frame);
  if (d.colour != ColourFault::kNone)
    Count(ColourFaultName(d.colour), d.colourGain, g, index, frame);
}

std::vector<PictureDiagnosis> DiagnosisTally::Result() const {
  std::vector<PictureDiagnosis> out;
  for (const Entry& e : m_entries) {
    // The whole recording, or its longest stretch.
    const bool whole = e.frames * 2 >= m_frames;
    if (!whole && e.best < kStretchFrames)
      continue;
    PictureDiagnosis d;
    d.name = e.name;
    d.frames = whole ? e.frames : e.best;
    d.confidence = whole ? e.gain / double(m_frames) : e.bestGain / double(e.best);
    const Win& from = whole ? e.first : e.bestStart;
    const Win& to = whole ? e.last : e.bestEnd;
    d.firstIndex = from.index, d.lastIndex = to.index;
    d.firstFrame = from.frame, d.lastFrame = to.frame;
    char text[96] = "";
    const double n = double(e.frames);
    d.shiftX = e.tx / n, d.shiftY = e.ty / n;
    if (e.name == "scaled")
      std::snprintf(text, sizeof text,
                    "by %.3f across, %.3f down, top left corner at %+.1f, %+.1f px", e.sx / n,
                    e.sy / n, e.tx / n, e.ty / n);
    else if (e.name == "shifted")
      std::snprintf(text, sizeof text, "by %+.1f px across, %+.1f px down", e.tx / n, e.ty / n);
    d.detail = text;
    out.push_back(d);
  }
  return out;
}

}  // namespace zdanalyse
