#pragma once
// The stream the preview renders: the frame loop driven as a capture graph
// would drive it, on a simulated clock that runs at exactly the preset's frame
// rate. The graph has a reference clock or none, as real hosts differ; with
// "auto_clock" set the frames are then paced by its stream time ("Stream
// Time") or by the performance counter ("CPU Clock"), and the information
// line says which, as in the captured frames.
#include <cstdint>
#include <string>

#include "pattern/frame_producer.h"
#include "stream/preset_info.h"
#include "pattern/simulated_frame_host.h"

struct StreamSettings;

namespace zdpreview {

class PreviewStream {
 public:
  // graphClock: the simulated graph has a reference clock, so the filter's
  // stream time is available (as in zd-capture without --no-clock).
  explicit PreviewStream(bool graphClock);

  // Prepares the stream as the worker thread does at the graph's first pause.
  // Bitmaps are taken relative to moduleDir; the settings' latency log is not
  // opened. The mouse marker, when enabled, rests at screen position (40, 30).
  // The frame code, when on, names the preset by capabilityIndex.
  HResultCode Start(const PresetInfo& preset, const StreamSettings& settings,
                    const std::string& moduleDir, int32_t capabilityIndex = 0);
  // Makes the next frame. Frame k is asked for k frame intervals after the
  // start, or later when the loop's own wait took longer: the clock only
  // moves forward, as a real one does.
  HResultCode MakeFrame(FrameSample* sample);
  void Stop();

  const FrameProducer& Producer() const { return m_producer; }
  // Simulated time since the stream was prepared, in 100-ns units.
  int64_t ElapsedTicks() const { return m_host.now - m_startTicks; }

 private:
  zd::SimulatedFrameHost m_host;
  FrameProducer m_producer;
  PresetInfo m_preset{};
  int32_t m_mouseCursol = 0;
  int64_t m_startTicks = 0;
  int64_t m_framesAsked = 0;
};

}  // namespace zdpreview
