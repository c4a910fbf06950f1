// Bitmaps from files, decoded by our own BMP reader.
#include "platform/file_bytes.h"
#include "platform/module_path.h"
#include "platform/source_bitmap.h"

bool LoadSourceBitmap(const std::string& path, SourceBitmap* out) {
  if (!out)
    return false;
  *out = SourceBitmap();
  if (path.empty() || path.size() > kMaxPathChars)
    return false;
  std::vector<uint8_t> bytes;
  if (!ReadBitmapFileBytes(path, &bytes))
    return false;
  return DecodeBmp(bytes.data(), bytes.size(), out);
}
