// CEnumMediaTypes: IEnumMediaTypes over a pin's GetMediaType list by
// position. Holds a reference on the pin (that is, on its filter); counts its
// own references. Takes no lock of its own; the pin's GetMediaType takes the
// pin's locks.
#pragma once

#include <dshow.h>

#include "baseclasses/single_interface_object.h"

class CBasePin;

class CEnumMediaTypes final
    : public CSingleInterfaceObject<CEnumMediaTypes, IEnumMediaTypes, IID_IEnumMediaTypes> {
 public:
  // A new enumerator (reference count 1) on pin. E_POINTER, E_OUTOFMEMORY.
  static HRESULT Create(CBasePin* pin, IEnumMediaTypes** out);

  // Task-allocated types; the caller frees each with DeleteMediaType.
  STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumMediaTypes** out) override;

 private:
  friend class CSingleInterfaceObject<CEnumMediaTypes, IEnumMediaTypes, IID_IEnumMediaTypes>;

  explicit CEnumMediaTypes(CBasePin* pin);
  ~CEnumMediaTypes();

  int m_position = 0;
  CBasePin* m_pin;  // one reference held (the filter's)
  LONG m_version = 0;
};
