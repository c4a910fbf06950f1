// Drawing the frame code into frames of the six output formats.
#include "pattern/frame_code.h"

#include <atomic>
#include <cstring>
#include <new>

#include "pattern/mjpg_encoder.h"
#include "pattern/pixel_format.h"

namespace {

// Grey levels of the cells: full range in RGB, video range in 4:2:2 (where
// they are the luma; chroma is neutral).
constexpr uint8_t kRgbWhite = 255;
constexpr uint8_t kRgbBlack = 0;
constexpr uint8_t kYuvWhite = 235;
constexpr uint8_t kYuvBlack = 16;
constexpr uint8_t kNeutralChroma = 128;

std::atomic<uint32_t> g_streamStarts{0};

// A 64-bit mix (the finaliser of splitmix64), folded to 32 bits.
uint32_t Mix(uint64_t v) {
  v ^= v >> 30;
  v *= 0xBF58476D1CE4E5B9ull;
  v ^= v >> 27;
  v *= 0x94D049BB133111EBull;
  v ^= v >> 31;
  return uint32_t(v ^ (v >> 32));
}

// Whether a unit of a block is white: the border is black, reference rows
// alternate, data cells carry the code bytes' bits.
bool UnitIsWhite(const uint8_t (&bytes)[kFrameCodeBytes], int32_t unitX, int32_t unitY) {
  if (unitX == 0 || unitY == 0 || unitX > kFrameCodeCellsX || unitY > kFrameCodeCellsY)
    return false;
  return FrameCodeCellIsWhite(bytes, unitX - 1, unitY - 1);
}

}  // namespace

uint32_t NewFrameCodeStreamId(int64_t clockReading) {
  const uint32_t start = g_streamStarts.fetch_add(1, std::memory_order_relaxed) + 1;
  return Mix((uint64_t(clockReading) << 16) ^ (uint64_t(start) << 48) ^ start);
}

bool FrameCodeWriter::Prepare(int layout, const PresetInfo& preset, uint32_t streamId,
                              uint16_t capability, const FrameCodeSettingsFields& settings) {
  m_enabled = false;
  if ((layout != kFrameCodeVersion && layout != kFrameCodeLayout2) ||
      !IsPackedFormat(preset.compression, preset.bit_count) || preset.w < kFrameCodeMinWidth ||
      preset.h < kFrameCodeMinHeight)
    return true;
  m_layout = layout;
  m_settings = settings;
  m_streamId = streamId;
  m_capability = capability;
  m_width = preset.w;
  m_height = preset.h;
  m_compression = preset.compression;
  m_bytesPerPixel = preset.bit_count / 8;
  m_rgb = IsRgbFormat(preset.compression);
  m_interlaced = preset.interlaced;
  m_halfFrameTime = preset.frame_time / 2;
  m_fieldCodes = preset.interlaced != 0 && preset.h / 2 >= kFrameCodeMinHeight;
  FrameCodeGeometry(m_width, m_height, FrameCodeSlot::kFrame, &m_frameSlot);
  FrameCodeGeometry(m_width, m_height, FrameCodeSlot::kSettings, &m_settingsSlot);
  FrameCodeGeometry(m_width, m_height / 2, FrameCodeSlot::kField, &m_fieldSlot);

  const int32_t* x = m_frameSlot.x;
  m_spanX0 = x[0] & ~1;
  int32_t spanX1 = (x[kFrameCodeBlockUnitsX] + 1) & ~1;
  if (spanX1 > m_width)
    spanX1 = m_width;
  const size_t bpp = size_t(m_bytesPerPixel);
  m_lineBytes = size_t(spanX1 - m_spanX0) * bpp;
  for (int32_t i = 1; i < kFrameCodeBlockUnitsX; ++i)
    m_unitStart[i] = size_t(x[i] - m_spanX0) * bpp;
  m_unitStart[0] = 0;
  m_unitStart[kFrameCodeBlockUnitsX] = m_lineBytes;

  m_lines.reset(new (std::nothrow) uint8_t[3 * m_lineBytes]);
  if (!m_lines)
    return false;
  // A line of white and a line of black in the frame's format.
  uint8_t* white = m_lines.get() + m_lineBytes;
  uint8_t* black = white + m_lineBytes;
  const int32_t lumaOffset =
      (preset.compression == kFourccUYVY || preset.compression == kFourccHDYC) ? 1 : 0;
  for (size_t at = 0; at < m_lineBytes; at += bpp) {
    if (m_rgb) {
      std::memset(white + at, kRgbWhite, 3);
      std::memset(black + at, kRgbBlack, 3);
      if (bpp == 4)
        white[at + 3] = black[at + 3] = 0;
    } else {
      white[at + size_t(lumaOffset)] = kYuvWhite;
      black[at + size_t(lumaOffset)] = kYuvBlack;
      white[at + size_t(1 - lumaOffset)] = black[at + size_t(1 - lumaOffset)] = kNeutralChroma;
    }
  }
  m_enabled = true;
  return true;
}

