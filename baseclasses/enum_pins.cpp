#include "baseclasses/enum_pins.h"

#include <algorithm>
#include <new>

#include "baseclasses/base_filter.h"
#include "baseclasses/base_pin.h"

HRESULT CEnumPins::Create(CBaseFilter* filter, IEnumPins** out) {
  if (!out)
    return E_POINTER;
  *out = new (std::nothrow) CEnumPins(filter);
  return *out ? S_OK : E_OUTOFMEMORY;
}

CEnumPins::CEnumPins(CBaseFilter* filter) : m_filter(filter) {
  static_cast<IBaseFilter*>(m_filter)->AddRef();
  m_version = m_filter->GetPinVersion();
  m_pinCount = m_filter->GetPinCount();
}

CEnumPins::~CEnumPins() {
  static_cast<IBaseFilter*>(m_filter)->Release();
}

bool CEnumPins::InCache(CBasePin* pin) const {
  return std::find(m_cache.begin(), m_cache.end(), pin) != m_cache.end();
}

STDMETHODIMP CEnumPins::Next(ULONG count, IPin** pins, ULONG* fetched) {
  if (!pins)
    return E_POINTER;
  if (fetched)
    *fetched = 0;
  else if (count > 1)
    return E_INVALIDARG;

  if (m_version != m_filter->GetPinVersion()) {
    // The filter's pins changed: start over, but keep the cache so that
    // pins already handed out are not handed out again.
    m_version = m_filter->GetPinVersion();
    m_pinCount = m_filter->GetPinCount();
    m_position = 0;
  }

  const size_t cachedBefore = m_cache.size();
  ULONG returned = 0;
  while (returned < count && m_position < m_pinCount) {
    CBasePin* pin = m_filter->GetPin(m_position++);
    if (!pin) {
      // The pins changed under us: take back what this call handed out
      // (the caller could not know how many to release).
      for (ULONG i = 0; i < returned; ++i) {
        pins[i]->Release();
        pins[i] = nullptr;
      }
      m_cache.resize(std::min(m_cache.size(), cachedBefore));
      return VFW_E_ENUM_OUT_OF_SYNC;
    }
    if (InCache(pin))
      continue;
    IPin* face = pin;
    face->AddRef();
    pins[returned++] = face;
    try {
      m_cache.push_back(pin);
    } catch (...) {
      // Out of memory: the pin is still returned, just not remembered.
    }
  }
  if (fetched)
    *fetched = returned;
  return returned == count ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumPins::Skip(ULONG count) {
  if (m_version != m_filter->GetPinVersion())
    return VFW_E_ENUM_OUT_OF_SYNC;
  const long long remaining = static_cast<long long>(m_pinCount) - m_position;
  if (static_cast<long long>(count) > remaining)
    return S_FALSE;
  m_position += static_cast<int>(count);
  return S_OK;
}

STDMETHODIMP CEnumPins::Reset() {
  m_version = m_filter->GetPinVersion();
  m_pinCount = m_filter->GetPinCount();
  m_position = 0;
  m_cache.clear();
  return S_OK;
}

STDMETHODIMP CEnumPins::Clone(IEnumPins** out) {
  if (!out)
    return E_POINTER;
  *out = nullptr;
  if (m_version != m_filter->GetPinVersion())
    return VFW_E_ENUM_OUT_OF_SYNC;
  auto* clone = new (std::nothrow) CEnumPins(m_filter);
  if (!clone)
    return E_OUTOFMEMORY;
  clone->m_position = m_position;
  clone->m_pinCount = m_pinCount;
  clone->m_version = m_version;
  try {
    clone->m_cache = m_cache;
  } catch (...) {
    clone->Release();
    return E_OUTOFMEMORY;
  }
  *out = clone;
  return S_OK;
}
