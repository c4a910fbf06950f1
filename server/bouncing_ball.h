// The filter object: a source filter with exactly one output pin, the
// CBallStream that produces the test video. Adds the property page list, a
// GetState that reports that the filter cannot cue data while paused, and
// IAMFilterMiscFlags, which tells the graph that it is a source.
#pragma once

#include <dshow.h>
#include <ocidl.h>

#include "baseclasses/source.h"

class CBouncingBall : public CSource, public ISpecifyPropertyPages, public IAMFilterMiscFlags {
 public:
  // Template-table creation function: the new filter's non-delegating
  // identity with a reference count of 0 (also when construction reported a
  // failure through `result`; the caller then deletes it), or null.
  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* result);

  // Interface map: IID_ISpecifyPropertyPages, IID_IAMFilterMiscFlags, then
  // the base filter's.
  STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override;
  ZD_DECLARE_IUNKNOWN

  // Writes the state without waiting; VFW_S_CANT_CUE while paused.
  STDMETHODIMP GetState(DWORD timeoutMs, FILTER_STATE* state) override;

  // ISpecifyPropertyPages: the one about page. The caller frees the array.
  STDMETHODIMP GetPages(CAUUID* pages) override;

  // IAMFilterMiscFlags: AM_FILTER_MISC_FLAGS_IS_SOURCE.
  STDMETHODIMP_(ULONG) GetMiscFlags() override;

 private:
  CBouncingBall(IUnknown* outer, HRESULT* result);
};
