#include "tools/analyse/read/y4m_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace zdanalyse {
namespace {

constexpr size_t kMaxHeaderLine = 4096;
constexpr size_t kSkipChunk = size_t(1) << 20;

// Reads up to a line feed; false at the end of the stream or when the line is
// longer than the limit. atEnd tells a clean end (nothing read) from damage.
bool ReadLine(std::FILE* in, std::string* line, bool* atEnd) {
  line->clear();
  *atEnd = false;
  for (;;) {
    const int c = std::fgetc(in);
    if (c == EOF) {
      *atEnd = line->empty();
      return false;
    }
    if (c == '\n')
      return true;
    if (line->size() >= kMaxHeaderLine)
      return false;
    line->push_back(char(c));
  }
}

// A positive decimal number of at most 9 digits; false for anything else.
bool ParsePositive(const std::string& text, int64_t* out) {
  if (text.empty() || text.size() > 9)
    return false;
  int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9')
      return false;
    v = v * 10 + (c - '0');
  }
  *out = v;
  return v > 0;
}

}  // namespace

bool ParseY4mHeader(const std::string& line, SourceInfo* info, size_t* chromaBytes,
                    std::string* error) {
  static const char kMagic[] = "YUV4MPEG2";
  if (line.compare(0, sizeof kMagic - 1, kMagic) != 0) {
    *error = "not a YUV4MPEG2 stream (the header does not start with \"YUV4MPEG2\")";
    return false;
  }
  *info = SourceInfo();
  info->container = "yuv4mpegpipe";
  info->codec = "rawvideo";
  int64_t w = 0, h = 0;
  std::string chroma = "420jpeg";
  size_t pos = sizeof kMagic - 1;
  while (pos < line.size()) {
    if (line[pos] == ' ') {
      ++pos;
      continue;
    }
    const size_t end = std::min(line.find(' ', pos), line.size());
    const char tag = line[pos];
    const std::string value = line.substr(pos + 1, end - pos - 1);
    pos = end;
    if (tag == 'W' && !ParsePositive(value, &w)) {
      *error = "Y4M header: width \"" + value + "\" is not a positive number";
      return false;
    }
    if (tag == 'H' && !ParsePositive(value, &h)) {
      *error = "Y4M header: height \"" + value + "\" is not a positive number";
      return false;
    }
    if (tag == 'C')
      chroma = value;
    if (tag == 'X' && value == "COLORRANGE=FULL")
      info->range = DeclaredRange::kFull;
    if (tag == 'X' && value == "COLORRANGE=LIMITED")
      info->range = DeclaredRange::kLimited;
    if (tag == 'I') {
      info->fieldOrder = value == "p"   ? FieldOrder::kProgressive
                         : value == "t" ? FieldOrder::kTopFirst
                         : value == "b" ? FieldOrder::kBottomFirst
                                        : FieldOrder::kUnknown;
    }
    if (tag == 'F') {
      const size_t colon = value.find(':');
      int64_t num = 0, den = 0;
      if (colon != std::string::npos && ParsePositive(value.substr(0, colon), &num) &&
          ParsePositive(value.substr(colon + 1), &den)) {
        info->nominalRate = double(num) / double(den);
      }
    }
  }
  if (w == 0 || h == 0) {
    *error = "Y4M header: no width (W) or height (H)";
    return false;
  }
  if (w > kMaxPictureSide || h > kMaxPictureSide) {
    *error = "Y4M header: picture of " + std::to_string(w) + "x" + std::to_string(h) +
             " is larger than " + std::to_string(kMaxPictureSide) + " on a side";
    return false;
  }
  const size_t luma = size_t(w) * size_t(h);
  const size_t halfW = size_t(w + 1) / 2, halfH = size_t(h + 1) / 2;
  if (chroma == "420jpeg" || chroma == "420paldv" || chroma == "420mpeg2" || chroma == "420") {
    *chromaBytes = 2 * halfW * halfH;
  } else if (chroma == "422") {
    *chromaBytes = 2 * halfW * size_t(h);
  } else if (chroma == "411") {
    *chromaBytes = 2 * (size_t(w + 3) / 4) * size_t(h);
  } else if (chroma == "444") {
    *chromaBytes = 2 * luma;
  } else if (chroma == "444alpha") {
    *chromaBytes = 3 * luma;
  } else if (chroma == "mono") {
    *chromaBytes = 0;
  } else {
    *error = "Y4M header: colour layout C" + chroma + " is not read (8-bit layouts only)";
    return false;
  }
  info->pixelFormat = "C" + chroma;
  info->width = int32_t(w);
  info->height = int32_t(h);
  info->hasFrameTimes = false;
  return true;
}

