#pragma once
// B, G, R source pixels to the output pixel formats: the packed 4:2:2 ones
// and, by plain byte copies, RGB24 and RGB32.
//
// YUY2, YVYU and UYVY carry BT.601 studio-range values, HDYC BT.709 ones. Each
// pixel's Y, U and V are the colour formulas evaluated in double precision and
// truncated; a pixel pair shares the average of its two U and its two V,
// rounded half up. The formulas live in the *_Reference functions; the other
// functions give the same bytes faster (see yuv_convert.cpp).
//
// Byte order of one 4-byte unit (two pixels, Y0 the left one):
//   YUY2: Y0 U Y1 V    YVYU: Y0 V Y1 U    UYVY and HDYC: U Y0 V Y1
#include <cstdint>

struct SourceBitmap;

struct YuvPixel {
  uint8_t y;
  uint8_t u;
  uint8_t v;
};

// One pixel by the formulas, in double precision (the reference).
YuvPixel Bgr24ToYuvBt601_Reference(uint8_t b, uint8_t g, uint8_t r);
YuvPixel Bgr24ToYuvBt709_Reference(uint8_t b, uint8_t g, uint8_t r);
// One pixel, bit-identical to the reference, mostly in integer arithmetic.
YuvPixel Bgr24ToYuvBt601(uint8_t b, uint8_t g, uint8_t r);
YuvPixel Bgr24ToYuvBt709(uint8_t b, uint8_t g, uint8_t r);

// Row functions: width pixels of B, G, R (3 bytes each) to width / 2 units of
// 4 bytes. With an odd width the last pixel is paired with itself and only the
// unit's first two bytes are written, so exactly width * 2 bytes are written.
using Bgr24To422RowFn = void (*)(const uint8_t* src_bgr, uint8_t* dst, int32_t width);

// The row functions of a 4:2:2 compression code (YUY2, YVYU and UYVY in BT.601,
// HDYC in BT.709): the fast one, and its reference twin; null for any other code.
Bgr24To422RowFn Bgr24To422RowFor(uint32_t compression);
Bgr24To422RowFn Bgr24To422RowFor_Reference(uint32_t compression);

// Frame functions: fill a top-down tile of width x height pixels (rows every
// dst_stride bytes, width * 2 bytes written per row) with the image repeated in
// both directions. Tile row t shows image row (height - 1 - t) mod h_i counted
// from the bottom, and pixel pair k image columns 2k and 2k + 1, both mod w_i.
// A source image without pixels gives an all-zero tile.
void ConvertToYUY2(uint8_t* dst, int32_t dst_stride, const SourceBitmap& image, int32_t width,
                   int32_t height);
void ConvertToYVYU(uint8_t* dst, int32_t dst_stride, const SourceBitmap& image, int32_t width,
                   int32_t height);
void ConvertToUYVY(uint8_t* dst, int32_t dst_stride, const SourceBitmap& image, int32_t width,
                   int32_t height);
void ConvertToHDYC(uint8_t* dst, int32_t dst_stride, const SourceBitmap& image, int32_t width,
                   int32_t height);

// The frame walk of the functions above with any row function: each distinct
// source row is converted once and the result replicated by block copies.
void Convert422Frame(Bgr24To422RowFn row_fn, uint8_t* dst, int32_t dst_stride,
                     const SourceBitmap& image, int32_t width, int32_t height);
// The same, pixel pair by pixel pair with no replication (the reference).
void Convert422Frame_Reference(Bgr24To422RowFn row_fn, uint8_t* dst, int32_t dst_stride,
                               const SourceBitmap& image, int32_t width, int32_t height);

// RGB tiles, stored bottom-up like the image: tile row r takes image row
// r mod h_i, tile column c image column c mod w_i. RGB32 pixels get a fourth
// byte of 0.
void Bgr24ToRgb32Row(const uint8_t* src_bgr, uint8_t* dst_bgrx, int32_t width);
void ConvertToRGB24(uint8_t* dst, int32_t dst_stride, const SourceBitmap& image, int32_t width,
                    int32_t height);
void ConvertToRGB32(uint8_t* dst, int32_t dst_stride, const SourceBitmap& image, int32_t width,
                    int32_t height);

// True when the image has a size and holds all its pixels.
bool SourceImageUsable(const SourceBitmap& image);
