#pragma once
// The platform's clocks, sleep and cursor, as the frame loop uses them.
#include <cstdint>

int64_t PerformanceCounter();                 // QueryPerformanceCounter
int64_t PerformanceFrequency();               // QueryPerformanceFrequency: ticks per second
uint32_t TickCountMs();                       // timeGetTime: 32-bit milliseconds, wraps
void SleepMs(uint32_t ms);                    // Sleep
bool CursorPosition(int32_t* x, int32_t* y);  // GetCursorPos; false natively
