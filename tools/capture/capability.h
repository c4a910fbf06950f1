#pragma once
// One capability of a capture pin, as the host reads it from IAMStreamConfig,
// and the matching of a requested size, format and rate against them.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/capture/frame_image.h"

namespace zdcap {

struct Capability {
  int index = 0;
  int width = 0;
  int height = 0;  // as in the bitmap header: positive for bottom-up RGB
  PixelFormat format = PixelFormat::kUnknown;
  std::string subtype;     // the subtype's name ("YUY2", "RGB24", or its GUID text)
  int64_t frame_time = 0;  // AvgTimePerFrame, 100-ns units
  bool video_info2 = false;
  int interlace_flags = -1;  // dwInterlaceFlags of a VIDEOINFOHEADER2 type; -1 without one
};

// What one sample of a capability holds when Media Foundation delivers it.
struct SampleSize {
  int64_t bytes = 0;      // the frame's size; for MJPG the largest a sample may be
  bool variable = false;  // MJPG: each sample from 1 byte to bytes
};

// The packed formats: stride x height, the stride being the type's default
// stride or, without one (0), a row of whole pixels rounded up to 4 bytes;
// NV12 and I420: their planes packed, width x height x 3 / 2; MJPG: the
// largest JPEG of the frame size (MjpgWorstCaseBytes), variable. 0 bytes for
// an unknown format or an empty size.
SampleSize MfSampleSize(const Capability& cap, int64_t stride);

// Frames per second of a frame duration; 0 for a duration of 0 or less.
double RateOfFrameTime(int64_t frame_time);

// "progressive", "interlaced, field 1 first", "interlaced, field 2 first",
// or "-" when the type does not say.
std::string InterlaceText(int interlace_flags);

// The index into caps of the first capability that matches every given
// request: width and height when width > 0, format when not empty (by name,
// see PixelFormatFromName, or the subtype's name), and rate when fps > 0
// (the frame duration within 0.02 % of 10^7 / fps). -1 when none matches.
int MatchCapability(const std::vector<Capability>& caps, int width, int height,
                    const std::string& format, double fps);

}  // namespace zdcap
