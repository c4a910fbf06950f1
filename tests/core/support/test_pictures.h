#pragma once
// Test pictures and a private temporary folder for tests and the tools' own
// tests. Files are written with the tools' one BMP writer.
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "tools/common/bmp_writer.h"
#include "tools/common/synthetic_images.h"

namespace zdtest {

using zdtools::WriteChartImage;
using zdtools::WriteSyntheticFont;

// A picture whose blue byte is the column and green byte the line (mod 256),
// so that a frame's pixels tell which image pixel they show.
inline bool WriteCoordinateImage(const std::string& path, int32_t w, int32_t h) {
  return zdtools::WriteBmp(path, w, h, [](int32_t x, int32_t y) {
    return zdtools::Bgr{uint8_t(x), uint8_t(y), uint8_t(x ^ y)};
  });
}

// A fresh, empty folder under the system's temporary folder, removed again
// when the object goes.
class TempDir {
 public:
  explicit TempDir(const std::string& tag) {
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
      auto candidate = base / ("zd-" + tag + "-" + std::to_string(rd()));
      std::error_code ec;
      if (std::filesystem::create_directory(candidate, ec)) {
        m_path = candidate;
        break;
      }
    }
  }
  ~TempDir() {
    std::error_code ec;
    if (!m_path.empty())
      std::filesystem::remove_all(m_path, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder without a trailing separator.
  std::string Path() const { return m_path.string(); }
  std::string File(const std::string& name) const { return (m_path / name).string(); }

 private:
  std::filesystem::path m_path;
};

}  // namespace zdtest
