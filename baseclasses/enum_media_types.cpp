#include "baseclasses/enum_media_types.h"

#include <climits>
#include <new>

#include "baseclasses/base_pin.h"

HRESULT CEnumMediaTypes::Create(CBasePin* pin, IEnumMediaTypes** out) {
  if (!out)
    return E_POINTER;
  *out = new (std::nothrow) CEnumMediaTypes(pin);
  return *out ? S_OK : E_OUTOFMEMORY;
}

CEnumMediaTypes::CEnumMediaTypes(CBasePin* pin) : m_pin(pin) {
  static_cast<IPin*>(m_pin)->AddRef();
  m_version = m_pin->GetMediaTypeVersion();
}

CEnumMediaTypes::~CEnumMediaTypes() {
  static_cast<IPin*>(m_pin)->Release();
}

STDMETHODIMP CEnumMediaTypes::Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) {
  if (!types)
    return E_POINTER;
  if (m_version != m_pin->GetMediaTypeVersion())
    return VFW_E_ENUM_OUT_OF_SYNC;
  if (fetched)
    *fetched = 0;
  else if (count > 1)
    return E_INVALIDARG;

  ULONG returned = 0;
  while (returned < count && m_position < INT_MAX) {
    CMediaType type;
    const HRESULT hr = m_pin->GetMediaType(m_position++, &type);
    if (hr != S_OK)
      break;
    auto* out = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!out)
      break;
    type.MoveTo(out);
    types[returned++] = out;
  }
  if (fetched)
    *fetched = returned;
  return returned == count ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumMediaTypes::Skip(ULONG count) {
  if (count == 0)
    return S_OK;
  if (m_version != m_pin->GetMediaTypeVersion())
    return VFW_E_ENUM_OUT_OF_SYNC;
  const long long target = static_cast<long long>(m_position) + count;
  m_position = target > INT_MAX ? INT_MAX : static_cast<int>(target);
  CMediaType type;
  return m_pin->GetMediaType(m_position - 1, &type) == S_OK ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumMediaTypes::Reset() {
  m_position = 0;
  m_version = m_pin->GetMediaTypeVersion();
  return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Clone(IEnumMediaTypes** out) {
  if (!out)
    return E_POINTER;
  *out = nullptr;
  if (m_version != m_pin->GetMediaTypeVersion())
    return VFW_E_ENUM_OUT_OF_SYNC;
  auto* clone = new (std::nothrow) CEnumMediaTypes(m_pin);
  if (!clone)
    return E_OUTOFMEMORY;
  clone->m_position = m_position;
  clone->m_version = m_version;
  *out = clone;
  return S_OK;
}
