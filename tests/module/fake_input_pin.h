// A downstream input pin written for the tests: accepts or refuses types,
// offers an allocator of its own whose granted properties the test chooses,
// and records the samples it receives.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <mutex>
#include <vector>

#include "baseclasses/com_ptr.h"
#include "baseclasses/media_type.h"

// An allocator that grants what the test tells it to; it holds no buffers.
class FakeAllocator : public IMemAllocator {
 public:
  virtual ~FakeAllocator() = default;
  long grantBuffers = -1;  // -1: grant what was asked
  long grantBytes = -1;
  ALLOCATOR_PROPERTIES requested = {};

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_refs); }
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
  STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* props) override;
  STDMETHODIMP Commit() override { return S_OK; }
  STDMETHODIMP Decommit() override { return S_OK; }
  STDMETHODIMP GetBuffer(IMediaSample**, REFERENCE_TIME*, REFERENCE_TIME*, DWORD) override {
    return VFW_E_NOT_COMMITTED;
  }
  STDMETHODIMP ReleaseBuffer(IMediaSample*) override { return S_OK; }

 private:
  volatile LONG m_refs = 1;
  ALLOCATOR_PROPERTIES m_actual = {};
};

struct ReceivedSample {
  REFERENCE_TIME start;
  REFERENCE_TIME stop;
  HRESULT timeResult;
  long length;
  long size;
  bool sync;
};

class FakeInputPin : public IPin, public IMemInputPin {
 public:
  FakeInputPin();
  virtual ~FakeInputPin();

  // Test controls.
  bool acceptTypes = true;
  ComPtr<IMemAllocator> offeredAllocator;      // null: VFW_E_NO_ALLOCATOR
  IMemAllocator* notifiedAllocator = nullptr;  // last NotifyAllocator (no reference)
  CMediaType connectionType;
  std::vector<CMediaType> offeredTypes;  // listed by EnumMediaTypes; empty: E_NOTIMPL
  bool hasRequirements = false;          // GetAllocatorRequirements answers `requirements`
  ALLOCATOR_PROPERTIES requirements = {};
  HANDLE samplesArrived = nullptr;  // set when `wanted` samples have arrived
  size_t wanted = 3;
  HRESULT answerWanted = S_OK;  // what Receive answers for the `wanted`-th sample

  std::vector<ReceivedSample> Samples();

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_refs); }
  STDMETHODIMP_(ULONG) Release() override;

  // IPin
  STDMETHODIMP Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
  STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) override;
  STDMETHODIMP Disconnect() override;
  STDMETHODIMP ConnectedTo(IPin** pin) override;
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* mt) override;
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
  STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
  STDMETHODIMP QueryId(LPWSTR* id) override;
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE*) override { return acceptTypes ? S_OK : S_FALSE; }
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;
  STDMETHODIMP QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
  STDMETHODIMP EndOfStream() override { return S_OK; }
  STDMETHODIMP BeginFlush() override { return S_OK; }
  STDMETHODIMP EndFlush() override { return S_OK; }
  STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

  // IMemInputPin
  STDMETHODIMP GetAllocator(IMemAllocator** allocator) override;
  STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;
  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP ReceiveMultiple(IMediaSample** samples, long count, long* processed) override;
  STDMETHODIMP ReceiveCanBlock() override { return S_FALSE; }

 private:
  volatile LONG m_refs = 1;
  ComPtr<IPin> m_connected;
  std::mutex m_mutex;
  std::vector<ReceivedSample> m_samples;
};
