// The frame code's layout, geometry and decoder (see frame_code_reader.h).
#include "pattern/frame_code_reader.h"

#include <algorithm>
#include <cmath>

#include "pattern/pixel_format.h"  // the FOURCC values only: nothing to link

namespace {

// The first unit of each slot's block in the frame grid.
constexpr int kSlotUnitX = 4;
constexpr int kFrameSlotUnitY = 27;
constexpr int kFieldSlotUnitY = 51;
constexpr int kSettingsSlotUnitY = kFrameSlotUnitY + kFrameCodeBlockUnitsY;  // 39
// Smallest picture a block can be read from: one pixel per unit.
constexpr int32_t kMinReadableWidth = kFrameCodeGridX;
constexpr int32_t kMinReadableHeight = kFrameCodeGridY;
// Cells tried the other way when a code fails its CRC.
constexpr int kDoubtfulCells = 8;
// A block area whose cells differ by less than this is flat: no code.
constexpr int kFlatSpread = 32;

int32_t SlotUnitY(FrameCodeSlot slot) {
  switch (slot) {
    case FrameCodeSlot::kField:
      return kFieldSlotUnitY;
    case FrameCodeSlot::kSettings:
      return kSettingsSlotUnitY;
    default:
      return kFrameSlotUnitY;
  }
}

// Pixel edge of grid unit k along a side of `side` pixels out of `units`.
int32_t UnitEdge(int32_t k, int32_t side, int32_t units) {
  return int32_t((2 * int64_t(k) * side + units) / (2 * int64_t(units)));
}

void PutBig(uint8_t* out, uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) {
    out[i] = uint8_t(value);
    value >>= 8;
  }
}

uint64_t GetBig(const uint8_t* in, int bytes) {
  uint64_t value = 0;
  for (int i = 0; i < bytes; ++i)
    value = (value << 8) | in[i];
  return value;
}

// The pixels across one side of a cell that its reading averages: those whose
// centres lie in the middle half of the unit, in the picture's own fractional
// unit grid (a scaled picture's cells rarely start on whole pixels, and a
// pixel astride a cell's edge is a mix of two cells), and at least the pixel
// nearest the middle. [*lo, *hi) within [0, side).
void CellSpan(int32_t unit, int32_t side, int32_t units, int32_t* lo, int32_t* hi) {
  const double size = double(side) / units;
  const double centre = (unit + 0.5) * size;
  const double half = size / 4 > 0.5 ? size / 4 : 0.5;
  *lo = int32_t(std::ceil(centre - half - 0.5));
  *hi = int32_t(std::floor(centre + half - 0.5)) + 1;
  if (*hi <= *lo) {
    *lo = int32_t(std::floor(centre));
    *hi = *lo + 1;
  }
  *lo = std::clamp(*lo, 0, side - 1);
  *hi = std::clamp(*hi, *lo + 1, side);
}

// Mean luma of the pixels [x0, x1) x [y0, y1).
int CellMean(const LumaPlane& p, int32_t x0, int32_t x1, int32_t y0, int32_t y1) {
  uint32_t sum = 0;
  for (int32_t y = y0; y < y1; ++y) {
    const uint8_t* line = p.data + y * p.row_step + x0 * p.sample_step;
    for (int32_t x = x0; x < x1; ++x, line += p.sample_step)
      sum += *line;
  }
  return int(sum / uint32_t((x1 - x0) * (y1 - y0)));
}

}  // namespace

namespace {

void FlipBit(uint8_t (&bytes)[kFrameCodeBytes], int bit) {
  bytes[bit / 8] = uint8_t(bytes[bit / 8] ^ (0x80u >> (bit % 8)));
}

// A code that fails its CRC with one or two of its most doubtful cells read
// wrong (heavy lossy coding of small cells): each such cell, and each pair of
// them, read the other way until the CRC matches. 36 tries, each a false match
// with a chance of 2^-32: a wrong number about once in 10^8 unreadable blocks.
bool RepairByCrc(const uint8_t (&read)[kFrameCodeBytes], const int* doubtful, int count,
                 FrameCodePayload* payload) {
  uint8_t bytes[kFrameCodeBytes];
  for (int i = 0; i < count; ++i) {
    for (int j = i; j < count; ++j) {
      std::copy(read, read + kFrameCodeBytes, bytes);
      FlipBit(bytes, doubtful[i]);
      if (j != i)
        FlipBit(bytes, doubtful[j]);
      if (UnpackFrameCode(bytes, payload))
        return true;
    }
  }
  return false;
}

}  // namespace

