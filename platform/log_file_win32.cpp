// The latency log on Windows: a file handle, shared for reading while open.
#include <windows.h>

#include "platform/log_file.h"
#include "platform/wide_text.h"

static_assert(sizeof(intptr_t) == sizeof(HANDLE), "a HANDLE fits the stored value");

bool LogFile::Open(const std::string& path) {
  Close();
  std::wstring widePath;
  if (path.empty() || !WideFromUtf8(path, &widePath))
    return false;
  const HANDLE file = CreateFileW(widePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  m_handle = reinterpret_cast<intptr_t>(file);
  return true;
}

bool LogFile::IsOpen() const {
  return m_handle != -1;
}

uint32_t LogFile::Write(const void* data, uint32_t size) {
  if (!IsOpen() || !data)
    return 0;
  DWORD written = 0;
  // On a failed write, written tells how much got through before it.
  WriteFile(reinterpret_cast<HANDLE>(m_handle), data, size, &written, nullptr);
  return written;
}

void LogFile::Close() {
  if (!IsOpen())
    return;
  CloseHandle(reinterpret_cast<HANDLE>(m_handle));
  m_handle = -1;
}
