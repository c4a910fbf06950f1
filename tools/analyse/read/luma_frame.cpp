#include "tools/analyse/read/luma_frame.h"

#include <cstring>

#include "pattern/yuv_convert.h"

namespace zdanalyse {

void LumaFrame::Own() {
  if (!lent)
    return;
  luma.resize(size_t(width) * size_t(height));
  for (int32_t y = 0; y < height; ++y)
    std::memcpy(luma.data() + size_t(y) * size_t(width), lent + ptrdiff_t(y) * lentStride,
                size_t(width));
  Release();
}

void LumaFrame::Release() {
  lent = nullptr;
  lentStride = 0;
  holder.reset();
}

uint8_t LumaOfBgr(uint8_t b, uint8_t g, uint8_t r, bool bt709) {
  return bt709 ? Bgr24ToYuvBt709(b, g, r).y : Bgr24ToYuvBt601(b, g, r).y;
}

}  // namespace zdanalyse
