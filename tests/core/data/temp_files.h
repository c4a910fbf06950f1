#pragma once
// A private temporary folder for one test, removed with everything in it when
// the test ends; files are written into it whole and read back whole.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

class TempFolder {
 public:
  TempFolder() {
    static std::atomic<unsigned> serial{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    m_path = std::filesystem::temp_directory_path() /
             ("zd_test_" + std::to_string(stamp) + "_" + std::to_string(serial++));
    std::filesystem::create_directories(m_path);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::string Path() const { return m_path.string(); }
  std::string PathOf(const std::string& name) const { return (m_path / name).string(); }

  // Writes the bytes exactly as given (no line-end translation); returns the file's path.
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::ofstream file(m_path / name, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), std::streamsize(bytes.size()));
    return PathOf(name);
  }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    return Write(name, std::string(bytes.begin(), bytes.end()));
  }

 private:
  std::filesystem::path m_path;
};

// The whole file's bytes; empty when it cannot be read.
inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}
