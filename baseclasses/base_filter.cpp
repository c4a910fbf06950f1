#include "baseclasses/base_filter.h"

#include <climits>
#include <cwchar>
#include <cwctype>
#include <new>

#include "baseclasses/base_pin.h"
#include "baseclasses/enum_pins.h"

namespace {

constexpr HRESULT kNotRegistered = static_cast<HRESULT>(0x80070002);

// Reads a pin Id as a decimal integer: leading white space, one optional
// sign, digits up to the first non-digit; no digits reads as 0. Values
// beyond the int range saturate.
int ParsePinId(const wchar_t* id) {
  while (*id && std::iswspace(*id))
    ++id;
  bool negative = false;
  if (*id == L'+' || *id == L'-') {
    negative = *id == L'-';
    ++id;
  }
  long long value = 0;
  for (; *id >= L'0' && *id <= L'9'; ++id) {
    if (value < static_cast<long long>(INT_MAX) + 1)
      value = value * 10 + (*id - L'0');
  }
  if (negative)
    value = -value;
  if (value > INT_MAX)
    return INT_MAX;
  if (value < INT_MIN)
    return INT_MIN;
  return static_cast<int>(value);
}

// Copies text into a fixed field of `capacity` characters, cut to fit, always
// terminated; null text gives an empty string.
void CopyName(WCHAR* field, size_t capacity, const wchar_t* text) {
  size_t length = text ? wcsnlen(text, capacity - 1) : 0;
  if (length)
    wmemcpy(field, text, length);
  field[length] = L'\0';
}

}  // namespace

CBaseFilter::CBaseFilter(const wchar_t* /*objectName*/, IUnknown* outer, CCritSec* lock,
                         REFCLSID clsid)
    : CUnknown(outer), m_clsid(clsid), m_lock(lock) {}

CBaseFilter::~CBaseFilter() = default;

STDMETHODIMP CBaseFilter::NonDelegatingQueryInterface(REFIID iid, void** out) {
  if (!out)
    return E_POINTER;
  if (IsEqualIID(iid, IID_IBaseFilter) || IsEqualIID(iid, IID_IMediaFilter) ||
      IsEqualIID(iid, IID_IPersist))
    return GetInterface(static_cast<IBaseFilter*>(this), out);
  if (IsEqualIID(iid, IID_IAMovieSetup))
    return GetInterface(static_cast<IAMovieSetup*>(this), out);
  return CUnknown::NonDelegatingQueryInterface(iid, out);
}

HRESULT CBaseFilter::StreamTime(REFERENCE_TIME* streamTime) {
  if (!streamTime)
    return E_POINTER;
  ComPtr<IReferenceClock> clock;
  {
    // A private lock, never the filter lock: the streaming thread calls this.
    CAutoLock guard(&m_clockLock);
    clock = m_clock;
  }
  if (!clock)
    return VFW_E_NO_CLOCK;
  REFERENCE_TIME now = 0;
  const HRESULT hr = clock->GetTime(&now);
  if (FAILED(hr))
    return hr;
  *streamTime = now - m_start;
  return S_OK;
}

LONG CBaseFilter::GetPinVersion() {
  return m_pinVersion;
}

const AMOVIESETUP_FILTER* CBaseFilter::GetSetupData() {
  return nullptr;
}

STDMETHODIMP CBaseFilter::GetClassID(CLSID* clsid) {
  if (!clsid)
    return E_POINTER;
  *clsid = m_clsid;
  return S_OK;
}

STDMETHODIMP CBaseFilter::Stop() {
  CAutoLock guard(m_lock);
  HRESULT result = S_OK;
  if (m_state != State_Stopped)
    result = ForEachConnectedPin(false, [](CBasePin* pin) { return pin->Inactive(); });
  m_state = State_Stopped;
  return result;
}

STDMETHODIMP CBaseFilter::Pause() {
  CAutoLock guard(m_lock);
  if (m_state == State_Stopped) {
    const HRESULT hr = ForEachConnectedPin(true, [](CBasePin* pin) { return pin->Active(); });
    if (FAILED(hr))
      return hr;
  }
  m_state = State_Paused;
  return S_OK;
}

STDMETHODIMP CBaseFilter::Run(REFERENCE_TIME start) {
  CAutoLock guard(m_lock);
  m_start = start;
  if (m_state == State_Stopped) {
    const HRESULT hr = static_cast<IBaseFilter*>(this)->Pause();
    if (FAILED(hr))
      return hr;
  }
  if (m_state != State_Running) {
    const HRESULT hr =
        ForEachConnectedPin(true, [start](CBasePin* pin) { return pin->Run(start); });
    if (FAILED(hr))
      return hr;
  }
  m_state = State_Running;
  return S_OK;
}

HRESULT CBaseFilter::ForEachConnectedPin(bool stopAtFailure,
                                         const std::function<HRESULT(CBasePin*)>& step) {
  HRESULT result = S_OK;
  const int count = GetPinCount();
  for (int i = 0; i < count; ++i) {
    CBasePin* pin = GetPin(i);
    if (!pin)
      break;
    if (!pin->IsConnected())
      continue;
    const HRESULT hr = step(pin);
    if (FAILED(hr) && SUCCEEDED(result)) {
      result = hr;
      if (stopAtFailure)
        break;
    }
  }
  return result;
}

