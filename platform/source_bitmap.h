#pragma once
// A source image as the tiler consumes it: a grid of pixels of three bytes
// B, G, R, with rows counted from the bottom (the BMP storage order), packed
// without row padding.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct SourceBitmap {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> bgr;  // height rows of width * 3 bytes, bottom row first

  const uint8_t* Row(int32_t fromBottom) const {
    return bgr.data() + size_t(fromBottom) * size_t(width) * 3;
  }
};

// Images wider or taller than this are refused by both loaders, so that every
// size derived from them stays far inside 32-bit arithmetic.
constexpr int32_t kMaxSourceBitmapSide = 16384;

// Loads a 24- or 32-bit BMP (a 32-bit image keeps the first three bytes of each
// pixel). The path is UTF-8. Windows: LoadImageW (as a resource of the main
// module, then as a file) and GetObjectW; a file must also pass our decoder's checks, so that
// damaged files are refused alike in both builds, and a top-down file is taken from our decoder
// (the system loader may give it without pixels). Native: our own decoder. False, with *out
// emptied, when the image cannot be loaded or has another bit depth.
bool LoadSourceBitmap(const std::string& path, SourceBitmap* out);

// The native decoder over a whole file held in memory; also used by the Windows
// build's tests to compare both loaders. Takes uncompressed 24-bit and 32-bit
// images (32-bit also as BI_BITFIELDS with the masks of B, G, R bytes), with
// the 12-byte core header or the 40-, 52-, 56-, 108- or 124-byte info headers,
// stored bottom-up or top-down (which come out bottom-up). Palette images,
// 16-bit, compressed, truncated or oversized files are refused.
bool DecodeBmp(const uint8_t* data, size_t size, SourceBitmap* out);

#ifdef _WIN32
// Windows build only: a BMP file through the system's loader alone (LoadImageW
// with LR_LOADFROMFILE, GetObjectW), without the checks of LoadSourceBitmap.
// For the tests that hold both loaders side by side.
bool LoadBmpFileWithSystemLoader(const std::string& path, SourceBitmap* out);
#endif