bool FrameCodeCellIsWhite(const uint8_t (&bytes)[kFrameCodeBytes], int cx, int cy) {
  if (cy == 0)
    return (cx & 1) == 0;
  if (cy == kFrameCodeCellsY - 1)
    return (cx & 1) == 1;
  const int bit = (cy - 1) * kFrameCodeCellsX + cx;
  return ((bytes[bit / 8] >> (7 - bit % 8)) & 1u) != 0;
}

uint32_t FrameCodeCrc32(const uint8_t* bytes, size_t count) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < count; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return crc ^ 0xFFFFFFFFu;
}

void PackFrameCode(const FrameCodePayload& payload, uint8_t (&bytes)[kFrameCodeBytes]) {
  const uint32_t capability = payload.capability & 0x3FFu;
  bytes[0] =
      uint8_t(((payload.version & 0xFu) << 4) | ((payload.field & 3u) << 2) | (capability >> 8));
  bytes[1] = uint8_t(capability);
  PutBig(bytes + 2, payload.stream_id, 4);
  PutBig(bytes + 6, payload.frame_number, 4);
  if (payload.field == kFrameCodeSettingsField) {
    PutBig(bytes + 10, payload.fingerprint, 8);
    bytes[18] = uint8_t(((payload.conversion & 0xFu) << 4) | ((payload.camera - 1u) & 0xFu));
    bytes[19] = payload.control_sequence;
  } else {
    PutBig(bytes + 10, payload.drop_count, 4);
    PutBig(bytes + 14, uint64_t(payload.sample_time) & 0xFFFFFFFFFFFFull, 6);
  }
  PutBig(bytes + 20, FrameCodeCrc32(bytes, kFrameCodePayloadBytes), 4);
}

bool UnpackFrameCode(const uint8_t (&bytes)[kFrameCodeBytes], FrameCodePayload* payload) {
  if (GetBig(bytes + 20, 4) != FrameCodeCrc32(bytes, kFrameCodePayloadBytes))
    return false;
  const int version = bytes[0] >> 4;
  const uint8_t field = uint8_t((bytes[0] >> 2) & 3u);
  if ((version != kFrameCodeVersion && version != kFrameCodeLayout2) ||
      (field == kFrameCodeSettingsField && version != kFrameCodeLayout2))
    return false;
  FrameCodePayload p;
  p.version = uint8_t(version);
  p.field = field;
  p.capability = uint16_t(((bytes[0] & 3u) << 8) | bytes[1]);
  p.stream_id = uint32_t(GetBig(bytes + 2, 4));
  p.frame_number = uint32_t(GetBig(bytes + 6, 4));
  if (field == kFrameCodeSettingsField) {
    p.fingerprint = GetBig(bytes + 10, 8);
    p.conversion = uint8_t(bytes[18] >> 4);
    p.camera = uint8_t((bytes[18] & 0xFu) + 1);
    p.control_sequence = bytes[19];
  } else {
    p.drop_count = uint32_t(GetBig(bytes + 10, 4));
    p.sample_time = int64_t(GetBig(bytes + 14, 6));
  }
  *payload = p;
  return true;
}

bool FrameCodeGeometry(int32_t width, int32_t height, FrameCodeSlot slot,
                       FrameCodeBlockGeometry* geometry) {
  if (width < kMinReadableWidth || height < kMinReadableHeight)
    return false;
  const int32_t unitY = SlotUnitY(slot);
  for (int32_t i = 0; i <= kFrameCodeBlockUnitsX; ++i)
    geometry->x[i] = UnitEdge(kSlotUnitX + i, width, kFrameCodeGridX);
  for (int32_t i = 0; i <= kFrameCodeBlockUnitsY; ++i)
    geometry->y[i] = UnitEdge(unitY + i, height, kFrameCodeGridY);
  return true;
}

LumaPlane FieldOf(const LumaPlane& frame, int parity) {
  LumaPlane field = frame;
  const int32_t p = parity & 1;
  field.data = frame.data ? frame.data + p * frame.row_step : nullptr;
  field.row_step = frame.row_step * 2;
  field.height = (frame.height - p + 1) / 2;
  return field;
}

