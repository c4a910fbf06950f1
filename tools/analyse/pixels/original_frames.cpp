#include "tools/analyse/pixels/original_frames.h"

#include "pattern/picture_fingerprint.h"

#include "pattern/pixel_format.h"
#include "platform/module_path.h"
#include "stream/stream_settings.h"

namespace zdanalyse {

bool OriginalFrames::Open(const StreamSettings& settings, const std::string& moduleDir,
                          int capability, std::string* error, bool rgbAsIs, uint8_t conversion) {
  if (capability < 0 || capability >= settings.m_presetNum || !settings.m_presetTable) {
    *error = "the frame code names capability " + std::to_string(capability) +
             ", which the settings do not have (" + std::to_string(settings.m_presetNum) +
             " presets)";
    return false;
  }
  if (conversion != kFrameCodeOwnFormat && conversion != kFrameCodeNv12Twin) {
    *error = "the frame code says its frames are conversion " + std::to_string(conversion) +
             " of their preset, which this zd-analyse does not know: their colours cannot be "
             "told, and they are not compared";
    return false;
  }
  m_preset = settings.m_presetTable[size_t(capability)];
  // Faults change deliveries and stamps, never pictures: made without them.
  m_preset.faults = FaultSettings{};
  m_fingerprint = PictureFingerprint(m_preset, settings.m_mouseCursol, moduleDir);
  // The Media Foundation face's NV12 twin of the preset (AddNv12Twins): the
  // same preset in NV12, made from the YUY2 picture, in BT.601 whatever the
  // preset's own matrix.
  if (conversion == kFrameCodeNv12Twin) {
    m_preset.compression = kFourccNV12;
    m_preset.bit_count = 12;
  }
  // NV12 and I420 frames are their YUY2 twin's with the chroma of row pairs
  // averaged, MJPG frames their YUY2 twin's picture as a JPEG: the twin is
  // made, and compared like any recording (4:2:0, or in the range the
  // recording declares).
  m_made = TwinPreset(m_preset);
  if (m_preset.compression == kCompressionRgb && !rgbAsIs) {
    // The YUY2 twin: the same picture, converted by the core with the formula
    // the comparison uses for RGB, without a conversion per frame. Memory
    // rows run the other way in RGB, so the fields' parity swaps with them.
    m_made.compression = kFourccYUY2;
    m_made.bit_count = 16;
    m_made.interlaced = m_preset.interlaced == 1 ? 2 : m_preset.interlaced == 2 ? 1 : 0;
  }
  // The stream-wide switches that shape the picture, without the code, the
  // marker or any log: those are masked, not compared.
  StreamSettings plain;
  plain.m_autoClock = settings.m_autoClock;
  const HResultCode hr = m_producer.OnThreadCreate(m_host, m_made, plain, moduleDir, capability);
  if (Failed(hr)) {
    *error = "the preset's stream cannot be made again (font sheet " + std::string(m_preset.font) +
             " or background " + m_preset.bmp + " not readable beside the settings)";
    return false;
  }
  // The stream blanks a background it cannot read; the originals cannot.
  PixelSurface probe;
  if (m_preset.bmp[0] && !probe.LoadTile(JoinModulePath(moduleDir, m_preset.bmp), 0, 0,
                                         m_made.compression, m_made.bit_count)) {
    *error = "the preset's background " + std::string(m_preset.bmp) + " is not readable beside " +
             "the settings (" + moduleDir + "): the originals cannot be made";
    return false;
  }
  // A planar or MJPG preset's information line names its own format, not
  // the twin's.
  if (IsPlanarFormat(m_preset.compression) || IsMjpgFormat(m_preset.compression))
    FormatInfoLine(m_producer.m_infoLine, m_preset, m_producer.m_useCpuClock != 0);
  m_sample = std::make_unique<zd::SimulatedSample>(
      zd::FrameSizeBytes(m_made.w, m_made.h, m_made.bit_count));
  return true;
}

bool OriginalFrames::Make(uint32_t n, PlanarPicture* out, RowSubset rows) {
  if (!m_sample)
    return false;
  // Frame n at once: its number sets the scroll position, and nothing is due.
  m_producer.m_frameCount = n;
  m_producer.m_nextDueMs = 0.0;
  if (m_producer.FillBuffer(m_host, m_sample.get(), m_made, 0) != kS_OK)
    return false;
  return PlanarFromSample(m_sample->memory.data(), m_sample->memory.size(), m_made.w, m_made.h,
                          m_made.compression, m_made.bit_count, out, rows);
}

}  // namespace zdanalyse
