#pragma once
// The frame code: a block of grey cells that the filter draws into every frame
// when "frame_code" is on, and its one decoder. Portable: no platform calls,
// no allocation. The drawing side (pattern/frame_code.h) uses the layout and
// geometry declared here, so that writer and reader cannot disagree.
//
// Layout version 1, in short (docs/frame-code.md has it in full):
// - The frame is divided into a grid of 160 x 90 units (unit k starts at pixel
//   round(k * width / 160) across and round(k * height / 90) down), so the
//   block keeps its place and proportions when a frame is scaled.
// - A block is 26 x 12 units: a one-unit black quiet border around 24 x 10
//   cells. Interior row 0 and row 9 are references (row 0 white, black,
//   white, ...; row 9 black, white, ...), rows 1 to 8 hold the 192 bits of
//   the 24 code bytes, most significant bit first, left to right and top to
//   bottom: white is 1, black is 0.
// - Code bytes (big-endian fields): byte 0 version (high 4 bits), field
//   (2 bits), capability index bits 9..8 (low 2 bits); byte 1 capability
//   index bits 7..0; bytes 2-5 stream id; 6-9 frame number; 10-13 drop count;
//   14-19 sample start time (100 ns, low 48 bits); 20-23 CRC-32 (the zlib
//   one) of bytes 0-19.
// - The frame slot sits at units x 4..29, y 27..38 and carries the frame's
//   code on every line. Interlaced frames also carry a field slot (units
//   x 4..29, y 51..62 of the field's own picture): each field's lines hold
//   that field's code, with the field's own time, so that the field alone,
//   at its native height, reads as a picture with a code in its field slot.
#include <cstddef>
#include <cstdint>

constexpr int kFrameCodeVersion = 1;
// Layout 2: the same frame and field blocks (version 2), and a settings block
// below the frame block that names the settings the picture was made with:
// bytes 10-17 their fingerprint, byte 18 the conversion (high 4 bits) and the
// camera's number less 1 (low 4 bits), byte 19 the control-settings sequence.
constexpr int kFrameCodeLayout2 = 2;
// The field value that marks a layout-2 settings block.
constexpr uint8_t kFrameCodeSettingsField = 3;
// What a frame is of its preset (the settings block's conversion, 4 bits):
// the preset's own format, or the Media Foundation face's NV12 twin of a
// preset of another format (made from the YUY2 picture: BT.601 studio
// range). 2 to 15 are reserved: a reader cannot say which colours they are.
constexpr uint8_t kFrameCodeOwnFormat = 0;
constexpr uint8_t kFrameCodeNv12Twin = 1;

// The frame grid: units across and down.
constexpr int kFrameCodeGridX = 160;
constexpr int kFrameCodeGridY = 90;
// A block in units, quiet border included, and its cells.
constexpr int kFrameCodeBlockUnitsX = 26;
constexpr int kFrameCodeBlockUnitsY = 12;
constexpr int kFrameCodeCellsX = 24;
constexpr int kFrameCodeCellsY = 10;
constexpr int kFrameCodeBytes = 24;  // 20 payload bytes and the CRC-32
constexpr int kFrameCodePayloadBytes = 20;
// Frames from this size on carry a code; interlaced frames carry field codes
// when each field is at least this size too (frame height twice the minimum).
constexpr int32_t kFrameCodeMinWidth = 320;
constexpr int32_t kFrameCodeMinHeight = 240;

// The two places a block can sit.
enum class FrameCodeSlot : uint8_t {
  kFrame = 0,     // the frame's code, on every line
  kField = 1,     // a field's code, on that field's lines (interlaced frames only)
  kSettings = 2,  // layout 2: the settings block, on every line (units y 39..50)
};

// What a block says.
struct FrameCodePayload {
  uint8_t version = kFrameCodeVersion;
  // 0: the whole frame; 1: the top field (even picture lines, counted from
  // the top from 0); 2: the bottom field (odd picture lines).
  uint8_t field = 0;
  uint16_t capability = 0;    // the preset's position as GetStreamCaps counts, 0..1023
  uint32_t stream_id = 0;     // new at every stream start
  uint32_t frame_number = 0;  // the status line's frame number
  uint32_t drop_count = 0;    // the status line's drop count
  // The sample's start time in 100-ns units (for a field, the field's own
  // time: the later field adds half the frame duration); kept modulo 2^48.
  int64_t sample_time = 0;
  // A settings block (version 2, field kFrameCodeSettingsField) carries the
  // capability, stream id and frame number as above and, in place of the drop
  // count and time, the fingerprint of the settings that shape the picture,
  // the conversion the frame is of its preset (4 bits), the camera's number
  // (1..16) and the control-settings sequence number (0 while the camera
  // controls are as the settings start them).
  uint64_t fingerprint = 0;
  uint8_t conversion = kFrameCodeOwnFormat;
  uint8_t camera = 1;
  uint8_t control_sequence = 0;

