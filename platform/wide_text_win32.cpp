// UTF-8, UTF-16 and ANSI text through the system's converters.
#include <windows.h>

#include <climits>

#include "platform/wide_text.h"

bool WideFromUtf8(const std::string& text, std::wstring* out) {
  out->clear();
  if (text.empty())
    return true;
  if (text.size() > size_t(INT_MAX))
    return false;
  const int length = int(text.size());
  const int size =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
  if (size <= 0)
    return false;
  out->resize(size_t(size));
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, &(*out)[0], size) !=
      size) {
    out->clear();
    return false;
  }
  return true;
}

bool Utf8FromWide(const std::wstring& text, std::string* out) {
  out->clear();
  if (text.empty())
    return true;
  if (text.size() > size_t(INT_MAX))
    return false;
  const int length = int(text.size());
  const int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), length, nullptr,
                                       0, nullptr, nullptr);
  if (size <= 0)
    return false;
  out->resize(size_t(size));
  if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), length, &(*out)[0], size,
                          nullptr, nullptr) != size) {
    out->clear();
    return false;
  }
  return true;
}

std::string AnsiFromWide(const std::wstring& text) {
  if (text.empty() || text.size() > size_t(INT_MAX))
    return std::string();
  const int length = int(text.size());
  const int size =
      WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0)
    return std::string();
  std::string out(size_t(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), length, &out[0], size, nullptr, nullptr);
  return out;
}
