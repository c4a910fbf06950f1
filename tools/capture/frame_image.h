#pragma once
// Received frames as pictures: the pixel formats a capture source delivers,
// their conversion to upright B, G, R rows, and 24-bit BMP files.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/common/bmp_writer.h"
#include "pattern/pixel_format.h"

namespace zdcap {

// The formats of the shared pixel-format table.
using PixelFormat = PixelFormatId;

// From a bitmap header's biCompression (the FOURCC, first character in the
// lowest byte, or 0 for RGB) and biBitCount.
PixelFormat PixelFormatFromHeader(uint32_t compression, int bit_count);

// The format whose FOURCC this is, whatever its bit count (a Media
// Foundation subtype's first field); kUnknown for RGB's 0 and unknown codes.
PixelFormat PixelFormatFromFourcc(uint32_t fourcc);

// "RGB24", "RGB32", "YUY2", "YVYU", "UYVY", "HDYC", "NV12", "I420", "MJPG", or
// "unknown".
const char* PixelFormatName(PixelFormat format);

// The format whose name equals text, ignoring letter case; also accepts the
// settings file's "RG24"/"RG32". kUnknown when there is none.
PixelFormat PixelFormatFromName(const std::string& text);

// Bytes of one pixel of a packed format; 0 for the planar NV12 and I420.
int BytesPerPixel(PixelFormat format);

// RGB formats are stored bottom-up, the YUV formats top-down.
bool IsBottomUp(PixelFormat format);

// One picture in B, G, R bytes per pixel, rows from the top, packed.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> bgr;
};

// Converts a frame as delivered (rows every size / height bytes; NV12 and
// I420 planes packed; MJPG: one JPEG of size bytes, decoded with libjpeg-turbo)
// into an upright picture. YUV frames are converted with BT.601 studio-range
// coefficients, HDYC with BT.709. False when the frame is too small for the
// given size or the format is unknown. A negative height (as in a bitmap
// header) marks RGB rows stored top-down.
bool FrameToRgb(const uint8_t* frame, size_t size, int width, int height, PixelFormat format,
                RgbImage* image);

// A 24-bit bottom-up BMP file (rows padded to 4 bytes) of the picture.
std::vector<uint8_t> EncodeBmp24(const RgbImage& image);

// Writes the bytes to a file named in UTF-8; false on any failure.
bool WriteFileBytes(const std::string& path, const uint8_t* data, size_t size);

}  // namespace zdcap
