#pragma once
// MJPG frames: a YUY2 frame (studio-range BT.601, as the 4:2:2 formats carry
// it) encoded as one baseline JPEG with libjpeg-turbo: 4:2:2 sampling (as USB
// webcams send), standard Huffman tables, the accurate integer DCT (the same
// bytes from every build of the library, 32- or 64-bit, SIMD or not), and
// full-range BT.601 Y'CbCr as JFIF decoders expect. The studio-range planes
// are scaled to full range on their way in, eight rows at a time, with no
// round trip through RGB.
//
// Prepared once per stream start (the compressor and its row buffers);
// encoding a frame then writes into the caller's buffer and nowhere else.
// Not thread-safe: the worker thread alone uses its encoder.
#include <cstddef>
#include <cstdint>
#include <memory>

constexpr int32_t kJpegQualityDefault = 85;
constexpr int32_t kJpegQualityMin = 1;
constexpr int32_t kJpegQualityMax = 100;

// The settings' "jpeg_quality" held to 1..100.
inline int32_t ClampJpegQuality(int32_t quality) {
  return quality < kJpegQualityMin   ? kJpegQualityMin
         : quality > kJpegQualityMax ? kJpegQualityMax
                                     : quality;
}

// The most bytes one MJPG frame of width x height can take at any quality:
// libjpeg-turbo's documented worst case for 4:2:2 (tjBufSize), the picture
// padded to whole 16 x 8 blocks at 4 bytes a pixel, plus 2048 bytes of
// headers. Larger than the YUY2 frame: a JPEG of very busy content at high
// quality can grow beyond its raw size. 0 for a size that is not positive.
inline uint64_t MjpgWorstCaseBytes(int64_t width, int64_t height) {
  if (width <= 0 || height <= 0)
    return 0;
  const uint64_t w = (uint64_t(width) + 15u) / 16u * 16u;
  const uint64_t h = (uint64_t(height) + 7u) / 8u * 8u;
  return w * h * 4u + 2048u;
}

// What range the YUY2 frames handed to the encoder are in: studio range as
// the 4:2:2 formats carry it (scaled on the way in), or already in the full
// range JFIF means (composed from surfaces scaled once per stream start).
enum class MjpgInputRange { kStudio, kFull };

// Studio-range YUY2 bytes (Y0 U Y1 V, from a pixel pair's start) to full
// range, in place, by the same rounding the encoder's studio input gets:
// Y' = (Y - 16) x 255 / 219, C' = 128 + (C - 128) x 255 / 224, rounded half
// away from zero and held to 0..255. bytes is a multiple of 4.
void Yuy2ToFullRange(uint8_t* yuy2, size_t bytes);

class MjpgEncoder {
 public:
  MjpgEncoder();
  ~MjpgEncoder();
  MjpgEncoder(const MjpgEncoder&) = delete;
  MjpgEncoder& operator=(const MjpgEncoder&) = delete;

  // Readies the encoder for frames of width x height (both even and
  // positive) at the quality (clamped to 1..100). False, with LastError()
  // saying why, when the size is unusable or memory runs out; the encoder is
  // then released.
  bool Prepare(int32_t width, int32_t height, int32_t quality);
  void Release();
  bool ready() const;

  // Encodes the YUY2 frame of the prepared size (rows top-down, starting
  // every pitch bytes) into out. Returns the JPEG's length, or 0 when the
  // encoder is not ready, the arguments are unusable, or the library
  // failed (LastError() then says why; out may hold a partial JPEG, which
  // must not be delivered). Never writes beyond capacity bytes.
  uint32_t Encode(const uint8_t* yuy2, size_t pitch, uint8_t* out, size_t capacity,
                  MjpgInputRange range = MjpgInputRange::kStudio);

  // The library's message for the last failure, or an empty text.
  const char* LastError() const;

 private:
  struct State;
  std::unique_ptr<State> m_state;
  char m_error[200] = {};  // the library's messages are at most 200 bytes
};
