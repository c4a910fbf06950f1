// The system's own reader of INI-form settings.
#include <windows.h>

#include <vector>

#include "platform/profile_reader.h"

namespace {
// Settings values are short; a larger buffer is not worth allocating.
constexpr size_t kLargestBuffer = size_t(1) << 20;
}  // namespace

std::string ReadProfileString(const char* section, const char* key, const char* defaultValue,
                              size_t bufferSize, const std::string& path) {
  // A null section or key would list names instead of reading a value, and an
  // empty path would name a file in the Windows folder: both give the default.
  if (!section || !key || path.empty() || bufferSize == 0) {
    return ReadProfileStringPortable(nullptr, nullptr, defaultValue, bufferSize, path);
  }
  if (bufferSize > kLargestBuffer)
    bufferSize = kLargestBuffer;
  std::vector<char> buffer(bufferSize, '\0');
  const DWORD length = GetPrivateProfileStringA(section, key, defaultValue, buffer.data(),
                                                static_cast<DWORD>(bufferSize), path.c_str());
  return std::string(buffer.data(), length < bufferSize ? length : bufferSize - 1);
}
