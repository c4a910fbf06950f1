// The latency log on Windows: a file handle, shared for reading while open.
#include <windows.h>

#include "platform/log_file.h"
#include "platform/wide_text.h"

static_assert(sizeof(intptr_t) == sizeof(HANDLE), "a HANDLE fits the stored value");

intptr_t LogFile::OpenNative(const std::string& path) {
  std::wstring widePath;
  if (path.empty() || !WideFromUtf8(path, &widePath))
    return kClosed;
  const HANDLE file = CreateFileW(widePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? kClosed : reinterpret_cast<intptr_t>(file);
}

uint32_t LogFile::WriteNative(intptr_t handle, const void* data, uint32_t size) {
  DWORD written = 0;
  // On a failed write, written tells how much got through before it.
  WriteFile(reinterpret_cast<HANDLE>(handle), data, size, &written, nullptr);
  return written;
}

void LogFile::CloseNative(intptr_t handle) {
  CloseHandle(reinterpret_cast<HANDLE>(handle));
}
