#include "tools/analyse/pixels/picture_diagnosis.h"

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

void DiagnosisTally::Count(const std::string& name, double gain, const Geometry& g) {
  for (Entry& e : m_entries)
    if (e.name == name) {
      ++e.frames, e.gain += gain;
      e.sx += g.sx, e.sy += g.sy, e.tx += g.tx, e.ty += g.ty;
      return;
    }
  m_entries.push_back({name, 1, gain, g.sx, g.sy, g.tx, g.ty});
}

void DiagnosisTally::Add(const FrameDiagnosis& d) {
  ++m_frames;
  const Geometry& g = d.geometry;
  if (g.flipV)
    Count("flipped_vertically", d.flipGain, g);
  if (g.flipH)
    Count("mirrored_horizontally", d.flipGain, g);
  // A scaled picture's shift is where its corner went: part of the scaling.
  if (g.Scaled())
    Count("scaled", d.scaleShiftGain, g);
  else if (g.Shifted())
    Count("shifted", d.scaleShiftGain, g);
  if (d.colour != ColourFault::kNone)
    Count(ColourFaultName(d.colour), d.colourGain, g);
}

std::vector<PictureDiagnosis> DiagnosisTally::Result() const {
  std::vector<PictureDiagnosis> out;
  for (const Entry& e : m_entries) {
    if (e.frames * 2 < m_frames)
      continue;
    PictureDiagnosis d;
    d.name = e.name;
    d.frames = e.frames;
    d.confidence = e.gain / double(e.frames) * double(e.frames) / double(m_frames);
    char text[96] = "";
    const double n = double(e.frames);
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
