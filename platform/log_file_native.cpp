// The latency log natively: a plain file descriptor.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/log_file.h"

intptr_t LogFile::OpenNative(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  return fd < 0 ? kClosed : fd;
}

uint32_t LogFile::WriteNative(intptr_t handle, const void* data, uint32_t size) {
  const char* bytes = static_cast<const char*>(data);
  uint32_t written = 0;
  while (written < size) {
    const ssize_t got = ::write(int(handle), bytes + written, size - written);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      break;
    written += uint32_t(got);
  }
  return written;
}

void LogFile::CloseNative(intptr_t handle) {
  ::close(int(handle));
}
