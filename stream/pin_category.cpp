// IKsPropertySet of the output pin: it reports itself as a capture pin.
#include <dshow.h>

#include "stream/ball_stream.h"

namespace {

HRESULT CheckPinCategoryProperty(REFGUID propSet, DWORD propId) {
  if (!IsEqualGUID(propSet, AMPROPSETID_Pin))
    return E_PROP_SET_UNSUPPORTED;
  if (propId != AMPROPERTY_PIN_CATEGORY)
    return E_PROP_ID_UNSUPPORTED;
  return S_OK;
}

}  // namespace

STDMETHODIMP CBallStream::Set(REFGUID /*propSet*/, DWORD /*propId*/, void* /*instanceData*/,
                              DWORD /*instanceLength*/, void* /*propData*/, DWORD /*dataLength*/) {
  return E_NOTIMPL;
}

STDMETHODIMP CBallStream::Get(REFGUID propSet, DWORD propId, void* /*instanceData*/,
                              DWORD /*instanceLength*/, void* propData, DWORD dataLength,
                              DWORD* returned) {
  const HRESULT hr = CheckPinCategoryProperty(propSet, propId);
  if (FAILED(hr))
    return hr;
  if (!propData && !returned)
    return E_POINTER;
  if (returned)
    *returned = sizeof(GUID);
  if (!propData)
    return S_OK;  // a size query
  if (dataLength < sizeof(GUID))
    return E_UNEXPECTED;
  *static_cast<GUID*>(propData) = PIN_CATEGORY_CAPTURE;
  return S_OK;
}

STDMETHODIMP CBallStream::QuerySupported(REFGUID propSet, DWORD propId, DWORD* support) {
  const HRESULT hr = CheckPinCategoryProperty(propSet, propId);
  if (FAILED(hr))
    return hr;
  if (support)
    *support = KSPROPERTY_SUPPORT_GET;
  return S_OK;
}
