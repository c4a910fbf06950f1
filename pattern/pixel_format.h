#pragma once
// The six output pixel formats: compression code (0 or a little-endian
// FOURCC) and bit count.
#include <cstdint>

constexpr uint32_t MakeFourcc(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
         uint32_t(uint8_t(d)) << 24;
}

constexpr uint32_t kCompressionRgb = 0;
constexpr uint32_t kFourccYUY2 = MakeFourcc('Y', 'U', 'Y', '2');  // 0x32595559
constexpr uint32_t kFourccYVYU = MakeFourcc('Y', 'V', 'Y', 'U');  // 0x55595659
constexpr uint32_t kFourccUYVY = MakeFourcc('U', 'Y', 'V', 'Y');  // 0x59565955
constexpr uint32_t kFourccHDYC = MakeFourcc('H', 'D', 'Y', 'C');  // 0x43594448

// compression 0 with 24 or 32 bits, or one of the four 4:2:2 FOURCCs with 16.
bool IsSupportedFormat(uint32_t compression, int32_t bit_count);
inline bool IsRgbFormat(uint32_t compression) {
  return compression == kCompressionRgb;
}

// "RG32", "RG24", "YUY2", "YVYU", "UYVY", "HDYC", or "****" for anything else.
const char* FormatName(uint32_t compression, int32_t bit_count);
