// A small source filter on the framework for the unit tests, and a stand-in
// downstream input pin that accepts every type, offers no allocator and
// counts what it receives.
#pragma once

#include <vector>

#include "baseclasses/source.h"
#include "baseclasses/source_stream.h"

// {6F1B2C44-7A51-4E0B-9C2D-1E5F3A7B8C90}
inline const CLSID kClsidTestSource = {
    0x6f1b2c44, 0x7a51, 0x4e0b, {0x9c, 0x2d, 0x1e, 0x5f, 0x3a, 0x7b, 0x8c, 0x90}};

// What the streams did, kept outside the filter so it outlives it.
struct StreamLog {
  volatile LONG threadCreates = 0;
  volatile LONG threadDestroys = 0;
  volatile LONG fills = 0;
  HRESULT createResult = S_OK;  // returned by OnThreadCreate
  HRESULT fillResult = S_OK;    // returned by FillBuffer
  LONG fillsBeforeSignal = 3;   // fillSignal is set after this many fills
  HANDLE fillSignal = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::vector<GUID> subtypes = {MEDIASUBTYPE_RGB24};  // the offered types, in order
  ~StreamLog() { CloseHandle(fillSignal); }
};

// The video type the test stream offers at a position.
inline void MakeTestVideoType(CMediaType* mt, const GUID& subtype) {
  mt->SetType(&MEDIATYPE_Video);
  mt->SetSubtype(&subtype);
  mt->SetFormatType(&FORMAT_VideoInfo);
  mt->SetTemporalCompression(FALSE);
  VIDEOINFOHEADER vih = {};
  vih.AvgTimePerFrame = 333333;
  vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih.bmiHeader.biWidth = 64;
  vih.bmiHeader.biHeight = 48;
  vih.bmiHeader.biPlanes = 1;
  vih.bmiHeader.biBitCount = 24;
  vih.bmiHeader.biSizeImage = GetBitmapSize(&vih.bmiHeader);
  mt->SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof(vih));
  mt->SetSampleSize(vih.bmiHeader.biSizeImage);
}

class CTestStream : public CSourceStream {
 public:
  CTestStream(HRESULT* hr, CSource* filter, const wchar_t* name, StreamLog* log)
      : CSourceStream(L"test stream", hr, filter, name), m_log(log) {}

  HRESULT FillBuffer(IMediaSample* /*sample*/) override {
    if (InterlockedIncrement(&m_log->fills) == m_log->fillsBeforeSignal)
      SetEvent(m_log->fillSignal);
    Sleep(1);
    return m_log->fillResult;
  }
  HRESULT OnThreadCreate() override {
    InterlockedIncrement(&m_log->threadCreates);
    return m_log->createResult;
  }
  HRESULT OnThreadDestroy() override {
    InterlockedIncrement(&m_log->threadDestroys);
    return S_OK;
  }
  using CSourceStream::GetMediaType;
  HRESULT GetMediaType(CMediaType* mt) override {
    MakeTestVideoType(mt, m_log->subtypes.front());
    return S_OK;
  }
  HRESULT GetMediaType(int position, CMediaType* mt) override {
    if (position < 0)
      return E_INVALIDARG;
    if (position >= static_cast<int>(m_log->subtypes.size()))
      return VFW_S_NO_MORE_ITEMS;
    MakeTestVideoType(mt, m_log->subtypes[position]);
    return S_OK;
  }
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    request->cBuffers = 2;
    request->cbBuffer = 64 * 48 * 3;
    ALLOCATOR_PROPERTIES actual = {};
    return allocator->SetProperties(request, &actual);
  }

 private:
  StreamLog* m_log;
};

class CTestSource : public CSource {
 public:
  CTestSource(IUnknown* outer, int pins, StreamLog* log)
      : CSource(L"test source", outer, kClsidTestSource) {
    for (int i = 0; i < pins; ++i) {
      HRESULT hr = S_OK;
      new CTestStream(&hr, this, L"Test output", log);
    }
  }
  // A new filter holding one reference, as a class factory would hand it out.
  static IBaseFilter* Create(int pins, StreamLog* log) {
    auto* filter = new CTestSource(nullptr, pins, log);
    IBaseFilter* face = filter;
    face->AddRef();
    return face;
  }
};

// Downstream input pin: no allocator of its own, every type accepted.
class FakeInputPin : public IPin, public IMemInputPin {
 public:
  volatile LONG refs = 1;
  volatile LONG received = 0;
  volatile LONG endOfStreams = 0;
  HRESULT receiveResult = S_OK;
  bool holdSamples = false;  // keep every sample: the allocator runs dry
  std::vector<IMediaSample*> held;
  IPin* connector = nullptr;

  ~FakeInputPin() {
    ReleaseHeld();
    if (connector)
      connector->Release();
  }
  void ReleaseHeld() {
    for (IMediaSample* sample : held)
      sample->Release();
    held.clear();
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPin))
      *out = static_cast<IPin*>(this);
    else if (IsEqualIID(iid, IID_IMemInputPin))
      *out = static_cast<IMemInputPin*>(this);
    else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs)); }
  STDMETHODIMP_(ULONG) Release() override {
    return static_cast<ULONG>(InterlockedDecrement(&refs));
  }

  // IPin
  STDMETHODIMP Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
  STDMETHODIMP ReceiveConnection(IPin* pin, const AM_MEDIA_TYPE*) override {
    if (connector)
      return VFW_E_ALREADY_CONNECTED;
    connector = pin;
    connector->AddRef();
    return S_OK;
  }
  STDMETHODIMP Disconnect() override {
    if (!connector)
      return S_FALSE;
    connector->Release();
    connector = nullptr;
    return S_OK;
  }
  STDMETHODIMP ConnectedTo(IPin** pin) override {
    *pin = connector;
    if (connector)
      connector->AddRef();
    return connector ? S_OK : VFW_E_NOT_CONNECTED;
  }
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override {
    info->pFilter = nullptr;
    info->achName[0] = L'\0';
    info->dir = PINDIR_INPUT;
    return S_OK;
  }
  STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override {
    *direction = PINDIR_INPUT;
    return S_OK;
  }
  STDMETHODIMP QueryId(LPWSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE*) override { return S_OK; }
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes**) override { return E_NOTIMPL; }
  STDMETHODIMP QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
  STDMETHODIMP EndOfStream() override {
    InterlockedIncrement(&endOfStreams);
    return S_OK;
  }
  STDMETHODIMP BeginFlush() override { return S_OK; }
  STDMETHODIMP EndFlush() override { return S_OK; }
  STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

  // IMemInputPin
  STDMETHODIMP GetAllocator(IMemAllocator** allocator) override {
    *allocator = nullptr;
    return VFW_E_NO_ALLOCATOR;
  }
  STDMETHODIMP NotifyAllocator(IMemAllocator*, BOOL) override { return S_OK; }
  STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) override { return E_NOTIMPL; }
  STDMETHODIMP Receive(IMediaSample* sample) override {
    if (holdSamples) {
      sample->AddRef();
      held.push_back(sample);
    }
    InterlockedIncrement(&received);
    return receiveResult;
  }
  STDMETHODIMP ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) override {
    *processed = 0;
    for (LONG i = 0; i < count; ++i, ++*processed)
      Receive(samples[i]);
    return receiveResult;
  }
  STDMETHODIMP ReceiveCanBlock() override { return S_FALSE; }
};

// COM initialised for the test's thread.
class ComScope {
 public:
  ComScope() : m_hr(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(m_hr))
      CoUninitialize();
  }

 private:
  HRESULT m_hr;
};
