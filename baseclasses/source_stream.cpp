#include "baseclasses/source_stream.h"

#include <cassert>
#include <cstdio>

#include "baseclasses/source.h"
#include "baseclasses/task_mem.h"

namespace {

// Decimal text of value into a buffer of `capacity` wide characters, through
// the system code page; empty when formatting fails.
void IntToWstr(int value, wchar_t* text, int capacity) {
  char narrow[16];
  const int length = std::snprintf(narrow, sizeof(narrow), "%d", value);
  text[0] = L'\0';
  if (length <= 0 || length >= static_cast<int>(sizeof(narrow)))
    return;
  const int written = MultiByteToWideChar(CP_ACP, 0, narrow, length + 1, text, capacity);
  if (written <= 0)
    text[0] = L'\0';
}

}  // namespace

CSourceStream::CSourceStream(const wchar_t* objectName, HRESULT* hr, CSource* filter,
                             const wchar_t* pinName)
    : CAMThread(nullptr),
      CBaseOutputPin(objectName, filter, filter->pStateLock(), hr, pinName),
      m_filter(filter) {
  const HRESULT added = filter->AddPin(this);
  if (hr)
    *hr = added;
}

CSourceStream::~CSourceStream() {
  // A worker still running here would outlive the pin it works on: free it
  // from a blocked GetDeliveryBuffer, stop it and wait for its end.
  if (ThreadExists()) {
    if (m_allocator)
      m_allocator->Decommit();
    Stop();
    Exit();
    Close();
  }
  m_filter->RemovePin(this);
}

DWORD CSourceStream::ThreadProc() {
  for (;;) {
    if (GetRequest() == CMD_INIT)
      break;
    Reply(static_cast<DWORD>(E_UNEXPECTED));
  }
  const HRESULT created = OnThreadCreate();
  if (FAILED(created)) {
    OnThreadDestroy();
    Reply(static_cast<DWORD>(created));
    return 1;
  }
  Reply(S_OK);

  for (bool running = true; running;) {
    switch (GetRequest()) {
      case CMD_PAUSE:
      case CMD_RUN:
        Reply(S_OK);
        DoBufferProcessingLoop();
        break;
      case CMD_STOP:
        Reply(S_OK);
        break;
      case CMD_EXIT:
        Reply(S_OK);
        running = false;
        break;
      default:
        Reply(static_cast<DWORD>(E_NOTIMPL));
        break;
    }
  }
  return FAILED(OnThreadDestroy()) ? 1 : 0;
}

HRESULT CSourceStream::OnThreadCreate() {
  return S_OK;
}

HRESULT CSourceStream::OnThreadDestroy() {
  return S_OK;
}

HRESULT CSourceStream::OnThreadStartPlay() {
  return S_OK;
}

HRESULT CSourceStream::DoBufferProcessingLoop() {
  assert(OnWorkerThread());
  OnThreadStartPlay();
  for (;;) {
    DWORD cmd = 0;
    while (!CheckRequest(&cmd)) {
      ComPtr<IMediaSample> sample;
      HRESULT hr = GetDeliveryBuffer(sample.Put(), nullptr, nullptr, 0);
      if (FAILED(hr) || !sample) {
        Sleep(1);
        continue;
      }
      hr = FillBuffer(sample.Get());
      if (hr == S_OK) {
        const HRESULT delivered = Deliver(sample.Get());
        sample.Reset();
        if (delivered != S_OK)
          return S_OK;  // downstream wants no more; wait for a command
        continue;
      }
      sample.Reset();
      DeliverEndOfStream();
      if (hr == S_FALSE)
        return S_OK;
      m_filter->NotifyEvent(EC_ERRORABORT, hr, 0);
      return hr;
    }
    switch (cmd) {
      case CMD_PAUSE:
      case CMD_RUN:
        Reply(S_OK);
        break;
      case CMD_STOP:
        return S_FALSE;  // left pending for ThreadProc to answer
      default:
        Reply(static_cast<DWORD>(E_UNEXPECTED));
        break;
    }
  }
}

HRESULT CSourceStream::GetMediaType(CMediaType* /*mt*/) {
  return E_UNEXPECTED;
}

HRESULT CSourceStream::Active() {
  CAutoLock guard(m_filter->pStateLock());
  if (m_filter->IsActive())
    return S_FALSE;
  if (!IsConnected())
    return S_OK;
  HRESULT hr = CBaseOutputPin::Active();
  if (FAILED(hr))
    return hr;
  if (!Create()) {
    CBaseOutputPin::Inactive();
    return E_FAIL;
  }
  hr = Init();
  if (FAILED(hr)) {
    // The worker has ended after OnThreadDestroy: forget it and take the
    // allocator back so that the next Pause starts afresh.
    Close();
    CBaseOutputPin::Inactive();
    return hr;
  }
  hr = Pause();
  if (FAILED(hr)) {
    CBaseOutputPin::Inactive();
    Stop();
    Exit();
    Close();
    return hr;
  }
  return hr;
}

HRESULT CSourceStream::Inactive() {
  CAutoLock guard(m_filter->pStateLock());
  if (!IsConnected())
    return S_OK;
  // Decommit first: a worker blocked waiting for a free sample is released
  // and reaches its next command check.
  HRESULT hr = CBaseOutputPin::Inactive();
  if (FAILED(hr))
    return hr;
  if (ThreadExists()) {
    hr = Stop();
    if (FAILED(hr))
      return hr;
    hr = Exit();
    if (FAILED(hr))
      return hr;
    Close();
  }
  return S_OK;
}

HRESULT CSourceStream::CheckMediaType(const CMediaType* mt) {
  if (!mt)
    return E_POINTER;
  CAutoLock guard(m_filter->pStateLock());
  CMediaType offered;
  if (FAILED(GetMediaType(&offered)))
    return E_FAIL;
  return offered == *mt ? S_OK : E_FAIL;
}

HRESULT CSourceStream::GetMediaType(int position, CMediaType* mt) {
  CAutoLock guard(m_filter->pStateLock());
  if (position < 0)
    return E_INVALIDARG;
  if (position > 0)
    return VFW_S_NO_MORE_ITEMS;
  return GetMediaType(mt);
}

STDMETHODIMP CSourceStream::QueryId(LPWSTR* id) {
  if (!id)
    return E_POINTER;
  *id = nullptr;
  const int index = m_filter->FindPinNumber(static_cast<IPin*>(this));
  if (index < 0)
    return VFW_E_NOT_FOUND;
  constexpr int kCapacity = 12;
  auto text = TaskMemPtr<wchar_t>::Alloc(kCapacity * sizeof(wchar_t));
  if (!text)
    return E_OUTOFMEMORY;
  IntToWstr(index + 1, text.Get(), kCapacity);
  *id = text.Detach();
  return S_OK;
}
