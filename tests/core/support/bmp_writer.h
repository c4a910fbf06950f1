#pragma once
// Writes small uncompressed BMP files for tests, the preview tool's fixtures
// and the benchmarks. Pixels are given top-down by a callback; the file stores
// them bottom-up with rows padded to 4 bytes, as the format requires.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace zdtest {

struct Bgr {
  uint8_t b, g, r;
};

// pixel(x, y) with y counted from the top. bitCount 24 or 32 (the fourth byte
// of a 32-bit pixel is filler).
inline bool WriteBmp(const std::string& path, int32_t w, int32_t h,
                     const std::function<Bgr(int32_t, int32_t)>& pixel, int bitCount = 24,
                     uint8_t filler = 0x77) {
  const uint32_t bytesPerPixel = uint32_t(bitCount) / 8;
  const uint32_t rowBytes = (uint32_t(w) * bytesPerPixel + 3u) & ~3u;
  const uint32_t imageBytes = rowBytes * uint32_t(h);
  std::vector<uint8_t> file(54 + size_t(imageBytes), 0);
  auto put16 = [&](size_t at, uint32_t v) {
    file[at] = uint8_t(v);
    file[at + 1] = uint8_t(v >> 8);
  };
  auto put32 = [&](size_t at, uint32_t v) {
    put16(at, v & 0xFFFF);
    put16(at + 2, v >> 16);
  };
  file[0] = 'B';
  file[1] = 'M';
  put32(2, uint32_t(file.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, uint32_t(w));
  put32(22, uint32_t(h));
  put16(26, 1);
  put16(28, uint32_t(bitCount));
  put32(34, imageBytes);
  put32(38, 2835);
  put32(42, 2835);
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = file.data() + 54 + size_t(h - 1 - y) * rowBytes;  // bottom-up
    for (int32_t x = 0; x < w; ++x) {
      const Bgr p = pixel(x, y);
      uint8_t* out = row + size_t(x) * bytesPerPixel;
      out[0] = p.b;
      out[1] = p.g;
      out[2] = p.r;
      if (bytesPerPixel == 4)
        out[3] = filler;
    }
  }
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f)
    return false;
  const bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
  return std::fclose(f) == 0 && ok;
}

// A font sheet of 32 x 16 cells of cellW x cellH whose every pixel differs
// from its neighbours' and from every other cell's, so that a frame shows
// exactly which cells were drawn where.
inline bool WriteSyntheticFont(const std::string& path, int32_t cellW, int32_t cellH) {
  return WriteBmp(path, cellW * 32, cellH * 16, [=](int32_t x, int32_t y) {
    const int32_t col = x / cellW, row = y / cellH;
    return Bgr{uint8_t(col * 8 + x % cellW), uint8_t(row * 16 + y % cellH),
               uint8_t(0x40 + ((x + y) & 0x3F))};
  });
}

// A picture whose blue byte is the column and green byte the line (mod 256),
// so that a frame's pixels tell which image pixel they show.
inline bool WriteCoordinateImage(const std::string& path, int32_t w, int32_t h) {
  return WriteBmp(path, w, h, [](int32_t x, int32_t y) {
    return Bgr{uint8_t(x), uint8_t(y), uint8_t(x ^ y)};
  });
}

// A test chart of smooth gradients with a noise texture, for benchmarks and
// previews when no real chart is at hand.
inline bool WriteChartImage(const std::string& path, int32_t w, int32_t h) {
  std::mt19937 noise(7);
  return WriteBmp(path, w, h, [&](int32_t x, int32_t y) {
    const uint8_t n = uint8_t(noise() & 0x0F);
    return Bgr{uint8_t(x * 255 / (w > 1 ? w - 1 : 1) ^ n), uint8_t(y * 255 / (h > 1 ? h - 1 : 1)),
               uint8_t(((x / 32 + y / 32) & 1) ? 200 : 40)};
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
