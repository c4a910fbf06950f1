// CBaseFilter: the generic filter object. IBaseFilter (with IMediaFilter and
// IPersist) and IAMovieSetup over the COM identity; the stopped/paused/running
// state machine, the reference clock, the filter's name and its graph.
//
// Locking: m_lock (supplied by the derived class; for a CSource it is the
// state lock shared with all pins) guards the state, the clock, the graph and
// the name. Stop/Pause/Run hold it for their whole duration, including the
// pins' Active/Inactive (which start and stop streaming threads and wait for
// them), so a streaming thread must never wait for it. GetState, StreamTime,
// NotifyEvent, QueryFilterInfo and GetClassID take no lock.
#pragma once

#include <dshow.h>

#include <functional>
#include <memory>

#include "baseclasses/com_ptr.h"
#include "baseclasses/crit_sec.h"
#include "server/unknown.h"

class CBasePin;

// Filter description for the filter mapper (registration).
using AMOVIESETUP_MEDIATYPE = REGPINTYPES;
using AMOVIESETUP_PIN = REGFILTERPINS;
struct AMOVIESETUP_FILTER {
  const CLSID* clsID;
  const WCHAR* strName;
  DWORD dwMerit;
  UINT nPins;
  const AMOVIESETUP_PIN* lpPin;
};

class CBaseFilter : public CUnknown, public IBaseFilter, public IAMovieSetup {
 public:
  // Interface map: IID_IBaseFilter, IID_IMediaFilter, IID_IPersist give the
  // IBaseFilter face; IID_IAMovieSetup the IAMovieSetup face; else CUnknown.
  STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override;
  ZD_DECLARE_IUNKNOWN

  // objectName is not used. lock must outlive the filter; it need not be
  // initialised yet when the constructor runs.
  CBaseFilter(const wchar_t* objectName, IUnknown* outer, CCritSec* lock, REFCLSID clsid);
  ~CBaseFilter() override;

  // --- Overridables (after the identity slots) ---
  // Clock time minus the start time. No clock: VFW_E_NO_CLOCK. Does not
  // take the filter lock (safe on the streaming thread).
  virtual HRESULT StreamTime(REFERENCE_TIME* streamTime);
  // Compared by CEnumPins; 1, never changed here.
  virtual LONG GetPinVersion();
  virtual int GetPinCount() = 0;
  // Pin n or null; no reference added.
  virtual CBasePin* GetPin(int n) = 0;
  // Description for IAMovieSetup; null (the default) means none.
  virtual const AMOVIESETUP_FILTER* GetSetupData();

  // --- IPersist ---
  STDMETHODIMP GetClassID(CLSID* clsid) override;
  // --- IMediaFilter (filter lock) ---
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;
  // No lock; answers at once whatever the timeout.
  STDMETHODIMP GetState(DWORD timeoutMs, FILTER_STATE* state) override;
  STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
  STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;
  // --- IBaseFilter ---
  STDMETHODIMP EnumPins(IEnumPins** pins) override;
  // Id "1" is the first pin, "2" the second, ...
  STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
  STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
  STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  STDMETHODIMP QueryVendorInfo(LPWSTR* vendorInfo) override;
  // --- IAMovieSetup: through GetSetupData; S_FALSE when there is none ---
  STDMETHODIMP Register() override;
  STDMETHODIMP Unregister() override;

  // Paused or running (takes the filter lock).
  bool IsActive();
  // No lock: a plain read of the state.
  bool IsStopped() const { return m_state == State_Stopped; }
  // Sends an event to the graph's sink; E_NOTIMPL when not in a graph. For
  // EC_COMPLETE the second parameter becomes this filter. No lock.
  HRESULT NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2);

 protected:
  FILTER_STATE m_state = State_Stopped;
  ComPtr<IReferenceClock> m_clock;  // written under m_lock and m_clockLock
  REFERENCE_TIME m_start = 0;
  CLSID m_clsid;
  CCritSec* m_lock;
  std::unique_ptr<wchar_t[]> m_name;  // null when the filter has no name
  IFilterGraph* m_graph = nullptr;    // no reference held
  IMediaEventSink* m_sink = nullptr;  // no reference held
  LONG m_pinVersion = 1;
  // Guards m_clock only, briefly: StreamTime runs on the streaming thread,
  // which must never wait for m_lock. Always taken after m_lock.
  CCritSec m_clockLock;

 private:
  // Under m_lock: step for every connected pin in pin order (up to the first
  // index without a pin). The first failure is the result; the walk ends
  // there when stopAtFailure, else it goes on through the other pins.
  HRESULT ForEachConnectedPin(bool stopAtFailure, const std::function<HRESULT(CBasePin*)>& step);
};

// Registers (or, with doRegister false, only unregisters) a filter through the
// first-version filter mapper: the old entry is always removed first, then the
// filter, each pin and each pin's media types are written. The mapper's
// "not registered" answer (0x80070002) counts as success. Null setup: S_FALSE.
HRESULT AMovieSetupRegisterFilter(const AMOVIESETUP_FILTER* setup, IFilterMapper* mapper,
                                  BOOL doRegister);
