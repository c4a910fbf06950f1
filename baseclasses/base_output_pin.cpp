#include "baseclasses/base_output_pin.h"

CBaseOutputPin::CBaseOutputPin(const wchar_t* objectName, CBaseFilter* filter, CCritSec* lock,
                               HRESULT* hr, const wchar_t* name)
    : CBasePin(objectName, filter, lock, hr, name, PINDIR_OUTPUT) {}

HRESULT CBaseOutputPin::Active() {
  if (!m_allocator)
    return VFW_E_NO_ALLOCATOR;
  return m_allocator->Commit();
}

HRESULT CBaseOutputPin::Inactive() {
  if (!m_allocator)
    return VFW_E_NO_ALLOCATOR;
  return m_allocator->Decommit();
}

HRESULT CBaseOutputPin::CheckConnect(IPin* peer) {
  const HRESULT hr = CBasePin::CheckConnect(peer);
  if (FAILED(hr))
    return hr;
  return peer->QueryInterface(IID_IMemInputPin, m_inputPin.PutVoid());
}

HRESULT CBaseOutputPin::BreakConnect() {
  if (m_allocator) {
    // Whatever the peer does with it, the allocator is decommitted.
    const HRESULT hr = m_allocator->Decommit();
    if (FAILED(hr))
      return hr;
    m_allocator.Reset();
  }
  m_inputPin.Reset();
  return S_OK;
}

HRESULT CBaseOutputPin::CompleteConnect(IPin* /*peer*/) {
  return DecideAllocator(m_inputPin.Get(), m_allocator.Put());
}

HRESULT CBaseOutputPin::DecideAllocator(IMemInputPin* inputPin, IMemAllocator** allocator) {
  if (!allocator)
    return E_POINTER;
  *allocator = nullptr;
  if (!inputPin)
    return E_POINTER;
  ALLOCATOR_PROPERTIES request = {};
  inputPin->GetAllocatorRequirements(&request);  // a peer without requirements is fine
  if (request.cbAlign == 0)
    request.cbAlign = 1;

  // First choice: the downstream pin's allocator.
  ComPtr<IMemAllocator> chosen;
  HRESULT hr = inputPin->GetAllocator(chosen.Put());
  if (SUCCEEDED(hr))
    hr = AgreeAllocator(inputPin, chosen.Get(), &request);
  if (SUCCEEDED(hr)) {
    *allocator = chosen.Detach();
    return S_OK;
  }

  // Second choice: our own standard memory allocator.
  hr = InitAllocator(chosen.Put());
  if (SUCCEEDED(hr))
    hr = AgreeAllocator(inputPin, chosen.Get(), &request);
  if (FAILED(hr))
    return hr;
  *allocator = chosen.Detach();
  return S_OK;
}

HRESULT CBaseOutputPin::AgreeAllocator(IMemInputPin* inputPin, IMemAllocator* allocator,
                                       ALLOCATOR_PROPERTIES* request) {
  if (!allocator)
    return E_POINTER;
  const HRESULT hr = DecideBufferSize(allocator, request);
  if (FAILED(hr))
    return hr;
  return inputPin->NotifyAllocator(allocator, FALSE);
}

HRESULT CBaseOutputPin::GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                          REFERENCE_TIME* stop, DWORD flags) {
  if (!m_allocator)
    return E_NOINTERFACE;
  return m_allocator->GetBuffer(sample, start, stop, flags);
}

HRESULT CBaseOutputPin::Deliver(IMediaSample* sample) {
  if (!m_inputPin)
    return VFW_E_NOT_CONNECTED;
  return m_inputPin->Receive(sample);
}

HRESULT CBaseOutputPin::InitAllocator(IMemAllocator** allocator) {
  return CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                          reinterpret_cast<void**>(allocator));
}

HRESULT CBaseOutputPin::DeliverEndOfStream() {
  if (!m_connected)
    return VFW_E_NOT_CONNECTED;
  return m_connected->EndOfStream();
}

HRESULT CBaseOutputPin::DeliverBeginFlush() {
  if (!m_connected)
    return VFW_E_NOT_CONNECTED;
  return m_connected->BeginFlush();
}

HRESULT CBaseOutputPin::DeliverEndFlush() {
  if (!m_connected)
    return VFW_E_NOT_CONNECTED;
  return m_connected->EndFlush();
}

HRESULT CBaseOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  if (!m_connected)
    return VFW_E_NOT_CONNECTED;
  return m_connected->NewSegment(start, stop, rate);
}
