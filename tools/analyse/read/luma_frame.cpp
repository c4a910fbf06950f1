#include "tools/analyse/read/luma_frame.h"

#include "pattern/yuv_convert.h"

namespace zdanalyse {

uint8_t LumaOfBgr(uint8_t b, uint8_t g, uint8_t r, bool bt709) {
  return bt709 ? Bgr24ToYuvBt709(b, g, r).y : Bgr24ToYuvBt601(b, g, r).y;
}

}  // namespace zdanalyse
