#include "mediasource/media_stream.h"

#include <mfapi.h>
#include <mferror.h>

#include <iterator>

#include "mediasource/mf_frame_host.h"
#include "mediasource/mf_frame_sample.h"
#include "platform/module_path.h"

namespace {

// A second sample over the same buffer, with the same times and attributes:
// a repeated frame goes out twice, each time with its own token.
HRESULT CopySample(const MfRuntime& mf, IMFSample* sample, ComPtr<IMFSample>* out) {
  ComPtr<IMFSample> copy;
  HRESULT hr = mf.CreateSample(copy.Put());
  if (SUCCEEDED(hr))
    hr = sample->CopyAllItems(copy.Get());
  ComPtr<IMFMediaBuffer> buffer;
  if (SUCCEEDED(hr))
    hr = sample->GetBufferByIndex(0, buffer.Put());
  if (SUCCEEDED(hr))
    hr = copy->AddBuffer(buffer.Get());
  LONGLONG time = 0;
  if (SUCCEEDED(hr) && SUCCEEDED(sample->GetSampleTime(&time)))
    hr = copy->SetSampleTime(time);
  if (SUCCEEDED(hr) && SUCCEEDED(sample->GetSampleDuration(&time)))
    hr = copy->SetSampleDuration(time);
  if (SUCCEEDED(hr))
    *out = copy;
  return hr;
}

}  // namespace

CZdMediaStream::CZdMediaStream(const MfRuntime& mf, IMFMediaSource* source)
    : CUnknown(nullptr), m_mf(mf), m_source(source) {
  m_producer.m_skipOverdue = true;  // a live source: frames nobody asked for in time are dropped
}

CZdMediaStream::~CZdMediaStream() {
  // A worker holds a reference until it has left its loop: one that is
  // still here is the thread making this last Release, which is not waited
  // for (its handle is closed).
  m_stopping = true;
  m_worker.Reset();
  m_producer.OnThreadDestroy();
  if (m_events)
    m_events->Shutdown();
}

HRESULT CZdMediaStream::Initialize(IMFMediaType** types, DWORD typeCount) {
  HRESULT hr = m_mf.CreateEventQueue(m_events.Put());
  if (SUCCEEDED(hr))
    hr = m_mf.CreateAttributes(m_attributes.Put(), 4);
  if (SUCCEEDED(hr))
    hr = m_mf.CreateStreamDescriptor(kStreamId, typeCount, types, m_descriptor.Put());
  ComPtr<IMFMediaTypeHandler> handler;
  if (SUCCEEDED(hr))
    hr = m_descriptor->GetMediaTypeHandler(handler.Put());
  if (SUCCEEDED(hr) && typeCount > 0)
    hr = handler->SetCurrentMediaType(types[0]);
  // The device stream attributes, on the stream and on its descriptor.
  IMFAttributes* stores[] = {m_attributes.Get(), m_descriptor.Get()};
  for (IMFAttributes* store : stores) {
    if (SUCCEEDED(hr))
      hr = store->SetGUID(kMfDeviceStreamStreamCategory, kPinNameVideoCapture);
    if (SUCCEEDED(hr))
      hr = store->SetUINT32(kMfDeviceStreamStreamId, kStreamId);
    if (SUCCEEDED(hr))
      hr = store->SetUINT32(kMfDeviceStreamFrameSourceTypes, kMfFrameSourceTypeColor);
    if (SUCCEEDED(hr))
      hr = store->SetUINT32(kMfDeviceStreamFrameServerShared, 1);
  }
  return hr;
}

STDMETHODIMP CZdMediaStream::NonDelegatingQueryInterface(REFIID iid, void** out) {
  if (!out)
    return E_POINTER;
  if (IsEqualIID(iid, IID_IMFMediaEventGenerator) || IsEqualIID(iid, IID_IMFMediaStream) ||
      IsEqualIID(iid, kIidMfMediaStream2))
    return GetInterface(static_cast<IMfMediaStream2*>(this), out);
  return CUnknown::NonDelegatingQueryInterface(iid, out);
}

