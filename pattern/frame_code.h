#pragma once
// Drawing the frame code (layout and decoder: pattern/frame_code_reader.h).
// Prepared once per stream start: a line of white and a line of black pixels
// in the frame's format, as wide as a block. Drawing a frame's code then
// builds each unit row of a block once into a scratch line, unit by unit from
// those two, and copies it to every frame row the unit row spans. Nothing is
// allocated per frame.
// Worker thread only, like the rest of the frame loop.
#include <cstdint>
#include <memory>

#include "pattern/frame_code_reader.h"
#include "stream/preset_info.h"

// A fresh stream id: a process-wide start counter mixed with a clock reading,
// so that two starts never share an id within a process and rarely across
// processes.
uint32_t NewFrameCodeStreamId(int64_t clockReading);

// A rectangle of picture pixels, lines counted from the top: [x0, x1) x [y0, y1).
struct FrameCodeArea {
  int32_t x0, y0, x1, y1;
};

// What layout 2's settings block says of a stream besides its capability,
// id and frame number (pattern/frame_code_reader.h): the fingerprint of the
// settings that shape the picture (pattern/picture_fingerprint.h), what the
// frames are of their preset, the camera and the control-settings sequence.
struct FrameCodeSettingsFields {
  uint64_t fingerprint = 0;
  uint8_t conversion = kFrameCodeOwnFormat;
  uint8_t camera = 1;
  uint8_t controlSequence = 0;
};

class FrameCodeWriter {
 public:
  // Readies the writer for a stream of the preset: off unless layout is 1 or
  // 2 and the frame is at least kFrameCodeMinWidth x kFrameCodeMinHeight in
  // one of the six formats. Layout 2 also draws the settings block with the
  // fields given. False only when the scratch line cannot be allocated (the
  // writer is then off).
  bool Prepare(int layout, const PresetInfo& preset, uint32_t streamId, uint16_t capability,
               const FrameCodeSettingsFields& settings = {});
  void Release();
  // YUY2 streams composed in full range (MJPG): the white and black lines
  // scaled once, as the rest of the picture is (pattern/mjpg_encoder.h).
  void ToFullRange();
  bool enabled() const { return m_enabled; }
  uint32_t stream_id() const { return m_streamId; }

  // Draws the frame's code, and for interlaced frames each field's code, into
  // a frame buffer (rows start every pitch bytes and hold rowLen pixels).
  // Draws nothing when off, or when the buffer is not a frame of the format
  // and size the writer was prepared for.
  void Draw(uint8_t* buffer, uint32_t pitch, uint32_t rowLen, uint32_t rows,
            const PresetInfo& preset, uint32_t frameNumber, uint32_t dropCount, int64_t sampleTime);

  // Where Draw writes: the rectangle of the frame slot (with layout 2's
  // settings slot below it) and, with field codes, the rectangle of the field
  // slots' lines. The count; 0 when off.
  int Areas(FrameCodeArea (&out)[2]) const;

 private:
  // One block, rows as the geometry gives them: line y of the block's picture
  // goes to picture line y * lineStep + lineOffset (lineStep 2 for a field's
  // lines). Both slots share the columns: they depend on the width alone.
  void DrawBlock(const FrameCodeBlockGeometry& geometry, const FrameCodePayload& payload,
                 uint8_t* buffer, uint32_t pitch, int32_t lineStep, int32_t lineOffset);
  // The scratch line of one unit row of a block.
  void BuildUnitRow(const uint8_t (&bytes)[kFrameCodeBytes], int32_t unitRow);

  bool m_enabled = false;
  int m_layout = kFrameCodeVersion;
  FrameCodeSettingsFields m_settings;
  uint32_t m_streamId = 0;
  uint16_t m_capability = 0;
  int32_t m_width = 0;
  int32_t m_height = 0;
  uint32_t m_compression = 0;
  int32_t m_bytesPerPixel = 0;
  bool m_rgb = false;  // bottom-up B, G, R[, X]
  int32_t m_interlaced = 0;
  int64_t m_halfFrameTime = 0;
  bool m_fieldCodes = false;  // interlaced and tall enough for a field code
  FrameCodeBlockGeometry m_frameSlot;
  FrameCodeBlockGeometry m_settingsSlot;  // layout 2
  FrameCodeBlockGeometry m_fieldSlot;     // in a field's picture
  // The pixels a block line covers: the block widened to whole pixel pairs.
  int32_t m_spanX0 = 0;
  size_t m_lineBytes = 0;
  // Byte offset in a block line where each unit column starts (the last entry
  // is the line's end); the widening belongs to the border units.
  size_t m_unitStart[kFrameCodeBlockUnitsX + 1] = {};
  std::unique_ptr<uint8_t[]> m_lines;  // scratch, white and black lines, one after another
};
