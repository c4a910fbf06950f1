#pragma once
// Frame identity from the frame code, through the shared decoder
// (pattern/frame_code_reader.h): stream id, frame number, drop count and
// sample time of every frame, and of every field where the code carries
// fields.
#include <string>
#include <vector>

#include "pattern/frame_code_reader.h"
#include "tools/analyse/identity_reader.h"

namespace zdanalyse {

class FrameCodeIdentity : public IdentityReader {
 public:
  // Looks at the first frames: how many carry a readable frame code, and
  // whether any carries field codes, which makes every later frame two records.
  size_t Calibrate(const std::vector<LumaFrame>& frames);
  std::string Describe() const;
  void Read(const LumaFrame& frame, int64_t index, std::vector<FrameRecord>* out) override;

 private:
  bool m_fields = false;
};

// The plane the shared decoder reads, over a frame's luma.
LumaPlane PlaneOf(const LumaFrame& frame);

// A record from a decoded payload.
void FillFromPayload(const FrameCodePayload& payload, FrameRecord* record);

}  // namespace zdanalyse