HRESULT CZdMediaStream::CheckAlive() {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_closed ? MF_E_SHUTDOWN : S_OK;
}

// --- For the source ---

HRESULT CZdMediaStream::Begin(const MfStreamStart& start) {
  std::deque<ComPtr<IUnknown>> dropped;  // let go once m_control is
  std::lock_guard<std::mutex> control(m_control);
  return BeginRun(start, &dropped);
}

HRESULT CZdMediaStream::BeginRun(const MfStreamStart& start,
                                 std::deque<ComPtr<IUnknown>>* dropped) {
  // The worker cannot wait for itself to end: a restart from a call it
  // made out is refused.
  if (OnWorker())
    return MF_E_INVALIDREQUEST;
  HaltRun(dropped);  // a restart: the stream goes on, MEStreamStarted says so again
  if (!start.settings)
    return E_UNEXPECTED;
  m_start = start;
  m_start.allocator = nullptr;  // kept in m_allocator while the stream runs
  m_start.type = nullptr;
  m_allocator = ComPtr<IMFVideoSampleAllocatorEx>(start.allocator);
  m_type = ComPtr<IMFMediaType>(start.type);
  m_timer.emplace();  // the system timer stays raised until the stream stops
  HRESULT hr = Prepare();
  if (FAILED(hr))
    return hr;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_closed)
      return MF_E_SHUTDOWN;
    m_failed = false;
    m_stopping = false;
    m_state = kMfStreamStateRunning;
  }
  hr = StartWorker();
  if (FAILED(hr)) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_state = kMfStreamStateStopped;
    return hr;
  }
  PROPVARIANT time;
  PropVariantInit(&time);
  time.vt = VT_I8;
  time.hVal.QuadPart = start.startTime;
  return m_events->QueueEventParamVar(MEStreamStarted, GUID_NULL, S_OK, &time);
}

HRESULT CZdMediaStream::Prepare() {
  if (!MfFrameFormatOf(m_start.preset, &m_format))
    return MF_E_INVALIDMEDIATYPE;
  m_ready.clear();
  try {
    m_frame.assign(size_t(m_format.frameBytes), 0);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  const bool refused =
      m_allocator &&
      (!m_type || FAILED(m_allocator->InitializeSampleAllocatorEx(2, 8, nullptr, m_type.Get())));
  if (refused)
    m_allocator.Reset();  // the stream's own buffers for this run
  m_allocatorGivenUp = refused;
  MfFrameHost host(m_stopping, m_timer ? &*m_timer : nullptr);
  m_producer.OnThreadDestroy();
  int32_t named = m_start.presetIndex;
  if (m_start.namedPreset && size_t(named) < m_start.namedPreset->size())
    named = (*m_start.namedPreset)[size_t(named)];
  // A preset that names another is an NV12 twin of it (AddNv12Twins), made
  // from the YUY2 picture.
  const PresetInfo* namedPreset =
      named != m_start.presetIndex ? &m_start.settings->m_presetTable[size_t(named)] : nullptr;
  const HRESULT hr = m_producer.OnThreadCreate(
      host, m_start.preset, *m_start.settings, ModuleDirectory(), named, namedPreset,
      namedPreset ? kFrameCodeNv12Twin : kFrameCodeOwnFormat);
  // The log was made afresh: the source's own lines go first again.
  if (m_start.logLines) {
    for (const std::string& line : *m_start.logLines)
      m_producer.m_faultLog.Append(line.data(), uint32_t(line.size()));
  }
  return hr;
}

bool CZdMediaStream::CurrentTypeChanged() {
  ComPtr<IMFMediaTypeHandler> handler;
  ComPtr<IMFMediaType> current;
  return SUCCEEDED(m_descriptor->GetMediaTypeHandler(handler.Put())) &&
         SUCCEEDED(handler->GetCurrentMediaType(current.Put())) && current.Get() != m_type.Get();
}

HRESULT CZdMediaStream::FollowCurrentType() {
  ComPtr<IMFMediaTypeHandler> handler;
  ComPtr<IMFMediaType> current;
  if (FAILED(m_descriptor->GetMediaTypeHandler(handler.Put())) ||
      FAILED(handler->GetCurrentMediaType(current.Put())) || current.Get() == m_type.Get())
    return S_OK;
  m_type = current;
  const StreamSettings& settings = *m_start.settings;
  const int32_t index =
      PresetIndexOfType(current.Get(), settings.m_presetTable.get(), settings.m_presetNum);
  if (index < 0)
    return MF_E_INVALIDMEDIATYPE;
  if (index == m_start.presetIndex)
    return S_OK;
  m_start.preset = settings.m_presetTable[size_t(index)];
  m_start.presetIndex = index;
  return Prepare();
}

bool CZdMediaStream::End() {
  std::deque<ComPtr<IUnknown>> dropped;  // let go once m_control is
  std::lock_guard<std::mutex> control(m_control);
  return EndRun(&dropped);
}

bool CZdMediaStream::EndRun(std::deque<ComPtr<IUnknown>>* dropped) {
  const bool wasRunning = HaltRun(dropped);
  if (wasRunning && m_events)
    m_events->QueueEventParamVar(MEStreamStopped, GUID_NULL, S_OK, nullptr);
  return wasRunning;
}

void CZdMediaStream::Deselect() {
  std::deque<ComPtr<IUnknown>> dropped;
  std::lock_guard<std::mutex> control(m_control);
  HaltRun(&dropped);
}

bool CZdMediaStream::HaltRun(std::deque<ComPtr<IUnknown>>* dropped) {
  bool wasRunning = false;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    wasRunning = m_state == kMfStreamStateRunning;
    m_state = kMfStreamStateStopped;
    dropped->insert(dropped->end(), std::make_move_iterator(m_requests.begin()),
                    std::make_move_iterator(m_requests.end()));
    m_requests.clear();
  }
  StopWorker();
  // Called on the worker (from a call it made out), the producer is idle:
  // the worker leaves its loop before it uses it again.
  m_producer.OnThreadDestroy();
  m_timer.reset();
  m_ready.clear();
  return wasRunning;
}

