#include "fake_input_pin.h"

#include "baseclasses/single_interface_object.h"

namespace {

// The downstream pin's own list of types, copied when the list is made.
class FakeTypeList final
    : public CSingleInterfaceObject<FakeTypeList, IEnumMediaTypes, IID_IEnumMediaTypes> {
 public:
  explicit FakeTypeList(const std::vector<CMediaType>& types, size_t position = 0)
      : m_types(types), m_position(position) {}

  STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override {
    if (!types)
      return E_POINTER;
    ULONG done = 0;
    while (done < count && m_position < m_types.size())
      types[done++] = CreateMediaType(&m_types[m_position++]);
    if (fetched)
      *fetched = done;
    return done == count ? S_OK : S_FALSE;
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
    *out = new FakeTypeList(m_types, m_position);
    return S_OK;
  }

 private:
  friend class CSingleInterfaceObject<FakeTypeList, IEnumMediaTypes, IID_IEnumMediaTypes>;
  ~FakeTypeList() = default;

  std::vector<CMediaType> m_types;
  size_t m_position;
};

}  // namespace

STDMETHODIMP FakeAllocator::QueryInterface(REFIID iid, void** out) {
  if (!out)
    return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMemAllocator)) {
    *out = static_cast<IMemAllocator*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) FakeAllocator::Release() {
  const LONG count = InterlockedDecrement(&m_refs);
  if (count == 0)
    delete this;
  return static_cast<ULONG>(count);
}

STDMETHODIMP FakeAllocator::SetProperties(ALLOCATOR_PROPERTIES* request,
                                          ALLOCATOR_PROPERTIES* actual) {
  requested = *request;
  m_actual = *request;
  if (grantBuffers >= 0)
    m_actual.cBuffers = grantBuffers;
  if (grantBytes >= 0)
    m_actual.cbBuffer = grantBytes;
  *actual = m_actual;
  return S_OK;
}

STDMETHODIMP FakeAllocator::GetProperties(ALLOCATOR_PROPERTIES* props) {
  *props = m_actual;
  return S_OK;
}

FakeInputPin::FakeInputPin() {
  samplesArrived = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

FakeInputPin::~FakeInputPin() {
  CloseHandle(samplesArrived);
}

std::vector<ReceivedSample> FakeInputPin::Samples() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_samples;
}

STDMETHODIMP FakeInputPin::QueryInterface(REFIID iid, void** out) {
  if (!out)
    return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPin)) {
    *out = static_cast<IPin*>(this);
  } else if (IsEqualIID(iid, IID_IMemInputPin)) {
    *out = static_cast<IMemInputPin*>(this);
  } else {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) FakeInputPin::Release() {
  const LONG count = InterlockedDecrement(&m_refs);
  if (count == 0)
    delete this;
  return static_cast<ULONG>(count);
}

STDMETHODIMP FakeInputPin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) {
  if (!connector || !mt)
    return E_POINTER;
  if (m_connected)
    return VFW_E_ALREADY_CONNECTED;
  if (!acceptTypes)
    return VFW_E_TYPE_NOT_ACCEPTED;
  m_connected = ComPtr<IPin>(connector);
  connectionType.Set(*mt);
  return S_OK;
}

STDMETHODIMP FakeInputPin::Disconnect() {
  if (!m_connected)
    return S_FALSE;
  m_connected.Reset();
  return S_OK;
}

STDMETHODIMP FakeInputPin::ConnectedTo(IPin** pin) {
  if (!pin)
    return E_POINTER;
  m_connected.CopyTo(pin);
  return m_connected ? S_OK : VFW_E_NOT_CONNECTED;
}

STDMETHODIMP FakeInputPin::ConnectionMediaType(AM_MEDIA_TYPE* mt) {
  if (!mt)
    return E_POINTER;
  return CopyMediaType(mt, &connectionType);
}

STDMETHODIMP FakeInputPin::QueryPinInfo(PIN_INFO* info) {
  if (!info)
    return E_POINTER;
  info->pFilter = nullptr;
  info->dir = PINDIR_INPUT;
  info->achName[0] = L'I';
  info->achName[1] = L'n';
  info->achName[2] = L'\0';
  return S_OK;
}

STDMETHODIMP FakeInputPin::QueryDirection(PIN_DIRECTION* direction) {
  if (!direction)
    return E_POINTER;
  *direction = PINDIR_INPUT;
  return S_OK;
}

STDMETHODIMP FakeInputPin::QueryId(LPWSTR* id) {
  if (!id)
    return E_POINTER;
  *id = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP FakeInputPin::EnumMediaTypes(IEnumMediaTypes** types) {
  if (!types)
    return E_POINTER;
  *types = offeredTypes.empty() ? nullptr : new FakeTypeList(offeredTypes);
  return *types ? S_OK : E_NOTIMPL;
}

STDMETHODIMP FakeInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) {
  if (!props)
    return E_POINTER;
  if (!hasRequirements)
    return E_NOTIMPL;
  *props = requirements;
  return S_OK;
}

STDMETHODIMP FakeInputPin::GetAllocator(IMemAllocator** allocator) {
  if (!allocator)
    return E_POINTER;
  offeredAllocator.CopyTo(allocator);
  return offeredAllocator ? S_OK : VFW_E_NO_ALLOCATOR;
}

STDMETHODIMP FakeInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL /*readOnly*/) {
  notifiedAllocator = allocator;
  return S_OK;
}

STDMETHODIMP FakeInputPin::Receive(IMediaSample* sample) {
  ReceivedSample record = {};
  record.timeResult = sample->GetTime(&record.start, &record.stop);
  record.length = sample->GetActualDataLength();
  record.size = sample->GetSize();
  record.sync = sample->IsSyncPoint() == S_OK;
  std::lock_guard<std::mutex> lock(m_mutex);
  m_samples.push_back(record);
  if (m_samples.size() >= wanted)
    SetEvent(samplesArrived);
  return m_samples.size() == wanted ? answerWanted : S_OK;
}

STDMETHODIMP FakeInputPin::ReceiveMultiple(IMediaSample** samples, long count, long* processed) {
  *processed = 0;
  for (long i = 0; i < count; ++i) {
    Receive(samples[i]);
    ++*processed;
  }
  return S_OK;
}
