#include "platform/device_claim.h"

namespace {

// One name for both bitnesses: the 32-bit and the 64-bit module are the same
// device to the user.
constexpr const wchar_t* kClaimName = L"Local\\ZintuDobrel.DeviceInUse";

}  // namespace

bool DeviceClaim::Take() {
  if (m_handle)
    return true;
  UniqueHandle handle(CreateMutexW(nullptr, FALSE, kClaimName));
  if (!handle)
    return true;
  if (GetLastError() == ERROR_ALREADY_EXISTS)
    return false;  // another holds it; our handle closes here
  m_handle = std::move(handle);
  return true;
}

void DeviceClaim::Release() {
  m_handle.Reset();
}

bool DelayedCall::Start(uint32_t delayMs, Function function, void* context) {
  Cancel();
  m_cancel.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!m_cancel)
    return false;
  m_delayMs = delayMs;
  m_function = function;
  m_context = context;
  m_thread.Reset(CreateThread(nullptr, 0, &DelayedCall::ThreadMain, this, 0, nullptr));
  if (!m_thread) {
    m_cancel.Reset();
    return false;
  }
  return true;
}

void DelayedCall::Cancel() {
  if (m_thread) {
    SetEvent(m_cancel.Get());
    WaitForSingleObject(m_thread.Get(), INFINITE);
    m_thread.Reset();
  }
  m_cancel.Reset();
}

DWORD WINAPI DelayedCall::ThreadMain(void* self) {
  auto* call = static_cast<DelayedCall*>(self);
  if (WaitForSingleObject(call->m_cancel.Get(), call->m_delayMs) == WAIT_TIMEOUT)
    call->m_function(call->m_context);
  return 0;
}
