// The module folder on Windows: that of the module file holding this code
// (the filter's .ax, or a test program), never the host application's.
#include <windows.h>

#include "platform/module_path.h"

void SetModuleDirectoryOverride(const std::string&) {}

std::string ModuleDirectory() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(&ModuleDirectory), &module)) {
    return std::string();
  }
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
  // 0 is a failure, MAX_PATH a path cut short: neither names the real folder.
  if (length == 0 || length >= MAX_PATH)
    return std::string();
  return DirectoryOfModulePath(std::string(path, length));
}
