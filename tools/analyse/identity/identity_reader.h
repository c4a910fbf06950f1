#pragma once
// Reads the identity of each frame of a recording into records: the frame
// code through the shared decoder, or else the status line.
#include <vector>

#include "tools/analyse/identity/frame_record.h"
#include "tools/analyse/read/luma_frame.h"

namespace zdanalyse {

class IdentityReader {
 public:
  virtual ~IdentityReader() = default;
  // Appends the frame's records: one, or one per field when the identity
  // carries fields. index is the frame's position in the recording.
  virtual void Read(const LumaFrame& frame, int64_t index, std::vector<FrameRecord>* out) = 0;
};

// A record with the container's time of the frame and nothing read yet.
FrameRecord BlankRecord(const LumaFrame& frame, int64_t index);

}  // namespace zdanalyse
