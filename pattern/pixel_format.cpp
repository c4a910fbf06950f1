#include "pattern/pixel_format.h"

bool IsSupportedFormat(uint32_t compression, int32_t bit_count) {
  return FindPixelFormat(compression, bit_count) != nullptr;
}

bool IsPackedFormat(uint32_t compression, int32_t bit_count) {
  return IsSupportedFormat(compression, bit_count) && !IsPlanarFormat(compression) &&
         !IsMjpgFormat(compression);
}

// The name shown in the information line. A FOURCC is named by its
// letters whatever the bit count; RGB only with 24 or 32 bits.
const char* FormatName(uint32_t compression, int32_t bit_count) {
  for (const PixelFormatInfo& format : kPixelFormats) {
    if (format.compression == compression &&
        (compression != kCompressionRgb || format.bitCount == bit_count))
      return format.name;
  }
  return "****";
}
