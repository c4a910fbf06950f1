// UTF-8, UTF-16 and ANSI text through the system's converters.
#include <windows.h>

#include <climits>

#include "platform/wide_text.h"

namespace {

// Runs a system conversion twice, once to size the result and once to fill
// it; false (with *out emptied) when the input is too long or rejected.
template <typename To, typename From, typename Convert>
bool ConvertText(const From& text, To* out, Convert convert) {
  out->clear();
  if (text.empty())
    return true;
  if (text.size() > size_t(INT_MAX))
    return false;
  const int length = int(text.size());
  const int size = convert(text.data(), length, nullptr, 0);
  if (size <= 0)
    return false;
  out->resize(size_t(size));
  if (convert(text.data(), length, &(*out)[0], size) != size) {
    out->clear();
    return false;
  }
  return true;
}

}  // namespace

bool WideFromUtf8(const std::string& text, std::wstring* out) {
  return ConvertText(text, out, [](const char* in, int length, WCHAR* buffer, int size) {
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, in, length, buffer, size);
  });
}

bool Utf8FromWide(const std::wstring& text, std::string* out) {
  return ConvertText(text, out, [](const WCHAR* in, int length, char* buffer, int size) {
    return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, in, length, buffer, size, nullptr,
                               nullptr);
  });
}

std::string AnsiFromWide(const std::wstring& text) {
  std::string out;
  ConvertText(text, &out, [](const WCHAR* in, int length, char* buffer, int size) {
    return WideCharToMultiByte(CP_ACP, 0, in, length, buffer, size, nullptr, nullptr);
  });
  return out;
}
