#pragma once
// What the frame loop needs from its surroundings. The module implements it
// over the filter, the worker thread and the platform; tests and the preview
// tool drive the loop with a simulated clock.
#include <cstdint>

#include "platform/result_codes.h"

enum FilterStateCode : int32_t { kStateStopped = 0, kStatePaused = 1, kStateRunning = 2 };

class FrameHost {
 public:
  virtual ~FrameHost() = default;
  // IBaseFilter::GetState with a time-out of 0: a failure, or success with a state.
  virtual HResultCode GetState(int32_t* state) = 0;
  // CheckRequest on the worker thread reports a pending stop command (not consumed).
  virtual bool StopRequested() = 0;
  // The filter's stream time in 100-ns units; a failure when it has no clock.
  virtual HResultCode StreamTime(int64_t* time) = 0;
  virtual int64_t PerformanceCounter() = 0;
  virtual int64_t PerformanceFrequency() = 0;
  virtual uint32_t TickCountMs() = 0;  // timeGetTime, for the frame guard
  // Sleeps on the stream's precise timer (platform/precise_timer.h): at
  // least about us microseconds, and at most TimerGranularityUs() more.
  virtual void SleepUs(uint32_t us) = 0;
  virtual uint32_t TimerGranularityUs() = 0;
  virtual bool CursorPosition(int32_t* x, int32_t* y) = 0;
};

// The media sample the loop fills (IMediaSample's operations it uses).
class FrameSample {
 public:
  virtual ~FrameSample() = default;
  virtual uint8_t* Pointer() = 0;
  virtual uint32_t Size() = 0;
  virtual void SetTime(int64_t start, int64_t stop) = 0;
  // The sample carries no time stamps (IMediaSample::SetTime with none).
  virtual void ClearTime() = 0;
  virtual void SetSyncPoint(bool sync) = 0;
  virtual void SetActualDataLength(uint32_t length) = 0;
};
