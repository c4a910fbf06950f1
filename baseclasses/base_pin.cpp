#include "baseclasses/base_pin.h"

#include <cassert>
#include <climits>
#include <cwchar>
#include <new>

#include "baseclasses/base_filter.h"
#include "baseclasses/enum_media_types.h"

namespace {

// Rejections that say nothing specific become VFW_E_TYPE_NOT_ACCEPTED.
bool IsGenericRejection(HRESULT hr) {
  return hr == E_FAIL || hr == E_INVALIDARG || hr == VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT MapTypeCheck(HRESULT hr) {
  if (SUCCEEDED(hr) || hr == E_FAIL || hr == E_INVALIDARG)
    return VFW_E_TYPE_NOT_ACCEPTED;
  return hr;
}

}  // namespace

CBasePin::CBasePin(const wchar_t* /*objectName*/, CBaseFilter* filter, CCritSec* lock,
                   HRESULT* /*hr*/, const wchar_t* name, PIN_DIRECTION direction)
    : CUnknown(nullptr), m_direction(direction), m_lock(lock), m_filter(filter) {
  if (name) {
    const size_t length = wcsnlen(name, INT_MAX);
    if (length < INT_MAX) {
      m_name.reset(new (std::nothrow) wchar_t[length + 1]);
      if (m_name)
        wmemcpy(m_name.get(), name, length + 1);
    }
  }
}

// The held peer, input pin and allocator references are released by their
// owners; the pin is not disconnected from its peer.
CBasePin::~CBasePin() = default;

STDMETHODIMP CBasePin::NonDelegatingQueryInterface(REFIID iid, void** out) {
  if (!out)
    return E_POINTER;
  if (IsEqualIID(iid, IID_IPin))
    return GetInterface(static_cast<IPin*>(this), out);
  if (IsEqualIID(iid, IID_IQualityControl))
    return GetInterface(static_cast<IQualityControl*>(this), out);
  return CUnknown::NonDelegatingQueryInterface(iid, out);
}

STDMETHODIMP_(ULONG) CBasePin::NonDelegatingAddRef() {
  return static_cast<IBaseFilter*>(m_filter)->AddRef();
}

STDMETHODIMP_(ULONG) CBasePin::NonDelegatingRelease() {
  return static_cast<IBaseFilter*>(m_filter)->Release();
}

LONG CBasePin::GetMediaTypeVersion() {
  return m_typeVersion;
}

HRESULT CBasePin::Active() {
  return S_OK;
}

HRESULT CBasePin::Inactive() {
  return S_OK;
}

HRESULT CBasePin::Run(REFERENCE_TIME /*start*/) {
  return S_OK;
}

HRESULT CBasePin::SetMediaType(const CMediaType* mt) {
  return m_mt.Set(*mt);
}

HRESULT CBasePin::CheckConnect(IPin* peer) {
  PIN_DIRECTION direction = m_direction;
  const HRESULT hr = peer->QueryDirection(&direction);
  // A peer that cannot tell its direction is not connected to.
  if (FAILED(hr))
    return hr;
  if (direction == m_direction)
    return VFW_E_INVALID_DIRECTION;
  return S_OK;
}

HRESULT CBasePin::BreakConnect() {
  return S_OK;
}

HRESULT CBasePin::CompleteConnect(IPin* /*peer*/) {
  return S_OK;
}

HRESULT CBasePin::GetMediaType(int /*position*/, CMediaType* /*mt*/) {
  return E_UNEXPECTED;
}

bool CBasePin::IsStopped() const {
  return m_filter->IsStopped();
}

STDMETHODIMP CBasePin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* mt) {
  CAutoLock guard(m_lock);
  if (!receivePin)
    return E_POINTER;
  if (m_connected)
    return VFW_E_ALREADY_CONNECTED;
  if (!IsStopped())
    return VFW_E_NOT_STOPPED;
  const HRESULT hr = AgreeMediaType(receivePin, mt ? AsMediaType(mt) : nullptr);
  if (FAILED(hr)) {
    BreakConnect();
    return hr;
  }
  return S_OK;
}

HRESULT CBasePin::AgreeMediaType(IPin* receivePin, const CMediaType* mt) {
  if (mt && !mt->IsPartiallySpecified())
    return AttemptConnection(receivePin, mt);

  HRESULT failure = VFW_E_NO_ACCEPTABLE_TYPES;
  for (int pass = 0; pass < 2; ++pass) {
    ComPtr<IEnumMediaTypes> types;
    const HRESULT got = pass == 0 ? receivePin->EnumMediaTypes(types.Put())
                                  : static_cast<IPin*>(this)->EnumMediaTypes(types.Put());
    if (FAILED(got) || !types)
      continue;
    const HRESULT hr = TryMediaTypes(receivePin, mt, types.Get());
    types.Reset();
    if (SUCCEEDED(hr))
      return S_OK;
    if (!IsGenericRejection(hr))
      failure = hr;
  }
  return failure;
}

HRESULT CBasePin::TryMediaTypes(IPin* receivePin, const CMediaType* mt, IEnumMediaTypes* types) {
  HRESULT hr = types->Reset();
  if (FAILED(hr))
    return hr;
  HRESULT remembered = S_OK;
  for (;;) {
    AM_MEDIA_TYPE* raw = nullptr;
    ULONG fetched = 0;
    hr = types->Next(1, &raw, &fetched);
    MediaTypePtr offered(raw);
    if (hr != S_OK)
      return FAILED(remembered) ? remembered : VFW_E_NO_ACCEPTABLE_TYPES;
    hr = VFW_E_NO_ACCEPTABLE_TYPES;
    if (offered && (!mt || AsMediaType(offered.get())->MatchesPartial(mt))) {
      hr = AttemptConnection(receivePin, AsMediaType(offered.get()));
      if (FAILED(hr) && SUCCEEDED(remembered) && !IsGenericRejection(hr))
        remembered = hr;
    }
    // Any success means the connection stands: trying further types on a
    // connected pin would connect it twice.
    if (SUCCEEDED(hr))
      return S_OK;
  }
}

