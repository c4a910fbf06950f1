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
  bool Open(const std::string& path);
  bool IsOpen() const;
  // Bytes actually written; fewer than size means a failed write.
  uint32_t Write(const void* data, uint32_t size);
  void Close();

 private:
  intptr_t m_handle = -1;  // native file descriptor or Windows HANDLE; -1 when closed
};
