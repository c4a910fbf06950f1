#pragma once
// A write-only file for the latency log: created (truncated) on Open,
// written in whole buffers, closed explicitly or on destruction.
#include <cstdint>
#include <string>

class LogFile {
 public:
  LogFile() = default;
  ~LogFile() { Close(); }
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // path is UTF-8 (on Windows opened through the wide-character functions).
  bool Open(const std::string& path) {
    Close();
    m_handle = OpenNative(path);
    return IsOpen();
  }
  bool IsOpen() const { return m_handle != kClosed; }
  // Bytes actually written; fewer than size means a failed write.
  uint32_t Write(const void* data, uint32_t size) {
    return IsOpen() && data ? WriteNative(m_handle, data, size) : 0;
  }
  void Close() {
    if (IsOpen())
      CloseNative(m_handle);
    m_handle = kClosed;
  }

 private:
  static constexpr intptr_t kClosed = -1;
  // The platform's own calls (one source file per platform).
  static intptr_t OpenNative(const std::string& path);  // kClosed on failure
  static uint32_t WriteNative(intptr_t handle, const void* data, uint32_t size);
  static void CloseNative(intptr_t handle);

  intptr_t m_handle = kClosed;  // native file descriptor or Windows HANDLE
};
