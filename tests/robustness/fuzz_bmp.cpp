// libFuzzer entry point: any bytes as a BMP file. A decoded image must be
// complete, a refused one must leave the result empty, and a decoded image
// must tile into every output format. See README.md for how to run it.
#include <cstddef>
#include <cstdint>

#include "pattern/pixel_format.h"
#include "pattern/pixel_surface.h"
#include "platform/source_bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SourceBitmap image;
  const bool decoded = DecodeBmp(data, size, &image);
  if (!decoded) {
    if (image.width != 0 || image.height != 0 || !image.bgr.empty())
      __builtin_trap();
    return 0;
  }
  if (image.width < 1 || image.height < 1 || image.width > kMaxSourceBitmapSide ||
      image.height > kMaxSourceBitmapSide ||
      image.bgr.size() != size_t(image.width) * size_t(image.height) * 3) {
    __builtin_trap();
  }
  // Small images only: a frame-sized tile of a large one costs time, not coverage.
  if (size_t(image.width) * size_t(image.height) > 4096)
    return 0;
  const uint32_t formats[][2] = {{kCompressionRgb, 32}, {kCompressionRgb, 24}, {kFourccYUY2, 16},
                                 {kFourccYVYU, 16},     {kFourccUYVY, 16},     {kFourccHDYC, 16}};
  for (const auto& f : formats) {
    PixelSurface tile;
    if (!tile.BuildTile(image, 80, 60, f[0], int32_t(f[1])))
      __builtin_trap();
  }
  return 0;
}
