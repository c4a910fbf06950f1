// The frame loop's view of its surroundings in the media source: a source that
// is always running while its worker makes frames (Stop ends a wait at once),
// no graph clock (the frames are paced by the performance counter, the clock
// Media Foundation's own time stamps come from), and the platform's clocks.
#pragma once

#include <atomic>

#include "pattern/frame_host.h"
#include "platform/precise_timer.h"
#include "platform/system_clock.h"

class MfFrameHost : public FrameHost {
 public:
  // timer: the stream's, made at its start; null before (plain sleeps then).
  MfFrameHost(const std::atomic<bool>& stopping, PreciseTimer* timer)
      : m_stopping(stopping), m_timer(timer) {}

  HResultCode GetState(int32_t* state) override {
    *state = kStateRunning;
    return kS_OK;
  }
  bool StopRequested() override { return m_stopping.load(); }
  // No graph, no stream time: the performance counter paces the frames.
  HResultCode StreamTime(int64_t*) override { return kE_UNEXPECTED; }
  int64_t PerformanceCounter() override { return ::PerformanceCounter(); }
  int64_t PerformanceFrequency() override { return ::PerformanceFrequency(); }
  uint32_t TickCountMs() override { return ::TickCountMs(); }
  void SleepUs(uint32_t us) override { SleepOn(m_timer, us); }
  uint32_t TimerGranularityUs() override { return GranularityOf(m_timer); }
  bool CursorPosition(int32_t* x, int32_t* y) override { return ::CursorPosition(x, y); }

 private:
  const std::atomic<bool>& m_stopping;
  PreciseTimer* m_timer;
};
