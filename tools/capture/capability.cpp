#include "tools/capture/capability.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "pattern/mjpg_encoder.h"

namespace zdcap {
namespace {

constexpr int kInterlaced = 0x1;   // AMINTERLACE_IsInterlaced
constexpr int kField1First = 0x4;  // AMINTERLACE_Field1First

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

}  // namespace

SampleSize MfSampleSize(const Capability& cap, int64_t stride) {
  SampleSize size;
  const int64_t w = cap.width;
  const int64_t h = cap.height < 0 ? -int64_t(cap.height) : cap.height;
  if (w <= 0 || h <= 0)
    return size;
  if (cap.format == PixelFormat::kMjpg) {
    size.bytes = int64_t(MjpgWorstCaseBytes(w, h));
    size.variable = true;
  } else if (cap.format == PixelFormat::kNv12 || cap.format == PixelFormat::kI420) {
    size.bytes = w * h * 3 / 2;
  } else if (const int bpp = BytesPerPixel(cap.format)) {
    size.bytes = (stride > 0 ? stride : (w * bpp + 3) / 4 * 4) * h;
  }
  return size;
}

double RateOfFrameTime(int64_t frame_time) {
  return frame_time > 0 ? 1.0e7 / static_cast<double>(frame_time) : 0.0;
}

std::string InterlaceText(int interlace_flags) {
  if (interlace_flags < 0)
    return "-";
  if ((interlace_flags & kInterlaced) == 0)
    return "progressive";
  return (interlace_flags & kField1First) ? "interlaced, field 1 first"
                                          : "interlaced, field 2 first";
}

int MatchCapability(const std::vector<Capability>& caps, int width, int height,
                    const std::string& format, double fps) {
  const PixelFormat wanted = format.empty() ? PixelFormat::kUnknown : PixelFormatFromName(format);
  for (size_t i = 0; i < caps.size(); ++i) {
    const Capability& cap = caps[i];
    if (width > 0 && (cap.width != width || std::abs(cap.height) != height))
      continue;
    if (!format.empty()) {
      const bool by_format = wanted != PixelFormat::kUnknown && cap.format == wanted;
      if (!by_format && !SameNameIgnoringCase(cap.subtype, format))
        continue;
    }
    if (fps > 0.0) {
      const double want = 1.0e7 / fps;
      // Within 0.02 %: 30 and 29.97 frames per second differ by 0.1 %.
      if (std::fabs(static_cast<double>(cap.frame_time) - want) > want * 0.0002)
        continue;
    }
    return static_cast<int>(i);
  }
  return -1;
}

}  // namespace zdcap
