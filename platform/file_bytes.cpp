#include "platform/file_bytes.h"

#include <cstdio>

#include "platform/stdio_file.h"

namespace {

constexpr long kLargestFile = 0x40001000L;

}  // namespace

bool ReadBitmapFileBytes(const std::string& path, std::vector<uint8_t>* bytes) {
  const UniqueStdioFile file = OpenStdioFile(path, "rb");
  if (!file)
    return false;
  if (std::fseek(file.get(), 0, SEEK_END) != 0)
    return false;
  const long size = std::ftell(file.get());
  if (size < 0 || size > kLargestFile || std::fseek(file.get(), 0, SEEK_SET) != 0)
    return false;
  bytes->resize(static_cast<size_t>(size));
  return std::fread(bytes->data(), 1, bytes->size(), file.get()) == bytes->size();
}
