#pragma once
// One frame of a recording as the analysis sees it: the luma plane, top line
// first, and what the container says about the frame's time and scan.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "tools/analyse/read/jpeg_damage.h"

namespace zdanalyse {

// How the two fields of a frame are ordered, as far as the recording says.
enum class FieldOrder { kUnknown, kProgressive, kTopFirst, kBottomFirst };

// The colour coding a recording declares for its YUV frames (the decoder's
// colour range and matrix, Y4M's XCOLORRANGE); unstated where it says nothing.
enum class DeclaredRange : uint8_t { kUnstated, kLimited, kFull };
enum class DeclaredMatrix : uint8_t { kUnstated, kBt601, kBt709 };

// The colour a reader kept beside the luma, for the pixel comparison.
enum class ColourLayout : uint8_t {
  kNone,  // luma only
  kYuv,   // cb and cr planes of chromaWidth x chromaHeight, rows packed
  kBgr,   // bgr: width x height pixels of B, G, R, rows packed, top line first
};

struct LumaFrame {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> luma;  // width * height bytes, rows packed, top line first
  // Or, without a copy, the luma in a buffer the reader lends (a decoded
  // picture): rows lentStride bytes apart, kept alive by holder. Row() and
  // HasLuma() read either; Own() turns lent luma into luma of its own.
  const uint8_t* lent = nullptr;
  ptrdiff_t lentStride = 0;
  std::shared_ptr<const void> holder;
  bool hasTime = false;  // the container gave this frame a time stamp
  int64_t time = 0;      // that time stamp, in 100-ns units
  FieldOrder fieldOrder = FieldOrder::kUnknown;

  ColourLayout colour = ColourLayout::kNone;
  int32_t chromaWidth = 0;
  int32_t chromaHeight = 0;
  std::vector<uint8_t> cb, cr;  // kYuv
  std::vector<uint8_t> bgr;     // kBgr
  DeclaredRange range = DeclaredRange::kUnstated;
  DeclaredMatrix matrix = DeclaredMatrix::kUnstated;

  // A frame's damage, as its packet showed it (MJPG and raw video through
  // FFmpeg). A packet that gave no picture comes as a black frame of the
  // stream's size.
  FrameDamage damage = FrameDamage::kNone;

  const uint8_t* Row(int32_t y) const {
    return lent ? lent + ptrdiff_t(y) * lentStride : luma.data() + size_t(y) * size_t(width);
  }
  ptrdiff_t Stride() const { return lent ? lentStride : ptrdiff_t(width); }
  bool HasLuma() const {
    return width > 0 && height > 0 && (lent || luma.size() == size_t(width) * size_t(height));
  }
  // Lent luma copied into luma, the lender's buffer let go; nothing else
  // changes. Luma of its own stays as it is.
  void Own();
  // The lender's buffer let go without a copy (the luma is then gone).
  void Release();
};

// Luma of a B, G, R pixel as the filter's 4:2:2 formats carry it: BT.601 studio
// range (BT.709 for the HDYC variant), so that an RGB recording and a YUV one of
// the same picture give the same luma.
uint8_t LumaOfBgr(uint8_t b, uint8_t g, uint8_t r, bool bt709);

}  // namespace zdanalyse
