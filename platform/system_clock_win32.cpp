// Clocks, sleep and cursor through the system.
#include <windows.h>
#include <mmsystem.h>  // timeGetTime; left out by WIN32_LEAN_AND_MEAN

#include "platform/system_clock.h"

int64_t PerformanceCounter() {
  LARGE_INTEGER count = {};
  QueryPerformanceCounter(&count);
  return count.QuadPart;
}

int64_t PerformanceFrequency() {
  LARGE_INTEGER frequency = {};
  QueryPerformanceFrequency(&frequency);
  return frequency.QuadPart;
}

uint32_t TickCountMs() {
  return timeGetTime();
}

void SleepMs(uint32_t ms) {
  Sleep(ms);
}

bool CursorPosition(int32_t* x, int32_t* y) {
  if (!x || !y)
    return false;
  POINT point = {};
  if (!GetCursorPos(&point))
    return false;
  *x = point.x;
  *y = point.y;
  return true;
}
