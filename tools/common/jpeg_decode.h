#pragma once
// MJPG samples back to pictures, with libjpeg-turbo's TurboJPEG decoder (the
// static library in the Windows tools, Debian's natively). The decoder
// honours JFIF: Y'CbCr in full range, BT.601.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zdtools {

struct JpegPicture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> luma;  // width x height bytes, rows from the top (full range)
  std::vector<uint8_t> bgr;   // width x height x 3 bytes, rows from the top
  bool warned = false;        // the decoder warned of damaged data (cut short, wrong codes)
};

// Decodes one JPEG: its luma plane always, its B, G, R picture when bgr is
// true. False, with error saying why, for data that is not a JPEG of at
// most 16384 x 16384 pixels or that the decoder gives up on; a JPEG whose
// data is damaged (cut short, without its end marker, wrong codes) still
// gives its picture, as far as it goes, with warned set.
bool DecodeJpeg(const uint8_t* data, size_t size, bool bgr, JpegPicture* picture,
                std::string* error);

}  // namespace zdtools