  bool operator==(const FrameCodePayload& o) const {
    return version == o.version && field == o.field && capability == o.capability &&
           stream_id == o.stream_id && frame_number == o.frame_number &&
           drop_count == o.drop_count && sample_time == o.sample_time &&
           fingerprint == o.fingerprint && conversion == o.conversion && camera == o.camera &&
           control_sequence == o.control_sequence;
  }
  bool operator!=(const FrameCodePayload& o) const { return !(*this == o); }
};

// CRC-32 as zlib computes it (reflected polynomial 0xEDB88320, initial value
// and final xor 0xFFFFFFFF): "123456789" gives 0xCBF43926.
uint32_t FrameCodeCrc32(const uint8_t* bytes, size_t count);

// Whether cell (cx, cy) of a block (0..23, 0..9) is white: the reference rows
// 0 and 9 as the layout fixes them, the data rows as the code bytes say.
bool FrameCodeCellIsWhite(const uint8_t (&bytes)[kFrameCodeBytes], int cx, int cy);

// The 24 code bytes of a payload, CRC included. Fields beyond their width
// are cut (capability to 10 bits, sample_time to 48 bits, field to 2 bits,
// conversion and camera - 1 to 4 bits).
void PackFrameCode(const FrameCodePayload& payload, uint8_t (&bytes)[kFrameCodeBytes]);
// The payload of 24 code bytes; false when the CRC does not match or the
// version is neither 1 nor 2 (a settings block is version 2 only).
bool UnpackFrameCode(const uint8_t (&bytes)[kFrameCodeBytes], FrameCodePayload* payload);

// Where a block lies in a picture of the given size: the pixel edges of its
// 26 unit columns and 12 unit rows (27 and 13 edges), rounded to whole pixels.
struct FrameCodeBlockGeometry {
  int32_t x[kFrameCodeBlockUnitsX + 1];
  int32_t y[kFrameCodeBlockUnitsY + 1];
};
// The geometry of a slot in a picture of width x height; false when the
// picture is too small to hold a readable block (under 160 x 90 pixels).
bool FrameCodeGeometry(int32_t width, int32_t height, FrameCodeSlot slot,
                       FrameCodeBlockGeometry* geometry);

// An 8-bit luma (or grey) picture, lines counted from the top. Samples of a
// line are sample_step bytes apart (1 for a plane of its own, 2 for the Y of
// packed 4:2:2); lines are row_step bytes apart, negative for pictures stored
// bottom-up (data then points at the top line, the last one in memory).
struct LumaPlane {
  const uint8_t* data = nullptr;
  ptrdiff_t row_step = 0;
  ptrdiff_t sample_step = 1;
  int32_t width = 0;
  int32_t height = 0;
};

// One field of an interlaced picture as a picture of its own, without a copy:
// parity 0 the even picture lines (the top field), 1 the odd ones.
LumaPlane FieldOf(const LumaPlane& frame, int parity);

// The luma of a frame as the filter delivers it (the sample's bytes, lines
// every pitch bytes), without a copy: for YUY2 and YVYU the Y bytes at even
// offsets, for UYVY and HDYC at odd ones; for the bottom-up RGB24 and RGB32
// the green byte, which equals the luma wherever the picture is grey, as a
// block is; for NV12 and I420 (bit_count 12) the luma plane at the start,
// rows width bytes apart whatever pitch says (the planes are packed).
// compression and bit_count as the preset has them (0 with 24 or 32 for RGB,
// the FOURCC with 16 for 4:2:2, with 12 for 4:2:0). An empty plane (no data)
// for any other format or when the bytes cannot hold the frame.
LumaPlane LumaOfFrame(const uint8_t* bytes, size_t size, uint32_t pitch, int32_t width,
                      int32_t height, uint32_t compression, int32_t bit_count);

enum class FrameCodeStatus : uint8_t {
  kDecoded = 0,     // payload holds what the block says; the CRC matched
  kUnreadable = 1,  // something is there, but it does not check out: never a guess
  kNoCode = 2,      // the picture is too small or the block area is flat
};

struct FrameCodeReading {
  FrameCodeStatus status = FrameCodeStatus::kNoCode;
  FrameCodePayload payload;  // meaningful only when kDecoded
};

// Reads the block of one slot of a picture of any size. Each cell is read as
// the mean of its inner half (across and down), compared with the midpoint
// of the reference cells' white and black means. Reads nothing outside the
// picture and allocates nothing; safe to call from several threads at once.
FrameCodeReading ReadFrameCode(const LumaPlane& picture,
                               FrameCodeSlot slot = FrameCodeSlot::kFrame);
