#pragma once
// The COM apartment guard and text conversion of a capture host. Interface
// references are the framework's ComPtr, media types its CMediaType and
// MediaTypePtr, handles the platform's UniqueHandle.
#include <windows.h>
#include <objbase.h>
#include <strmif.h>

#include <string>

#include "baseclasses/com_ptr.h"
#include "baseclasses/media_type.h"
#include "platform/unique_handle.h"

namespace zdcap {

// Initialises COM on this thread for the guard's lifetime.
class ComApartment {
 public:
  explicit ComApartment(DWORD model);
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment();
  HRESULT Result() const { return m_result; }

 private:
  HRESULT m_result;
};

std::string Utf8FromWide(const wchar_t* text);

// "0x80070491" style text of a result code.
std::string HresultText(HRESULT hr);

}  // namespace zdcap
