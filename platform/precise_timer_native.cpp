// Natively a sleep on the monotonic clock is as precise as a high-resolution
// timer: nothing to make, nothing to raise.
#include <time.h>

#include <cerrno>

#include "platform/precise_timer.h"

struct PreciseTimer::System {};

PreciseTimer::PreciseTimer(Choice) : m_path(WaitPath::kHighResolutionTimer) {}

PreciseTimer::~PreciseTimer() = default;

void PreciseTimer::SleepUs(uint32_t us) {
  timespec remaining = {time_t(us / 1000000u), long(us % 1000000u) * 1000L};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}
