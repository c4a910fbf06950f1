#include "tools/preview/image_files.h"

#include <png.h>

#include <cctype>
#include <csetjmp>
#include <numeric>
#include <vector>

namespace zdpreview {

bool WritePng(const std::string& path, int32_t w, int32_t h, const uint8_t* rgb) {
  if (w <= 0 || h <= 0)
    return false;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file)
    return false;
  std::vector<png_bytep> rows(static_cast<size_t>(h));
  for (int32_t y = 0; y < h; ++y) {
    rows[size_t(y)] = const_cast<png_bytep>(rgb + size_t(y) * size_t(w) * 3);
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    std::fclose(file);
    return false;
  }
  // libpng reports errors by jumping back here; nothing with a destructor is
  // created between this point and the jump.
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return false;
  }
  png_init_io(png, file);
  png_set_compression_level(png, 3);
  png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0;
}

bool Y4mWriter::Open(const std::string& path, int32_t w, int32_t h, int64_t rateNum,
                     int64_t rateDen, char interlace, const char* chroma) {
  Close();
  m_file = std::fopen(path.c_str(), "wb");
  if (!m_file)
    return false;
  m_ok = std::fprintf(m_file, "YUV4MPEG2 W%d H%d F%lld:%lld I%c A1:1 C%s\n", int(w), int(h),
                      static_cast<long long>(rateNum), static_cast<long long>(rateDen), interlace,
                      chroma) > 0;
  return m_ok;
}

bool Y4mWriter::WriteFrame(const PlanarImage& image) {
  if (!m_file)
    return false;
  m_ok = m_ok && std::fputs("FRAME\n", m_file) >= 0;
  for (const std::vector<uint8_t>* plane : {&image.y, &image.u, &image.v}) {
    m_ok = m_ok && std::fwrite(plane->data(), 1, plane->size(), m_file) == plane->size();
  }
  return m_ok;
}

bool Y4mWriter::Close() {
  if (!m_file)
    return m_ok;
  m_ok = (std::fclose(m_file) == 0) && m_ok;
  m_file = nullptr;
  return m_ok;
}

void FrameRateOf(int64_t frameTime, int64_t* num, int64_t* den) {
  if (frameTime <= 0) {  // not a playable rate: say 30000/1001
    *num = 30000;
    *den = 1001;
    return;
  }
  const int64_t g = std::gcd(int64_t(10000000), frameTime);
  *num = 10000000 / g;
  *den = frameTime / g;
}

bool ExpandPattern(const std::string& pattern, uint32_t n, std::string* out, bool* numbered) {
  out->clear();
  *numbered = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') {
      out->push_back(pattern[i]);
      continue;
    }
    if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
      out->push_back('%');
      ++i;
      continue;
    }
    size_t j = i + 1;
    const bool zeroPad = j < pattern.size() && pattern[j] == '0';
    if (zeroPad)
      ++j;
    int width = 0;
    while (j < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[j])) &&
           width < 100) {
      width = width * 10 + (pattern[j] - '0');
      ++j;
    }
    if (j >= pattern.size() || pattern[j] != 'd' || *numbered)
      return false;
    std::string digits = std::to_string(n);
    if (int(digits.size()) < width)
      digits.insert(0, size_t(width) - digits.size(), zeroPad ? '0' : ' ');
    *out += digits;
    *numbered = true;
    i = j;
  }
  return true;
}

}  // namespace zdpreview
