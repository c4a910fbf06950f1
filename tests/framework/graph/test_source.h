// A small source filter on the framework, as a filter author would write one:
// a CSource with one CSourceStream whose filler writes a counter byte pattern
// and stamps consecutive times, offering one fixed RGB32 type. Its script can
// make the stream start fail, the filler fail, or the stream end after N
// frames. The pin says it is a capture pin, so capture graph building finds it.
#pragma once

#include "baseclasses/source.h"
#include "baseclasses/source_stream.h"

#include <atomic>

struct SourceScript {
  LONG width = 64;
  LONG height = 48;
  REFERENCE_TIME frameTime = 333333;  // 30 frames per second
  LONG buffers = 3;
  HRESULT threadCreateResult = S_OK;  // what OnThreadCreate answers
  int failAtFrame = -1;               // FillBuffer fails at this frame...
  HRESULT failResult = E_FAIL;        // ...with this result
  int endAfterFrames = -1;            // FillBuffer answers S_FALSE from this frame on
};

// The byte the filler writes at offset i of frame n.
inline BYTE PatternByte(int frame, size_t offset) {
  return static_cast<BYTE>((frame + offset) & 0xFF);
}

// {7D3E1F20-52A4-4B8C-8E61-0C2F9A4B1E77}
extern const CLSID kClsidTestSource;

class CTestStream : public CSourceStream {
 public:
  CTestStream(HRESULT* hr, CSource* filter);

  STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override;

  HRESULT FillBuffer(IMediaSample* sample) override;
  HRESULT OnThreadCreate() override;
  HRESULT OnThreadDestroy() override;
  // The framework's defaults offer this one type and accept only it.
  using CSourceStream::GetMediaType;
  HRESULT GetMediaType(CMediaType* mt) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

  // The one type this pin offers.
  void BuildType(CMediaType* mt) const;
  LONG ImageSize() const { return m_script.width * m_script.height * 4; }

  SourceScript m_script;
  std::atomic<int> m_frames{0};
  std::atomic<int> m_threadCreates{0};
  std::atomic<int> m_threadDestroys{0};
  std::atomic<DWORD> m_workerThreadId{0};
  std::atomic<int> m_streamTimeOk{0};  // fills during which StreamTime succeeded
  ALLOCATOR_PROPERTIES m_granted = {};

 private:
  // IKsPropertySet face: the pin category, for capture graph building.
  class Category : public IKsPropertySet {
   public:
    explicit Category(CTestStream* pin) : m_pin(pin) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
      return m_pin->QueryInterface(iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return m_pin->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return m_pin->Release(); }
    STDMETHODIMP Set(REFGUID, DWORD, LPVOID, DWORD, LPVOID, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Get(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID data, DWORD size,
                     DWORD* returned) override;
    STDMETHODIMP QuerySupported(REFGUID set, DWORD id, DWORD* support) override;

   private:
    CTestStream* m_pin;
  };
  Category m_category{this};
};

class CTestSource : public CSource {
 public:
  // outer: the controlling unknown when aggregated, else null.
  CTestSource(IUnknown* outer, HRESULT* hr, const SourceScript& script = {});

  CTestStream* Stream() { return m_stream; }
  // The non-delegating face, for an aggregating outer object.
  INonDelegatingUnknown* Inner() { return this; }

 private:
  CTestStream* m_stream = nullptr;  // owned by CSource's pin array
};

// Creates a non-aggregated test source with one reference (null on failure).
CTestSource* CreateTestSource(const SourceScript& script = {});
