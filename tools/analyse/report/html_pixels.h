#pragma once
// The web page's section on the pixel comparison: PSNR, the diagnoses, the
// worst frames, and the worst frame made again beside the recorded one, as
// pictures inside the page (BMP in data: addresses, nothing from elsewhere).
#include <string>

#include "tools/analyse/pixels/picture_result.h"

namespace zdanalyse {

std::string PixelsSection(const PictureCheck& p);

// A picture as a BMP file (24 bits, rows bottom-up, padded to 4 bytes), in
// base64: what an <img> takes in a data: address.
std::string BmpBase64(const Thumbnail& t);

}  // namespace zdanalyse
