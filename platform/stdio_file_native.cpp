#include "platform/stdio_file.h"

UniqueStdioFile OpenStdioFile(const std::string& path, const char* mode) {
  return UniqueStdioFile(std::fopen(path.c_str(), mode));
}
