#include "tools/capture/com_util.h"

#include <oleauto.h>

#include <cstdio>

namespace zdcap {

void FreeMediaTypeFields(AM_MEDIA_TYPE& type) {
  if (type.cbFormat != 0 || type.pbFormat) {
    CoTaskMemFree(type.pbFormat);
    type.cbFormat = 0;
    type.pbFormat = nullptr;
  }
  if (type.pUnk) {
    type.pUnk->Release();
    type.pUnk = nullptr;
  }
}

void MediaTypePtr::Reset() {
  if (m_type) {
    FreeMediaTypeFields(*m_type);
    CoTaskMemFree(m_type);
    m_type = nullptr;
  }
}

BstrValue::~BstrValue() {
  SysFreeString(m_text);
}

BSTR* BstrValue::Put() {
  SysFreeString(m_text);
  m_text = nullptr;
  return &m_text;
}

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

std::wstring WideFromUtf8(const std::string& text) {
  if (text.empty())
    return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  if (size <= 1)
    return {};
  std::wstring result(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, result.data(), size);
  result.resize(static_cast<size_t>(size - 1));
  return result;
}

std::string HresultText(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

}  // namespace zdcap