STDMETHODIMP CBaseFilter::GetState(DWORD /*timeoutMs*/, FILTER_STATE* state) {
  if (!state)
    return E_POINTER;
  *state = m_state;
  return S_OK;
}

STDMETHODIMP CBaseFilter::SetSyncSource(IReferenceClock* clock) {
  CAutoLock guard(m_lock);
  ComPtr<IReferenceClock> held(clock);  // the new reference first
  CAutoLock clockGuard(&m_clockLock);
  m_clock = held;
  return S_OK;
}

STDMETHODIMP CBaseFilter::GetSyncSource(IReferenceClock** clock) {
  if (!clock)
    return E_POINTER;
  CAutoLock guard(m_lock);
  return m_clock.CopyTo(clock);
}

STDMETHODIMP CBaseFilter::EnumPins(IEnumPins** pins) {
  return CEnumPins::Create(this, pins);
}

STDMETHODIMP CBaseFilter::FindPin(LPCWSTR id, IPin** pin) {
  if (!pin)
    return E_POINTER;
  *pin = nullptr;
  if (!id)
    return E_POINTER;
  const int number = ParsePinId(id);
  if (number == INT_MIN)
    return VFW_E_NOT_FOUND;
  CBasePin* found = GetPin(number - 1);
  if (!found)
    return VFW_E_NOT_FOUND;
  IPin* face = found;
  face->AddRef();
  *pin = face;
  return S_OK;
}

STDMETHODIMP CBaseFilter::QueryFilterInfo(FILTER_INFO* info) {
  if (!info)
    return E_POINTER;
  CopyName(info->achName, sizeof(info->achName) / sizeof(info->achName[0]), m_name.get());
  info->pGraph = m_graph;
  if (info->pGraph)
    info->pGraph->AddRef();
  return S_OK;
}

STDMETHODIMP CBaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  CAutoLock guard(m_lock);
  m_graph = graph;
  m_sink = nullptr;
  if (graph) {
    IMediaEventSink* sink = nullptr;
    if (SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink))) &&
        sink) {
      // The graph owns the filter: holding a reference would make a cycle.
      m_sink = sink;
      sink->Release();
    }
  }
  m_name.reset();
  if (name) {
    const size_t length = wcsnlen(name, INT_MAX);
    if (length == INT_MAX)
      return E_INVALIDARG;
    m_name.reset(new (std::nothrow) wchar_t[length + 1]);
    if (!m_name)
      return E_OUTOFMEMORY;
    wmemcpy(m_name.get(), name, length + 1);
  }
  return S_OK;
}

STDMETHODIMP CBaseFilter::QueryVendorInfo(LPWSTR* /*vendorInfo*/) {
  return E_NOTIMPL;
}

namespace {

// IAMovieSetup's (un)registration through the first-version filter mapper;
// S_FALSE when the filter gives no setup data.
HRESULT SetupThroughFilterMapper(const AMOVIESETUP_FILTER* setup, BOOL doRegister) {
  if (!setup)
    return S_FALSE;
  ComPtr<IFilterMapper> mapper;
  const HRESULT hr = CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IFilterMapper, mapper.PutVoid());
  if (FAILED(hr))
    return hr;
  return AMovieSetupRegisterFilter(setup, mapper.Get(), doRegister);
}

}  // namespace

STDMETHODIMP CBaseFilter::Register() {
  return SetupThroughFilterMapper(GetSetupData(), TRUE);
}

STDMETHODIMP CBaseFilter::Unregister() {
  return SetupThroughFilterMapper(GetSetupData(), FALSE);
}

bool CBaseFilter::IsActive() {
  CAutoLock guard(m_lock);
  return m_state != State_Stopped;
}

HRESULT CBaseFilter::NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2) {
  IMediaEventSink* sink = m_sink;
  if (!sink)
    return E_NOTIMPL;
  if (code == EC_COMPLETE)
    param2 = reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this));
  return sink->Notify(code, param1, param2);
}

HRESULT AMovieSetupRegisterFilter(const AMOVIESETUP_FILTER* setup, IFilterMapper* mapper,
                                  BOOL doRegister) {
  if (!setup)
    return S_FALSE;
  if (!mapper || !setup->clsID)
    return E_POINTER;
  const CLSID& clsid = *setup->clsID;
  HRESULT hr = mapper->UnregisterFilter(clsid);
  if (doRegister) {
    hr = mapper->RegisterFilter(clsid, setup->strName, setup->dwMerit);
    for (UINT p = 0; SUCCEEDED(hr) && p < setup->nPins && setup->lpPin; ++p) {
      const AMOVIESETUP_PIN& pin = setup->lpPin[p];
      hr = mapper->RegisterPin(clsid, pin.strName, pin.bRendered, pin.bOutput, pin.bZero, pin.bMany,
                               pin.clsConnectsToFilter ? *pin.clsConnectsToFilter : GUID_NULL,
                               pin.strConnectsToPin);
      for (UINT t = 0; SUCCEEDED(hr) && t < pin.nMediaTypes && pin.lpMediaType; ++t) {
        const AMOVIESETUP_MEDIATYPE& type = pin.lpMediaType[t];
        hr = mapper->RegisterPinType(clsid, pin.strName,
                                     type.clsMajorType ? *type.clsMajorType : GUID_NULL,
                                     type.clsMinorType ? *type.clsMinorType : GUID_NULL);
      }
    }
  }
  return hr == kNotRegistered ? S_OK : hr;
}
