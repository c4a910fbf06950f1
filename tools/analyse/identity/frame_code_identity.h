#pragma once
// Frame identity from the frame code, through the shared decoder
// (pattern/frame_code_reader.h): stream id, frame number, drop count and
// sample time of every frame, and of every field where the code carries
// fields.
#include <string>
#include <vector>

#include "pattern/frame_code_reader.h"
#include "tools/analyse/identity/code_view.h"
#include "tools/analyse/identity/identity_reader.h"

namespace zdanalyse {

class FrameCodeIdentity : public IdentityReader {
 public:
  // Looks at the first frames: how many carry a readable frame code, and
  // whether any carries field codes, which makes every later frame two records.
  size_t Calibrate(const std::vector<LumaFrame>& frames);
  std::string Describe() const;
  void Read(const LumaFrame& frame, int64_t index, std::vector<FrameRecord>* out) override;

 private:
  // The frame's code: through the view when the picture was found moved,
  // else upright or in the orientation that reads.
  FrameCodeReading ReadFrameSlot(const LumaFrame& frame, uint8_t* orientation);
  void ReadSettingsBlock(const LumaFrame& frame, uint8_t orientation, FrameRecord* r);

  bool m_fields = false;
  CodeView m_view;                   // where the code was found when the picture was moved
  uint8_t m_orientation = 0;         // how the first frame's code read (FrameRecord::orientation)
  int m_layout = kFrameCodeVersion;  // of the first code read
  // What the first code's frame is of its preset, as its settings block says.
  uint8_t m_conversion = kFrameCodeOwnFormat;
  std::vector<uint8_t> m_viewBuffer;
};

// The plane the shared decoder reads, over a frame's luma.
LumaPlane PlaneOf(const LumaFrame& frame);

// A record from a decoded payload.
void FillFromPayload(const FrameCodePayload& payload, FrameRecord* record);

}  // namespace zdanalyse
