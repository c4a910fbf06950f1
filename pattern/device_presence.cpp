#include "pattern/device_presence.h"

#include <cstdio>

DevicePresence& DevicePresence::Process() {
  static DevicePresence presence;
  return presence;
}

void DevicePresence::Unplug(uint32_t nowMs, int32_t replugMs) {
  std::lock_guard<std::mutex> lock(m_lock);
  ++m_generation;
  m_removed = true;
  m_returns = replugMs > 0;
  m_replugAt = nowMs + uint32_t(replugMs > 0 ? replugMs : 0);
}

bool DevicePresence::Present(uint32_t nowMs) const {
  std::lock_guard<std::mutex> lock(m_lock);
  if (!m_removed)
    return true;
  // The difference read as signed: right across the clock's wrap-around.
  return m_returns && int32_t(nowMs - m_replugAt) >= 0;
}

uint32_t DevicePresence::Generation() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_generation;
}

uint32_t FormatDeviceRecords(char* out, uint32_t size, uint32_t frame, int32_t replugMs) {
  if (!out || size == 0)
    return 0;
  const int n = replugMs > 0 ? std::snprintf(out, size, "%u unplug\r\n%u replug ms=%d\r\n",
                                             unsigned(frame), unsigned(frame), int(replugMs))
                             : std::snprintf(out, size, "%u unplug\r\n", unsigned(frame));
  if (n < 0)
    return 0;
  return uint32_t(n) < size ? uint32_t(n) : size - 1;
}
