// The frame loop's view of its surroundings in the module: the filter's state
// and stream time, the worker's pending commands, and the platform's clocks.
// Worker thread only; every call here is lock-free.
#pragma once

#include <dshow.h>

#include "baseclasses/base_filter.h"
#include "baseclasses/source_stream.h"
#include "pattern/frame_host.h"
#include "platform/precise_timer.h"
#include "platform/system_clock.h"

class FilterFrameHost : public FrameHost {
 public:
  // timer: the stream's, made at its start; null before (plain sleeps then).
  FilterFrameHost(CBaseFilter& filter, CSourceStream& stream, PreciseTimer* timer)
      : m_filter(filter), m_stream(stream), m_timer(timer) {}

  HResultCode GetState(int32_t* state) override {
    FILTER_STATE current = State_Stopped;
    IBaseFilter* face = &m_filter;
    const HRESULT hr = face->GetState(0, &current);
    if (SUCCEEDED(hr))
      *state = static_cast<int32_t>(current);
    return hr;
  }
  bool StopRequested() override {
    DWORD command = 0;
    return m_stream.CheckRequest(&command) && command == CSourceStream::CMD_STOP;
  }
  HResultCode StreamTime(int64_t* time) override {
    REFERENCE_TIME now = 0;
    const HRESULT hr = m_filter.StreamTime(&now);
    if (SUCCEEDED(hr))
      *time = now;
    return hr;
  }
  int64_t PerformanceCounter() override { return ::PerformanceCounter(); }
  int64_t PerformanceFrequency() override { return ::PerformanceFrequency(); }
  uint32_t TickCountMs() override { return ::TickCountMs(); }
  void SleepUs(uint32_t us) override { SleepOn(m_timer, us); }
  uint32_t TimerGranularityUs() override { return GranularityOf(m_timer); }
  bool CursorPosition(int32_t* x, int32_t* y) override { return ::CursorPosition(x, y); }

 private:
  CBaseFilter& m_filter;
  CSourceStream& m_stream;
  PreciseTimer* m_timer;
};
