// The latency log natively: a plain file descriptor.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/log_file.h"

bool LogFile::Open(const std::string& path) {
  Close();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0)
    return false;
  m_handle = fd;
  return true;
}

bool LogFile::IsOpen() const {
  return m_handle != -1;
}

uint32_t LogFile::Write(const void* data, uint32_t size) {
  if (!IsOpen() || !data)
    return 0;
  const char* bytes = static_cast<const char*>(data);
  uint32_t written = 0;
  while (written < size) {
    const ssize_t got = ::write(int(m_handle), bytes + written, size - written);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      break;
    written += uint32_t(got);
  }
  return written;
}

void LogFile::Close() {
  if (!IsOpen())
    return;
  ::close(int(m_handle));
  m_handle = -1;
}
