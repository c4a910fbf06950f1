// CSource: a source filter whose pins are CSourceStreams. It holds the pin
// array and the one state lock that serialises the filter and all its pins
// (the filter lock of CBaseFilter and every stream's pin lock).
//
// Streams add themselves from their constructor (AddPin) and remove
// themselves from their destructor (RemovePin); the filter deletes its
// remaining streams when it is destroyed. The destructor does not stop the
// filter.
#pragma once

#include <vector>

#include "baseclasses/base_filter.h"

class CSourceStream;

class CSource : public CBaseFilter {
 public:
  // objectName is not used; outer is the controlling unknown or null.
  CSource(const wchar_t* objectName, IUnknown* outer, REFCLSID clsid);
  ~CSource() override;

  // Under the state lock.
  int GetPinCount() override;
  // Under the state lock: the stream's pin part for 0 <= n < count, else
  // null. No reference added.
  CBasePin* GetPin(int n) override;

  // Under the state lock. E_OUTOFMEMORY leaves the array unchanged.
  HRESULT AddPin(CSourceStream* stream);
  // No lock (called from the stream's destructor). S_FALSE when not found.
  HRESULT RemovePin(CSourceStream* stream);
  // Index of the stream whose IPin face is pin, or -1. No lock.
  int FindPinNumber(IPin* pin);

  CCritSec* pStateLock() { return &m_stateLock; }

 protected:
  // The streams in pin order; the filter deletes those still here when it goes.
  std::vector<CSourceStream*> m_streams;
  CCritSec m_stateLock;
};
