// Bitmaps through the system's image loader: first as a bitmap resource of
// the process's main module, then as a BMP file, both as DIB sections.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <type_traits>

#include "platform/module_path.h"
#include "platform/source_bitmap.h"

namespace {

struct GdiObjectDeleter {
  void operator()(HBITMAP bitmap) const { DeleteObject(bitmap); }
};
using UniqueBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};

// Larger than any acceptable image file (16384 x 16384 at 32 bits plus headers).
constexpr long kLargestFile = 0x40001000L;

// Some system loaders turn a top-down BMP file (negative height) into a DIB
// section of the right size but without its pixels. Such files are decoded
// here instead; every other file goes to the system's loader.
bool LoadTopDownFile(const std::string& path, SourceBitmap* out, bool* topDown) {
  *topDown = false;
  std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return false;
  uint8_t head[26] = {};
  if (std::fread(head, 1, sizeof head, file.get()) != sizeof head) return false;
  const uint32_t headerSize = head[14] | (head[15] << 8) | (head[16] << 16) | (uint32_t(head[17]) << 24);
  *topDown = head[0] == 'B' && head[1] == 'M' && headerSize >= 40 && (head[25] & 0x80) != 0;
  if (!*topDown) return false;
  if (std::fseek(file.get(), 0, SEEK_END) != 0) return false;
  const long size = std::ftell(file.get());
  if (size < 0 || size > kLargestFile || std::fseek(file.get(), 0, SEEK_SET) != 0) return false;
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) return false;
  return DecodeBmp(bytes.data(), bytes.size(), out);
}

}  // namespace

bool LoadSourceBitmap(const std::string& path, SourceBitmap* out) {
  if (!out) return false;
  *out = SourceBitmap();
  if (path.empty() || path.size() > kMaxPathChars) return false;
  UniqueBitmap bitmap(static_cast<HBITMAP>(LoadImageA(GetModuleHandleA(nullptr), path.c_str(),
                                                      IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  if (!bitmap) {
    bool topDown = false;
    const bool decoded = LoadTopDownFile(path, out, &topDown);
    if (topDown) return decoded;
    bitmap.reset(static_cast<HBITMAP>(LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0,
                                                 LR_CREATEDIBSECTION | LR_LOADFROMFILE)));
  }
  if (!bitmap) return false;

  DIBSECTION dib = {};
  if (GetObjectA(bitmap.get(), sizeof dib, &dib) != int(sizeof dib)) return false;
  const BITMAP& bm = dib.dsBm;
  if (!bm.bmBits || (bm.bmBitsPixel != 24 && bm.bmBitsPixel != 32)) return false;
  if (bm.bmWidth <= 0 || bm.bmHeight <= 0) return false;
  if (bm.bmWidth > kMaxSourceBitmapSide || bm.bmHeight > kMaxSourceBitmapSide) return false;

  // A DIB section's rows are padded to whole 32-bit words; they lie bottom-up
  // in memory unless the header's height is negative.
  const size_t width = size_t(bm.bmWidth);
  const size_t height = size_t(bm.bmHeight);
  const size_t bytesPerPixel = size_t(bm.bmBitsPixel) / 8;
  const size_t stride = ((width * bm.bmBitsPixel + 31) / 32) * 4;
  if (bm.bmWidthBytes > 0 && size_t(bm.bmWidthBytes) != stride) return false;
  const bool topDown = dib.dsBmih.biHeight < 0;

  const uint8_t* bits = static_cast<const uint8_t*>(bm.bmBits);
  std::vector<uint8_t> bgr(width * height * 3);
  for (size_t row = 0; row < height; ++row) {
    const uint8_t* src = bits + (topDown ? height - 1 - row : row) * stride;
    uint8_t* dst = bgr.data() + row * width * 3;
    for (size_t x = 0; x < width; ++x) {
      // A 32-bit pixel keeps its first three bytes: B, G, R.
      dst[x * 3 + 0] = src[x * bytesPerPixel + 0];
      dst[x * 3 + 1] = src[x * bytesPerPixel + 1];
      dst[x * 3 + 2] = src[x * bytesPerPixel + 2];
    }
  }
  out->width = bm.bmWidth;
  out->height = bm.bmHeight;
  out->bgr = std::move(bgr);
  return true;
}
