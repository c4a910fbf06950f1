#pragma once
// The pixel comparison's common form of a picture: planar Y, Cb, Cr, 8 bits,
// rows packed, top line first, chroma at any subsampling. The source's frames
// (any of its six formats) and the recordings' frames (YUV as stored, RGB
// converted with the source's own formula) are both brought to it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/analyse/read/luma_frame.h"

namespace zdanalyse {

// Planes read in place: a PlanarPicture's, or a recorded frame's own.
struct PictureView {
  const uint8_t* y = nullptr;
  const uint8_t* cb = nullptr;
  const uint8_t* cr = nullptr;
  int32_t width = 0, height = 0, chromaWidth = 0, chromaHeight = 0;
  bool SameLayout(const PictureView& o) const {
    return width == o.width && height == o.height && chromaWidth == o.chromaWidth &&
           chromaHeight == o.chromaHeight;
  }
};

struct PlanarPicture {
  int32_t width = 0;
  int32_t height = 0;
  int32_t chromaWidth = 0;
  int32_t chromaHeight = 0;
  std::vector<uint8_t> y, cb, cr;

  void Resize(int32_t w, int32_t h, int32_t cw, int32_t ch);
  PictureView View() const {
    return {y.data(), cb.data(), cr.data(), width, height, chromaWidth, chromaHeight};
  }
  bool SameLayout(const PlanarPicture& o) const {
    return width == o.width && height == o.height && chromaWidth == o.chromaWidth &&
           chromaHeight == o.chromaHeight;
  }
};

// Which picture rows a conversion fills: those a comparison of every
// rowStep-th row reads, luma and chroma; rows in between are left as they were.
struct RowSubset {
  int32_t rowStep = 1;
  bool halfChroma = false;  // the chroma compared has half the rows
  bool Needed(int32_t y) const {
    return rowStep <= 1 || y % rowStep == 0 || (halfChroma && (y / 2) % rowStep == 0);
  }
};

// A frame as the filter delivers it (RGB bottom-up, 4:2:2 top-down, rows
// every size / h bytes) to 4:2:2 planes. RGB is converted as the filter's
// YUY2 output would hold it (BT.601 studio range). False for an unknown
// format or a buffer too small for the frame.
bool PlanarFromSample(const uint8_t* bytes, size_t size, int32_t w, int32_t h, uint32_t compression,
                      int32_t bitCount, PlanarPicture* out, RowSubset rows = {});

// A recorded frame's YUV planes in place; false when it holds none.
bool ViewOfRecording(const LumaFrame& frame, PictureView* out);

// A recorded frame's B, G, R converted to 4:2:2 with the source's formula
// (BT.709 when bt709, else BT.601). False when the reader kept no B, G, R.
bool PlanarFromRecording(const LumaFrame& frame, bool bt709, PlanarPicture* out,
                         RowSubset rows = {});

// A recorded YUV picture in the coding the source's frames have: studio
// range in the source's matrix (BT.709 when toBt709, else BT.601), from the
// range and matrix the recording declares (unstated: studio range, the
// source's matrix). False, leaving *out alone, when nothing is to convert.
// Rows as the subset needs them; chroma planes of any size.
bool ToSourceCoding(const PictureView& in, DeclaredRange range, DeclaredMatrix matrix, bool toBt709,
                    PlanarPicture* out, RowSubset rows = {});

// The picture brought to the given plane sizes in place: planes of another
// size are resampled by the area each sample covers; a plane with half the
// rows of the picture's (4:2:0 from 4:2:2) is made of averaged row pairs,
// those the subset needs.
void Conform(PlanarPicture* p, int32_t w, int32_t h, int32_t cw, int32_t ch, RowSubset rows = {});

// The picture made f times smaller each way (whole f x f boxes averaged).
void ShrinkBy(const PictureView& p, int32_t f, PlanarPicture* out);

// One plane resampled: sw x sh to dw x dh, averaging the source area under
// each destination sample (bilinear when enlarging).
void ResamplePlane(const uint8_t* src, int32_t sw, int32_t sh, uint8_t* dst, int32_t dw,
                   int32_t dh);

}  // namespace zdanalyse
