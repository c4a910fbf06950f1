// The module folder natively: the running program's folder, or the folder that
// a tool or test has chosen instead.
#include <unistd.h>

#include <mutex>

#include "platform/module_path.h"

namespace {

std::mutex g_overrideLock;
std::string g_overrideDirectory;

}  // namespace

void SetModuleDirectoryOverride(const std::string& dir) {
  const std::lock_guard<std::mutex> guard(g_overrideLock);
  g_overrideDirectory = dir;
}

std::string ModuleDirectory() {
  {
    const std::lock_guard<std::mutex> guard(g_overrideLock);
    if (!g_overrideDirectory.empty())
      return g_overrideDirectory;
  }
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0)
    return std::string();
  return DirectoryOfModulePath(std::string(path, size_t(length)));
}
