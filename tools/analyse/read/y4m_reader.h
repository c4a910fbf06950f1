#pragma once
// YUV4MPEG2 streams, from a file or from standard input (binary on Windows):
// the one input both builds read. 8-bit pictures of any chroma layout; the luma
// plane, and the chroma planes when asked for. A Y4M stream has no per-frame time stamps.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tools/analyse/read/frame_source.h"

namespace zdanalyse {

// The largest picture side accepted; larger headers are refused as damaged.
constexpr int32_t kMaxPictureSide = 16384;

class Y4mReader : public FrameSource {
 public:
  // Opens path, or standard input when path is "-". False, with a reason,
  // when the file cannot be opened or its header is not a usable Y4M header.
  bool Open(const std::string& path, std::string* error);
  // The same over a stream already open (not closed by the reader).
  bool Open(std::FILE* stream, std::string* error);

  const SourceInfo& Info() const override { return m_info; }
  ReadStatus Next(LumaFrame* frame, std::string* error) override;

 private:
  struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  bool ReadHeader(std::string* error);
  // The two chroma planes after the luma, when the layout has them; false
  // (the frame keeps no colour) otherwise or when the file ends inside them.
  bool ReadChroma(LumaFrame* frame);

  std::unique_ptr<std::FILE, FileCloser> m_owned;
  std::FILE* m_in = nullptr;
  SourceInfo m_info;
  size_t m_chromaBytes = 0;  // bytes after the luma plane in each frame
  // The size of each chroma plane, from the header; 0 x 0 when there are none.
  int32_t m_chromaWidth = 0, m_chromaHeight = 0;
  std::vector<uint8_t> m_skip;
  int64_t m_frameIndex = 0;
};

// Parses a Y4M stream header line (without its line feed) into *info and the
// number of bytes each frame holds after its luma plane. False, with a reason,
// for anything but an 8-bit stream of a sane size.
bool ParseY4mHeader(const std::string& line, SourceInfo* info, size_t* chromaBytes,
                    std::string* error);

}  // namespace zdanalyse
