#pragma once
// Squared errors between a recorded picture and the picture it should be,
// over the part of the frame both depend on: inside a valid area (what the
// original covers), outside excluded rectangles (the text lines and the frame
// code, which depend on clocks and the stream).
#include <cstdint>

#include "tools/analyse/pixels/planar_picture.h"

namespace zdanalyse {

struct Rect {
  int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // half-open, luma pixels
  bool Contains(int32_t y) const { return y >= y0 && y < y1; }
};

constexpr int kMaxExcluded = 5;  // text lines, two code slots, the mouse marker

struct CompareArea {
  Rect valid;
  Rect excluded[kMaxExcluded];
  int excludedCount = 0;
};

// The upright area of a frame of w x h whose source frame was sh lines high, with
// text lines textH pixels high: everything but the two text lines and the
// frame code's blocks (frame and field slot, and with settingsBlock layout 2's
// settings block between them), each widened by a margin.
CompareArea UprightArea(int32_t w, int32_t h, int32_t sh, int32_t textH,
                        bool settingsBlock = false);

struct PictureErrors {
  double sseY = 0, sseC = 0;
  int64_t countY = 0, countC = 0;
  double MseY() const { return countY ? sseY / double(countY) : 0.0; }
  double MseC() const { return countC ? sseC / double(countC) : 0.0; }
  // Luma and chroma samples together, as one picture error.
  double Mse() const { return countY + countC ? (sseY + sseC) / double(countY + countC) : 0.0; }
  void Add(const PictureErrors& o) {
    sseY += o.sseY;
    sseC += o.sseC;
    countY += o.countY;
    countC += o.countC;
  }
};

// Where a marker of markerW x markerH pixels most likely stands in rec (drawn
// over the picture at a place the original cannot know): the block of 2 x 2
// marker-sized cells with the most luma error over every rowStep-th row of the
// area (outside its excluded rectangles), when its error is more than 32 times that of an average
// block of the other cells; an empty rectangle otherwise.
Rect MarkerRect(const PictureView& rec, const PictureView& expect, const CompareArea& area,
                int32_t markerW, int32_t markerH, int32_t rowStep);

// Adds r to the excluded rectangles when it is not empty and there is room.
void Exclude(CompareArea* area, const Rect& r);

// Errors of rec against expect (same layout), every rowStep-th row.
PictureErrors ComparePictures(const PictureView& rec, const PictureView& expect,
                              const CompareArea& area, int32_t rowStep);

// 10 log10(255^2 / mean squared error); infinity for no error.
double Psnr(double sse, int64_t count);

}  // namespace zdanalyse
