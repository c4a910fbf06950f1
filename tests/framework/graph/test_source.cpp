#include "tests/framework/graph/test_source.h"

#include <uuids.h>

#include <algorithm>
#include <cstring>

const CLSID kClsidTestSource = {
    0x7d3e1f20, 0x52a4, 0x4b8c, {0x8e, 0x61, 0x0c, 0x2f, 0x9a, 0x4b, 0x1e, 0x77}};

CTestStream::CTestStream(HRESULT* hr, CSource* filter)
    : CSourceStream(L"test stream", hr, filter, L"Test out") {}

STDMETHODIMP CTestStream::NonDelegatingQueryInterface(REFIID iid, void** out) {
  if (iid == IID_IKsPropertySet)
    return GetInterface(static_cast<IKsPropertySet*>(&m_category), out);
  return CSourceStream::NonDelegatingQueryInterface(iid, out);
}

void CTestStream::BuildType(CMediaType* mt) const {
  VIDEOINFOHEADER vih = {};
  vih.AvgTimePerFrame = m_script.frameTime;
  vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih.bmiHeader.biWidth = m_script.width;
  vih.bmiHeader.biHeight = m_script.height;
  vih.bmiHeader.biPlanes = 1;
  vih.bmiHeader.biBitCount = 32;
  vih.bmiHeader.biCompression = BI_RGB;
  vih.bmiHeader.biSizeImage = static_cast<DWORD>(ImageSize());
  mt->SetType(&MEDIATYPE_Video);
  mt->SetSubtype(&MEDIASUBTYPE_RGB32);
  mt->SetFormatType(&FORMAT_VideoInfo);
  mt->SetTemporalCompression(FALSE);
  mt->SetSampleSize(static_cast<ULONG>(ImageSize()));
  mt->SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof(vih));
}

HRESULT CTestStream::GetMediaType(CMediaType* mt) {
  if (!mt)
    return E_POINTER;
  BuildType(mt);
  return S_OK;
}

HRESULT CTestStream::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  if (!allocator || !request)
    return E_POINTER;
  request->cBuffers = m_script.buffers;
  request->cbBuffer = ImageSize();
  ALLOCATOR_PROPERTIES actual = {};
  const HRESULT hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr))
    return hr;
  if (actual.cbBuffer < request->cbBuffer)
    return E_FAIL;
  m_granted = actual;
  return S_OK;
}

HRESULT CTestStream::OnThreadCreate() {
  ++m_threadCreates;
  m_workerThreadId = GetCurrentThreadId();
  m_frames = 0;
  return m_script.threadCreateResult;
}

HRESULT CTestStream::OnThreadDestroy() {
  ++m_threadDestroys;
  return S_OK;
}

HRESULT CTestStream::FillBuffer(IMediaSample* sample) {
  const int n = m_frames++;
  if (n == m_script.failAtFrame)
    return m_script.failResult;
  if (m_script.endAfterFrames >= 0 && n >= m_script.endAfterFrames)
    return S_FALSE;

  REFERENCE_TIME now = 0;
  if (SUCCEEDED(static_cast<CBaseFilter*>(GetFilter())->StreamTime(&now)))
    ++m_streamTimeOk;

  BYTE* data = nullptr;
  HRESULT hr = sample->GetPointer(&data);
  if (FAILED(hr))
    return hr;
  const long length = std::min<long>(sample->GetSize(), ImageSize());
  for (long i = 0; i < length; ++i)
    data[i] = PatternByte(n, static_cast<size_t>(i));
  REFERENCE_TIME start = n * m_script.frameTime;
  REFERENCE_TIME stop = start + m_script.frameTime;
  sample->SetTime(&start, &stop);
  sample->SetSyncPoint(TRUE);
  sample->SetActualDataLength(length);
  return S_OK;
}

STDMETHODIMP CTestStream::Category::Get(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID data,
                                        DWORD size, DWORD* returned) {
  if (set != AMPROPSETID_Pin)
    return E_PROP_SET_UNSUPPORTED;
  if (id != AMPROPERTY_PIN_CATEGORY)
    return E_PROP_ID_UNSUPPORTED;
  if (!data && !returned)
    return E_POINTER;
  if (returned)
    *returned = sizeof(GUID);
  if (!data)
    return S_OK;
  if (size < sizeof(GUID))
    return E_UNEXPECTED;
  *static_cast<GUID*>(data) = PIN_CATEGORY_CAPTURE;
  return S_OK;
}

STDMETHODIMP CTestStream::Category::QuerySupported(REFGUID set, DWORD id, DWORD* support) {
  if (set != AMPROPSETID_Pin)
    return E_PROP_SET_UNSUPPORTED;
  if (id != AMPROPERTY_PIN_CATEGORY)
    return E_PROP_ID_UNSUPPORTED;
  if (support)
    *support = KSPROPERTY_SUPPORT_GET;
  return S_OK;
}

CTestSource::CTestSource(IUnknown* outer, HRESULT* hr, const SourceScript& script)
    : CSource(L"test source", outer, kClsidTestSource) {
  CAutoLock lock(pStateLock());
  m_stream = new (std::nothrow) CTestStream(hr, this);
  if (!m_stream) {
    *hr = E_OUTOFMEMORY;
    return;
  }
  m_stream->m_script = script;
}

CTestSource* CreateTestSource(const SourceScript& script) {
  HRESULT hr = S_OK;
  auto* source = new (std::nothrow) CTestSource(nullptr, &hr, script);
  if (!source)
    return nullptr;
  source->NonDelegatingAddRef();
  if (FAILED(hr)) {
    source->NonDelegatingRelease();
    return nullptr;
  }
  return source;
}
