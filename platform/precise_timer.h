#pragma once
// Precise waits for a stream's frame loop. Windows' timer ticks at 64 Hz
// unless a process asks for more, so a plain Sleep(1) can last 15.6 ms. A
// stream therefore sleeps on a high-resolution waitable timer where the
// system has one (Windows 10 1803 and later); where it has none, the system
// timer is raised to 1 ms (timeBeginPeriod) for as long as the stream runs,
// and the stream sleeps plainly. Natively the monotonic clock's sleeps are
// precise. The frame loop spins only the last stretch, of the path's
// granularity and a little more.
#include <cstdint>
#include <memory>

// How a stream's waits sleep.
enum class WaitPath : int32_t {
  kHighResolutionTimer,  // a high-resolution timer (natively: nanosleep)
  kRaisedPeriod,         // plain sleeps, the system timer raised to 1 ms
  kSystemPeriod,         // plain sleeps on the system timer as it is
};

// The high-resolution timer when one could be made, else the raised period
// when the system timer could be raised, else the system timer as it is.
WaitPath ChooseWaitPath(bool highResolutionTimer, bool periodRaised);
// How much later than asked a sleep on the path may end, in microseconds.
uint32_t WaitGranularityUs(WaitPath path);
const char* WaitPathName(WaitPath path);

// A stream's timer: made when the stream starts, gone when it stops. Any
// thread may make and destroy it; one thread at a time sleeps on it.
class PreciseTimer {
 public:
  enum class Choice {
    kBest,                   // the high-resolution timer where there is one
    kWithoutHighResolution,  // the raised period even where there is one
  };
  // kBest gives way to the environment variable ZD_WAIT_PATH=raised-period,
  // for measuring the other path.
  explicit PreciseTimer(Choice choice = Choice::kBest);
  ~PreciseTimer();
  PreciseTimer(const PreciseTimer&) = delete;
  PreciseTimer& operator=(const PreciseTimer&) = delete;

  WaitPath Path() const { return m_path; }
  uint32_t GranularityUs() const { return WaitGranularityUs(m_path); }
  // Sleeps at least about us microseconds, at most GranularityUs() more.
  void SleepUs(uint32_t us);

 private:
  struct System;  // the platform's handles
  std::unique_ptr<System> m_system;
  WaitPath m_path = WaitPath::kSystemPeriod;
};

// For a frame host: a sleep on the stream's timer, or where the stream has
// none (yet), a plain sleep of whole milliseconds on the system timer.
void SleepOn(PreciseTimer* timer, uint32_t us);
uint32_t GranularityOf(const PreciseTimer* timer);
