#pragma once
// Whether the device is plugged in, as the whole process sees it. A stream
// whose preset asks for an unplug takes the device away when its frame comes
// due; every filter or source made before that stays removed for good, as a
// removed device's objects do, and new ones find no device until the replug
// time has come (never, without one). Portable: the callers pass the
// millisecond clock (TickCountMs), so that tests drive it with their own.
// Any thread; the state has its own lock.
#include <cstdint>
#include <mutex>

class DevicePresence {
 public:
  // The process's one device.
  static DevicePresence& Process();

  // The device goes at nowMs; it comes back replugMs later, or never when
  // replugMs is 0. Every object made before this sees a new generation.
  void Unplug(uint32_t nowMs, int32_t replugMs);
  // The device is plugged in at nowMs.
  bool Present(uint32_t nowMs) const;
  // Counts the unplugs so far: an object that remembers the value at its
  // making was removed once the value has changed.
  uint32_t Generation() const;

 private:
  mutable std::mutex m_lock;
  uint32_t m_generation = 0;
  bool m_removed = false;
  bool m_returns = false;   // a replug is due
  uint32_t m_replugAt = 0;  // its time, on the caller's millisecond clock
};

// The fault-log lines of an unplug at frame: "<frame> unplug\r\n" and, with a
// replug, "<frame> replug ms=<M>\r\n". Returns the bytes written (at most
// size - 1, the text NUL-terminated).
uint32_t FormatDeviceRecords(char* out, uint32_t size, uint32_t frame, int32_t replugMs);
