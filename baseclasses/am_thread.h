// CAMThread: a worker thread with a synchronous command handshake. A
// controlling thread sends one command with CallWorker and waits until the
// worker answers it with Reply; only one command is in flight at a time.
//
// Controlling side: Create, CallWorker, Close (take m_accessLock; callers may
// hold an outer lock, which must then always be taken first).
// Worker side: GetRequest, CheckRequest, Reply (no lock).
#pragma once

#include <windows.h>

#include "baseclasses/crit_sec.h"
#include "platform/unique_handle.h"

class CAMThread {
 public:
  // If an event cannot be created and hr holds a success code, it becomes
  // E_OUTOFMEMORY.
  explicit CAMThread(HRESULT* hr = nullptr);
  // Close()s: waits for a running worker to end.
  virtual ~CAMThread();
  CAMThread(const CAMThread&) = delete;
  CAMThread& operator=(const CAMThread&) = delete;

  // The worker's body (runs on the worker thread, COM initialised); its
  // result is the thread's exit code.
  virtual DWORD ThreadProc() = 0;

  // Starts the worker; FALSE if one is already held or it cannot start.
  BOOL Create();
  // Sends cmd and waits for the worker's reply. E_FAIL without a worker.
  DWORD CallWorker(DWORD cmd);
  // Waits for the worker to end and closes its handle (one closer only).
  void Close();
  BOOL ThreadExists() const { return m_thread.Get() != nullptr; }
  // For debug assertions in code that runs only on the worker.
  bool OnWorkerThread() const { return m_threadId == GetCurrentThreadId(); }

  // --- Worker side ---
  // Waits for a command; it stays pending until Reply.
  DWORD GetRequest();
  // TRUE (and the command, if cmd is given) when one is pending, without
  // waiting and without taking it.
  BOOL CheckRequest(DWORD* cmd);
  // Answers the pending command.
  void Reply(DWORD value);

 private:
  static DWORD WINAPI ThreadEntry(LPVOID param);

  UniqueHandle m_sendEvent;        // manual reset: set while a command is pending
  UniqueHandle m_completionEvent;  // auto reset: the worker's reply
  DWORD m_command = 0;
  DWORD m_reply = 0;
  UniqueHandle m_thread;          // taken by one Close only (an atomic exchange)
  volatile DWORD m_threadId = 0;  // set by the worker itself when it starts
  CCritSec m_accessLock;
};
