#include "tools/capture/frame_image.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <memory>

#include "tools/capture/utf8_files.h"

namespace zdcap {
namespace {

constexpr uint32_t FourCc(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
         static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}

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

// Converts one 4:2:2 row; y0, u, y1, v are the byte positions in a unit.
void Yuv422RowToBgr(const uint8_t* src, uint8_t* dst, int width, int y0, int u, int y1, int v,
                    const YuvToRgb& m) {
  for (int x = 0; x + 1 < width; x += 2) {
    const uint8_t* unit = src + x * 2;
    YuvPixelToBgr(unit[y0], unit[u], unit[v], m, dst + x * 3);
    YuvPixelToBgr(unit[y1], unit[u], unit[v], m, dst + x * 3 + 3);
  }
  if (width % 2 != 0) {
    const uint8_t* unit = src + (width - 1) * 2;
    YuvPixelToBgr(unit[y0], unit[u], unit[v], m, dst + (width - 1) * 3);
  }
}

void RgbRowToBgr(const uint8_t* src, uint8_t* dst, int width, int bytes_per_pixel) {
  for (int x = 0; x < width; ++x) {
    dst[x * 3 + 0] = src[x * bytes_per_pixel + 0];
    dst[x * 3 + 1] = src[x * bytes_per_pixel + 1];
    dst[x * 3 + 2] = src[x * bytes_per_pixel + 2];
  }
}

void PutLe16(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  out[at] = static_cast<uint8_t>(value);
  out[at + 1] = static_cast<uint8_t>(value >> 8);
}

void PutLe32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  PutLe16(out, at, value & 0xffff);
  PutLe16(out, at + 2, value >> 16);
}

}  // namespace

PixelFormat PixelFormatFromHeader(uint32_t compression, int bit_count) {
  if (compression == 0) {
    if (bit_count == 24)
      return PixelFormat::kRgb24;
    if (bit_count == 32)
      return PixelFormat::kRgb32;
    return PixelFormat::kUnknown;
  }
  if (bit_count != 16)
    return PixelFormat::kUnknown;
  if (compression == FourCc('Y', 'U', 'Y', '2'))
    return PixelFormat::kYuy2;
  if (compression == FourCc('Y', 'V', 'Y', 'U'))
    return PixelFormat::kYvyu;
  if (compression == FourCc('U', 'Y', 'V', 'Y'))
    return PixelFormat::kUyvy;
  if (compression == FourCc('H', 'D', 'Y', 'C'))
    return PixelFormat::kHdyc;
  return PixelFormat::kUnknown;
}

const char* PixelFormatName(PixelFormat format) {
  switch (format) {
    case PixelFormat::kRgb24:
      return "RGB24";
    case PixelFormat::kRgb32:
      return "RGB32";
    case PixelFormat::kYuy2:
      return "YUY2";
    case PixelFormat::kYvyu:
      return "YVYU";
    case PixelFormat::kUyvy:
      return "UYVY";
    case PixelFormat::kHdyc:
      return "HDYC";
    case PixelFormat::kUnknown:
      break;
  }
  return "unknown";
}

PixelFormat PixelFormatFromName(const std::string& text) {
  std::string upper(text);
  for (char& c : upper)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper == "RG24")
    return PixelFormat::kRgb24;
  if (upper == "RG32")
    return PixelFormat::kRgb32;
  for (PixelFormat format : {PixelFormat::kRgb24, PixelFormat::kRgb32, PixelFormat::kYuy2,
                             PixelFormat::kYvyu, PixelFormat::kUyvy, PixelFormat::kHdyc}) {
    if (upper == PixelFormatName(format))
      return format;
  }
  return PixelFormat::kUnknown;
}

int BytesPerPixel(PixelFormat format) {
  switch (format) {
    case PixelFormat::kRgb24:
      return 3;
    case PixelFormat::kRgb32:
      return 4;
    case PixelFormat::kUnknown:
      return 0;
    default:
      return 2;
  }
}

bool IsBottomUp(PixelFormat format) {
  return format == PixelFormat::kRgb24 || format == PixelFormat::kRgb32;
}

bool FrameToRgb(const uint8_t* frame, size_t size, int width, int height, PixelFormat format,
                RgbImage* image) {
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
        Yuv422RowToBgr(src, dst, width, 0, 1, 2, 3, kBt601);
        break;
      case PixelFormat::kYvyu:
        Yuv422RowToBgr(src, dst, width, 0, 3, 2, 1, kBt601);
        break;
      case PixelFormat::kUyvy:
        Yuv422RowToBgr(src, dst, width, 1, 0, 3, 2, kBt601);
        break;
      case PixelFormat::kHdyc:
        Yuv422RowToBgr(src, dst, width, 1, 0, 3, 2, kBt709);
        break;
      case PixelFormat::kUnknown:
        return false;
    }
  }
  return true;
}

std::vector<uint8_t> EncodeBmp24(const RgbImage& image) {
  const size_t row = (static_cast<size_t>(image.width) * 3 + 3) & ~size_t{3};
  const size_t pixels = row * static_cast<size_t>(image.height);
  constexpr size_t kHeaders = 14 + 40;
  std::vector<uint8_t> out(kHeaders + pixels, 0);
  out[0] = 'B';
  out[1] = 'M';
  PutLe32(out, 2, static_cast<uint32_t>(out.size()));
  PutLe32(out, 10, kHeaders);
  PutLe32(out, 14, 40);
  PutLe32(out, 18, static_cast<uint32_t>(image.width));
  PutLe32(out, 22, static_cast<uint32_t>(image.height));  // positive: bottom-up
  PutLe16(out, 26, 1);
  PutLe16(out, 28, 24);
  PutLe32(out, 34, static_cast<uint32_t>(pixels));
  for (int line = 0; line < image.height; ++line) {
    const uint8_t* src = image.bgr.data() + static_cast<size_t>(line) * image.width * 3;
    uint8_t* dst = out.data() + kHeaders + static_cast<size_t>(image.height - 1 - line) * row;
    std::copy(src, src + static_cast<size_t>(image.width) * 3, dst);
  }
  return out;
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
