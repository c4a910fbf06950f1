// Sample faults on a finished frame: lengths cut, JPEG segments taken out,
// scan bytes overwritten, junk appended.
#include "pattern/sample_damage.h"

#include <cstring>

const uint8_t kJpegTrailingJunk[kJpegTrailingBytes] = {'Z', 'D', ' ', 'j', 'u', 'n', 'k', ' ',
                                                       'a', 'f', 't', 'e', 'r', ' ', 'E', 'I'};

namespace {

constexpr uint8_t kMarker = 0xFF;
constexpr uint8_t kSoi = 0xD8;
constexpr uint8_t kEoi = 0xD9;
constexpr uint8_t kSos = 0xDA;
constexpr uint8_t kDht = 0xC4;

uint32_t Kept(uint32_t length, int32_t percent) {
  const int32_t p = percent < 1 ? 1 : percent > 99 ? 99 : percent;
  return uint32_t(uint64_t(length) * uint32_t(p) / 100u);
}

bool StartsJpeg(const uint8_t* data, uint32_t length) {
  return length >= 4 && data[0] == kMarker && data[1] == kSoi;
}

bool EndsJpeg(const uint8_t* data, uint32_t length) {
  return length >= 4 && data[length - 2] == kMarker && data[length - 1] == kEoi;
}

// The header segments from after SOI up to SOS: calls visit(offset, size)
// for each segment (marker included) and returns the offset of the SOS
// marker, or 0 when the headers do not parse.
template <class Visit>
uint32_t WalkHeaders(const uint8_t* data, uint32_t length, Visit visit) {
  uint32_t at = 2;
  while (at + 4 <= length) {
    if (data[at] != kMarker)
      return 0;
    const uint8_t marker = data[at + 1];
    const uint32_t size = 2u + (uint32_t(data[at + 2]) << 8 | data[at + 3]);
    if (size < 4 || at + size > length)
      return 0;
    if (marker == kSos)
      return at;
    visit(at, size, marker);
    at += size;
  }
  return 0;
}

Damage Applied(uint32_t length, uint32_t at = 0) {
  Damage d;
  d.applied = true;
  d.length = length;
  d.at = at;
  return d;
}

// The header segments are walked once to check that they parse and to
// count the tables, then moved down over the DHT segments.
Damage RemoveTables(uint8_t* data, uint32_t length) {
  uint32_t removed = 0;
  const uint32_t sos = WalkHeaders(data, length, [&](uint32_t, uint32_t size, uint8_t marker) {
    if (marker == kDht)
      removed += size;
  });
  if (sos == 0 || removed == 0)
    return Damage{};
  uint32_t write = 2;
  WalkHeaders(data, length, [&](uint32_t at, uint32_t size, uint8_t marker) {
    if (marker == kDht)
      return;
    std::memmove(data + write, data + at, size);
    write += size;
  });
  std::memmove(data + write, data + sos, length - sos);
  return Applied(length - removed);
}

// From the first byte at or after the middle of the entropy-coded data whose
// predecessor is not 0xFF (a stuffed 00 is never touched), twelve bytes
// become FF 00 x 6. No marker can arise: each FF written has its 00.
Damage Corrupt(uint8_t* data, uint32_t length) {
  const uint32_t sos = WalkHeaders(data, length, [](uint32_t, uint32_t, uint8_t) {});
  if (sos == 0)
    return Damage{};
  const uint32_t begin = sos + 2u + (uint32_t(data[sos + 2]) << 8 | data[sos + 3]);
  const uint32_t end = length - 2;  // the EOI
  if (begin >= end)
    return Damage{};
  uint32_t at = begin + (end - begin) / 2;
  while (at < end && data[at - 1] == kMarker)
    ++at;
  if (at + kJpegCorruptBytes > end)
    return Damage{};
  for (uint32_t i = 0; i < kJpegCorruptBytes; i += 2) {
    data[at + i] = kMarker;
    data[at + i + 1] = 0x00;
  }
  return Applied(length, at);
}

}  // namespace

Damage DamageSample(SampleFault fault, uint8_t* data, uint32_t length, uint32_t capacity,
                    int32_t percent) {
  if (!data || length > capacity)
    return Damage{};
  switch (fault) {
    case SampleFault::kNone:
      return Damage{};
    case SampleFault::kEmpty:
      return Applied(0);
    case SampleFault::kShort: {
      const uint32_t kept = Kept(length, percent);
      return kept > 0 ? Applied(kept) : Damage{};
    }
    default:
      break;
  }
  if (!StartsJpeg(data, length) || !EndsJpeg(data, length))
    return Damage{};
  switch (fault) {
    case SampleFault::kJpegTruncate: {
      // Never less than SOI, never as much as reaches into the EOI.
      uint32_t kept = Kept(length, percent);
      kept = kept < 2 ? 2 : kept > length - 2 ? length - 2 : kept;
      return Applied(kept);
    }
    case SampleFault::kJpegNoEoi:
      return Applied(length - 2);
    case SampleFault::kJpegCorrupt:
      return Corrupt(data, length);
    case SampleFault::kJpegNoTables:
      return RemoveTables(data, length);
    case SampleFault::kJpegTrailing:
      if (capacity - length < kJpegTrailingBytes)
        return Damage{};
      std::memcpy(data + length, kJpegTrailingJunk, kJpegTrailingBytes);
      return Applied(length + kJpegTrailingBytes);
    default:
      return Damage{};
  }
}

const char* SampleFaultName(SampleFault fault) {
  switch (fault) {
    case SampleFault::kEmpty:
      return "empty";
    case SampleFault::kShort:
      return "short";
    case SampleFault::kJpegTruncate:
      return "jpeg_truncate";
    case SampleFault::kJpegNoEoi:
      return "jpeg_no_eoi";
    case SampleFault::kJpegCorrupt:
      return "jpeg_corrupt";
    case SampleFault::kJpegNoTables:
      return "jpeg_no_tables";
    case SampleFault::kJpegTrailing:
      return "jpeg_trailing";
    case SampleFault::kNone:
      break;
  }
  return "none";
}
