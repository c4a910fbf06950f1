#pragma once
// Stage read: a recording file (or Y4M on standard input) comes in; what the
// container says (SourceInfo) and one LumaFrame after another go out.
// open_recording.h picks the reader. Includes nothing of the later stages.
//
// A recording, frame by frame: the readers (Y4M, and FFmpeg's libraries in the
// native build) behind one interface that the analysis consumes.
#include <cstdint>
#include <string>

#include "tools/analyse/read/luma_frame.h"

namespace zdanalyse {

enum class ReadStatus { kFrame, kEnd, kError };

// What the recording says about itself before its frames are read.
struct SourceInfo {
  std::string container;  // "yuv4mpegpipe", "avi", ...
  std::string codec;      // "rawvideo", "h264", ...
  std::string pixelFormat;
  int32_t width = 0;
  int32_t height = 0;
  bool hasFrameTimes = false;  // frames carry their own time stamps
  double nominalRate = 0.0;    // frames per second given by the header, 0 when none
  int64_t expectedFrames = 0;  // frames the container announces, 0 when it does not say
  double durationSeconds = 0;  // the recording's length as the container gives it, 0 when unknown
  FieldOrder fieldOrder = FieldOrder::kUnknown;
  DeclaredRange range = DeclaredRange::kUnstated;  // Y4M's XCOLORRANGE
};

class FrameSource {
 public:
  virtual ~FrameSource() = default;
  virtual const SourceInfo& Info() const = 0;
  // The next frame into *frame. kEnd after the last one; kError with a reason
  // in *error when the recording is damaged or cannot be decoded.
  virtual ReadStatus Next(LumaFrame* frame, std::string* error) = 0;
  // From the next frame on, also keep each frame's colour (off at first:
  // reading luma alone is cheaper). A reader that cannot keeps none.
  virtual void KeepColour(bool keep) { m_keepColour = keep; }
  // Whether AddColour can give a frame its colour after Next, so that colour
  // needs keeping only for the frames that turn out to want it.
  virtual bool CanAddColour() const { return false; }
  // The colour of the frame Next gave last, into that frame (read with
  // KeepColour off); false when it is no longer there or has none.
  virtual bool AddColour(LumaFrame* /*frame*/) { return false; }

 protected:
  bool m_keepColour = false;
};

}  // namespace zdanalyse
