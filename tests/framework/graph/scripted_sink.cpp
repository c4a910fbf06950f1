#include "tests/framework/graph/scripted_sink.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

#include "baseclasses/single_interface_object.h"

namespace {

const wchar_t kPinName[] = L"In";
const wchar_t kPinId[] = L"In";
// {5C0E2E8A-6B61-4D8E-9A10-2F5F3B6C7D01}: the test sink's class id.
const CLSID kSinkClassId = {
    0x5c0e2e8a, 0x6b61, 0x4d8e, {0x9a, 0x10, 0x2f, 0x5f, 0x3b, 0x6c, 0x7d, 0x01}};

using Lock = std::lock_guard<std::mutex>;

HRESULT CopyText(const wchar_t* text, LPWSTR* out) {
  if (!out)
    return E_POINTER;
  const size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
  *out = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (!*out)
    return E_OUTOFMEMORY;
  std::memcpy(*out, text, bytes);
  return S_OK;
}

template <typename T>
void ReleaseAndClear(T*& p) {
  if (T* old = std::exchange(p, nullptr))
    old->Release();
}

}  // namespace

TypeRecord TypeRecord::From(const AM_MEDIA_TYPE& mt) {
  TypeRecord r;
  r.major = mt.majortype;
  r.subtype = mt.subtype;
  r.formatType = mt.formattype;
  r.fixedSize = mt.bFixedSizeSamples;
  r.sampleSize = mt.lSampleSize;
  if (mt.cbFormat && mt.pbFormat)
    r.format.assign(mt.pbFormat, mt.pbFormat + mt.cbFormat);
  return r;
}

AM_MEDIA_TYPE* TypeRecord::NewMediaType() const {
  auto* mt = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (!mt)
    return nullptr;
  std::memset(mt, 0, sizeof(*mt));
  mt->majortype = major;
  mt->subtype = subtype;
  mt->formattype = formatType;
  mt->bFixedSizeSamples = fixedSize;
  mt->lSampleSize = sampleSize;
  if (!format.empty()) {
    mt->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(format.size()));
    if (!mt->pbFormat) {
      CoTaskMemFree(mt);
      return nullptr;
    }
    std::memcpy(mt->pbFormat, format.data(), format.size());
    mt->cbFormat = static_cast<ULONG>(format.size());
  }
  return mt;
}

// An allocator that passes everything to the platform's standard memory
// allocator but grants fewer bytes per buffer than asked.
class ScriptedSinkFilter::Allocator final
    : public CSingleInterfaceObject<ScriptedSinkFilter::Allocator, IMemAllocator,
                                    IID_IMemAllocator> {
 public:
  Allocator(IMemAllocator* inner, LONG shortfall) : m_inner(inner), m_shortfall(shortfall) {}

  STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override {
    if (!request)
      return E_POINTER;
    ALLOCATOR_PROPERTIES less = *request;
    less.cbBuffer = std::max<LONG>(1, less.cbBuffer - m_shortfall);
    return m_inner->SetProperties(&less, actual);
  }
  STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* props) override {
    return m_inner->GetProperties(props);
  }
  STDMETHODIMP Commit() override { return m_inner->Commit(); }
  STDMETHODIMP Decommit() override { return m_inner->Decommit(); }
  STDMETHODIMP GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                         DWORD flags) override {
    return m_inner->GetBuffer(sample, start, stop, flags);
  }
  STDMETHODIMP ReleaseBuffer(IMediaSample* sample) override {
    return m_inner->ReleaseBuffer(sample);
  }

 private:
  friend CSingleInterfaceObject;
  ~Allocator() = default;
  ComPtr<IMemAllocator> m_inner;
  LONG m_shortfall;
};

