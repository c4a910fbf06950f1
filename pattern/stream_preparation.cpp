// Stream start and stop: the expensive work done once per stream so that the
// frame loop only copies. Worker thread only, under the pin's m_streamLock
// (see frame_producer.h).
#include <cstdio>
#include <cstring>
#include <new>

#include "pattern/frame_producer.h"
#include "pattern/picture_fingerprint.h"
#include "pattern/pixel_format.h"
#include "platform/module_path.h"
#include "stream/stream_settings.h"

namespace {

// A preset text field up to its terminator or its end, whichever comes first.
template <size_t N>
std::string PresetText(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}

// The full path of a file named by the settings, beside the module, or empty
// when there is none to open: no name, or a path too long to be opened.
std::string ModuleFilePath(const std::string& moduleDir, const char (&name)[kPresetNameSize]) {
  const std::string file = PresetText(name);
  if (file.empty())
    return {};
  std::string path = JoinModulePath(moduleDir, file);
  if (PathChars(path) > kMaxPathChars)
    return {};
  return path;
}

// (Re)creates a log named by a setting, beside the module; no name, a path
// too long or a file that cannot be created leaves the log closed.
void OpenBesideModule(LatencyLog* log, const std::string& moduleDir,
                      const char (&name)[kPresetNameSize]) {
  log->CloseLog();
  const std::string logPath = ModuleFilePath(moduleDir, name);
  if (!logPath.empty())
    log->Open(logPath);
}

}  // namespace

void FormatInfoLine(char (&out)[kInfoLineSize], const PresetInfo& preset, bool cpuClock) {
  const char* scan = preset.interlaced == 0 ? "p" : "i";
  const char* clock = cpuClock ? "#rCPU Clock" : "#rStream Time";
  const std::string comment = PresetText(preset.comment);
  // snprintf cuts the text at 259 characters.
  std::snprintf(out, sizeof out, "%dx%d%s %s %s #g%s", preset.w, preset.h, scan,
                FormatName(preset.compression, preset.bit_count), clock, comment.c_str());
}

