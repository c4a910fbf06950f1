#include "tools/analyse/identity/frame_code_identity.h"

#include <algorithm>
#include <cstdio>

namespace zdanalyse {
namespace {

// Fields of interlaced frames carry their own codes only when each field is
// large enough for one. Containers often say nothing of the scan (AVI), so the
// field slots are looked at whatever the frame's flags say.
bool MayCarryFields(const LumaFrame& frame) {
  return frame.height >= 2 * kFrameCodeMinHeight;
}

// The picture turned: bit 0 upside down, bit 1 mirrored. No copy.
LumaPlane Oriented(LumaPlane p, int orientation) {
  if (orientation & 1) {
    p.data += (p.height - 1) * p.row_step;
    p.row_step = -p.row_step;
  }
  if (orientation & 2) {
    p.data += (p.width - 1) * p.sample_step;
    p.sample_step = -p.sample_step;
  }
  return p;
}

// The frame's code, upright or else in the first orientation that reads:
// a flipped or mirrored recording moves and turns the block.
FrameCodeReading ReadAnyOrientation(const LumaPlane& plane, uint8_t* orientation) {
  FrameCodeReading reading = ReadFrameCode(plane);
  *orientation = 0;
  for (int o = 1; o < 4 && reading.status != FrameCodeStatus::kDecoded; ++o) {
    const FrameCodeReading turned = ReadFrameCode(Oriented(plane, o));
    if (turned.status == FrameCodeStatus::kDecoded) {
      reading = turned;
      *orientation = uint8_t(o);
    }
  }
  return reading;
}

}  // namespace

LumaPlane PlaneOf(const LumaFrame& frame) {
  LumaPlane plane;
  plane.data = frame.HasLuma() ? frame.Row(0) : nullptr;
  plane.row_step = frame.Stride();
  plane.sample_step = 1;
  plane.width = frame.width;
  plane.height = frame.height;
  return plane;
}

void FillFromPayload(const FrameCodePayload& payload, FrameRecord* r) {
  r->readable = true;
  r->layout = payload.version;
  r->frame = payload.frame_number;
  r->hasStream = true;
  r->stream = payload.stream_id;
  r->hasDrops = true;
  r->drops = payload.drop_count;
  r->hasSampleTime = true;
  r->sampleTime = payload.sample_time;
  r->confidence = 1.0;  // the code's CRC matched
  r->hasCapability = true;
  r->capability = payload.capability;
}

// Frames searched for a shifted or scaled code when none reads in place (a
// search costs about a tenth of a second at 1920 x 1080).
constexpr size_t kViewSearchFrames = 1;

FrameCodeReading FrameCodeIdentity::ReadFrameSlot(const LumaFrame& frame, uint8_t* orientation) {
  *orientation = 0;
  if (!m_view.Identity())
    return ReadFrameCode(ViewPlane(frame, m_view, &m_viewBuffer));
  return ReadAnyOrientation(PlaneOf(frame), orientation);
}

// Layout 2's settings block, of the same frame and stream as the record.
void FrameCodeIdentity::ReadSettingsBlock(const LumaFrame& frame, uint8_t orientation,
                                          FrameRecord* r) {
  if (r->layout != kFrameCodeLayout2)
    return;
  const FrameCodeReading reading =
      m_view.Identity()
          ? ReadFrameCode(Oriented(PlaneOf(frame), orientation), FrameCodeSlot::kSettings)
          : ReadFrameCode(ViewPlane(frame, m_view, &m_viewBuffer), FrameCodeSlot::kSettings);
  const FrameCodePayload& p = reading.payload;
  if (reading.status != FrameCodeStatus::kDecoded || p.field != kFrameCodeSettingsField ||
      p.stream_id != r->stream || p.frame_number != r->frame)
    return;
  r->hasFingerprint = true;
  r->fingerprint = p.fingerprint;
  r->conversion = p.conversion;
  r->camera = p.camera;
  r->controlSequence = p.control_sequence;
}

size_t FrameCodeIdentity::Calibrate(const std::vector<LumaFrame>& frames) {
  size_t read = 0;
  m_fields = false;
  m_view = CodeView{};
  m_orientation = 0;
  for (const LumaFrame& f : frames) {
    uint8_t orientation = 0;
    const FrameCodeReading reading = ReadFrameSlot(f, &orientation);
    const bool decoded = reading.status == FrameCodeStatus::kDecoded;
    read += decoded ? 1 : 0;
    if (decoded && read == 1) {
      m_orientation = orientation;
      m_layout = reading.payload.version;
      FrameRecord first;
      FillFromPayload(reading.payload, &first);
      ReadSettingsBlock(f, orientation, &first);
      m_conversion = first.hasFingerprint ? first.conversion : kFrameCodeOwnFormat;
    }
  }
  for (size_t i = 0; read == 0 && i < std::min(frames.size(), kViewSearchFrames); ++i) {
    if (!FindCodeView(frames[i], &m_view))
      continue;
    for (const LumaFrame& f : frames) {
      uint8_t orientation = 0;
      read += ReadFrameSlot(f, &orientation).status == FrameCodeStatus::kDecoded ? 1 : 0;
    }
  }
  for (const LumaFrame& f : frames) {
    const LumaPlane plane = PlaneOf(f);
    if (MayCarryFields(f) &&
        ReadFrameCode(FieldOf(plane, 0), FrameCodeSlot::kField).status == FrameCodeStatus::kDecoded)
      m_fields = true;
  }
  return read;
}

std::string FrameCodeIdentity::Describe() const {
  std::string text = "layout " + std::to_string(m_layout);
  if (m_conversion == kFrameCodeNv12Twin)
    text += ", the NV12 twin of the preset it names";
  else if (m_conversion != kFrameCodeOwnFormat)
    text += ", conversion " + std::to_string(m_conversion) + " (unknown)";
  if (m_fields)
    text += ", per field";
  const char* turned[] = {"", ", read upside down", ", read mirrored",
                          ", read turned by 180 degrees"};
  text += turned[m_orientation & 3];
  if (!m_view.Identity()) {
    char moved[96];
    std::snprintf(moved, sizeof moved, ", found moved (scale %.4f, shift %+.1f, %+.1f px)",
                  m_view.scale, m_view.tx, m_view.ty);
    text += moved;
  }
  return text;
}

void FrameCodeIdentity::Read(const LumaFrame& frame, int64_t index, std::vector<FrameRecord>* out) {
  const LumaPlane plane = PlaneOf(frame);
  if (!m_fields) {
    FrameRecord r = BlankRecord(frame, index);
    uint8_t orientation = 0;
    const FrameCodeReading reading = ReadFrameSlot(frame, &orientation);
    if (reading.status == FrameCodeStatus::kDecoded) {
      FillFromPayload(reading.payload, &r);
      r.orientation = orientation;
      ReadSettingsBlock(frame, orientation, &r);
    }
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
      ReadSettingsBlock(frame, 0, &fields[parity]);
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