// The sink's one-pin enumerator.
class ScriptedSinkFilter::PinEnum final
    : public CSingleInterfaceObject<ScriptedSinkFilter::PinEnum, IEnumPins, IID_IEnumPins> {
 public:
  PinEnum(ScriptedSinkFilter* filter, ULONG position) : m_filter(filter), m_position(position) {}

  STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override {
    if (!pins)
      return E_POINTER;
    if (!fetched && count > 1)
      return E_INVALIDARG;
    ULONG n = 0;
    while (n < count && m_position < 1) {
      pins[n] = m_filter->InputPin();
      pins[n]->AddRef();
      ++n;
      ++m_position;
    }
    if (fetched)
      *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    if (m_position + count > 1)
      return S_FALSE;
    m_position += count;
    return S_OK;
  }
  STDMETHODIMP Reset() override {
    m_position = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumPins** out) override {
    if (!out)
      return E_POINTER;
    *out = new (std::nothrow) PinEnum(m_filter.Get(), m_position);
    return *out ? S_OK : E_OUTOFMEMORY;
  }

 private:
  friend CSingleInterfaceObject;
  ~PinEnum() = default;
  ComPtr<ScriptedSinkFilter> m_filter;
  ULONG m_position;
};

// Enumerates the script's offered types.
class ScriptedSinkFilter::TypeEnum final
    : public CSingleInterfaceObject<ScriptedSinkFilter::TypeEnum, IEnumMediaTypes,
                                    IID_IEnumMediaTypes> {
 public:
  TypeEnum(std::vector<TypeRecord> types, size_t position)
      : m_types(std::move(types)), m_position(position) {}

  STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override {
    if (!types)
      return E_POINTER;
    if (!fetched && count > 1)
      return E_INVALIDARG;
    ULONG n = 0;
    while (n < count && m_position < m_types.size()) {
      types[n] = m_types[m_position].NewMediaType();
      if (!types[n])
        break;
      ++n;
      ++m_position;
    }
    if (fetched)
      *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    m_position += count;
    return m_position <= m_types.size() ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    m_position = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumMediaTypes** out) override {
    if (!out)
      return E_POINTER;
    *out = new (std::nothrow) TypeEnum(m_types, m_position);
    return *out ? S_OK : E_OUTOFMEMORY;
  }

 private:
  friend CSingleInterfaceObject;
  ~TypeEnum() = default;
  std::vector<TypeRecord> m_types;
  size_t m_position;
};