void CZdMediaStream::Close() {
  ComPtr<IMFMediaSource> source;         // let go last,
  std::deque<ComPtr<IUnknown>> dropped;  // once m_control is
  std::lock_guard<std::mutex> control(m_control);
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_closed = true;
    source = std::move(m_source);
    m_state = kMfStreamStateStopped;
    dropped.swap(m_requests);
  }
  StopWorker();
  m_producer.OnThreadDestroy();
  m_timer.reset();
  m_ready.clear();
  m_allocator.Reset();
  m_type.Reset();
  if (m_events)
    m_events->Shutdown();
}

bool CZdMediaStream::Running() {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_state == kMfStreamStateRunning;
}

bool CZdMediaStream::UsesProvidedAllocator() {
  return !m_allocatorGivenUp;
}

HRESULT CZdMediaStream::StartWorker() {
  NonDelegatingAddRef();  // the worker's own, let go as its last act
  DWORD id = 0;
  // Suspended until its id is known, so that it knows itself.
  m_worker.Reset(
      CreateThread(nullptr, 0, &CZdMediaStream::WorkerEntry, this, CREATE_SUSPENDED, &id));
  if (!m_worker) {
    const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
    NonDelegatingRelease();
    return FAILED(hr) ? hr : E_OUTOFMEMORY;
  }
  m_workerId = id;
  ResumeThread(m_worker.Get());
  return S_OK;
}

DWORD WINAPI CZdMediaStream::WorkerEntry(void* param) {
  auto* stream = static_cast<CZdMediaStream*>(param);
  // The module stays loaded until this thread has left it, also when the
  // Release below frees the module's last object and the host unloads it.
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                     reinterpret_cast<LPCWSTR>(&CZdMediaStream::WorkerEntry), &module);
  try {
    stream->Work();
  } catch (...) {
    // Nothing leaves the thread; Work itself throws nothing it knows of.
  }
  stream->NonDelegatingRelease();  // may free the stream: nothing of it after this
  if (module)
    FreeLibraryAndExitThread(module, 0);
  return 0;
}

