#pragma once
// A simulated filter, clock and media sample for driving the frame loop
// without the media framework. Time stands still unless something moves it:
// the loop's sleeps (on a simulated system timer), a small cost per clock
// reading (so that a busy wait ends), or the caller. Used by the preview
// tool, the benchmarks and the tests.
#include <cstdint>
#include <functional>
#include <vector>

#include "pattern/frame_host.h"
#include "platform/precise_timer.h"

namespace zd {

class SimulatedFrameHost : public FrameHost {
 public:
  static constexpr int64_t kTicksPerSecond = 10000000;  // 100-ns ticks
  static constexpr int64_t kTicksPerMs = 10000;

  // Simulated time in 100-ns ticks since the host was made.
  int64_t now = 0;
  // Ticks each clock reading takes; keeps a spinning wait moving.
  int64_t readCost = 1;
  // The system timer's period in ticks: a plain sleep ends at the first tick
  // of this timer at or after the time asked for (kDefaultTimerPeriod:
  // Windows' 64 Hz timer, as a process that never raised it sees it). 0: a
  // sleep lasts exactly as long as asked.
  static constexpr int64_t kDefaultTimerPeriod = 156250;
  int64_t timerPeriod = 0;
  // The stream's precise waits: whether the system makes high-resolution
  // timers (which fire highResolutionLateness ticks after the time asked
  // for), else whether it lets the stream raise its timer to 1 ms.
  bool highResolutionTimer = true;
  bool periodCanBeRaised = true;
  int64_t highResolutionLateness = 0;
  // Counter value at time 0: the performance counter does not start at 0.
  int64_t counterOrigin = 123456789;
  // The millisecond counter's value at time 0 (to exercise its wrap-around).
  uint32_t tickOrigin = 5000;

  // Filter state as GetState reports it.
  int32_t state = kStateRunning;
  HResultCode stateResult = kS_OK;
  bool stopRequested = false;

  // Stream time: the graph clock, relative to when the graph started running.
  bool hasClock = true;
  int64_t runStart = 0;

  // A stalled performance counter keeps reading counterFrozenAt.
  bool counterFrozen = false;
  int64_t counterFrozenAt = 0;

  bool cursorAvailable = true;
  int32_t cursorX = 0;
  int32_t cursorY = 0;
  // Ticks a cursor query takes: asked once per frame with the mouse marker
  // on, it stands for a frame that takes long to make.
  int64_t cursorCost = 0;

  // Observations.
  uint32_t sleepCalls = 0;
  int64_t sleptTicks = 0;    // time spent asleep: the rest of the time the loop was busy
  int64_t longestSleep = 0;  // ticks of the longest single sleep
  uint32_t getStateCalls = 0;
  // Called after every sleep, with the number of sleeps so far.
  std::function<void(SimulatedFrameHost&, uint32_t)> onSleep;

  WaitPath Path() const { return ChooseWaitPath(highResolutionTimer, periodCanBeRaised); }
  // The first tick of the system timer at or after time t; on the raised
  // period the timer ticks every millisecond while the stream runs.
  int64_t TimerTickAtOrAfter(int64_t t) const {
    int64_t period = timerPeriod;
    if (Path() == WaitPath::kRaisedPeriod && period > kTicksPerMs)
      period = kTicksPerMs;
    return period > 0 ? (t + period - 1) / period * period : t;
  }

  void AdvanceMs(double ms) { now += int64_t(ms * double(kTicksPerMs)); }
  double NowMs() const { return double(now) / double(kTicksPerMs); }
  // Freezes the performance counter at the present time.
  void FreezeCounter() {
    counterFrozen = true;
    counterFrozenAt = counterOrigin + now;
  }

  HResultCode GetState(int32_t* out) override {
    ++getStateCalls;
    *out = state;
    return stateResult;
  }
  bool StopRequested() override { return stopRequested; }
  HResultCode StreamTime(int64_t* out) override {
    now += readCost;
    if (!hasClock)
      return static_cast<HResultCode>(0x80040249u);  // VFW_E_NO_CLOCK
    *out = now - runStart;
    return kS_OK;
  }
  int64_t PerformanceCounter() override {
    now += readCost;
    return counterFrozen ? counterFrozenAt : counterOrigin + now;
  }
  int64_t PerformanceFrequency() override { return kTicksPerSecond; }
  uint32_t TickCountMs() override {
    now += readCost;
    return tickOrigin + uint32_t(now / kTicksPerMs);
  }
  void SleepUs(uint32_t us) override {
    const int64_t asked = now + int64_t(us) * (kTicksPerMs / 1000);
    SleepTo(Path() == WaitPath::kHighResolutionTimer ? asked + highResolutionLateness
                                                     : TimerTickAtOrAfter(asked));
  }
  uint32_t TimerGranularityUs() override { return WaitGranularityUs(Path()); }
  void SleepTo(int64_t end) {
    sleptTicks += end - now;
    if (end - now > longestSleep)
      longestSleep = end - now;
    now = end;
    ++sleepCalls;
    if (onSleep)
      onSleep(*this, sleepCalls);
  }
  bool CursorPosition(int32_t* x, int32_t* y) override {
    now += cursorCost;
    if (!cursorAvailable)
      return false;
    *x = cursorX;
    *y = cursorY;
    return true;
  }
};

// A media sample over its own memory, filled with one byte value at first.
class SimulatedSample : public FrameSample {
 public:
  explicit SimulatedSample(uint32_t size, uint8_t fill = 0xCD) : memory(size, fill) {}

  uint8_t* Pointer() override { return memory.data(); }
  uint32_t Size() override { return uint32_t(memory.size()); }
  void SetTime(int64_t, int64_t) override {}
  void ClearTime() override {}
  void SetSyncPoint(bool) override {}
  void SetActualDataLength(uint32_t) override {}

  std::vector<uint8_t> memory;
};

// A sample over memory the caller owns (the benchmarks rotate several).
class BorrowedSample : public FrameSample {
 public:
  BorrowedSample(uint8_t* data, uint32_t size) : m_data(data), m_size(size) {}
  uint8_t* Pointer() override { return m_data; }
  uint32_t Size() override { return m_size; }
  void SetTime(int64_t, int64_t) override {}
  void ClearTime() override {}
  void SetSyncPoint(bool) override {}
  void SetActualDataLength(uint32_t) override {}

 private:
  uint8_t* m_data;
  uint32_t m_size;
};

// Bytes of one frame as the media type sizes it: rows padded to 4 bytes.
inline uint32_t FrameSizeBytes(int32_t w, int32_t h, int32_t bitCount) {
  return ((uint32_t(w) * uint32_t(bitCount) + 31u) / 32u) * 4u * uint32_t(h);
}

}  // namespace zd