// The input pin. Lives as long as its filter: its counting goes to the filter.
class ScriptedSinkFilter::Pin final : public IPin, public IMemInputPin {
 public:
  explicit Pin(ScriptedSinkFilter* filter) : m_filter(filter) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out)
      return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IPin) {
      *out = static_cast<IPin*>(this);
    } else if (iid == IID_IMemInputPin) {
      *out = static_cast<IMemInputPin*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return m_filter->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return m_filter->Release(); }

  // IPin
  STDMETHODIMP Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
  STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) override {
    if (!connector || !mt)
      return E_POINTER;
    Lock lock(m_filter->m_mutex);
    ++m_filter->m_counters.receiveConnection;
    if (m_filter->m_peer)
      return VFW_E_ALREADY_CONNECTED;
    if (m_filter->m_state != State_Stopped)
      return VFW_E_NOT_STOPPED;
    if (m_filter->m_script.refuseTypes)
      return VFW_E_TYPE_NOT_ACCEPTED;
    m_filter->m_receivedType = TypeRecord::From(*mt);
    m_filter->m_peer = connector;
    connector->AddRef();
    return S_OK;
  }
  STDMETHODIMP Disconnect() override {
    Lock lock(m_filter->m_mutex);
    if (m_filter->m_state != State_Stopped)
      return VFW_E_NOT_STOPPED;
    if (!m_filter->m_peer)
      return S_FALSE;
    ReleaseAndClear(m_filter->m_peer);
    ReleaseAndClear(m_filter->m_notified);
    return S_OK;
  }
  STDMETHODIMP ConnectedTo(IPin** pin) override {
    if (!pin)
      return E_POINTER;
    Lock lock(m_filter->m_mutex);
    *pin = m_filter->m_peer;
    if (!*pin)
      return VFW_E_NOT_CONNECTED;
    (*pin)->AddRef();
    return S_OK;
  }
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* mt) override {
    if (!mt)
      return E_POINTER;
    Lock lock(m_filter->m_mutex);
    std::memset(mt, 0, sizeof(*mt));
    if (!m_filter->m_peer)
      return VFW_E_NOT_CONNECTED;
    AM_MEDIA_TYPE* copy = m_filter->m_receivedType.NewMediaType();
    if (!copy)
      return E_OUTOFMEMORY;
    *mt = *copy;  // the format block passes to the caller
    CoTaskMemFree(copy);
    return S_OK;
  }
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override {
    if (!info)
      return E_POINTER;
    info->pFilter = m_filter;
    m_filter->AddRef();
    info->dir = PINDIR_INPUT;
    wcscpy(info->achName, kPinName);
    return S_OK;
  }
  STDMETHODIMP QueryDirection(PIN_DIRECTION* dir) override {
    if (!dir)
      return E_POINTER;
    *dir = PINDIR_INPUT;
    return S_OK;
  }
  STDMETHODIMP QueryId(LPWSTR* id) override { return CopyText(kPinId, id); }
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* mt) override {
    if (!mt)
      return E_POINTER;
    Lock lock(m_filter->m_mutex);
    return m_filter->m_script.refuseTypes ? S_FALSE : S_OK;
  }
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** out) override {
    if (!out)
      return E_POINTER;
    std::vector<TypeRecord> types;
    {
      Lock lock(m_filter->m_mutex);
      types = m_filter->m_script.offeredTypes;
    }
    *out = new (std::nothrow) TypeEnum(std::move(types), 0);
    return *out ? S_OK : E_OUTOFMEMORY;
  }
  STDMETHODIMP QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
  STDMETHODIMP EndOfStream() override {
    Lock lock(m_filter->m_mutex);
    ++m_filter->m_counters.endOfStream;
    m_filter->m_changed.notify_all();
    return S_OK;
  }
  STDMETHODIMP BeginFlush() override {
    Lock lock(m_filter->m_mutex);
    ++m_filter->m_counters.beginFlush;
    m_filter->m_unblock = true;
    m_filter->m_changed.notify_all();
    return S_OK;
  }
  STDMETHODIMP EndFlush() override {
    Lock lock(m_filter->m_mutex);
    ++m_filter->m_counters.endFlush;
    return S_OK;
  }
  STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override {
    Lock lock(m_filter->m_mutex);
    ++m_filter->m_counters.newSegment;
    return S_OK;
  }

  // IMemInputPin
  STDMETHODIMP GetAllocator(IMemAllocator** out) override {
    if (!out)
      return E_POINTER;
    *out = nullptr;
    Lock lock(m_filter->m_mutex);
    if (!m_filter->m_script.offerAllocator)
      return VFW_E_NO_ALLOCATOR;
    if (!m_filter->m_offered) {
      ComPtr<IMemAllocator> inner;
      const HRESULT hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_IMemAllocator, inner.PutVoid());
      if (FAILED(hr))
        return hr;
      m_filter->m_offered =
          new (std::nothrow) Allocator(inner.Get(), m_filter->m_script.grantShortfall);
      if (!m_filter->m_offered)
        return E_OUTOFMEMORY;
    }
    *out = m_filter->m_offered;
    (*out)->AddRef();
    return S_OK;
  }
  STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL) override {
    if (!allocator)
      return E_POINTER;
    Lock lock(m_filter->m_mutex);
    ++m_filter->m_counters.notifyAllocator;
    allocator->AddRef();
    ReleaseAndClear(m_filter->m_notified);
    m_filter->m_notified = allocator;
    return S_OK;
  }
  STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) override { return E_NOTIMPL; }
  STDMETHODIMP Receive(IMediaSample* sample) override {
    if (!sample)
      return E_POINTER;
    std::unique_lock<std::mutex> lock(m_filter->m_mutex);
    ScriptedSinkFilter& f = *m_filter;
    const int index = f.m_counters.receives++;
    if (f.m_samples.size() < kKeptSamples) {
      ReceivedSample r;
      r.timeResult = sample->GetTime(&r.start, &r.stop);
      r.syncPoint = sample->IsSyncPoint() == S_OK;
      r.actualLength = sample->GetActualDataLength();
      r.size = sample->GetSize();
      BYTE* data = nullptr;
      if (SUCCEEDED(sample->GetPointer(&data)) && data && r.actualLength > 0) {
        const size_t n =
            std::min<size_t>(f.m_script.keptBytes, static_cast<size_t>(r.actualLength));
        r.data.assign(data, data + n);
      }
      f.m_samples.push_back(std::move(r));
    }
    if (f.m_script.holdSamples) {
      sample->AddRef();
      f.m_held.push_back(sample);
    }
    f.m_changed.notify_all();
    if (f.m_script.blockReceive) {
      f.m_blocked = true;
      f.m_changed.notify_all();
      f.m_changed.wait(lock, [&f] { return f.m_unblock; });
      f.m_blocked = false;
    }
    return index < f.m_script.receiveOkCount ? S_OK : f.m_script.receiveAfter;
  }
  STDMETHODIMP ReceiveMultiple(IMediaSample** samples, long count, long* processed) override {
    if (!samples || !processed)
      return E_POINTER;
    *processed = 0;
    HRESULT hr = S_OK;
    while (*processed < count && hr == S_OK) {
      hr = Receive(samples[*processed]);
      ++*processed;
    }
    return hr;
  }
  STDMETHODIMP ReceiveCanBlock() override { return S_OK; }

 private:
  ScriptedSinkFilter* m_filter;
};

