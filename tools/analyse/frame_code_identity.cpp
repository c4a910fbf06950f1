#include "tools/analyse/frame_code_identity.h"

namespace zdanalyse {
namespace {

// Fields of interlaced frames carry their own codes only when each field is
// large enough for one. Containers often say nothing of the scan (AVI), so the
// field slots are looked at whatever the frame's flags say.
bool MayCarryFields(const LumaFrame& frame) {
  return frame.height >= 2 * kFrameCodeMinHeight;
}

}  // namespace

LumaPlane PlaneOf(const LumaFrame& frame) {
  LumaPlane plane;
  plane.data = frame.luma.data();
  plane.row_step = frame.width;
  plane.sample_step = 1;
  plane.width = frame.width;
  plane.height = frame.height;
  return plane;
}

void FillFromPayload(const FrameCodePayload& payload, FrameRecord* r) {
  r->readable = true;
  r->frame = payload.frame_number;
  r->hasStream = true;
  r->stream = payload.stream_id;
  r->hasDrops = true;
  r->drops = payload.drop_count;
  r->hasSampleTime = true;
  r->sampleTime = payload.sample_time;
  r->confidence = 1.0;  // the code's CRC matched
}

size_t FrameCodeIdentity::Calibrate(const std::vector<LumaFrame>& frames) {
  size_t read = 0;
  m_fields = false;
  for (const LumaFrame& f : frames) {
    const LumaPlane plane = PlaneOf(f);
    read += ReadFrameCode(plane).status == FrameCodeStatus::kDecoded ? 1 : 0;
    if (MayCarryFields(f) &&
        ReadFrameCode(FieldOf(plane, 0), FrameCodeSlot::kField).status == FrameCodeStatus::kDecoded)
      m_fields = true;
  }
  return read;
}

std::string FrameCodeIdentity::Describe() const {
  return m_fields ? "layout " + std::to_string(kFrameCodeVersion) + ", per field"
                  : "layout " + std::to_string(kFrameCodeVersion);
}

void FrameCodeIdentity::Read(const LumaFrame& frame, int64_t index, std::vector<FrameRecord>* out) {
  const LumaPlane plane = PlaneOf(frame);
  if (!m_fields) {
    FrameRecord r = BlankRecord(frame, index);
    const FrameCodeReading reading = ReadFrameCode(plane);
    if (reading.status == FrameCodeStatus::kDecoded)
      FillFromPayload(reading.payload, &r);
    out->push_back(r);
    return;
  }
  // Each field's code, the earlier one (by its sample time) first.
  FrameRecord fields[2] = {BlankRecord(frame, index), BlankRecord(frame, index)};
  for (int parity = 0; parity < 2; ++parity) {
    fields[parity].field = parity + 1;
    const FrameCodeReading reading = ReadFrameCode(FieldOf(plane, parity), FrameCodeSlot::kField);
    if (reading.status == FrameCodeStatus::kDecoded) {
      FillFromPayload(reading.payload, &fields[parity]);
      fields[parity].field = reading.payload.field ? reading.payload.field : parity + 1;
    }
  }
  bool swap = false;
  if (fields[0].readable && fields[1].readable) {
    swap = fields[1].sampleTime < fields[0].sampleTime;
  } else if (frame.fieldOrder == FieldOrder::kBottomFirst) {
    swap = true;
  }
  if (swap)
    std::swap(fields[0], fields[1]);
  fields[0].fieldRank = 0;
  fields[1].fieldRank = 1;
  out->push_back(fields[0]);
  out->push_back(fields[1]);
}

}  // namespace zdanalyse
