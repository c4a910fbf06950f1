#pragma once
// Turns a frame buffer, as the filter delivers it, into pictures for viewing:
// 8-bit RGB, top line first, for PNG; and planar Y, U, V for Y4M.
#include <cstdint>
#include <vector>

#include "stream/preset_info.h"

namespace zdpreview {

// The frame's geometry: rows of pitch bytes, in the preset's format.
struct FrameView {
  const uint8_t* data;
  uint32_t pitch;
  int32_t w;
  int32_t h;
  uint32_t compression;
  int32_t bit_count;
};

// R, G, B bytes per pixel, top line first. RGB frames are flipped (they are
// stored bottom-up). YUV frames (4:2:2, and NV12 and I420 with the chroma of
// each 2 x 2 block) are converted back with the studio-range
// BT.601 inverse (BT.709 for HDYC); as the forward conversion truncated and
// shared the chroma of each pixel pair, the colours are approximate.
std::vector<uint8_t> ToRgb(const FrameView& frame);

// Planar Y, U, V, top line first: 4:2:2 frames are unpacked without any
// change (chroma planes half as wide), NV12 and I420 likewise (chroma planes
// half as wide and half as high); RGB frames are converted with the same
// studio-range BT.601 forward formula as the filter's YUY2, per pixel, to 4:4:4.
struct PlanarImage {
  // The Y4M chroma tag: "444" (planes of w x h), "422" ((w + 1) / 2 x h), or
  // "420jpeg" (w / 2 x h / 2, each sample centred on the pixels it averages).
  const char* chroma = "444";
  std::vector<uint8_t> y, u, v;
};
// The chroma tag ToPlanar gives frames of this format.
const char* Y4mChroma(uint32_t compression);
PlanarImage ToPlanar(const FrameView& frame);

// Which field of the Y4M picture is the earlier one: 'p' progressive, 't' top
// field first, 'b' bottom field first. The earlier field lies on the even
// memory rows in mode 1 and on the odd ones in mode 2; RGB frames are stored
// bottom-up, so their even memory rows are the picture's bottom field.
char Y4mInterlace(const PresetInfo& preset);

}  // namespace zdpreview
