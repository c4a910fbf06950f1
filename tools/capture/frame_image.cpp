#include "tools/capture/frame_image.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <memory>
#include <utility>

#include "tools/capture/utf8_files.h"
#include "tools/common/jpeg_decode.h"

namespace zdcap {
namespace {

// Inverse of the studio-range luma/chroma matrix of one colour standard.
struct YuvToRgb {
  double rv, gu, gv, bu;
};
constexpr YuvToRgb kBt601{1.596, -0.391, -0.813, 2.018};
constexpr YuvToRgb kBt709{1.793, -0.213, -0.533, 2.112};

uint8_t Clamp8(double value) {
  return static_cast<uint8_t>(std::lround(std::min(255.0, std::max(0.0, value))));
}

// Writes one pixel's B, G, R from its Y and the pair's U, V.
void YuvPixelToBgr(int y, int u, int v, const YuvToRgb& m, uint8_t* bgr) {
  const double luma = 1.164 * (y - 16);
  const double cb = u - 128;
  const double cr = v - 128;
  bgr[0] = Clamp8(luma + m.bu * cb);
  bgr[1] = Clamp8(luma + m.gu * cb + m.gv * cr);
  bgr[2] = Clamp8(luma + m.rv * cr);
}

// Where a 4:2:2 format keeps its bytes in a two-pixel unit, and its colours.
struct Yuv422Layout {
  int y0, u, y1, v;
  const YuvToRgb& matrix;
};

Yuv422Layout Yuv422LayoutOf(PixelFormat format) {
  switch (format) {
    case PixelFormat::kYvyu:
      return {0, 3, 2, 1, kBt601};
    case PixelFormat::kUyvy:
      return {1, 0, 3, 2, kBt601};
    case PixelFormat::kHdyc:
      return {1, 0, 3, 2, kBt709};
    default:
      return {0, 1, 2, 3, kBt601};  // YUY2
  }
}

// Converts one 4:2:2 row.
void Yuv422RowToBgr(const uint8_t* src, uint8_t* dst, int width, const Yuv422Layout& l) {
  for (int x = 0; x + 1 < width; x += 2) {
    const uint8_t* unit = src + x * 2;
    YuvPixelToBgr(unit[l.y0], unit[l.u], unit[l.v], l.matrix, dst + x * 3);
    YuvPixelToBgr(unit[l.y1], unit[l.u], unit[l.v], l.matrix, dst + x * 3 + 3);
  }
  if (width % 2 != 0) {
    const uint8_t* unit = src + (width - 1) * 2;
    YuvPixelToBgr(unit[l.y0], unit[l.u], unit[l.v], l.matrix, dst + (width - 1) * 3);
  }
}

// An NV12 or I420 frame: each pixel's Y with the U, V of its 2 x 2 block.
bool PlanarToRgb(const uint8_t* frame, size_t size, int width, int height, PixelFormat format,
                 RgbImage* image) {
  if (width % 2 != 0 || height % 2 != 0 ||
      PlanarFrameBytes(width, height) > static_cast<uint64_t>(size))
    return false;
  const size_t w = static_cast<size_t>(width);
  const size_t h = static_cast<size_t>(height);
  const uint8_t* chroma = frame + w * h;
  image->width = width;
  image->height = height;
  image->bgr.assign(w * 3 * h, 0);
  for (size_t line = 0; line < h; ++line) {
    for (size_t x = 0; x < w; ++x) {
      int u = 0, v = 0;
      if (format == PixelFormat::kNv12) {
        u = chroma[(line / 2) * w + (x / 2) * 2];
        v = chroma[(line / 2) * w + (x / 2) * 2 + 1];
      } else {
        u = chroma[(line / 2) * (w / 2) + x / 2];
        v = chroma[w * h / 4 + (line / 2) * (w / 2) + x / 2];
      }
      YuvPixelToBgr(frame[line * w + x], u, v, kBt601, image->bgr.data() + (line * w + x) * 3);
    }
  }
  return true;
}

void RgbRowToBgr(const uint8_t* src, uint8_t* dst, int width, int bytes_per_pixel) {
  for (int x = 0; x < width; ++x) {
    dst[x * 3 + 0] = src[x * bytes_per_pixel + 0];
    dst[x * 3 + 1] = src[x * bytes_per_pixel + 1];
    dst[x * 3 + 2] = src[x * bytes_per_pixel + 2];
  }
}

}  // namespace

PixelFormat PixelFormatFromHeader(uint32_t compression, int bit_count) {
  const PixelFormatInfo* info = FindPixelFormat(compression, bit_count);
  return info ? info->id : PixelFormat::kUnknown;
}

PixelFormat PixelFormatFromFourcc(uint32_t fourcc) {
  for (const PixelFormatInfo& info : kPixelFormats) {
    if (fourcc != kCompressionRgb && info.compression == fourcc)
      return info.id;
  }
  return PixelFormat::kUnknown;
}

const char* PixelFormatName(PixelFormat format) {
  const PixelFormatInfo* info = FindPixelFormat(format);
  return info ? info->subtypeName : "unknown";
}

// The subtype's name or the settings file's, ignoring letter case.
PixelFormat PixelFormatFromName(const std::string& text) {
  std::string upper(text);
  for (char& c : upper)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const PixelFormatInfo& info : kPixelFormats) {
    if (upper == info.name || upper == info.subtypeName)
      return info.id;
  }
  return PixelFormat::kUnknown;
}

