#include "tools/capture/frame_code_check.h"

#include <algorithm>

#include <set>

#include "pattern/pixel_format.h"
#include "tools/common/jpeg_decode.h"

namespace zdcap {
namespace {

constexpr int64_t kTimeMask = 0xFFFFFFFFFFFFll;  // the code keeps 48 bits of time

// Whether a field's code belongs to its frame's: same stream, frame and
// capability, the field's own number, and the frame's time or half a frame
// later.
bool FieldAgrees(const FrameCodePayload& frame, const FrameCodePayload& field, int parity,
                 int64_t frame_time) {
  const int64_t offset = field.sample_time - frame.sample_time;
  return field.stream_id == frame.stream_id && field.frame_number == frame.frame_number &&
         field.capability == frame.capability && field.field == parity + 1 &&
         (offset == 0 || offset == frame_time / 2);
}

// The codes of a picture's luma: the frame slot and each field's.
void ReadCodes(const LumaPlane& luma, SampleCode* code) {
  code->frame = ReadFrameCode(luma);
  for (int parity = 0; parity < 2; ++parity)
    code->fields[parity] = ReadFrameCode(FieldOf(luma, parity), FrameCodeSlot::kField);
}

}  // namespace

SampleCode ReadSampleCode(const uint8_t* data, size_t length, const Capability& format) {
  SampleCode code;
  const int height = format.height < 0 ? -format.height : format.height;
  const PixelFormatInfo* info = FindPixelFormat(format.format);
  if (!data || height <= 0 || !info)
    return code;
  if (format.format == PixelFormat::kMjpg) {
    // The JPEG decoded (libjpeg-turbo): a sample that does not decode to a
    // picture of the connected size has an unreadable code.
    zdtools::JpegPicture picture;
    std::string error;
    if (!zdtools::DecodeJpeg(data, length, false, &picture, &error) ||
        picture.width != format.width || picture.height != height) {
      code.frame.status = FrameCodeStatus::kUnreadable;
      return code;
    }
    LumaPlane luma;
    luma.data = picture.luma.data();
    luma.row_step = picture.width;
    luma.width = picture.width;
    luma.height = picture.height;
    ReadCodes(luma, &code);
    return code;
  }
  // The rows' bytes without padding: a sample shorter than that is cut short.
  const uint64_t whole = info->bitCount == 12
                             ? uint64_t(format.width) * uint64_t(height) * 3 / 2
                             : uint64_t(format.width) * uint64_t(info->bitCount / 8) * height;
  if (length < whole) {
    code.partial = true;
    return code;
  }
  const LumaPlane luma = LumaOfFrame(data, length, uint32_t(length / size_t(height)), format.width,
                                     height, info->compression, info->bitCount);
  if (!luma.data)
    return code;
  ReadCodes(luma, &code);
  return code;
}

bool FrameCodeCheck::ok() const {
  return frames > 0 && decoded == frames && partial == 0 && missing == 0 && repeated == 0 &&
         out_of_order == 0 && restarts == 0 && time_mismatch == 0 && capability_mismatch == 0 &&
         fields_unreadable == 0 && field_mismatch == 0;
}

FrameCodeCheck CheckFrameCodes(const std::vector<SampleCode>& samples, int expected_capability,
                               int64_t frame_time, bool interlaced_type) {
  FrameCodeCheck c;
  c.interlaced = interlaced_type;
  for (const SampleCode& s : samples) {
    for (const FrameCodeReading& field : s.fields)
      c.interlaced = c.interlaced || field.status == FrameCodeStatus::kDecoded;
  }

  bool started = false;
  uint32_t stream = 0;
  int64_t highest = -1;
  std::set<uint32_t> seen;  // frame numbers of the current stream
  int64_t partialRun = 0;   // partial samples since the last code read
  for (const SampleCode& s : samples) {
    ++c.frames;
    if (s.partial) {
      // Made for a number of its own: it stands for one in the gap it leaves.
      ++c.partial;
      ++partialRun;
      continue;
    }
    if (c.interlaced) {
      for (int parity = 0; parity < 2; ++parity) {
        const FrameCodeReading& field = s.fields[parity];
        if (field.status != FrameCodeStatus::kDecoded) {
          ++c.fields_unreadable;
          continue;
        }
        ++c.fields_decoded;
        if (s.frame.status == FrameCodeStatus::kDecoded &&
            !FieldAgrees(s.frame.payload, field.payload, parity, frame_time))
          ++c.field_mismatch;
      }
    }
    if (s.frame.status == FrameCodeStatus::kUnreadable)
      ++c.unreadable;
    if (s.frame.status == FrameCodeStatus::kNoCode)
      ++c.no_code;
    if (s.frame.status != FrameCodeStatus::kDecoded)
      continue;
    ++c.decoded;

    const FrameCodePayload& p = s.frame.payload;
    if (s.has_start && p.sample_time != (s.start & kTimeMask))
      ++c.time_mismatch;
    if (expected_capability >= 0 && p.capability != expected_capability)
      ++c.capability_mismatch;
    c.source_drops = p.drop_count;
    if (c.first_frame < 0)
      c.first_frame = p.frame_number;

    const int64_t n = p.frame_number;
    if (!started || p.stream_id != stream) {
      if (started)
        ++c.restarts;
      started = true;
      stream = p.stream_id;
      seen.clear();
      highest = n;
    } else if (n > highest) {
      c.missing += std::max<int64_t>(n - highest - 1 - partialRun, 0);
      highest = n;
    } else if (seen.count(p.frame_number)) {
      ++c.repeated;
    } else {
      ++c.out_of_order;  // counted missing when the higher number came
      --c.missing;
    }
    seen.insert(p.frame_number);
    c.last_frame = highest;
    partialRun = 0;
  }
  return c;
}

}  // namespace zdcap
