#pragma once
// The pixel comparison's common form of a picture: planar Y, Cb, Cr, 8 bits,
// rows packed, top line first, chroma at any subsampling. The source's frames
// (any of its six formats) and the recordings' frames (YUV as stored, RGB
// converted with the source's own formula) are both brought to it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/analyse/luma_frame.h"

namespace zdanalyse {

struct PlanarPicture {
  int32_t width = 0;
  int32_t height = 0;
  int32_t chromaWidth = 0;
  int32_t chromaHeight = 0;
  std::vector<uint8_t> y, cb, cr;

  void Resize(int32_t w, int32_t h, int32_t cw, int32_t ch);
  bool SameLayout(const PlanarPicture& o) const {
    return width == o.width && height == o.height && chromaWidth == o.chromaWidth &&
           chromaHeight == o.chromaHeight;
  }
};

// A frame as the filter delivers it (RGB bottom-up, 4:2:2 top-down, rows
// every size / h bytes) to 4:2:2 planes. RGB is converted as the filter's
// YUY2 output would hold it (BT.601 studio range). False for an unknown
// format or a buffer too small for the frame.
bool PlanarFromSample(const uint8_t* bytes, size_t size, int32_t w, int32_t h,
                      uint32_t compression, int32_t bitCount, PlanarPicture* out);

// A recorded frame's colour: YUV planes as stored; B, G, R converted to 4:2:2
// with the source's formula (BT.709 when bt709, else BT.601). False when the
// reader kept no colour.
bool PlanarFromRecording(const LumaFrame& frame, bool bt709, PlanarPicture* out);

// src resampled to the given plane sizes (each plane by the area it covers).
void Resample(const PlanarPicture& src, int32_t w, int32_t h, int32_t cw, int32_t ch,
              PlanarPicture* out);

// One plane resampled: sw x sh to dw x dh, averaging the source area under
// each destination sample (bilinear when enlarging).
void ResamplePlane(const uint8_t* src, int32_t sw, int32_t sh, uint8_t* dst, int32_t dw,
                   int32_t dh);

}  // namespace zdanalyse
