#pragma once
// The device's one stream in the user's session, as a real webcam allows:
// a named kernel object in the session namespace ("Local\"), which 32-bit
// and 64-bit processes share. The process that makes it holds the claim
// while its handle lives; another that finds the object there already is
// refused. The system closes a process's handles when it ends, so a client
// that dies without stopping frees the device at once. Windows only.
#include <cstdint>

#include "platform/unique_handle.h"

class DeviceClaim {
 public:
  DeviceClaim() = default;
  DeviceClaim(const DeviceClaim&) = delete;
  DeviceClaim& operator=(const DeviceClaim&) = delete;

  // True when this object holds the claim (already, or from now on); false
  // when another holds it. An object that cannot be made at all (out of
  // resources) is no claim on anything: true, and the stream runs as
  // without the switch.
  bool Take();
  // Gives the claim up; nothing when none is held. Any thread.
  void Release();

 private:
  UniqueHandle m_handle;  // the named object's handle while the claim is held
};

// Calls a function once, a given time after Start, on a thread of its own.
// Cancel (also the destructor) ends a wait at once and waits for a call under
// way, so that what the function uses may go right after. Windows only.
class DelayedCall {
 public:
  using Function = void (*)(void* context);

  DelayedCall() = default;
  ~DelayedCall() { Cancel(); }
  DelayedCall(const DelayedCall&) = delete;
  DelayedCall& operator=(const DelayedCall&) = delete;

  // A call already pending is cancelled first. False when the thread cannot
  // be started (the call then never comes).
  bool Start(uint32_t delayMs, Function function, void* context);
  void Cancel();

 private:
  static DWORD WINAPI ThreadMain(void* self);

  UniqueHandle m_thread;
  UniqueHandle m_cancel;
  uint32_t m_delayMs = 0;
  Function m_function = nullptr;
  void* m_context = nullptr;
};
