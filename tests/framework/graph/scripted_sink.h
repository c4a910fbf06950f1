// A downstream test filter with one input pin whose answers a test scripts:
// which allocator it offers (none, or one that grants less than asked), which
// media types it takes, what Receive answers, whether Receive blocks or keeps
// the samples; and which records every sample and stream call it is given.
// Built only on the platform's public DirectShow headers, so it judges the
// framework from the outside, as any downstream filter would.
#pragma once

#include "tests/framework/graph/ref_count.h"

#include <dshow.h>

#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

// A media type held by value (format block included).
struct TypeRecord {
  GUID major = GUID_NULL;
  GUID subtype = GUID_NULL;
  GUID formatType = GUID_NULL;
  BOOL fixedSize = TRUE;
  ULONG sampleSize = 0;
  std::vector<uint8_t> format;

  static TypeRecord From(const AM_MEDIA_TYPE& mt);
  // A task-allocated copy, for IEnumMediaTypes::Next; null when out of memory.
  AM_MEDIA_TYPE* NewMediaType() const;
};

struct SinkScript {
  // GetAllocator: offer an allocator of our own, or VFW_E_NO_ALLOCATOR so
  // that the upstream pin must use one of its own.
  bool offerAllocator = true;
  // The offered allocator grants this many bytes less per buffer than asked.
  LONG grantShortfall = 0;
  // ReceiveConnection refuses every type with VFW_E_TYPE_NOT_ACCEPTED.
  bool refuseTypes = false;
  // Types the pin offers from EnumMediaTypes (first tried by a connecting
  // output pin that proposes no type).
  std::vector<TypeRecord> offeredTypes;
  // Receive answers S_OK for the first receiveOkCount samples, then
  // receiveAfter.
  int receiveOkCount = INT_MAX;
  HRESULT receiveAfter = S_FALSE;
  // Receive keeps a reference on every sample until ReleaseHeldSamples (the
  // upstream allocator then runs out of free buffers).
  bool holdSamples = false;
  // Receive blocks until the filter is stopped, a flush begins or
  // UnblockReceive is called.
  bool blockReceive = false;
  // Copy up to this many bytes of the first kKeptSamples samples.
  size_t keptBytes = 4096;
};

struct ReceivedSample {
  HRESULT timeResult = E_FAIL;  // IMediaSample::GetTime result
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  bool syncPoint = false;
  long actualLength = 0;
  long size = 0;
  std::vector<uint8_t> data;  // the first keptBytes bytes (first kKeptSamples only)
};

struct SinkCounters {
  int endOfStream = 0;
  int beginFlush = 0;
  int endFlush = 0;
  int newSegment = 0;
  int receiveConnection = 0;
  int notifyAllocator = 0;
  int receives = 0;
};

class ScriptedSinkFilter;

// Creates the filter (reference count 1) with the given script.
ComPtr<ScriptedSinkFilter> CreateScriptedSink(const SinkScript& script);

class ScriptedSinkFilter : public IBaseFilter {
 public:
  static constexpr size_t kKeptSamples = 64;

  explicit ScriptedSinkFilter(const SinkScript& script);
  virtual ~ScriptedSinkFilter();

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  // IPersist
  STDMETHODIMP GetClassID(CLSID* clsid) override;
  // IMediaFilter
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;
  STDMETHODIMP GetState(DWORD timeout, FILTER_STATE* state) override;
  STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
  STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;
  // IBaseFilter
  STDMETHODIMP EnumPins(IEnumPins** pins) override;
  STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
  STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
  STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  STDMETHODIMP QueryVendorInfo(LPWSTR* info) override;

  // The input pin (no reference added).
  IPin* InputPin();

  // Test side.
  std::vector<ReceivedSample> Samples() const;
  SinkCounters Counters() const;
  // The type of the last ReceiveConnection.
  TypeRecord ReceivedType() const;
  // The allocator handed to NotifyAllocator, with a reference.
  ComPtr<IMemAllocator> NotifiedAllocator() const;
  // The allocator this pin offers from GetAllocator (null when none).
  IMemAllocator* OfferedAllocator() const;
  // Waits until at least n samples have been received; false on time-out.
  bool WaitForSamples(int n, DWORD timeoutMs) const;
  // Waits until EndOfStream has been received; false on time-out.
  bool WaitForEndOfStream(DWORD timeoutMs) const;
  // True while a Receive call is waiting in blockReceive mode.
  bool ReceiveIsBlocked() const;
  void UnblockReceive();
  void ReleaseHeldSamples();
  void ChangeScript(const SinkScript& script);

 private:
  class Pin;
  class PinEnum;
  class TypeEnum;
  class Allocator;
  friend class Pin;
  friend class PinEnum;

  std::atomic<LONG> m_refCount{1};
  mutable std::mutex m_mutex;  // guards everything below
  mutable std::condition_variable m_changed;
  SinkScript m_script;
  FILTER_STATE m_state = State_Stopped;
  IReferenceClock* m_clock = nullptr;  // one reference held
  IFilterGraph* m_graph = nullptr;     // no reference, as the graph expects
  bool m_unblock = false;
  bool m_blocked = false;
  std::vector<ReceivedSample> m_samples;
  std::vector<IMediaSample*> m_held;  // one reference each
  SinkCounters m_counters;
  IPin* m_peer = nullptr;               // one reference held
  IMemAllocator* m_notified = nullptr;  // one reference held
  IMemAllocator* m_offered = nullptr;   // one reference held
  TypeRecord m_receivedType;
  Pin* m_pin = nullptr;
};
