#pragma once
// A picture that a pipeline shifted or scaled (cropped and padded, boxed in)
// carries its frame code off the grid the reader expects. A view samples the
// recording where the block lies after such a move, so that the shared
// decoder reads it at its own place; the view is found once, on the first
// frames, by trying shifts and then scalings about the centre.
#include <cstdint>
#include <vector>

#include "pattern/frame_code_reader.h"
#include "tools/analyse/read/luma_frame.h"

namespace zdanalyse {

// Recording position = scale * view position + shift, both axes.
struct CodeView {
  double scale = 1;
  double tx = 0, ty = 0;
  bool Identity() const { return scale == 1 && tx == 0 && ty == 0; }
};

// The frame slot's neighbourhood of the view, sampled into *buffer (w x h;
// nothing else of it is written), as a plane for ReadFrameCode.
LumaPlane ViewPlane(const LumaFrame& frame, const CodeView& view, std::vector<uint8_t>* buffer);

// The first shift (up to a tenth of the picture each way, in half cells)
// or scaling about the centre (0.8 to 1.25) whose view reads a code.
bool FindCodeView(const LumaFrame& frame, CodeView* out);

}  // namespace zdanalyse