LumaPlane LumaOfFrame(const uint8_t* bytes, size_t size, uint32_t pitch, int32_t width,
                      int32_t height, uint32_t compression, int32_t bit_count) {
  LumaPlane plane;
  if (!bytes || width <= 0 || height <= 0)
    return plane;
  if (bit_count == 12 && IsPlanarFormat(compression)) {
    // The luma plane comes first, rows of the width: whatever pitch says.
    if (uint64_t(width) * uint64_t(height) * 3 / 2 > size)
      return plane;
    plane.data = bytes;
    plane.row_step = ptrdiff_t(width);
    plane.sample_step = 1;
    plane.width = width;
    plane.height = height;
    return plane;
  }
  int32_t bytesPerPixel = 2;
  ptrdiff_t offset = 0;
  bool bottomUp = false;
  if (compression == kCompressionRgb && (bit_count == 24 || bit_count == 32)) {
    bytesPerPixel = bit_count / 8;
    offset = 1;  // green
    bottomUp = true;
  } else if (bit_count == 16 && (compression == kFourccYUY2 || compression == kFourccYVYU)) {
    offset = 0;
  } else if (bit_count == 16 && (compression == kFourccUYVY || compression == kFourccHDYC)) {
    offset = 1;
  } else {
    return plane;
  }
  if (uint64_t(width) * uint64_t(bytesPerPixel) > pitch ||
      uint64_t(pitch) * uint64_t(height) > size)
    return plane;
  plane.width = width;
  plane.height = height;
  plane.sample_step = bytesPerPixel;
  if (bottomUp) {
    plane.data = bytes + ptrdiff_t(height - 1) * ptrdiff_t(pitch) + offset;
    plane.row_step = -ptrdiff_t(pitch);
  } else {
    plane.data = bytes + offset;
    plane.row_step = ptrdiff_t(pitch);
  }
  return plane;
}

FrameCodeReading ReadFrameCode(const LumaPlane& picture, FrameCodeSlot slot) {
  FrameCodeReading reading;
  FrameCodeBlockGeometry g;
  if (!picture.data || !FrameCodeGeometry(picture.width, picture.height, slot, &g))
    return reading;  // kNoCode

  // Every cell's mean, and the spread over the whole block.
  int cells[kFrameCodeCellsY][kFrameCodeCellsX];
  int lowest = 255, highest = 0;
  const int32_t unitY = SlotUnitY(slot);
  for (int cy = 0; cy < kFrameCodeCellsY; ++cy) {
    int32_t y0 = 0, y1 = 0;
    CellSpan(unitY + 1 + cy, picture.height, kFrameCodeGridY, &y0, &y1);
    for (int cx = 0; cx < kFrameCodeCellsX; ++cx) {
      int32_t x0 = 0, x1 = 0;
      CellSpan(kSlotUnitX + 1 + cx, picture.width, kFrameCodeGridX, &x0, &x1);
      const int v = CellMean(picture, x0, x1, y0, y1);
      cells[cy][cx] = v;
      lowest = v < lowest ? v : lowest;
      highest = v > highest ? v : highest;
    }
  }
  if (highest - lowest < kFlatSpread)
    return reading;  // kNoCode

  // The reference rows: every white reference must be brighter than every
  // black one.
  reading.status = FrameCodeStatus::kUnreadable;
  const uint8_t noBytes[kFrameCodeBytes] = {};
  int whiteSum = 0, blackSum = 0, whiteMin = 255, blackMax = 0;
  const int referenceRows[] = {0, kFrameCodeCellsY - 1};
  for (int cy : referenceRows) {
    for (int cx = 0; cx < kFrameCodeCellsX; ++cx) {
      const int v = cells[cy][cx];
      if (FrameCodeCellIsWhite(noBytes, cx, cy)) {
        whiteSum += v;
        whiteMin = v < whiteMin ? v : whiteMin;
      } else {
        blackSum += v;
        blackMax = v > blackMax ? v : blackMax;
      }
    }
  }
  if (whiteMin <= blackMax)
    return reading;
  // Twice the threshold, to keep it whole: white + black means.
  const int threshold2 = (whiteSum + blackSum) / kFrameCodeCellsX;

  uint8_t bytes[kFrameCodeBytes] = {};
  // The cells read least surely (nearest the threshold), most doubtful first.
  int doubtful[kDoubtfulCells];
  int margins[kDoubtfulCells];
  int kept = 0;
  for (int bit = 0; bit < kFrameCodeBytes * 8; ++bit) {
    const int v = cells[1 + bit / kFrameCodeCellsX][bit % kFrameCodeCellsX];
    if (2 * v > threshold2)
      bytes[bit / 8] = uint8_t(bytes[bit / 8] | (0x80u >> (bit % 8)));
    const int margin = 2 * v > threshold2 ? 2 * v - threshold2 : threshold2 - 2 * v;
    int at = kept < kDoubtfulCells ? kept++ : kDoubtfulCells;
    while (at > 0 && margins[at - 1] > margin) {
      if (at < kDoubtfulCells) {
        margins[at] = margins[at - 1];
        doubtful[at] = doubtful[at - 1];
      }
      --at;
    }
    if (at < kDoubtfulCells) {
      margins[at] = margin;
      doubtful[at] = bit;
    }
  }
  if (UnpackFrameCode(bytes, &reading.payload) ||
      RepairByCrc(bytes, doubtful, kept, &reading.payload))
    reading.status = FrameCodeStatus::kDecoded;
  return reading;
}
