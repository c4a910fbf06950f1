// The system's own reader of INI-form settings, through its wide-character
// function so that the file may lie in any folder.
#include <windows.h>

#include <vector>

#include "platform/module_path.h"
#include "platform/profile_reader.h"
#include "platform/stdio_file.h"
#include "platform/wide_text.h"

namespace {

// Settings values are short; a larger buffer is not worth allocating.
constexpr size_t kLargestBuffer = size_t(1) << 20;

// ANSI text (section and key names, defaults) as the ANSI functions take it.
std::wstring WideFromAnsi(const char* text) {
  const int size = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (size <= 1)
    return std::wstring();
  std::wstring out(size_t(size), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, &out[0], size);
  out.resize(size_t(size - 1));
  return out;
}

// GetPrivateProfileStringW with a buffer of bufferSize characters; false when
// the arguments cannot reach it (a null name would list names instead of
// reading a value, an empty path would name a file in the Windows folder).
bool ReadWide(const char* section, const char* key, const char* defaultValue, size_t bufferSize,
              const std::string& path, std::wstring* value) {
  std::wstring widePath;
  if (!section || !key || path.empty() || bufferSize == 0 || !WideFromUtf8(path, &widePath))
    return false;
  if (bufferSize > kLargestBuffer)
    bufferSize = kLargestBuffer;
  const std::wstring wideDefault = WideFromAnsi(defaultValue ? defaultValue : "");
  std::vector<wchar_t> buffer(bufferSize, L'\0');
  const DWORD length = GetPrivateProfileStringW(
      WideFromAnsi(section).c_str(), WideFromAnsi(key).c_str(), wideDefault.c_str(), buffer.data(),
      static_cast<DWORD>(bufferSize), widePath.c_str());
  value->assign(buffer.data(), length < bufferSize ? length : bufferSize - 1);
  return true;
}

enum class FileText { kUtf8, kSystem };

// A file with a UTF-8 byte order mark, or valid UTF-8 beyond ASCII without
// one, is UTF-8; everything else is left to the system reader (ANSI, UTF-16
// with a byte order mark, a missing file).
FileText ClassifyFile(const std::string& path) {
  const UniqueStdioFile file = OpenStdioFile(path, "rb");
  if (!file)
    return FileText::kSystem;
  std::string text;
  char chunk[4096];
  size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
    text.append(chunk, got);
    if (text.size() > kLargestBuffer)
      return FileText::kSystem;
  }
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
    return FileText::kUtf8;
  bool beyondAscii = false;
  for (const char c : text)
    beyondAscii = beyondAscii || (static_cast<unsigned char>(c) & 0x80) != 0;
  std::wstring decoded;
  return beyondAscii && WideFromUtf8(text, &decoded) ? FileText::kUtf8 : FileText::kSystem;
}

}  // namespace

std::string ReadProfileString(const char* section, const char* key, const char* defaultValue,
                              size_t bufferSize, const std::string& path) {
  std::wstring value;
  if (!ReadWide(section, key, defaultValue, bufferSize, path, &value))
    return ReadProfileStringPortable(nullptr, nullptr, defaultValue, bufferSize, path);
  // What GetPrivateProfileStringA does: the wide value in the ANSI code page,
  // cut to the buffer.
  std::string ansi = AnsiFromWide(value);
  if (ansi.size() > bufferSize - 1)
    ansi.resize(bufferSize - 1);
  return ansi;
}

std::string ReadProfileName(const char* section, const char* key, const char* defaultValue,
                            size_t bufferSize, const std::string& path) {
  if (bufferSize == 0)
    return std::string();
  std::string name;
  if (!path.empty() && ClassifyFile(path) == FileText::kUtf8) {
    // Up to four bytes per character; cut in whole characters afterwards.
    const size_t bytes = bufferSize < kLargestBuffer / 4 ? bufferSize * 4 : kLargestBuffer;
    name = ReadProfileStringPortable(section, key, defaultValue, bytes, path);
  } else {
    std::wstring value;
    if (!ReadWide(section, key, defaultValue, bufferSize, path, &value))
      return ReadProfileStringPortable(nullptr, nullptr, defaultValue, bufferSize, path);
    // A lone surrogate has no UTF-8 form: such a name names no file.
    if (!Utf8FromWide(value, &name))
      name.clear();
  }
  CutPathName(&name, bufferSize - 1);
  return name;
}