HRESULT CBasePin::AttemptConnection(IPin* receivePin, const CMediaType* mt) {
  assert(m_lock->IsOwnedByCurrentThread());
  HRESULT hr = CheckConnect(receivePin);
  if (FAILED(hr)) {
    BreakConnect();
    return hr;
  }
  hr = CheckMediaType(mt);
  if (hr == S_OK) {
    // Connected from here on, before the peer is asked.
    m_connected = ComPtr<IPin>(receivePin);
    hr = SetMediaType(mt);
    if (SUCCEEDED(hr)) {
      hr = receivePin->ReceiveConnection(static_cast<IPin*>(this), mt);
      if (SUCCEEDED(hr)) {
        hr = CompleteConnect(receivePin);
        if (SUCCEEDED(hr))
          return hr;
        receivePin->Disconnect();
      }
    }
  } else {
    hr = MapTypeCheck(hr);
  }
  BreakConnect();
  m_connected.Reset();
  return hr;
}

STDMETHODIMP CBasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) {
  CAutoLock guard(m_lock);
  if (!connector || !mt)
    return E_POINTER;
  if (m_connected)
    return VFW_E_ALREADY_CONNECTED;
  if (!IsStopped())
    return VFW_E_NOT_STOPPED;
  HRESULT hr = CheckConnect(connector);
  if (FAILED(hr)) {
    BreakConnect();
    return hr;
  }
  const CMediaType* type = AsMediaType(mt);
  hr = CheckMediaType(type);
  if (hr != S_OK) {
    BreakConnect();
    return MapTypeCheck(hr);
  }
  m_connected = ComPtr<IPin>(connector);
  hr = SetMediaType(type);
  if (SUCCEEDED(hr))
    hr = CompleteConnect(connector);
  if (SUCCEEDED(hr))
    return S_OK;
  m_connected.Reset();
  BreakConnect();
  return hr;
}

STDMETHODIMP CBasePin::Disconnect() {
  CAutoLock guard(m_lock);
  if (!IsStopped())
    return VFW_E_NOT_STOPPED;
  if (!m_connected)
    return S_FALSE;
  const HRESULT hr = BreakConnect();
  if (FAILED(hr))
    return hr;
  m_connected.Reset();
  return S_OK;
}

STDMETHODIMP CBasePin::ConnectedTo(IPin** pin) {
  if (!pin)
    return E_POINTER;
  m_connected.CopyTo(pin);
  return *pin ? S_OK : VFW_E_NOT_CONNECTED;
}

STDMETHODIMP CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* mt) {
  if (!mt)
    return E_POINTER;
  CAutoLock guard(m_lock);
  if (!m_connected) {
    InitMediaType(mt);
    return VFW_E_NOT_CONNECTED;
  }
  // A copy without its format block is reported, not passed off as the type.
  return FAILED(CopyMediaType(mt, &m_mt)) ? E_OUTOFMEMORY : S_OK;
}

STDMETHODIMP CBasePin::QueryPinInfo(PIN_INFO* info) {
  if (!info)
    return E_POINTER;
  info->pFilter = static_cast<IBaseFilter*>(m_filter);
  info->pFilter->AddRef();
  const size_t capacity = sizeof(info->achName) / sizeof(info->achName[0]);
  const size_t length = m_name ? wcsnlen(m_name.get(), capacity - 1) : 0;
  if (length)
    wmemcpy(info->achName, m_name.get(), length);
  info->achName[length] = L'\0';
  info->dir = m_direction;
  return S_OK;
}

STDMETHODIMP CBasePin::QueryDirection(PIN_DIRECTION* direction) {
  if (!direction)
    return E_POINTER;
  *direction = m_direction;
  return S_OK;
}

STDMETHODIMP CBasePin::QueryId(LPWSTR* id) {
  if (!id)
    return E_POINTER;
  *id = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CBasePin::QueryAccept(const AM_MEDIA_TYPE* mt) {
  if (!mt)
    return E_POINTER;
  const HRESULT hr = CheckMediaType(AsMediaType(mt));
  return FAILED(hr) ? S_FALSE : hr;
}

STDMETHODIMP CBasePin::EnumMediaTypes(IEnumMediaTypes** types) {
  return CEnumMediaTypes::Create(this, types);
}

STDMETHODIMP CBasePin::QueryInternalConnections(IPin** /*pins*/, ULONG* /*count*/) {
  return E_NOTIMPL;
}

STDMETHODIMP CBasePin::EndOfStream() {
  return E_UNEXPECTED;
}

STDMETHODIMP CBasePin::BeginFlush() {
  return E_UNEXPECTED;
}

STDMETHODIMP CBasePin::EndFlush() {
  return E_UNEXPECTED;
}

STDMETHODIMP CBasePin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  m_segmentStart = start;
  m_segmentStop = stop;
  m_segmentRate = rate;
  return S_OK;
}

STDMETHODIMP CBasePin::Notify(IBaseFilter* /*sender*/, Quality /*quality*/) {
  return E_NOTIMPL;
}

STDMETHODIMP CBasePin::SetSink(IQualityControl* sink) {
  CAutoLock guard(m_lock);
  m_qualitySink = sink;
  return S_OK;
}
