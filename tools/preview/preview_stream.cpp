// The preview's simulated capture graph (see preview_stream.h).
#include "tools/preview/preview_stream.h"

#include <algorithm>

#include "stream/stream_settings.h"

namespace zdpreview {

PreviewStream::PreviewStream(bool graphClock) {
  m_host.hasClock = graphClock;
  // Stream time 0 is the moment the stream is prepared: the first frame is
  // made at once, as in a graph that runs straight after its pause.
  m_host.runStart = 0;
  m_host.cursorX = 40;
  m_host.cursorY = 30;
}

HResultCode PreviewStream::Start(const PresetInfo& preset, const StreamSettings& settings,
                                 const std::string& moduleDir, int32_t capabilityIndex) {
  m_preset = preset;
  m_mouseCursol = settings.m_mouseCursol;
  // The stream-wide switches without the preset table, and without a latency
  // log: the preview writes nothing beside the settings file.
  StreamSettings unlogged;
  unlogged.m_buffNum = settings.m_buffNum;
  unlogged.m_useVideoInfoHeader2 = settings.m_useVideoInfoHeader2;
  unlogged.m_autoClock = settings.m_autoClock;
  unlogged.m_mouseCursol = settings.m_mouseCursol;
  unlogged.m_frameCode = settings.m_frameCode;
  const HResultCode hr =
      m_producer.OnThreadCreate(m_host, preset, unlogged, moduleDir, capabilityIndex);
  m_startTicks = m_host.now;
  m_framesAsked = 0;
  return hr;
}

HResultCode PreviewStream::MakeFrame(FrameSample* sample) {
  // On the graph's clock, which has whole milliseconds only, a frame can wait
  // past the time the next one is asked for (frames due more often than once
  // a millisecond); the clock then stays where the wait left it.
  if (m_preset.frame_time > 0) {
    m_host.now = std::max(m_host.now, m_startTicks + m_framesAsked * m_preset.frame_time);
  }
  ++m_framesAsked;
  return m_producer.FillBuffer(m_host, sample, m_preset, m_mouseCursol);
}

void PreviewStream::Stop() {
  m_producer.OnThreadDestroy();
}

}  // namespace zdpreview
