// Bitmaps from files, decoded by our own BMP reader.
#include <cstdio>
#include <memory>

#include "platform/module_path.h"
#include "platform/source_bitmap.h"

namespace {

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};

// Larger than any acceptable image file (16384 x 16384 at 32 bits plus headers).
constexpr long kLargestFile = 0x40001000L;

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* bytes) {
  std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return false;
  if (std::fseek(file.get(), 0, SEEK_END) != 0) return false;
  const long size = std::ftell(file.get());
  if (size < 0 || size > kLargestFile || std::fseek(file.get(), 0, SEEK_SET) != 0) return false;
  bytes->resize(size_t(size));
  return std::fread(bytes->data(), 1, bytes->size(), file.get()) == bytes->size();
}

}  // namespace

bool LoadSourceBitmap(const std::string& path, SourceBitmap* out) {
  if (!out) return false;
  *out = SourceBitmap();
  if (path.empty() || path.size() > kMaxPathChars) return false;
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(path, &bytes)) return false;
  return DecodeBmp(bytes.data(), bytes.size(), out);
}