int BytesPerPixel(PixelFormat format) {
  const PixelFormatInfo* info = FindPixelFormat(format);
  return info && info->bitCount % 8 == 0 ? info->bitCount / 8 : 0;
}

bool IsBottomUp(PixelFormat format) {
  return format == PixelFormat::kRgb24 || format == PixelFormat::kRgb32;
}

bool FrameToRgb(const uint8_t* frame, size_t size, int width, int height, PixelFormat format,
                RgbImage* image) {
  if (format == PixelFormat::kNv12 || format == PixelFormat::kI420) {
    return frame && width > 0 && height > 0 &&
           PlanarToRgb(frame, size, width, height, format, image);
  }
  if (format == PixelFormat::kMjpg) {
    // Decoded by libjpeg-turbo (JFIF: full-range BT.601), rows from the top.
    zdtools::JpegPicture picture;
    std::string error;
    if (!zdtools::DecodeJpeg(frame, size, true, &picture, &error) || picture.width != width ||
        picture.height != (height < 0 ? -height : height))
      return false;
    image->width = picture.width;
    image->height = picture.height;
    image->bgr = std::move(picture.bgr);
    return true;
  }
  const int bpp = BytesPerPixel(format);
  // A negative RGB height announces top-down rows.
  const bool bottom_up = IsBottomUp(format) && height > 0;
  if (height < 0)
    height = -height;
  if (!frame || bpp == 0 || width <= 0 || height <= 0)
    return false;
  const size_t pitch = size / static_cast<size_t>(height);
  if (pitch < static_cast<size_t>(width) * static_cast<size_t>(bpp))
    return false;
  image->width = width;
  image->height = height;
  image->bgr.assign(static_cast<size_t>(width) * 3 * static_cast<size_t>(height), 0);
  for (int line = 0; line < height; ++line) {
    const int memory_row = bottom_up ? height - 1 - line : line;
    const uint8_t* src = frame + static_cast<size_t>(memory_row) * pitch;
    uint8_t* dst = image->bgr.data() + static_cast<size_t>(line) * width * 3;
    switch (format) {
      case PixelFormat::kRgb24:
      case PixelFormat::kRgb32:
        RgbRowToBgr(src, dst, width, bpp);
        break;
      case PixelFormat::kYuy2:
      case PixelFormat::kYvyu:
      case PixelFormat::kUyvy:
      case PixelFormat::kHdyc:
        Yuv422RowToBgr(src, dst, width, Yuv422LayoutOf(format));
        break;
      case PixelFormat::kNv12:
      case PixelFormat::kI420:
      case PixelFormat::kUnknown:
      case PixelFormat::kMjpg:  // decoded above
        return false;
    }
  }
  return true;
}

std::vector<uint8_t> EncodeBmp24(const RgbImage& image) {
  return zdtools::EncodeBmp(image.width, image.height, [&image](int32_t x, int32_t y) {
    const uint8_t* p = image.bgr.data() + (size_t(y) * size_t(image.width) + size_t(x)) * 3;
    return zdtools::Bgr{p[0], p[1], p[2]};
  });
}

bool WriteFileBytes(const std::string& path, const uint8_t* data, size_t size) {
  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  std::unique_ptr<std::FILE, FileCloser> file(OpenFileUtf8(path, "wb"));
  if (!file)
    return false;
  if (size != 0 && std::fwrite(data, 1, size, file.get()) != size)
    return false;
  return std::fclose(file.release()) == 0;
}

}  // namespace zdcap
