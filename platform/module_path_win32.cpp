// The module folder on Windows: that of the module file holding this code
// (the filter's .ax, or a test program), never the host application's.
#include <windows.h>

#include "platform/module_path.h"
#include "platform/wide_text.h"

void SetModuleDirectoryOverride(const std::string&) {}

std::string ModuleDirectory() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&ModuleDirectory), &module)) {
    return std::string();
  }
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  // 0 is a failure, MAX_PATH a path cut short: neither names the real folder.
  if (length == 0 || length >= MAX_PATH)
    return std::string();
  // A name that is not valid UTF-16 has no exact UTF-8 form: no folder then.
  std::string utf8;
  if (!Utf8FromWide(std::wstring(path, length), &utf8))
    return std::string();
  return DirectoryOfModulePath(utf8);
}