void CZdMediaStream::StopWorker() {
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_stopping = true;
  }
  m_wake.notify_all();
  // A worker never waits for itself: it leaves its loop when the call it
  // made out returns, and the next change of the run from another thread
  // (or the last Release) waits for it then.
  if (!m_worker || OnWorker())
    return;
  WaitForSingleObject(m_worker.Get(), INFINITE);
  m_worker.Reset();
  m_workerId = 0;
}

void CZdMediaStream::Fail(HRESULT hr) {
  std::deque<ComPtr<IUnknown>> dropped;  // requests that can no longer be met
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_failed = true;
    dropped.swap(m_requests);
  }
  m_events->QueueEventParamVar(MEError, GUID_NULL, hr, nullptr);
}

// --- IMFMediaEventGenerator ---

STDMETHODIMP CZdMediaStream::GetEvent(DWORD flags, IMFMediaEvent** event) {
  HRESULT hr = CheckAlive();
  return FAILED(hr) ? hr : m_events->GetEvent(flags, event);
}

STDMETHODIMP CZdMediaStream::BeginGetEvent(IMFAsyncCallback* callback, IUnknown* state) {
  HRESULT hr = CheckAlive();
  return FAILED(hr) ? hr : m_events->BeginGetEvent(callback, state);
}

STDMETHODIMP CZdMediaStream::EndGetEvent(IMFAsyncResult* result, IMFMediaEvent** event) {
  HRESULT hr = CheckAlive();
  return FAILED(hr) ? hr : m_events->EndGetEvent(result, event);
}

STDMETHODIMP CZdMediaStream::QueueEvent(MediaEventType type, REFGUID extendedType, HRESULT status,
                                        const PROPVARIANT* value) {
  HRESULT hr = CheckAlive();
  return FAILED(hr) ? hr : m_events->QueueEventParamVar(type, extendedType, status, value);
}

// --- IMFMediaStream ---

STDMETHODIMP CZdMediaStream::GetMediaSource(IMFMediaSource** source) {
  if (!source)
    return E_POINTER;
  *source = nullptr;
  std::lock_guard<std::mutex> lock(m_lock);
  if (m_closed || !m_source)
    return MF_E_SHUTDOWN;
  *source = m_source.Get();  // held by the stream: alive until Close
  (*source)->AddRef();
  return S_OK;
}

STDMETHODIMP CZdMediaStream::GetStreamDescriptor(IMFStreamDescriptor** descriptor) {
  if (!descriptor)
    return E_POINTER;
  *descriptor = nullptr;
  const HRESULT hr = CheckAlive();
  if (FAILED(hr))
    return hr;
  *descriptor = m_descriptor.Get();
  m_descriptor->AddRef();
  return S_OK;
}

