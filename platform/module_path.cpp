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

#ifdef _WIN32
// UTF-16 units of the character that a UTF-8 sequence starts with: 0 for a
// continuation byte, 2 for a four-byte sequence, else 1.
size_t Utf16UnitsOfByte(unsigned char byte) {
  if ((byte & 0xC0) == 0x80)
    return 0;
  return byte >= 0xF0 ? 2 : 1;
}
#endif

}  // namespace

size_t PathChars(const std::string& path) {
#ifdef _WIN32
  size_t units = 0;
  for (const char c : path)
    units += Utf16UnitsOfByte(static_cast<unsigned char>(c));
  return units;
#else
  return path.size();
#endif
}

void CutPathName(std::string* name, size_t maxChars) {
#ifdef _WIN32
  size_t units = 0;
  for (size_t i = 0; i < name->size(); ++i) {
    const size_t width = Utf16UnitsOfByte(static_cast<unsigned char>((*name)[i]));
    if (width > 0 && units + width > maxChars) {
      name->resize(i);
      return;
    }
    units += width;
  }
#else
  if (name->size() > maxChars)
    name->resize(maxChars);
#endif
}

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
