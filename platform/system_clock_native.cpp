// Clocks natively: the monotonic clock in nanoseconds; there is no cursor.
#include <time.h>

#include <cerrno>

#include "platform/system_clock.h"

namespace {

int64_t MonotonicNanoseconds() {
  timespec now = {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

}  // namespace

int64_t PerformanceCounter() {
  return MonotonicNanoseconds();
}

int64_t PerformanceFrequency() {
  return 1000000000LL;
}

uint32_t TickCountMs() {
  return uint32_t(uint64_t(MonotonicNanoseconds()) / 1000000u);
}

void SleepMs(uint32_t ms) {
  timespec remaining = {time_t(ms / 1000u), long(ms % 1000u) * 1000000L};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

bool CursorPosition(int32_t* x, int32_t* y) {
  if (x)
    *x = 0;
  if (y)
    *y = 0;
  return false;
}