STDMETHODIMP CZdMediaStream::RequestSample(IUnknown* token) {
  std::lock_guard<std::mutex> lock(m_lock);
  if (m_closed)
    return MF_E_SHUTDOWN;
  if (m_state != kMfStreamStateRunning)
    return MF_E_MEDIA_SOURCE_WRONGSTATE;
  if (m_failed)
    return S_OK;  // cannot be met (MEError said why): the token is not kept
  try {
    m_requests.push_back(ComPtr<IUnknown>(token));
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  m_wake.notify_one();
  return S_OK;
}

// --- IMFMediaStream2 ---

STDMETHODIMP CZdMediaStream::SetStreamState(MfStreamState value) {
  std::deque<ComPtr<IUnknown>> dropped;  // let go once m_control is
  std::lock_guard<std::mutex> control(m_control);
  HRESULT hr = CheckAlive();
  if (FAILED(hr))
    return hr;
  switch (value) {
    case kMfStreamStateStopped:
      EndRun(&dropped);
      return S_OK;
    case kMfStreamStateRunning: {
      if (Running())
        return S_OK;
      if (!m_start.settings)
        return MF_E_INVALIDREQUEST;  // never started: the source decides the format
      MfStreamStart again = m_start;
      again.allocator = m_allocator.Get();
      again.type = m_type.Get();
      again.startTime = m_mf.GetSystemTime();
      return BeginRun(again, &dropped);
    }
    default:
      return MF_E_INVALID_STATE_TRANSITION;
  }
}

STDMETHODIMP CZdMediaStream::GetStreamState(MfStreamState* value) {
  if (!value)
    return E_POINTER;
  std::lock_guard<std::mutex> lock(m_lock);
  if (m_closed)
    return MF_E_SHUTDOWN;
  *value = m_state;
  return S_OK;
}

// --- The worker ---

// Every pass ends in releases that may call out of the module (the token,
// the sample); the next pass first looks whether that ended the run.
void CZdMediaStream::Work() {
  for (;;) {
    ComPtr<IUnknown> token;
    {
      std::unique_lock<std::mutex> lock(m_lock);
      m_wake.wait(lock, [this] { return m_stopping.load() || !m_requests.empty(); });
      if (m_stopping)
        return;
      token = std::move(m_requests.front());
      m_requests.pop_front();
    }
    ComPtr<IMFSample> sample;
    HRESULT hr = NextSample(&sample);
    // A frame made while the type changed is made again in the new type.
    while (SUCCEEDED(hr) && !m_stopping && CurrentTypeChanged())
      hr = NextSample(&sample);
    if (m_stopping)
      return;
    if (FAILED(hr)) {
      Fail(hr);  // the stream cannot go on: the pipeline hears why
      return;
    }
    if (token)
      sample->SetUnknown(MFSampleExtension_Token, token.Get());
    m_events->QueueEventParamUnk(MEMediaSample, GUID_NULL, S_OK, sample.Get());
  }
}

HRESULT CZdMediaStream::NextSample(ComPtr<IMFSample>* out) {
  if (!m_ready.empty()) {
    *out = m_ready.front();
    m_ready.pop_front();
    return S_OK;
  }
  HRESULT hr = FollowCurrentType();
  if (FAILED(hr))
    return hr;
  ComPtr<IMFSample> held;  // a reordered frame, delivered after the next one
  for (;;) {
    ComPtr<IMFSample> sample;
    FramePlan plan;
    hr = MakeFrame(&sample, &plan);
    if (hr == MF_E_SAMPLEALLOCATOR_EMPTY) {
      // Every sample of the pipeline's allocator is still out: the frame is
      // dropped, and the request waits for the next one.
      m_producer.DropLastFrame("no-free-sample");
      continue;
    }
    if (hr != S_OK)
      return FAILED(hr) ? hr : MF_E_SHUTDOWN;  // S_FALSE: stopped while waiting
    switch (plan.delivery) {
      case DeliveryFault::kLoss:
        continue;  // made and dropped: the request waits for the next frame
      case DeliveryFault::kReorder:
        if (!held) {
          held = sample;
          continue;
        }
        break;
      case DeliveryFault::kRepeat: {
        ComPtr<IMFSample> again;
        if (SUCCEEDED(CopySample(m_mf, sample.Get(), &again)))
          m_ready.push_back(again);
        break;
      }
      default:
        break;
    }
    if (held)
      m_ready.push_front(held);
    *out = sample;
    return S_OK;
  }
}

HRESULT CZdMediaStream::NewSample(ComPtr<IMFSample>* out, DWORD bytes) {
  if (m_allocator) {
    HRESULT hr = m_allocator->AllocateSample(out->Put());
    if (hr == MF_E_SAMPLEALLOCATOR_EMPTY)
      return hr;
    ComPtr<IMFMediaBuffer> given;
    DWORD room = 0;
    if (SUCCEEDED(hr) &&
        (!m_format.compressed || (SUCCEEDED((*out)->GetBufferByIndex(0, given.Put())) &&
                                  SUCCEEDED(given->GetMaxLength(&room)) && room >= bytes)))
      return hr;
    // A buffer too small for this JPEG: the stream's own for this frame.
    // Any failure but running dry: the stream's own for the rest of the run.
    out->Reset();
    if (FAILED(hr)) {
      m_allocator.Reset();
      m_allocatorGivenUp = true;
    }
  }
  const PresetInfo& preset = m_start.preset;
  ComPtr<IMFMediaBuffer> buffer;
  HRESULT hr = m_format.compressed
                   ? E_FAIL
                   : m_mf.Create2DMediaBuffer(DWORD(preset.w), DWORD(preset.h),
                                              m_format.bufferFormat, FALSE, buffer.Put());
  // A format the 2-D buffers do not know, or do not size as the type says
  // (Wine takes RGB24 for 4 bytes a pixel): rows of the default stride.
  ComPtr<IMF2DBuffer> buffer2d;
  DWORD contiguous = 0;
  if (SUCCEEDED(hr) &&
      (FAILED(buffer.As(IID_IMF2DBuffer, &buffer2d)) ||
       FAILED(buffer2d->GetContiguousLength(&contiguous)) || contiguous != m_format.frameBytes))
    hr = E_FAIL;
  if (FAILED(hr))
    hr = m_mf.CreateMemoryBuffer(m_format.frameBytes, buffer.Put());
  ComPtr<IMFSample> sample;
  if (SUCCEEDED(hr))
    hr = m_mf.CreateSample(sample.Put());
  if (SUCCEEDED(hr))
    hr = sample->AddBuffer(buffer.Get());
  if (SUCCEEDED(hr))
    *out = sample;
  return hr;
}

// S_OK with a sample, S_FALSE when a stop ended the wait, or a failure.
HRESULT CZdMediaStream::MakeFrame(ComPtr<IMFSample>* out, FramePlan* plan) {
  const PresetInfo& preset = m_start.preset;
  MfFrameSample frame(m_frame.data(), uint32_t(m_frame.size()));
  MfFrameHost host(m_stopping, m_timer ? &*m_timer : nullptr);
  // The frame loop gives up on a clock that never reaches the due time; the
  // request is then answered by the next try.
  HRESULT hr = S_FALSE;
  do {
    hr = m_producer.FillBuffer(host, &frame, preset, m_start.settings->m_mouseCursol);
  } while (hr == S_FALSE && !m_stopping);
  if (hr != S_OK)
    return hr;
  *plan = m_producer.LastPlan();
  // MJPG: the JPEG's bytes (a sample fault may have shortened them);
  // otherwise the whole frame, turned upright.
  const DWORD bytes = m_format.compressed ? DWORD(frame.m_length) : DWORD(m_format.frameBytes);
  ComPtr<IMFSample> sample;
  hr = NewSample(&sample, bytes);
  ComPtr<IMFMediaBuffer> buffer;
  if (SUCCEEDED(hr))
    hr = sample->GetBufferByIndex(0, buffer.Put());
  if (SUCCEEDED(hr))
    hr = m_format.compressed ? CopyBytesToBuffer(buffer.Get(), m_frame.data(), bytes)
                             : CopyFrameToBuffer(buffer.Get(), m_frame.data(), m_format.stride,
                                                 m_format.rows, m_format.flipRows);
  // An empty or short sample (a sample fault): the buffer's first bytes only.
  DWORD current = 0;
  if (SUCCEEDED(hr))
    hr = buffer->GetCurrentLength(&current);
  if (SUCCEEDED(hr) && frame.m_length < current)
    hr = buffer->SetCurrentLength(frame.m_length);
  if (FAILED(hr))
    return hr;
  // Times on the performance counter's clock: frame 0's time plus the
  // frame's own; the device time is when the frame was made.
  if (frame.m_hasTime) {
    sample->SetSampleTime(m_producer.CounterTime(m_producer.m_firstFrameMs) + frame.m_start);
    sample->SetUINT64(kMfSampleExtensionDeviceTimestamp,
                      UINT64(m_producer.CounterTime(m_producer.m_madeMs)));
  }
  sample->SetSampleDuration(preset.frame_time);
  if (frame.m_sync)
    sample->SetUINT32(MFSampleExtension_CleanPoint, TRUE);
  *out = sample;
  return S_OK;
}
