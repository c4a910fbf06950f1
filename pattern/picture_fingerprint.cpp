#include "pattern/picture_fingerprint.h"

#include <cstring>
#include <vector>

#include "platform/file_bytes.h"
#include "platform/module_path.h"

namespace {

class Fnv1a {
 public:
  void Add(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) {
      m_hash ^= p[i];
      m_hash *= 0x100000001B3ull;
    }
  }
  // A whole number as 8 little-endian bytes, whatever its type.
  void AddNumber(int64_t value) {
    uint8_t bytes[8];
    for (int i = 0; i < 8; ++i)
      bytes[i] = uint8_t(uint64_t(value) >> (8 * i));
    Add(bytes, sizeof bytes);
  }
  // A file's length and contents, as the settings name it beside the module.
  template <size_t N>
  void AddFile(const std::string& moduleDir, const char (&name)[N]) {
    std::vector<uint8_t> bytes;
    const std::string file(name, strnlen(name, N));
    if (!file.empty() && !ReadBitmapFileBytes(JoinModulePath(moduleDir, file), &bytes))
      bytes.clear();
    AddNumber(int64_t(bytes.size()));
    Add(bytes.data(), bytes.size());
  }
  uint64_t Value() const { return m_hash; }

 private:
  uint64_t m_hash = 0xCBF29CE484222325ull;
};

}  // namespace

uint64_t PictureFingerprint(const PresetInfo& preset, int32_t mouseCursol,
                            const std::string& moduleDir) {
  Fnv1a h;
  for (int64_t v : {int64_t(preset.w), int64_t(preset.h), int64_t(preset.compression),
                    int64_t(preset.bit_count), int64_t(preset.interlaced), int64_t(preset.scroll_x),
                    int64_t(preset.scroll_y), int64_t(mouseCursol == 1)})
    h.AddNumber(v);
  h.AddFile(moduleDir, preset.bmp);
  h.AddFile(moduleDir, preset.font);
  return h.Value();
}
