#pragma once
// The six output pixel formats, in one table: the name the settings file and
// the information line use, the media subtype's name, the compression code (0
// or a little-endian FOURCC) and the bit count. The settings loader, the frame
// loop, the capture tool and the benchmarks all read their format facts here;
// the subtype GUIDs stay with the Windows code, keyed by the compression code.
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

enum class PixelFormatId { kUnknown, kRgb24, kRgb32, kYuy2, kYvyu, kUyvy, kHdyc };

struct PixelFormatInfo {
  PixelFormatId id;
  const char* name;         // settings file and information line: "RG32"
  const char* subtypeName;  // the media subtype: "RGB32"
  uint32_t compression;     // 0 for RGB, else the FOURCC
  int32_t bitCount;         // 32, 24 or 16
};

// In the order the settings file's names are tried.
inline constexpr PixelFormatInfo kPixelFormats[] = {
    {PixelFormatId::kRgb32, "RG32", "RGB32", kCompressionRgb, 32},
    {PixelFormatId::kRgb24, "RG24", "RGB24", kCompressionRgb, 24},
    {PixelFormatId::kYuy2, "YUY2", "YUY2", kFourccYUY2, 16},
    {PixelFormatId::kYvyu, "YVYU", "YVYU", kFourccYVYU, 16},
    {PixelFormatId::kUyvy, "UYVY", "UYVY", kFourccUYVY, 16},
    {PixelFormatId::kHdyc, "HDYC", "HDYC", kFourccHDYC, 16},
};

// The format of exactly this compression code and bit count, or null.
constexpr const PixelFormatInfo* FindPixelFormat(uint32_t compression, int32_t bit_count) {
  for (const PixelFormatInfo& format : kPixelFormats) {
    if (format.compression == compression && format.bitCount == bit_count)
      return &format;
  }
  return nullptr;
}

constexpr const PixelFormatInfo* FindPixelFormat(PixelFormatId id) {
  for (const PixelFormatInfo& format : kPixelFormats) {
    if (format.id == id)
      return &format;
  }
  return nullptr;
}

// compression 0 with 24 or 32 bits, or one of the four 4:2:2 FOURCCs with 16.
bool IsSupportedFormat(uint32_t compression, int32_t bit_count);
inline bool IsRgbFormat(uint32_t compression) {
  return compression == kCompressionRgb;
}

// "RG32", "RG24", "YUY2", "YVYU", "UYVY", "HDYC", or "****" for anything else.
const char* FormatName(uint32_t compression, int32_t bit_count);
