// Bitmaps through the system's image loader: first as a bitmap resource of
// the process's main module, then as a BMP file, both as DIB sections.
#include <windows.h>

#include <cstdio>

#include "platform/file_bytes.h"
#include "platform/module_path.h"
#include "platform/source_bitmap.h"
#include "platform/unique_handle.h"
#include "platform/wide_text.h"

namespace {

// For a file that our decoder has taken: the sign of an info header's height
// (the 12-byte core header has no top-down form).
bool IsTopDownBmp(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < 26 || bytes[14] == 12)
    return false;
  return (bytes[25] & 0x80) != 0;
}

// The pixels of a loaded DIB section as B, G, R rows from the bottom; *out is
// written only on success.
bool ReadDibSection(HBITMAP bitmap, SourceBitmap* out) {
  DIBSECTION dib = {};
  if (GetObjectW(bitmap, sizeof dib, &dib) != int(sizeof dib))
    return false;
  const BITMAP& bm = dib.dsBm;
  if (!bm.bmBits || (bm.bmBitsPixel != 24 && bm.bmBitsPixel != 32))
    return false;
  if (bm.bmWidth <= 0 || bm.bmHeight <= 0)
    return false;
  if (bm.bmWidth > kMaxSourceBitmapSide || bm.bmHeight > kMaxSourceBitmapSide)
    return false;

  // A DIB section's rows are padded to whole 32-bit words; they lie bottom-up
  // in memory unless the header's height is negative.
  const size_t width = size_t(bm.bmWidth);
  const size_t height = size_t(bm.bmHeight);
  const size_t bytesPerPixel = size_t(bm.bmBitsPixel) / 8;
  const size_t stride = ((width * bm.bmBitsPixel + 31) / 32) * 4;
  if (bm.bmWidthBytes > 0 && size_t(bm.bmWidthBytes) != stride)
    return false;
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

// path is UTF-8: a resource name or a file name.
bool LoadWithSystemLoader(HINSTANCE module, const std::string& path, UINT extraFlags,
                          SourceBitmap* out) {
  std::wstring widePath;
  if (!WideFromUtf8(path, &widePath))
    return false;
  const UniqueBitmap bitmap(static_cast<HBITMAP>(
      LoadImageW(module, widePath.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION | extraFlags)));
  return bitmap && ReadDibSection(bitmap.Get(), out);
}

}  // namespace

bool LoadBmpFileWithSystemLoader(const std::string& path, SourceBitmap* out) {
  if (!out)
    return false;
  *out = SourceBitmap();
  return LoadWithSystemLoader(nullptr, path, LR_LOADFROMFILE, out);
}

bool LoadSourceBitmap(const std::string& path, SourceBitmap* out) {
  if (!out)
    return false;
  *out = SourceBitmap();
  if (path.empty() || PathChars(path) > kMaxPathChars)
    return false;
  if (LoadWithSystemLoader(GetModuleHandleW(nullptr), path, 0, out))
    return true;

  // A file: the system loader reads damaged files (short pixel data, offsets
  // past the end) without complaint, so our decoder judges the file first.
  std::vector<uint8_t> bytes;
  SourceBitmap decoded;
  if (!ReadBitmapFileBytes(path, &bytes) || !DecodeBmp(bytes.data(), bytes.size(), &decoded))
    return false;
  if (IsTopDownBmp(bytes)) {
    // Some system loaders give a top-down file the right size but no pixels.
    *out = std::move(decoded);
    return true;
  }
  return LoadWithSystemLoader(nullptr, path, LR_LOADFROMFILE, out);
}
