#include <windows.h>

#include "platform/stdio_file.h"
#include "platform/wide_text.h"

UniqueStdioFile OpenStdioFile(const std::string& path, const char* mode) {
  std::wstring widePath;
  std::wstring wideMode;
  if (path.empty() || !WideFromUtf8(path, &widePath) || !WideFromUtf8(mode, &wideMode))
    return UniqueStdioFile();
  return UniqueStdioFile(_wfopen(widePath.c_str(), wideMode.c_str()));
}
