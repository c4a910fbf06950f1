// Folder arithmetic on module paths, the same in both builds.
#include "platform/module_path.h"

namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}
#else
constexpr char kSeparator = '/';
bool IsSeparator(char c) {
  return c == '/';
}
#endif

}  // namespace

std::string DirectoryOfModulePath(const std::string& fullPath) {
  size_t end = fullPath.size();
  while (end > 0 && !IsSeparator(fullPath[end - 1]))
    --end;
#ifdef _WIN32
  // "C:name" has a drive but no folder.
  if (end == 0 && fullPath.size() >= 2 && fullPath[1] == ':')
    return fullPath.substr(0, 2);
#endif
  if (end > 0)
    --end;  // the one trailing separator
  return fullPath.substr(0, end);
}

std::string JoinModulePath(const std::string& dir, const std::string& name) {
  return dir + kSeparator + name;
}
