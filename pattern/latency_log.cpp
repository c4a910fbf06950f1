#include "pattern/latency_log.h"

#include <cstdio>
#include <cstring>
#include <new>

bool LatencyLog::Open(const std::string& path, uint32_t size) {
  CloseLog();
  if (size == 0)
    return false;
  std::unique_ptr<char[]> block(new (std::nothrow) char[size]);
  if (!block)
    return false;
  if (!file.Open(path))
    return false;
  buffer = std::move(block);
  capacity = size;
  used = 0;
  return true;
}

void LatencyLog::Append(const char* record, uint32_t len) {
  if (!buffer)
    return;
  if (uint64_t(used) + len > capacity)
    Flush();
  if (uint64_t(used) + len > capacity)
    return;
  std::memcpy(buffer.get() + used, record, len);
  used += len;
}

bool LatencyLog::Flush() {
  if (!file.IsOpen())
    return false;
  if (!buffer || used == 0)
    return true;
  if (file.Write(buffer.get(), used) < used)
    return false;
  used = 0;
  return true;
}

void LatencyLog::CloseLog() {
  Flush();
  if (file.IsOpen())
    file.Close();
  if (buffer) {
    buffer.reset();
    capacity = 0;
  }
  used = 0;
}

uint32_t FormatLatencyRecord(char* out, uint32_t size, int32_t nowMs, int32_t previousMs,
                             int32_t stampMs) {
  if (size == 0)
    return 0;
  // Differences wrap like the 32-bit values they come from.
  const int32_t interval = int32_t(uint32_t(nowMs) - uint32_t(previousMs));
  const int32_t lead = int32_t(uint32_t(stampMs) - uint32_t(nowMs));
  const int n = std::snprintf(out, size, "%8d(%3d)ms: Latancy=%4dms, TimeStamp=%4dms\r\n", nowMs,
                              interval, lead, stampMs);
  if (n < 0) {
    out[0] = '\0';
    return 0;
  }
  return uint32_t(n) < size ? uint32_t(n) : size - 1;
}
