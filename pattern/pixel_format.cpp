#include "pattern/pixel_format.h"

bool IsSupportedFormat(uint32_t compression, int32_t bit_count) {
  switch (compression) {
    case kCompressionRgb:
      return bit_count == 24 || bit_count == 32;
    case kFourccYUY2:
    case kFourccYVYU:
    case kFourccUYVY:
    case kFourccHDYC:
      return bit_count == 16;
    default:
      return false;
  }
}

// The name shown in the information line. A 4:2:2 FOURCC is named by its
// letters whatever the bit count; RGB only with 24 or 32 bits.
const char* FormatName(uint32_t compression, int32_t bit_count) {
  switch (compression) {
    case kCompressionRgb:
      if (bit_count == 32)
        return "RG32";
      if (bit_count == 24)
        return "RG24";
      return "****";
    case kFourccYUY2:
      return "YUY2";
    case kFourccYVYU:
      return "YVYU";
    case kFourccUYVY:
      return "UYVY";
    case kFourccHDYC:
      return "HDYC";
    default:
      return "****";
  }
}
