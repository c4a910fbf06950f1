#pragma once
// 4:2:2 rows (YUY2 byte order: Y0 U Y1 V) to the planar 4:2:0 formats NV12
// and I420.
//
// A planar frame is its 4:2:2 twin (the same picture in YUY2) with the chroma
// averaged over row pairs: the luma is the twin's Y, byte for byte; each
// chroma sample is (a + b + 1) / 2 in integers, rounded half up, where a and b
// are the twin's U (or V) of the same pixel pair in the two rows of the pair.
// Progressive frames pair rows 2c and 2c + 1 into chroma row c. Interlaced
// frames pair rows of the same field: chroma row c takes rows 4g + p and
// 4g + p + 2, where g = c / 2 and p = c % 2, so that chroma rows alternate
// between the fields as the luma rows do (the frame height is then a multiple
// of 4).
//
// Plane layout of a width x height frame (both even), packed:
//   NV12: Y (width x height), then height / 2 rows of width bytes U V U V ...
//   I420: Y, then U (width / 2 x height / 2), then V (the same).
//
// Every fast row function has a plain reference twin that gives the same
// bytes (checked by the tests).
#include <cstddef>
#include <cstdint>

// The luma of one YUY2 row of width pixels (even): width bytes.
using Yuy2LumaRowFn = void (*)(const uint8_t* yuy2, uint8_t* dst_y, int32_t width);
// The averaged chroma of two YUY2 rows of width pixels (even): NV12 writes
// width bytes of U, V pairs to dst_u (dst_v unused); I420 writes width / 2
// bytes of U to dst_u and width / 2 of V to dst_v.
using Yuy2ChromaRowFn = void (*)(const uint8_t* top, const uint8_t* bottom, uint8_t* dst_u,
                                 uint8_t* dst_v, int32_t width);

void Yuy2ToLumaRow(const uint8_t* yuy2, uint8_t* dst_y, int32_t width);
void Yuy2ToLumaRow_Reference(const uint8_t* yuy2, uint8_t* dst_y, int32_t width);
void Yuy2ToNv12ChromaRow(const uint8_t* top, const uint8_t* bottom, uint8_t* dst_uv, uint8_t*,
                         int32_t width);
void Yuy2ToNv12ChromaRow_Reference(const uint8_t* top, const uint8_t* bottom, uint8_t* dst_uv,
                                   uint8_t*, int32_t width);
void Yuy2ToI420ChromaRow(const uint8_t* top, const uint8_t* bottom, uint8_t* dst_u, uint8_t* dst_v,
                         int32_t width);
void Yuy2ToI420ChromaRow_Reference(const uint8_t* top, const uint8_t* bottom, uint8_t* dst_u,
                                   uint8_t* dst_v, int32_t width);

// The chroma row function of NV12 or I420 (fast or reference); null for any
// other compression code.
Yuy2ChromaRowFn Yuy2ChromaRowFor(uint32_t compression);
Yuy2ChromaRowFn Yuy2ChromaRowFor_Reference(uint32_t compression);

// The two picture rows chroma row c is averaged from (see above).
inline void ChromaSourceRows(int32_t c, bool fields, int32_t* top, int32_t* bottom) {
  if (fields) {
    *top = 4 * (c / 2) + c % 2;
    *bottom = *top + 2;
  } else {
    *top = 2 * c;
    *bottom = 2 * c + 1;
  }
}

// Where the planes of a planar frame start.
struct PlanarFrame {
  uint8_t* y = nullptr;
  uint8_t* u = nullptr;      // NV12: the U, V plane
  uint8_t* v = nullptr;      // NV12: null
  size_t y_stride = 0;       // the width
  size_t chroma_stride = 0;  // NV12: width; I420: width / 2
};
// The planes of a width x height frame at buffer, or all null for a format
// that is not planar.
PlanarFrame PlanarFrameAt(uint8_t* buffer, uint32_t compression, int32_t width, int32_t height);

// Converts the part [x0, x1) x [y0, y1) of a YUY2 frame (rows every
// yuy2_pitch bytes) into the planar frame of width x height: luma rows y0 to
// y1 - 1, and the chroma rows whose two source rows both lie in that band.
// x0 and x1 are even; y0 and y1 multiples of 2 (4 with fields).
void Yuy2BandTo420(const uint8_t* yuy2, size_t yuy2_pitch, const PlanarFrame& out,
                   uint32_t compression, bool fields, int32_t x0, int32_t x1, int32_t y0,
                   int32_t y1);

// The reference of a whole frame: a packed YUY2 frame of width x height
// (rows of width * 2 bytes) into a planar frame of width x height x 3 / 2
// bytes, pixel by pixel.
void Yuy2FrameTo420_Reference(const uint8_t* yuy2, uint8_t* dst, uint32_t compression,
                              int32_t width, int32_t height, bool fields);
