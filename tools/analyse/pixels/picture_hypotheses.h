#pragma once
// What a pipeline may have done to a picture, as operations on the original
// that make the recording it would then have given: a geometry (flips, then a
// scale and shift per axis) and a colour map (an affine map of Y, Cb, Cr in
// the comparison's studio-range domain). The diagnosis tries each on the
// original and keeps the one that explains the recording best.
#include <cstdint>

#include "tools/analyse/pixels/picture_compare.h"
#include "tools/analyse/pixels/planar_picture.h"

namespace zdanalyse {

// Recording position = scale * (flipped original position) + shift, per axis,
// in luma pixels of the recording (pixel centres).
struct Geometry {
  bool flipV = false;  // upside down
  bool flipH = false;  // mirrored
  double sx = 1, sy = 1;
  double tx = 0, ty = 0;
  bool Scaled() const;
  bool Shifted() const;
  bool Identity() const { return !flipV && !flipH && !Scaled() && !Shifted(); }
};

// The original as the geometry puts it, at its own layout (bilinear).
void Warp(const PlanarPicture& src, const Geometry& g, PlanarPicture* out);
// The comparison area moved with the picture, and kept to what the original covers.
CompareArea WarpArea(const CompareArea& a, const Geometry& g, int32_t w, int32_t h);

// out = m * (Y, Cb, Cr, 1), each of the three rows.
struct ColourMap {
  double m[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
};

enum class ColourFault {
  kNone,
  kSwapRedBlue,    // red and blue exchanged
  kSwapCbCr,       // Cb and Cr exchanged (YUY2 read as YVYU, or the reverse)
  kBt601AsBt709,   // BT.601 colours decoded with BT.709's matrix
  kBt709AsBt601,   // BT.709 colours decoded with BT.601's matrix
  kLimitedAsFull,  // studio range taken as full range: levels squeezed, washed out
  kFullAsLimited,  // full range taken as studio range: levels stretched, crushed
};
constexpr int kColourFaults = 7;

// The map of a fault in a domain of BT.709 (bt709) or BT.601 studio range.
ColourMap ColourMapOf(ColourFault fault, bool bt709);
const char* ColourFaultName(ColourFault fault);

void ApplyColour(const PlanarPicture& src, const ColourMap& map, PlanarPicture* out);

// Scale and shift of each axis that best line up the recording's column and
// row profiles with the original's (both upright and of the same size, the
// original already flipped as g says): fills g's sx, tx, sy, ty.
void EstimateScaleShift(const PictureView& rec, const PictureView& orig, const CompareArea& area,
                        Geometry* g);

}  // namespace zdanalyse
