#include "tools/analyse/original_frames.h"

#include "pattern/pixel_format.h"
#include "stream/stream_settings.h"

namespace zdanalyse {

bool OriginalFrames::Open(const StreamSettings& settings, const std::string& moduleDir,
                          int capability, std::string* error) {
  if (capability < 0 || capability >= settings.m_presetNum || !settings.m_presetTable) {
    *error = "the frame code names capability " + std::to_string(capability) +
             ", which the settings do not have (" + std::to_string(settings.m_presetNum) +
             " presets)";
    return false;
  }
  m_preset = settings.m_presetTable[size_t(capability)];
  // Faults change deliveries and stamps, never pictures: made without them.
  m_preset.faults = FaultSettings{};
  // The stream-wide switches that shape the picture, without the code, the
  // marker or any log: those are masked, not compared.
  StreamSettings plain;
  plain.m_autoClock = settings.m_autoClock;
  const HResultCode hr = m_producer.OnThreadCreate(m_host, m_preset, plain, moduleDir, capability);
  if (Failed(hr)) {
    *error = "the preset's stream cannot be made again (font sheet " + std::string(m_preset.font) +
             " or background " + m_preset.bmp + " not readable beside the settings)";
    return false;
  }
  if (m_producer.m_pattern.empty() && m_preset.bmp[0]) {
    *error = "the preset's background " + std::string(m_preset.bmp) + " is not readable beside " +
             "the settings (" + moduleDir + "): the originals cannot be made";
    return false;
  }
  m_sample = std::make_unique<zd::SimulatedSample>(
      zd::FrameSizeBytes(m_preset.w, m_preset.h, m_preset.bit_count));
  return true;
}

bool OriginalFrames::Make(uint32_t n, PlanarPicture* out) {
  if (!m_sample)
    return false;
  // Frame n at once: its number sets the scroll position, and nothing is due.
  m_producer.m_frameCount = n;
  m_producer.m_nextDueMs = 0.0;
  if (m_producer.FillBuffer(m_host, m_sample.get(), m_preset, 0) != kS_OK)
    return false;
  return PlanarFromSample(m_sample->memory.data(), m_sample->memory.size(), m_preset.w,
                          m_preset.h, m_preset.compression, m_preset.bit_count, out);
}

}  // namespace zdanalyse