bool Y4mReader::Open(const std::string& path, std::string* error) {
  if (path == "-") {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    return Open(stdin, error);
  }
  m_owned.reset(std::fopen(path.c_str(), "rb"));
  if (!m_owned) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  return Open(m_owned.get(), error);
}

bool Y4mReader::Open(std::FILE* stream, std::string* error) {
  m_in = stream;
  m_frameIndex = 0;
  return ReadHeader(error);
}

namespace {

// The chroma planes' size of a layout, from the bytes that follow the luma:
// 4:4:4 (with or without alpha), 4:2:2, 4:2:0 or 4:1:1. False for mono.
bool ChromaSizeOf(int32_t w, int32_t h, size_t chromaBytes, int32_t* cw, int32_t* ch) {
  const int32_t sizes[][2] = {
      {w, h}, {(w + 1) / 2, h}, {(w + 1) / 2, (h + 1) / 2}, {(w + 3) / 4, h}};
  for (const auto& s : sizes) {
    const size_t plane = size_t(s[0]) * size_t(s[1]);
    if (plane > 0 && (chromaBytes == 2 * plane || (s[0] == w && chromaBytes == 3 * plane))) {
      *cw = s[0];
      *ch = s[1];
      return true;
    }
  }
  return false;
}

}  // namespace

bool Y4mReader::ReadHeader(std::string* error) {
  std::string line;
  bool atEnd = false;
  if (!ReadLine(m_in, &line, &atEnd)) {
    *error = atEnd ? "the input is empty" : "no Y4M header line (missing or too long)";
    return false;
  }
  m_chromaWidth = m_chromaHeight = 0;
  if (!ParseY4mHeader(line, &m_info, &m_chromaBytes, error))
    return false;
  ChromaSizeOf(m_info.width, m_info.height, m_chromaBytes, &m_chromaWidth, &m_chromaHeight);
  return true;
}

bool Y4mReader::ReadChroma(LumaFrame* frame) {
  const size_t plane = size_t(m_chromaWidth) * size_t(m_chromaHeight);
  if (plane == 0)
    return false;
  frame->cb.resize(plane);
  frame->cr.resize(plane);
  if (std::fread(frame->cb.data(), 1, plane, m_in) != plane ||
      std::fread(frame->cr.data(), 1, plane, m_in) != plane)
    return false;
  frame->colour = ColourLayout::kYuv;
  frame->chromaWidth = m_chromaWidth;
  frame->chromaHeight = m_chromaHeight;
  return true;
}

ReadStatus Y4mReader::Next(LumaFrame* frame, std::string* error) {
  std::string line;
  bool atEnd = false;
  if (!ReadLine(m_in, &line, &atEnd)) {
    if (atEnd)
      return ReadStatus::kEnd;
    *error = "frame " + std::to_string(m_frameIndex) + ": damaged frame header";
    return ReadStatus::kError;
  }
  if (line.compare(0, 5, "FRAME") != 0) {
    *error = "frame " + std::to_string(m_frameIndex) + ": expected \"FRAME\", found \"" +
             line.substr(0, 16) + "\"";
    return ReadStatus::kError;
  }
  frame->width = m_info.width;
  frame->height = m_info.height;
  frame->hasTime = false;
  frame->fieldOrder = m_info.fieldOrder;
  frame->range = m_info.range;
  const size_t lumaBytes = size_t(m_info.width) * size_t(m_info.height);
  frame->Release();
  frame->luma.resize(lumaBytes);
  size_t got = std::fread(frame->luma.data(), 1, lumaBytes, m_in);
  size_t rest = m_chromaBytes;
  frame->colour = ColourLayout::kNone;
  if (m_keepColour && got == lumaBytes && ReadChroma(frame))
    rest -= 2 * frame->cb.size();
  m_skip.resize(std::min(rest, kSkipChunk));
  while (got == lumaBytes && rest > 0) {
    const size_t n = std::fread(m_skip.data(), 1, std::min(rest, m_skip.size()), m_in);
    if (n == 0)
      break;
    rest -= n;
  }
  if (got != lumaBytes || rest != 0) {
    *error =
        "frame " + std::to_string(m_frameIndex) + " is truncated (the recording ends inside it)";
    return ReadStatus::kError;
  }
  ++m_frameIndex;
  return ReadStatus::kFrame;
}

}  // namespace zdanalyse