ComPtr<ScriptedSinkFilter> CreateScriptedSink(const SinkScript& script) {
  ComPtr<ScriptedSinkFilter> sink;
  sink.Attach(new ScriptedSinkFilter(script));
  return sink;
}

ScriptedSinkFilter::ScriptedSinkFilter(const SinkScript& script)
    : m_script(script), m_pin(new Pin(this)) {}

ScriptedSinkFilter::~ScriptedSinkFilter() {
  ReleaseHeldSamples();
  ReleaseAndClear(m_peer);
  ReleaseAndClear(m_notified);
  ReleaseAndClear(m_offered);
  ReleaseAndClear(m_clock);
  delete m_pin;
}

STDMETHODIMP ScriptedSinkFilter::QueryInterface(REFIID iid, void** out) {
  if (!out)
    return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IPersist || iid == IID_IMediaFilter ||
      iid == IID_IBaseFilter) {
    *out = static_cast<IBaseFilter*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) ScriptedSinkFilter::AddRef() {
  return ++m_refCount;
}

STDMETHODIMP_(ULONG) ScriptedSinkFilter::Release() {
  const ULONG n = --m_refCount;
  if (n == 0)
    delete this;
  return n;
}

STDMETHODIMP ScriptedSinkFilter::GetClassID(CLSID* clsid) {
  if (!clsid)
    return E_POINTER;
  *clsid = kSinkClassId;
  return S_OK;
}

STDMETHODIMP ScriptedSinkFilter::Stop() {
  Lock lock(m_mutex);
  m_state = State_Stopped;
  m_unblock = true;  // a blocked Receive returns
  m_changed.notify_all();
  return S_OK;
}

STDMETHODIMP ScriptedSinkFilter::Pause() {
  Lock lock(m_mutex);
  if (m_state == State_Stopped)
    m_unblock = false;
  m_state = State_Paused;
  return S_OK;
}

STDMETHODIMP ScriptedSinkFilter::Run(REFERENCE_TIME) {
  Lock lock(m_mutex);
  if (m_state == State_Stopped)
    m_unblock = false;
  m_state = State_Running;
  return S_OK;
}

