#pragma once
// The output pixel formats, in one table: the six packed ones every preset
// could always name, and the planar 4:2:0 NV12 and I420, on offer only where a
// preset names them. For each: the name the settings file and
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
constexpr uint32_t kFourccNV12 = MakeFourcc('N', 'V', '1', '2');  // 0x3231564E
constexpr uint32_t kFourccI420 = MakeFourcc('I', '4', '2', '0');  // 0x30323449
constexpr uint32_t kFourccMJPG = MakeFourcc('M', 'J', 'P', 'G');  // 0x47504A4D

enum class PixelFormatId {
  kUnknown,
  kRgb24,
  kRgb32,
  kYuy2,
  kYvyu,
  kUyvy,
  kHdyc,
  kNv12,
  kI420,
  kMjpg
};

struct PixelFormatInfo {
  PixelFormatId id;
  const char* name;         // settings file and information line: "RG32"
  const char* subtypeName;  // the media subtype: "RGB32"
  uint32_t compression;     // 0 for RGB, else the FOURCC
  int32_t bitCount;         // 32, 24, 16, or 12 for the planar formats (MJPG: 24)
};

// In the order the settings file's names are tried.
inline constexpr PixelFormatInfo kPixelFormats[] = {
    {PixelFormatId::kRgb32, "RG32", "RGB32", kCompressionRgb, 32},
    {PixelFormatId::kRgb24, "RG24", "RGB24", kCompressionRgb, 24},
    {PixelFormatId::kYuy2, "YUY2", "YUY2", kFourccYUY2, 16},
    {PixelFormatId::kYvyu, "YVYU", "YVYU", kFourccYVYU, 16},
    {PixelFormatId::kUyvy, "UYVY", "UYVY", kFourccUYVY, 16},
    {PixelFormatId::kHdyc, "HDYC", "HDYC", kFourccHDYC, 16},
    {PixelFormatId::kNv12, "NV12", "NV12", kFourccNV12, 12},
    {PixelFormatId::kI420, "I420", "I420", kFourccI420, 12},
    {PixelFormatId::kMjpg, "MJPG", "MJPG", kFourccMJPG, 24},
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

// compression 0 with 24 or 32 bits, one of the four 4:2:2 FOURCCs with 16, or
// NV12 or I420 with 12, or MJPG with 24.
bool IsSupportedFormat(uint32_t compression, int32_t bit_count);
// The six formats of whole pixels in one plane (RGB and 4:2:2): what pixel
// surfaces, the text overlay and the frame code writer draw in.
bool IsPackedFormat(uint32_t compression, int32_t bit_count);
// MJPG: every frame one JPEG of its own length, made from the frame of the
// preset's YUY2 twin (see TwinPreset); the pixel surfaces, the text overlay
// and the frame code draw in that twin's format, never in MJPG.
inline bool IsMjpgFormat(uint32_t compression) {
  return compression == kFourccMJPG;
}
inline bool IsRgbFormat(uint32_t compression) {
  return compression == kCompressionRgb;
}
// NV12 and I420: a luma plane of width x height bytes, then the chroma of
// each 2 x 2 block, as NV12's one plane of U, V pairs or I420's U plane and
// V plane; planes top-down and packed (the row length is the stride).
inline bool IsPlanarFormat(uint32_t compression) {
  return compression == kFourccNV12 || compression == kFourccI420;
}
// Bytes of one planar 4:2:0 frame: width x height x 3 / 2 (both even).
inline uint64_t PlanarFrameBytes(int64_t width, int64_t height) {
  return width > 0 && height > 0 ? uint64_t(width) * uint64_t(height) * 3 / 2 : 0;
}

// "RG32", "RG24", "YUY2", "YVYU", "UYVY", "HDYC", "NV12", "I420", "MJPG", or
// "****" for anything else.
const char* FormatName(uint32_t compression, int32_t bit_count);
