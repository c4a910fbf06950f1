#include "server/bouncing_ball.h"

#include <new>

#include "pattern/device_presence.h"
#include "platform/system_clock.h"
#include "server/guids.h"
#include "stream/ball_stream.h"

CUnknown* CBouncingBall::CreateInstance(IUnknown* outer, HRESULT* result) {
  auto* filter = new (std::nothrow) CBouncingBall(outer, result);
  if (!filter && result)
    *result = E_OUTOFMEMORY;
  return filter;
}

CBouncingBall::CBouncingBall(IUnknown* outer, HRESULT* result)
    : CSource(nullptr, outer, CLSID_ZintuDobrel),
      m_generation(DevicePresence::Process().Generation()) {
  CAutoLock lock(&m_stateLock);

  // Room for the one pin first, so that a filter without memory for its
  // array reports that before it builds the pin.
  try {
    m_streams.reserve(1);
  } catch (const std::bad_alloc&) {
    if (result)
      *result = E_OUTOFMEMORY;
    return;
  }

  // The stream adds itself to the pin array as entry 0 (AddPin) and reports
  // that through its own result.
  HRESULT streamResult = result ? *result : S_OK;
  auto* stream = new (std::nothrow) CBallStream(&streamResult, this);
  if (stream && m_streams.empty()) {
    // Not added to the filter: nothing would ever delete it.
    delete stream;
    stream = nullptr;
  }
  if (result && FAILED(streamResult))
    *result = streamResult;
  if (!stream && result && SUCCEEDED(*result))
    *result = E_OUTOFMEMORY;
}

STDMETHODIMP CBouncingBall::NonDelegatingQueryInterface(REFIID iid, void** out) {
  if (!out)
    return E_POINTER;
  if (IsEqualIID(iid, IID_ISpecifyPropertyPages))
    return GetInterface(static_cast<ISpecifyPropertyPages*>(this), out);
  if (IsEqualIID(iid, IID_IAMFilterMiscFlags))
    return GetInterface(static_cast<IAMFilterMiscFlags*>(this), out);
  return CSource::NonDelegatingQueryInterface(iid, out);
}

STDMETHODIMP CBouncingBall::GetState(DWORD /*timeoutMs*/, FILTER_STATE* state) {
  if (!state)
    return E_POINTER;
  const FILTER_STATE current = m_state;
  *state = current;
  return current == State_Paused ? VFW_S_CANT_CUE : S_OK;
}

STDMETHODIMP CBouncingBall::GetPages(CAUUID* pages) {
  if (!pages)
    return E_POINTER;
  pages->cElems = 1;
  pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
  if (!pages->pElems)
    return E_OUTOFMEMORY;
  pages->pElems[0] = CLSID_ZintuDobrelProps;
  return S_OK;
}

STDMETHODIMP_(ULONG) CBouncingBall::GetMiscFlags() {
  return AM_FILTER_MISC_FLAGS_IS_SOURCE;
}

CBouncingBall::~CBouncingBall() {
  // A filter released while active: its worker, which may arm the notice,
  // ends first; then the notice's thread, which uses this filter, ends (or
  // finishes its call) before the members go.
  Stop();
  m_returnNotice.Cancel();
}

bool CBouncingBall::Removed() const {
  return DevicePresence::Process().Generation() != m_generation;
}

bool CBouncingBall::Exclusive() {
  if (m_streams.empty())
    return false;
  return static_cast<CBallStream*>(m_streams[0])->Settings().m_exclusive == 1;
}

STDMETHODIMP CBouncingBall::Pause() {
  CAutoLock lock(&m_stateLock);
  if (m_state == State_Stopped) {
    if (Removed() || !DevicePresence::Process().Present(TickCountMs()))
      return kE_DEVICE_NOT_CONNECTED;
    if (Exclusive() && !m_claim.Take())
      return kE_DEVICE_IN_USE;
  }
  const HRESULT hr = CSource::Pause();
  if (m_state == State_Stopped)
    m_claim.Release();  // the start failed: the device stays free
  return hr;
}

STDMETHODIMP CBouncingBall::Run(REFERENCE_TIME start) {
  CAutoLock lock(&m_stateLock);
  if (Removed())
    return kE_DEVICE_NOT_CONNECTED;
  return CSource::Run(start);
}

STDMETHODIMP CBouncingBall::Stop() {
  CAutoLock lock(&m_stateLock);
  const HRESULT hr = CSource::Stop();
  m_claim.Release();
  return hr;
}

void CBouncingBall::ReportRemoval(int32_t replugMs) {
  if (m_removalReported.exchange(true))
    return;
  // The filter's identity, as the event's documentation asks; no reference
  // goes with it (FreeEventParams releases none).
  NotifyEvent(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(GetOwner()), 0);
  if (replugMs > 0)
    m_returnNotice.Start(uint32_t(replugMs), &CBouncingBall::ReportReturn, this);
}

void CBouncingBall::ReportReturn(void* self) {
  auto* filter = static_cast<CBouncingBall*>(self);
  CAutoLock lock(&filter->m_stateLock);
  filter->NotifyEvent(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(filter->GetOwner()), 1);
}
