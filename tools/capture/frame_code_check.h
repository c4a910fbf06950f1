#pragma once
// zd-capture --verify: each delivered sample's frame code, read through the
// one decoder at the DirectShow boundary, and what the codes of a whole run
// say about the stream: frames missing, repeated or out of order, codes that
// could not be read, restarts, and codes that disagree with the sample.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "pattern/frame_code_reader.h"
#include "tools/capture/capability.h"

namespace zdcap {

// What one sample's codes said.
struct SampleCode {
  FrameCodeReading frame;      // the frame slot
  FrameCodeReading fields[2];  // the field slot of the top and the bottom field
  bool has_start = false;      // the sample carried a start time
  int64_t start = 0;           // ... this one, 100-ns units
  // An empty sample, or an uncompressed one shorter than its frame's rows:
  // no code is looked for in it.
  bool partial = false;
};

// Reads the codes of one sample of the connected format (rows every
// length / height bytes; RGB bottom-up). Nothing is decoded for a format the
// filter does not make: every slot then reads kNoCode.
SampleCode ReadSampleCode(const uint8_t* data, size_t length, const Capability& format);

struct FrameCodeCheck {
  int64_t frames = 0;               // samples looked at
  int64_t decoded = 0;              // frame codes read
  int64_t unreadable = 0;           // frame codes there but unreadable
  int64_t no_code = 0;              // samples without a code
  int64_t partial = 0;              // empty or short samples (SampleCode::partial)
  int64_t first_frame = -1;         // frame number of the first code read
  int64_t last_frame = -1;          // highest frame number of the last stream
  int64_t missing = 0;              // frame numbers skipped and never delivered
  int64_t repeated = 0;             // frame numbers delivered again
  int64_t out_of_order = 0;         // frame numbers delivered after a higher one
  int64_t restarts = 0;             // changes of stream id
  int64_t time_mismatch = 0;        // the code's time is not the sample's start time
  int64_t capability_mismatch = 0;  // the code names another capability than selected
  int64_t source_drops = 0;         // the source's drop count in the last code read
  bool interlaced = false;          // field codes expected: said by the type or found
  int64_t fields_decoded = 0;
  int64_t fields_unreadable = 0;  // fields of an interlaced stream without a readable code
  int64_t field_mismatch = 0;     // field codes that disagree with their frame's code

  // Every sample was whole and carried a readable code, in one stream, with consecutive
  // frame numbers, matching times, capability and fields.
  bool ok() const;
};

// Checks the codes of a run in arrival order. expected_capability: the
// selected capability's index, or -1 when none was selected. frame_time:
// the connected type's frame duration (a field's time is the frame's, or
// half a frame duration after it). interlaced_type: the connected type says
// the stream is interlaced (field codes are then expected even if none is
// found).
FrameCodeCheck CheckFrameCodes(const std::vector<SampleCode>& samples, int expected_capability,
                               int64_t frame_time, bool interlaced_type);

}  // namespace zdcap