STDMETHODIMP ScriptedSinkFilter::GetState(DWORD, FILTER_STATE* state) {
  if (!state)
    return E_POINTER;
  Lock lock(m_mutex);
  *state = m_state;
  return S_OK;
}

STDMETHODIMP ScriptedSinkFilter::SetSyncSource(IReferenceClock* clock) {
  Lock lock(m_mutex);
  if (clock)
    clock->AddRef();
  ReleaseAndClear(m_clock);
  m_clock = clock;
  return S_OK;
}

STDMETHODIMP ScriptedSinkFilter::GetSyncSource(IReferenceClock** clock) {
  if (!clock)
    return E_POINTER;
  Lock lock(m_mutex);
  *clock = m_clock;
  if (m_clock)
    m_clock->AddRef();
  return S_OK;
}

STDMETHODIMP ScriptedSinkFilter::EnumPins(IEnumPins** pins) {
  if (!pins)
    return E_POINTER;
  *pins = new (std::nothrow) PinEnum(this, 0);
  return *pins ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP ScriptedSinkFilter::FindPin(LPCWSTR id, IPin** pin) {
  if (!pin)
    return E_POINTER;
  *pin = nullptr;
  if (!id || wcscmp(id, kPinId) != 0)
    return VFW_E_NOT_FOUND;
  *pin = InputPin();
  (*pin)->AddRef();
  return S_OK;
}

STDMETHODIMP ScriptedSinkFilter::QueryFilterInfo(FILTER_INFO* info) {
  if (!info)
    return E_POINTER;
  Lock lock(m_mutex);
  wcscpy(info->achName, L"Scripted sink");
  info->pGraph = m_graph;
  if (m_graph)
    m_graph->AddRef();
  return S_OK;
}

STDMETHODIMP ScriptedSinkFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR) {
  Lock lock(m_mutex);
  m_graph = graph;
  return S_OK;
}

STDMETHODIMP ScriptedSinkFilter::QueryVendorInfo(LPWSTR*) {
  return E_NOTIMPL;
}

IPin* ScriptedSinkFilter::InputPin() {
  return static_cast<IPin*>(m_pin);
}

std::vector<ReceivedSample> ScriptedSinkFilter::Samples() const {
  Lock lock(m_mutex);
  return m_samples;
}

SinkCounters ScriptedSinkFilter::Counters() const {
  Lock lock(m_mutex);
  return m_counters;
}

TypeRecord ScriptedSinkFilter::ReceivedType() const {
  Lock lock(m_mutex);
  return m_receivedType;
}

ComPtr<IMemAllocator> ScriptedSinkFilter::NotifiedAllocator() const {
  Lock lock(m_mutex);
  return ComPtr<IMemAllocator>(m_notified);
}

IMemAllocator* ScriptedSinkFilter::OfferedAllocator() const {
  Lock lock(m_mutex);
  return m_offered;
}

bool ScriptedSinkFilter::WaitForSamples(int n, DWORD timeoutMs) const {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [this, n] { return m_counters.receives >= n; });
}

bool ScriptedSinkFilter::WaitForEndOfStream(DWORD timeoutMs) const {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [this] { return m_counters.endOfStream > 0; });
}

bool ScriptedSinkFilter::ReceiveIsBlocked() const {
  Lock lock(m_mutex);
  return m_blocked;
}

void ScriptedSinkFilter::UnblockReceive() {
  Lock lock(m_mutex);
  m_unblock = true;
  m_changed.notify_all();
}

void ScriptedSinkFilter::ReleaseHeldSamples() {
  std::vector<IMediaSample*> held;
  {
    Lock lock(m_mutex);
    held.swap(m_held);
  }
  for (IMediaSample* s : held)
    s->Release();
}

void ScriptedSinkFilter::ChangeScript(const SinkScript& script) {
  Lock lock(m_mutex);
  m_script = script;
}
