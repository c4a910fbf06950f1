// Precise waits through the system: a high-resolution waitable timer where
// CreateWaitableTimerExW makes one (Windows 10 1803 and later; looked up at
// run time, as the module also runs on Windows 7, where the flag is refused),
// else the system timer raised to 1 ms for the timer's life.
#include <windows.h>
#include <mmsystem.h>  // timeBeginPeriod; left out by WIN32_LEAN_AND_MEAN

#include <cstring>

#include "platform/precise_timer.h"
#include "platform/unique_handle.h"

namespace {

constexpr DWORD kCreateWaitableTimerHighResolution = 0x00000002;
constexpr UINT kRaisedPeriodMs = 1;

using CreateWaitableTimerExWFn = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPCWSTR, DWORD, DWORD);

// A high-resolution timer, or none where the system cannot make one.
UniqueHandle CreateHighResolutionTimer() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const auto create = kernel ? reinterpret_cast<CreateWaitableTimerExWFn>(reinterpret_cast<void*>(
                                   GetProcAddress(kernel, "CreateWaitableTimerExW")))
                             : nullptr;
  if (!create)
    return UniqueHandle();
  return UniqueHandle(
      create(nullptr, nullptr, kCreateWaitableTimerHighResolution, TIMER_ALL_ACCESS));
}

// ZD_WAIT_PATH=raised-period asks for the raised period where there is a
// high-resolution timer.
bool RaisedPeriodAskedFor() {
  char value[32] = {};
  const DWORD n = GetEnvironmentVariableA("ZD_WAIT_PATH", value, sizeof value);
  return n > 0 && n < sizeof value && std::strcmp(value, "raised-period") == 0;
}

}  // namespace

struct PreciseTimer::System {
  UniqueHandle timer;
  bool periodRaised = false;
  ~System() {
    if (periodRaised)
      timeEndPeriod(kRaisedPeriodMs);
  }
};

PreciseTimer::PreciseTimer(Choice choice) : m_system(new System) {
  if (choice == Choice::kBest && !RaisedPeriodAskedFor())
    m_system->timer = CreateHighResolutionTimer();
  if (!m_system->timer)
    m_system->periodRaised = timeBeginPeriod(kRaisedPeriodMs) == TIMERR_NOERROR;
  m_path = ChooseWaitPath(bool(m_system->timer), m_system->periodRaised);
}

PreciseTimer::~PreciseTimer() = default;

void PreciseTimer::SleepUs(uint32_t us) {
  if (m_system->timer) {
    LARGE_INTEGER due = {};
    due.QuadPart = -int64_t(us) * 10;  // relative, in 100-ns units
    if (SetWaitableTimer(m_system->timer.Get(), &due, 0, nullptr, nullptr, FALSE) &&
        WaitForSingleObject(m_system->timer.Get(), INFINITE) == WAIT_OBJECT_0)
      return;
  }
  Sleep(DWORD((uint64_t(us) + 999u) / 1000u));
}
