// CEnumPins: IEnumPins over a filter's pins by position. Holds a reference on
// the filter; counts its own references (no aggregation, not a live object
// of the module). Takes no lock of its own; the filter's GetPinCount/GetPin
// take the filter's lock.
#pragma once

#include <dshow.h>

#include <vector>

#include "baseclasses/single_interface_object.h"

class CBaseFilter;
class CBasePin;

class CEnumPins final : public CSingleInterfaceObject<CEnumPins, IEnumPins, IID_IEnumPins> {
 public:
  // A new enumerator (reference count 1) on filter. E_POINTER, E_OUTOFMEMORY.
  static HRESULT Create(CBaseFilter* filter, IEnumPins** out);

  // Pins already handed out are not handed out again until Reset, even
  // after a silent refresh when the filter's pins changed.
  STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumPins** out) override;

 private:
  friend class CSingleInterfaceObject<CEnumPins, IEnumPins, IID_IEnumPins>;

  explicit CEnumPins(CBaseFilter* filter);
  ~CEnumPins();
  bool InCache(CBasePin* pin) const;

  int m_position = 0;
  int m_pinCount = 0;
  CBaseFilter* m_filter;  // one reference held
  LONG m_version = 0;
  std::vector<CBasePin*> m_cache;  // pins handed out, in order
};
