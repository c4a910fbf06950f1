// The choice of wait path and what each path's sleeps promise.
#include "platform/precise_timer.h"

#include "platform/system_clock.h"

WaitPath ChooseWaitPath(bool highResolutionTimer, bool periodRaised) {
  if (highResolutionTimer)
    return WaitPath::kHighResolutionTimer;
  return periodRaised ? WaitPath::kRaisedPeriod : WaitPath::kSystemPeriod;
}

// A high-resolution timer fires within half a millisecond; a plain sleep
// ends at the first tick of the system timer after the time asked for.
uint32_t WaitGranularityUs(WaitPath path) {
  switch (path) {
    case WaitPath::kHighResolutionTimer:
      return 500;
    case WaitPath::kRaisedPeriod:
      return 1000;
    case WaitPath::kSystemPeriod:
    default:
      return 15625;
  }
}

const char* WaitPathName(WaitPath path) {
  switch (path) {
    case WaitPath::kHighResolutionTimer:
      return "high-resolution timer";
    case WaitPath::kRaisedPeriod:
      return "raised period";
    case WaitPath::kSystemPeriod:
    default:
      return "system period";
  }
}

void SleepOn(PreciseTimer* timer, uint32_t us) {
  if (timer)
    timer->SleepUs(us);
  else
    SleepMs((us + 999u) / 1000u);
}

uint32_t GranularityOf(const PreciseTimer* timer) {
  return timer ? timer->GranularityUs() : WaitGranularityUs(WaitPath::kSystemPeriod);
}
