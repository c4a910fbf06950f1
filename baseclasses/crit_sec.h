// Re-entrant critical section and its scope guard. Locks in the framework are
// held for whole operations by a CAutoLock on the stack.
#pragma once

#include <windows.h>

class CCritSec {
 public:
  CCritSec() { InitializeCriticalSection(&m_section); }
  ~CCritSec() { DeleteCriticalSection(&m_section); }
  CCritSec(const CCritSec&) = delete;
  CCritSec& operator=(const CCritSec&) = delete;

  void Lock() { EnterCriticalSection(&m_section); }
  void Unlock() { LeaveCriticalSection(&m_section); }

  // For debug assertions of "caller holds this lock".
  bool IsOwnedByCurrentThread() const {
    return reinterpret_cast<ULONG_PTR>(m_section.OwningThread) ==
           static_cast<ULONG_PTR>(GetCurrentThreadId());
  }

 private:
  CRITICAL_SECTION m_section;
};

// Holds a CCritSec from construction to the end of the scope.
class CAutoLock {
 public:
  explicit CAutoLock(CCritSec* lock) : m_lock(lock) { m_lock->Lock(); }
  ~CAutoLock() { m_lock->Unlock(); }
  CAutoLock(const CAutoLock&) = delete;
  CAutoLock& operator=(const CAutoLock&) = delete;

 private:
  CCritSec* m_lock;
};
