#include "baseclasses/am_thread.h"

#include <objbase.h>

#include <cassert>

namespace {

using CoInitializeExFn = HRESULT(WINAPI*)(LPVOID, DWORD);

// Initialises COM on the calling thread through ole32's CoInitializeEx when
// ole32 is already loaded; E_FAIL when it (or the function) is not there.
HRESULT InitializeThreadCom() {
  HMODULE ole32 = GetModuleHandleA("ole32.dll");
  if (!ole32)
    return E_FAIL;
  FARPROC proc = GetProcAddress(ole32, "CoInitializeEx");
  if (!proc)
    return E_FAIL;
  auto coInitializeEx = reinterpret_cast<CoInitializeExFn>(reinterpret_cast<void*>(proc));
  return coInitializeEx(nullptr, COINIT_DISABLE_OLE1DDE);
}

}  // namespace

CAMThread::CAMThread(HRESULT* hr)
    : m_sendEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_completionEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
  if ((!m_sendEvent || !m_completionEvent) && hr && SUCCEEDED(*hr))
    *hr = E_OUTOFMEMORY;
}

CAMThread::~CAMThread() {
  Close();
}

DWORD WINAPI CAMThread::ThreadEntry(LPVOID param) {
  auto* self = static_cast<CAMThread*>(param);
  self->m_threadId = GetCurrentThreadId();
  const HRESULT com = InitializeThreadCom();
  DWORD result = 1;
  try {
    result = self->ThreadProc();
  } catch (...) {
    // Nothing may leave the thread; a waiting controller notices the end.
    result = 1;
  }
  if (SUCCEEDED(com))
    CoUninitialize();
  return result;
}

BOOL CAMThread::Create() {
  CAutoLock guard(&m_accessLock);
  if (m_thread)
    return FALSE;
  if (!m_sendEvent || !m_completionEvent)
    return FALSE;
  DWORD id = 0;
  m_thread.Reset(CreateThread(nullptr, 0, &CAMThread::ThreadEntry, this, 0, &id));
  return m_thread.Get() != nullptr;
}

DWORD CAMThread::CallWorker(DWORD cmd) {
  CAutoLock guard(&m_accessLock);
  const HANDLE thread = m_thread.Get();
  if (!thread)
    return static_cast<DWORD>(E_FAIL);
  m_command = cmd;
  SetEvent(m_sendEvent.Get());
  // A worker that has ended can answer nothing: do not wait for it forever.
  HANDLE waits[2] = {m_completionEvent.Get(), thread};
  const DWORD woken = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
  if (woken == WAIT_OBJECT_0)
    return m_reply;
  // The worker ended without replying: take the command back.
  ResetEvent(m_sendEvent.Get());
  return static_cast<DWORD>(E_FAIL);
}

void CAMThread::Close() {
  // One closer only: whoever takes the handle out waits for the worker and
  // closes it.
  const UniqueHandle thread(static_cast<HANDLE>(InterlockedExchangePointer(
      reinterpret_cast<PVOID volatile*>(m_thread.AddressOf()), nullptr)));
  if (!thread)
    return;
  WaitForSingleObject(thread.Get(), INFINITE);
}

DWORD CAMThread::GetRequest() {
  assert(OnWorkerThread());
  WaitForSingleObject(m_sendEvent.Get(), INFINITE);
  return m_command;
}

BOOL CAMThread::CheckRequest(DWORD* cmd) {
  if (WaitForSingleObject(m_sendEvent.Get(), 0) != WAIT_OBJECT_0)
    return FALSE;
  if (cmd)
    *cmd = m_command;
  return TRUE;
}

void CAMThread::Reply(DWORD value) {
  assert(OnWorkerThread());
  m_reply = value;
  // Reset before the signal: a command sent after the signal stays pending.
  ResetEvent(m_sendEvent.Get());
  SetEvent(m_completionEvent.Get());
}
