#pragma once
// The frames the source made, made again: one preset's stream through the
// frame loop the module runs (FrameProducer on a simulated host), any frame
// by its number, as 4:2:2 planes. The background depends on the settings and
// the frame number alone; the text lines, the frame code and the mouse marker
// (clocks, the stream id, the mouse) do not match and are left to the caller
// to mask (TextHeight gives the text lines' height).
#include <cstdint>
#include <memory>
#include <string>

#include "pattern/frame_code_reader.h"
#include "pattern/frame_producer.h"
#include "pattern/pixel_format.h"
#include "pattern/simulated_frame_host.h"
#include "stream/preset_info.h"
#include "tools/analyse/pixels/planar_picture.h"

struct StreamSettings;

namespace zdanalyse {

class OriginalFrames {
 public:
  // Prepares the stream of the preset at capability index capability (the
  // frame code's count of enabled presets) of settings, with the bitmaps in
  // moduleDir. False, with a reason, for an unknown index or a stream that
  // cannot start (font sheet missing). An RGB preset's frames are made by its
  // YUY2 twin (the same picture, converted by the core) unless rgbAsIs.
  // conversion is what layout 2 of the frame code says the frames are of the
  // preset: kFrameCodeNv12Twin makes them as the Media Foundation face's NV12
  // twin makes them (BT.601 studio range, whatever the preset's format); an
  // unknown one is refused, with a reason (their colours cannot be told).
  bool Open(const StreamSettings& settings, const std::string& moduleDir, int capability,
            std::string* error, bool rgbAsIs = false, uint8_t conversion = kFrameCodeOwnFormat);
  // Frame number n into *out (the rows the subset needs). False when the
  // frame cannot be made.
  bool Make(uint32_t n, PlanarPicture* out, RowSubset rows = {});

  // The preset in the format its frames were sent in.
  const PresetInfo& Preset() const { return m_preset; }
  // The source's colours are BT.709 (HDYC), else BT.601; both studio range.
  bool Bt709() const { return m_preset.compression == kFourccHDYC; }
  // The fingerprint of the settings that shape the preset's picture, as
  // layout 2 of the frame code carries it (for a twin, the named preset's).
  uint64_t Fingerprint() const { return m_fingerprint; }
  int32_t TextHeight() const { return m_producer.m_font.glyph_h; }
  // Whether every frame has the same background (a still preset).
  bool Still() const { return m_preset.scroll_x == 0 && m_preset.scroll_y == 0; }

 private:
  zd::SimulatedFrameHost m_host;
  FrameProducer m_producer;
  PresetInfo m_preset{};  // as the settings give it, in the format its frames were sent in
  uint64_t m_fingerprint = 0;
  PresetInfo m_made{};  // as it is made
  std::unique_ptr<zd::SimulatedSample> m_sample;
};

}  // namespace zdanalyse
