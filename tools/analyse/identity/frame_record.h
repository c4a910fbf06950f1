#pragma once
// What was read from one frame (or one field) of a recording: the container's
// time stamp and the identity the source drew into the picture.
#include <cstdint>
#include <string>

#include "tools/analyse/read/jpeg_damage.h"

namespace zdanalyse {

// Where a frame's identity came from.
enum class IdentitySource { kNone, kFrameCode, kStatusLine };

struct FrameRecord {
  int64_t index = 0;  // position in the recording, from 0
  int field = 0;      // 0: the whole frame; 1 top or 2 bottom field (frame code only)
  int fieldRank = 0;  // of a field: 0 the earlier of its frame, 1 the later
  bool hasTime = false;
  int64_t time = 0;  // container time stamp, 100-ns units

  bool readable = false;
  uint32_t frame = 0;  // the source's frame number
  bool hasStream = false;
  uint32_t stream = 0;  // stream id (frame code only)
  bool hasDrops = false;
  uint32_t drops = 0;  // the source's drop count at this frame
  bool hasSampleTime = false;
  int64_t sampleTime = 0;  // the sample's start time, 100-ns units (frame code only)
  bool hasClockMs = false;
  uint32_t clockMs = 0;     // the source's clock shown in the status line
  double confidence = 0.0;  // 1: read exactly; lower: nearest match
  bool hasCapability = false;
  uint16_t capability = 0;  // the preset's capability index (frame code only)
  // How the frame code was found: 0 upright; 1 upside down; 2 mirrored; 3 both.
  uint8_t orientation = 0;
  uint8_t layout = 0;  // the frame code's layout (1 or 2), 0 without one
  // Layout 2's settings block (hasFingerprint: it was read): the settings
  // that shaped the picture, what the frame is of its preset (0 its own
  // format, 1 the NV12 twin: pattern/frame_code_reader.h), the camera and
  // the control-settings sequence number.
  bool hasFingerprint = false;
  uint64_t fingerprint = 0;
  uint8_t conversion = 0;
  uint8_t camera = 1;
  uint8_t controlSequence = 0;
  FrameDamage damage = FrameDamage::kNone;  // the frame's packet, as the read stage found it
};

// The position of a record in the source's sequence: the frame number, or for
// a field twice the frame number plus its rank.
inline uint64_t SequenceKey(const FrameRecord& r) {
  return r.field ? uint64_t(r.frame) * 2 + uint64_t(r.fieldRank) : uint64_t(r.frame);
}

}  // namespace zdanalyse
