#include "tools/capture/utf8_files.h"

#include <windows.h>

namespace zdcap {
namespace {

bool Wide(const std::string& text, std::wstring* out) {
  out->clear();
  if (text.empty())
    return false;
  const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.c_str(), -1, nullptr, 0);
  if (size <= 1)
    return false;
  out->resize(static_cast<size_t>(size));
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.c_str(), -1, &(*out)[0], size);
  out->resize(static_cast<size_t>(size - 1));
  return true;
}

std::string Utf8(const wchar_t* text) {
  if (!text || !*text)
    return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1)
    return {};
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
  out.resize(static_cast<size_t>(size - 1));
  return out;
}

}  // namespace

std::FILE* OpenFileUtf8(const std::string& path, const char* mode) {
  std::wstring widePath;
  std::wstring wideMode;
  if (!Wide(path, &widePath) || !Wide(mode, &wideMode))
    return nullptr;
  return _wfopen(widePath.c_str(), wideMode.c_str());
}

bool CreateFolderUtf8(const std::string& path) {
  std::wstring widePath;
  if (!Wide(path, &widePath))
    return false;
  return CreateDirectoryW(widePath.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i)
    args.push_back(Utf8(argv[i]));
  return args;
}

Utf8Console::Utf8Console() : m_previous(GetConsoleOutputCP()) {
  if (m_previous != 0)
    SetConsoleOutputCP(CP_UTF8);
}

Utf8Console::~Utf8Console() {
  if (m_previous != 0)
    SetConsoleOutputCP(m_previous);
}

}  // namespace zdcap