HResultCode FrameProducer::OnThreadCreate(FrameHost& host, const PresetInfo& preset,
                                          const StreamSettings& settings,
                                          const std::string& moduleDir, int32_t capabilityIndex,
                                          const PresetInfo* namedPreset, uint8_t conversion) {
  m_sampleTime = 0;
  m_frameCount = 0;
  m_dropCount = 0;
  m_skipCount = 0;
  m_firstFrameMs = 0.0;
  m_madeMs = 0.0;
  m_useCpuClock = 0;

  // The graph's stream time paces the frames only when asked for and when the
  // filter has a clock right now; the choice holds until the next start.
  int64_t streamTime = 0;
  if (Failed(host.StreamTime(&streamTime)))
    m_useCpuClock = 1;
  if (settings.m_autoClock == 0)
    m_useCpuClock = 1;

  m_perfFrequency = host.PerformanceFrequency();
  if (m_perfFrequency <= 0)
    m_perfFrequency = 1;  // never divide by zero
  const int64_t counterAtStart = host.PerformanceCounter();
  m_perfBaseMs = double(counterAtStart) * 1000.0 / double(m_perfFrequency);

  m_nextDueMs = 0.0;
  m_fpsFrameMark = 0;
  m_fps = 0.0;
  m_fpsNextMs = 1000.0;
  m_lastLogMs = 0;

  FormatInfoLine(m_infoLine, preset, m_useCpuClock != 0);

  // The logs start afresh with every stream.
  OpenBesideModule(&m_latencyLog, moduleDir, settings.m_latencyLog);
  m_faults =
      FaultSchedule(preset.faults, IsMjpgFormat(preset.compression) ? SampleKind::kJpeg
                                                                    : SampleKind::kUncompressed);
  m_plan = FramePlan();
  m_unplugAfter = preset.faults.unplug_after;
  m_replugMs = preset.faults.replug_ms;
  m_removed = false;
  OpenBesideModule(&m_faultLog, moduleDir, settings.m_faultLog);

  // NV12, I420 and MJPG frames are made from their YUY2 twin's surfaces.
  const PresetInfo twin = TwinPreset(preset);
  const bool planar = IsPlanarFormat(preset.compression);
  m_planarPattern.Release();
  m_twinFrame.reset();
  m_twinFrameBytes = 0;
  m_mjpg.Release();
  m_encodeFailures = 0;
  m_encodeLeadMs = 0.0;

  // The frame code, when asked for: a new stream id for every start. Any
  // value but 0 and 2 is layout 1. The fingerprint is of the preset the code
  // names; the block is drawn into the twin's frame. One camera, its
  // controls as the settings start them.
  const int layout = settings.m_frameCode == 0                   ? 0
                     : settings.m_frameCode == kFrameCodeLayout2 ? kFrameCodeLayout2
                                                                 : kFrameCodeVersion;
  FrameCodeSettingsFields fields;
  fields.conversion = conversion;
  if (layout == kFrameCodeLayout2)
    fields.fingerprint =
        PictureFingerprint(namedPreset ? *namedPreset : preset, settings.m_mouseCursol, moduleDir);
  if (!m_frameCode.Prepare(layout, twin, NewFrameCodeStreamId(counterAtStart),
                           uint16_t(capabilityIndex), fields))
    return kE_OUTOFMEMORY;

  // A missing background only blanks the picture.
  const std::string bmpPath = ModuleFilePath(moduleDir, preset.bmp);
  const bool tiled = !bmpPath.empty() && m_pattern.LoadTile(bmpPath, preset.w, preset.h,
                                                            twin.compression, twin.bit_count);
  if (!tiled && !m_pattern.CreateBlank(preset.w, preset.h, twin.compression, twin.bit_count)) {
    m_pattern.Release();  // never keep an earlier stream's tile in another format
    return kE_OUTOFMEMORY;
  }

  // A missing font sheet stops the stream from starting.
  const std::string fontPath = ModuleFilePath(moduleDir, preset.font);
  if (fontPath.empty() || !m_font.LoadTile(fontPath, 0, 0, twin.compression, twin.bit_count)) {
    m_font.Release();  // never keep an earlier stream's sheet in another format
    return kE_OUTOFMEMORY;
  }

  // NV12 and I420: the tile as planes, and room for the twin's frame, where
  // the overlays are drawn before their bands are converted.
  if (planar) {
    const uint64_t twinBytes =
        uint64_t(preset.w > 0 ? preset.w : 0) * 2 * uint64_t(preset.h > 0 ? preset.h : 0);
    if (!m_planarPattern.Build(m_pattern, preset.compression, preset.interlaced != 0) ||
        twinBytes == 0 || twinBytes > (uint64_t(1) << 30))
      return kE_OUTOFMEMORY;
    m_twinFrame.reset(new (std::nothrow) uint8_t[size_t(twinBytes)]);
    if (!m_twinFrame)
      return kE_OUTOFMEMORY;
    m_twinFrameBytes = size_t(twinBytes);
  }

  // MJPG: room for the twin's frame, where the picture is composed before it
  // is encoded into the sample, and the encoder at the preset's quality.
  if (IsMjpgFormat(preset.compression) && !PrepareMjpg(preset))
    return kE_OUTOFMEMORY;

  // A picture that does not scroll vertically is centred vertically on the
  // repeated image; horizontally it starts at the image's left edge.
  m_scrollOriginX = 0;
  m_scrollOriginY = 0;
  if (preset.scroll_y == 0 && m_pattern.height > preset.h) {
    m_scrollOriginY = (m_pattern.height - preset.h) / 2;
  }
  return kS_OK;
}

HResultCode FrameProducer::OnThreadDestroy() {
  m_latencyLog.CloseLog();
  m_faultLog.CloseLog();
  return kS_OK;
}