void FrameCodeWriter::Release() {
  m_enabled = false;
  m_lines.reset();
}

void FrameCodeWriter::ToFullRange() {
  // The white and the black line follow the scratch line; a line starts on a
  // pixel pair (Y0 U Y1 V).
  if (m_enabled && m_lines && m_compression == kFourccYUY2)
    Yuy2ToFullRange(m_lines.get() + m_lineBytes, 2 * m_lineBytes);
}

void FrameCodeWriter::BuildUnitRow(const uint8_t (&bytes)[kFrameCodeBytes], int32_t unitRow) {
  uint8_t* scratch = m_lines.get();
  const uint8_t* white = scratch + m_lineBytes;
  const uint8_t* black = white + m_lineBytes;
  for (int32_t i = 0; i < kFrameCodeBlockUnitsX; ++i) {
    const size_t at = m_unitStart[i];
    const uint8_t* from = UnitIsWhite(bytes, i, unitRow) ? white : black;
    std::memcpy(scratch + at, from + at, m_unitStart[i + 1] - at);
  }
}

void FrameCodeWriter::DrawBlock(const FrameCodeBlockGeometry& geometry,
                                const FrameCodePayload& payload, uint8_t* buffer, uint32_t pitch,
                                int32_t lineStep, int32_t lineOffset) {
  uint8_t bytes[kFrameCodeBytes];
  PackFrameCode(payload, bytes);
  const size_t column = size_t(m_spanX0) * size_t(m_bytesPerPixel);
  for (int32_t unitRow = 0; unitRow < kFrameCodeBlockUnitsY; ++unitRow) {
    BuildUnitRow(bytes, unitRow);
    for (int32_t y = geometry.y[unitRow]; y < geometry.y[unitRow + 1]; ++y) {
      const int32_t line = y * lineStep + lineOffset;
      const int32_t row = m_rgb ? m_height - 1 - line : line;
      std::memcpy(buffer + size_t(row) * pitch + column, m_lines.get(), m_lineBytes);
    }
  }
}

void FrameCodeWriter::Draw(uint8_t* buffer, uint32_t pitch, uint32_t rowLen, uint32_t rows,
                           const PresetInfo& preset, uint32_t frameNumber, uint32_t dropCount,
                           int64_t sampleTime) {
  if (!m_enabled || !buffer || rows != uint32_t(m_height) || rowLen < uint32_t(m_width) ||
      preset.w != m_width || preset.compression != m_compression ||
      preset.bit_count != m_bytesPerPixel * 8)
    return;
  FrameCodePayload payload;
  payload.version = uint8_t(m_layout);
  payload.capability = m_capability;
  payload.stream_id = m_streamId;
  payload.frame_number = frameNumber;
  payload.drop_count = dropCount;
  payload.sample_time = sampleTime;
  DrawBlock(m_frameSlot, payload, buffer, pitch, 1, 0);
  if (m_layout == kFrameCodeLayout2) {
    // The frame's capability, stream and number, with the stream's fields.
    FrameCodePayload settings = payload;
    settings.field = kFrameCodeSettingsField;
    settings.fingerprint = m_settings.fingerprint;
    settings.conversion = m_settings.conversion;
    settings.camera = m_settings.camera;
    settings.control_sequence = m_settings.controlSequence;
    DrawBlock(m_settingsSlot, settings, buffer, pitch, 1, 0);
  }
  if (!m_fieldCodes)
    return;
  // The earlier field lies on the even memory rows in mode 1 and the odd ones
  // in mode 2, as the pattern moves; bottom-up frames turn memory parity
  // around against picture lines.
  const int32_t earlyRowParity = m_interlaced == 1 ? 0 : 1;
  for (int32_t parity = 0; parity < 2; ++parity) {
    const int32_t rowParity = m_rgb ? (m_height - 1 - parity) & 1 : parity;
    payload.field = uint8_t(parity + 1);
    payload.sample_time = sampleTime + (rowParity == earlyRowParity ? 0 : m_halfFrameTime);
    DrawBlock(m_fieldSlot, payload, buffer, pitch, 2, parity);
  }
}

int FrameCodeWriter::Areas(FrameCodeArea (&out)[2]) const {
  if (!m_enabled || m_bytesPerPixel <= 0)
    return 0;
  const int32_t x1 = m_spanX0 + int32_t(m_lineBytes / size_t(m_bytesPerPixel));
  // Layout 2's settings block lies right below the frame's, in its columns.
  const FrameCodeBlockGeometry& lowest =
      m_layout == kFrameCodeLayout2 ? m_settingsSlot : m_frameSlot;
  out[0] = {m_spanX0, m_frameSlot.y[0], x1, lowest.y[kFrameCodeBlockUnitsY]};
  if (!m_fieldCodes)
    return 1;
  // Field line y is picture line 2 y + parity.
  out[1] = {m_spanX0, 2 * m_fieldSlot.y[0], x1, 2 * m_fieldSlot.y[kFrameCodeBlockUnitsY]};
  return 2;
}
