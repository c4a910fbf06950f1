#include "tools/analyse/read/jpeg_damage.h"

#include <turbojpeg.h>

#include <memory>
#include <vector>

namespace zdanalyse {
namespace {

struct TjDeleter {
  void operator()(void* handle) const { tjDestroy(handle); }
};
using TjHandle = std::unique_ptr<void, TjDeleter>;

// True when libjpeg-turbo decodes the JPEG without a warning or an error.
bool DecodesCleanly(const uint8_t* data, size_t size) {
  TjHandle tj(tjInitDecompress());
  int w = 0, h = 0, subsampling = 0, colourspace = 0;
  if (!tj || tjDecompressHeader3(tj.get(), data, (unsigned long)size, &w, &h, &subsampling,
                                 &colourspace) != 0)
    return false;
  if (w <= 0 || h <= 0 || w > 16384 || h > 16384)
    return false;
  std::vector<uint8_t> grey(size_t(w) * size_t(h));
  return tjDecompress2(tj.get(), data, (unsigned long)size, grey.data(), w, w, h, TJPF_GRAY, 0) ==
         0;
}

}  // namespace

const char* DamageName(FrameDamage damage) {
  switch (damage) {
    case FrameDamage::kNone:
      return "none";
    case FrameDamage::kEmpty:
      return "empty";
    case FrameDamage::kTruncated:
      return "truncated";
    case FrameDamage::kNoEndMarker:
      return "no end marker";
    case FrameDamage::kCorruptData:
      return "corrupt data";
    case FrameDamage::kNoTables:
      return "no tables";
    case FrameDamage::kTrailingBytes:
      return "trailing bytes";
    case FrameDamage::kShortData:
      return "short data";
    case FrameDamage::kExtraData:
      return "extra data";
  }
  return "?";
}

FrameDamage InspectJpeg(const uint8_t* data, size_t size) {
  if (size == 0 || !data)
    return FrameDamage::kEmpty;
  if (size < 4 || data[0] != 0xFF || data[1] != 0xD8)
    return FrameDamage::kCorruptData;
  // The header segments, each skipped by its length, up to the scan's.
  size_t at = 2;
  bool tables = false;
  size_t scan = 0;
  while (scan == 0) {
    if (at + 4 > size)
      return FrameDamage::kTruncated;
    if (data[at] != 0xFF)
      return FrameDamage::kCorruptData;
    const uint8_t marker = data[at + 1];
    const size_t length = size_t(data[at + 2]) << 8 | data[at + 3];
    if (length < 2)
      return FrameDamage::kCorruptData;
    if (at + 2 + length > size)
      return FrameDamage::kTruncated;
    tables = tables || marker == 0xC4;
    if (marker == 0xDA)
      scan = at + 2 + length;
    at += 2 + length;
  }
  if (!tables)
    return FrameDamage::kNoTables;
  // The entropy-coded data up to the first marker that is not a restart:
  // FF 00 is a data byte, FF FF fill.
  size_t end = 0;
  for (size_t i = scan; i + 1 < size && end == 0; ++i) {
    if (data[i] != 0xFF)
      continue;
    const uint8_t next = data[i + 1];
    if (next == 0x00 || next == 0xFF || (next >= 0xD0 && next <= 0xD7))
      continue;
    if (next != 0xD9)
      return FrameDamage::kCorruptData;
    end = i + 2;
  }
  if (end == 0) {
    std::vector<uint8_t> closed(data, data + size);
    closed.push_back(0xFF);
    closed.push_back(0xD9);
    return DecodesCleanly(closed.data(), closed.size()) ? FrameDamage::kNoEndMarker
                                                        : FrameDamage::kTruncated;
  }
  if (end < size)
    return FrameDamage::kTrailingBytes;
  return DecodesCleanly(data, size) ? FrameDamage::kNone : FrameDamage::kCorruptData;
}

}  // namespace zdanalyse
