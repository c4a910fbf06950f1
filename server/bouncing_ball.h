// The filter object: a source filter with exactly one output pin, the
// CBallStream that produces the test video. Adds the property page list, a
// GetState that reports that the filter cannot cue data while paused, and
// IAMFilterMiscFlags, which tells the graph that it is a source.
//
// Device events: the filter belongs to the process's one device
// (pattern/device_presence.h). Once a stream has unplugged it, this filter
// fails as a removed device's does: Pause and Run answer
// kE_DEVICE_NOT_CONNECTED, the stream delivers nothing more, and the graph
// hears EC_DEVICE_LOST (0, removed), then with a replug time EC_DEVICE_LOST
// (1, available again) when it has passed; a new filter streams again. With
// "exclusive" on, Pause from stopped claims the device for the session
// (platform/device_claim.h) and fails with kE_DEVICE_IN_USE while another
// holds it; Stop gives the claim up.
#pragma once

#include <dshow.h>
#include <ocidl.h>

#include <atomic>
#include <cstdint>

#include "baseclasses/source.h"
#include "platform/device_claim.h"
#include "platform/result_codes.h"

// HRESULT_FROM_WIN32(ERROR_GEN_FAILURE): what Pause and Run answer while
// another stream holds an exclusive device (docs/faults.md says why this one).
constexpr HResultCode kE_DEVICE_IN_USE = static_cast<HResultCode>(0x8007001Fu);

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
  // A removed device's filter cannot leave the stopped state; an exclusive
  // one only with the claim (state lock).
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;
  // Returns at once in every state; gives the claim up (state lock).
  STDMETHODIMP Stop() override;

  // The device was unplugged after this filter was made (any thread).
  bool Removed() const;
  // Worker thread: the stream found the device gone. The first call sends
  // EC_DEVICE_LOST (0) and, when replugMs > 0, arms the notice of its return.
  void ReportRemoval(int32_t replugMs);

  // ISpecifyPropertyPages: the one about page. The caller frees the array.
  STDMETHODIMP GetPages(CAUUID* pages) override;

  // IAMFilterMiscFlags: AM_FILTER_MISC_FLAGS_IS_SOURCE.
  STDMETHODIMP_(ULONG) GetMiscFlags() override;

 private:
  CBouncingBall(IUnknown* outer, HRESULT* result);
  ~CBouncingBall() override;

  // The DelayedCall's function: EC_DEVICE_LOST (1) to the graph the filter
  // is in, under the state lock, under which JoinFilterGraph changes it.
  static void ReportReturn(void* self);
  bool Exclusive();

  const uint32_t m_generation;  // the device's generation at the filter's making
  std::atomic<bool> m_removalReported{false};
  DeviceClaim m_claim;         // held from Pause to Stop with "exclusive"
  DelayedCall m_returnNotice;  // EC_DEVICE_LOST (1) when the replug is due
};
