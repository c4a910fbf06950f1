#include "tools/capture/com_util.h"

#include <cstdio>

namespace zdcap {

ComApartment::ComApartment(DWORD model) : m_result(CoInitializeEx(nullptr, model)) {}

ComApartment::~ComApartment() {
  if (SUCCEEDED(m_result))
    CoUninitialize();
}

std::string Utf8FromWide(const wchar_t* text) {
  if (!text || !*text)
    return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1)
    return {};
  std::string result(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
  result.resize(static_cast<size_t>(size - 1));
  return result;
}

std::string HresultText(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

}  // namespace zdcap
