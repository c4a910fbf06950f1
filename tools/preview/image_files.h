#pragma once
// The preview's output files: PNG pictures and a Y4M stream.
#include <cstdint>
#include <cstdio>
#include <string>

#include "tools/preview/frame_image.h"

namespace zdpreview {

// 8-bit RGB, top line first. False when the file cannot be written.
bool WritePng(const std::string& path, int32_t w, int32_t h, const uint8_t* rgb);

// A YUV4MPEG2 stream: one header, then one picture per frame.
class Y4mWriter {
 public:
  ~Y4mWriter() { Close(); }
  // rateNum / rateDen frames per second; interlace 'p', 't' or 'b'.
  bool Open(const std::string& path, int32_t w, int32_t h, int64_t rateNum, int64_t rateDen,
            char interlace, const char* chroma);
  bool WriteFrame(const PlanarImage& image);
  bool Close();  // false when a write failed

 private:
  std::FILE* m_file = nullptr;
  bool m_ok = true;
};

// Frames per second of a frame duration in 100-ns units, as a reduced fraction.
void FrameRateOf(int64_t frameTime, int64_t* num, int64_t* den);

// The output name for frame n: the first "%d" (with optional zero padding
// and width, as in "%04d") is replaced by n; "%%" is a percent sign. Returns
// false when the pattern holds any other conversion.
bool ExpandPattern(const std::string& pattern, uint32_t n, std::string* out, bool* numbered);

}  // namespace zdpreview
