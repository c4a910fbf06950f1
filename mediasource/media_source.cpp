#include "mediasource/media_source.h"

#include <mfapi.h>
#include <mferror.h>

#include <cstring>
#include <new>
#include <string>

#include "mediasource/media_source_class.h"
#include "mediasource/mf_media_types.h"
#include "platform/log_file.h"
#include "platform/module_path.h"
#include "resources/product_names.h"

namespace {

// The lines go into the fault log the settings name, beside the module, as
// a stream start would write them (the file made afresh); nothing without one.
void WriteModuleLog(const StreamSettings& settings, const std::vector<std::string>& lines) {
  const std::string name(settings.m_faultLog,
                         strnlen(settings.m_faultLog, sizeof settings.m_faultLog));
  const std::string directory = ModuleDirectory();
  if (lines.empty() || name.empty() || directory.empty())
    return;
  const std::string path = JoinModulePath(directory, name);
  LogFile log;
  if (PathChars(path) > kMaxPathChars || !log.Open(path))
    return;
  for (const std::string& line : lines)
    log.Write(line.data(), uint32_t(line.size()));
}

}  // namespace

CUnknown* CreateMediaSourceInstance(IUnknown* outer, HRESULT* hr) {
  return CZdMediaSource::CreateInstance(outer, hr);
}

CUnknown* CZdMediaSource::CreateInstance(IUnknown* outer, HRESULT* hr) {
  HRESULT ignored = S_OK;
  HRESULT* result = hr ? hr : &ignored;
  if (outer) {
    *result = CLASS_E_NOAGGREGATION;
    return nullptr;
  }
  const MfRuntime* mf = MediaFoundation();
  if (!mf) {
    *result = HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  auto* source = new (std::nothrow) CZdMediaSource(*mf, result);
  if (!source)
    *result = E_OUTOFMEMORY;
  return source;
}

CZdMediaSource::CZdMediaSource(const MfRuntime& mf, HRESULT* hr) : CUnknown(nullptr), m_mf(mf) {
  HRESULT result = m_mf.Startup(MF_VERSION, MFSTARTUP_LITE);
  m_started = SUCCEEDED(result);
  if (SUCCEEDED(result))
    result = m_mf.CreateEventQueue(m_events.Put());
  if (SUCCEEDED(result))
    result = m_mf.CreateAttributes(m_attributes.Put(), 2);
  if (SUCCEEDED(result))
    result = m_attributes->SetString(MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME, kFriendlyNameW);
  if (FAILED(result))
    *hr = result;
}

CZdMediaSource::~CZdMediaSource() {
  if (m_stream)
    m_stream->Close();
  m_stream.Reset();
  if (m_events)
    m_events->Shutdown();
  m_events.Reset();
  m_descriptor.Reset();
  m_attributes.Reset();
  m_allocator.Reset();
  if (m_started)
    m_mf.Shutdown();
}

STDMETHODIMP CZdMediaSource::NonDelegatingQueryInterface(REFIID iid, void** out) {
  if (!out)
    return E_POINTER;
  if (IsEqualIID(iid, IID_IMFMediaEventGenerator) || IsEqualIID(iid, IID_IMFMediaSource) ||
      IsEqualIID(iid, IID_IMFMediaSourceEx))
    return GetInterface(static_cast<IMFMediaSourceEx*>(this), out);
  if (IsEqualIID(iid, IID_IMFGetService))
    return GetInterface(static_cast<IMFGetService*>(this), out);
  if (IsEqualIID(iid, kIidKsControl))
    return GetInterface(static_cast<IKsControlFace*>(this), out);
  if (IsEqualIID(iid, kIidMfSampleAllocatorControl))
    return GetInterface(static_cast<IMfSampleAllocatorControl*>(this), out);
  return CUnknown::NonDelegatingQueryInterface(iid, out);
}

HRESULT CZdMediaSource::Describe() {
  if (m_descriptor)
    return S_OK;
  // A missing or faulty settings file gives the defaults.
  m_settings.LoadSettings(SettingsFilePath());
  if (!AddNv12Twins(&m_settings, &m_namedPreset))
    return E_OUTOFMEMORY;
  const int32_t count = m_settings.m_presetTable ? m_settings.m_presetNum : 0;
  // A preset whose type cannot be made is left out, with a line in the log.
  std::vector<ComPtr<IMFMediaType>> types;
  HRESULT hr = CreateMfNativeTypes(m_mf, m_settings.m_presetTable.get(), count, m_namedPreset,
                                   &types, &m_leftOut);
  if (FAILED(hr))
    return hr;
  WriteModuleLog(m_settings, m_leftOut);
  std::vector<IMFMediaType*> raw;
  try {
    for (const ComPtr<IMFMediaType>& type : types)
      raw.push_back(type.Get());
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  if (raw.empty())
    return MF_E_INVALIDMEDIATYPE;
  auto* stream = new (std::nothrow) CZdMediaStream(m_mf, this);
  if (!stream)
    return E_OUTOFMEMORY;
  ComPtr<CZdMediaStream> held(stream);
  hr = stream->Initialize(raw.data(), DWORD(raw.size()));
  IMFStreamDescriptor* descriptors[] = {stream->Descriptor()};
  ComPtr<IMFPresentationDescriptor> presentation;
  if (SUCCEEDED(hr))
    hr = m_mf.CreatePresentationDescriptor(1, descriptors, presentation.Put());
  if (SUCCEEDED(hr))
    hr = presentation->SelectStream(0);
  if (FAILED(hr)) {
    stream->Close();
    return hr;
  }
  m_stream = held;
  m_descriptor = presentation;
  return S_OK;
}

int32_t CZdMediaSource::PresetIndexOf(IMFStreamDescriptor* descriptor) {
  ComPtr<IMFMediaTypeHandler> handler;
  ComPtr<IMFMediaType> current;
  if (!descriptor || FAILED(descriptor->GetMediaTypeHandler(handler.Put())) ||
      FAILED(handler->GetCurrentMediaType(current.Put())))
    return 0;
  return PresetIndexOfType(current.Get(), m_settings.m_presetTable.get(), m_settings.m_presetNum);
}

// --- IMFMediaEventGenerator ---

STDMETHODIMP CZdMediaSource::GetEvent(DWORD flags, IMFMediaEvent** event) {
  // Not under the lock: a blocking wait must not hold up Stop or Shutdown.
  ComPtr<IMFMediaEventQueue> events;
  {
    CAutoLock lock(&m_lock);
    if (m_shutdown)
      return MF_E_SHUTDOWN;
    events = m_events;
  }
  return events->GetEvent(flags, event);
}

STDMETHODIMP CZdMediaSource::BeginGetEvent(IMFAsyncCallback* callback, IUnknown* state) {
  CAutoLock lock(&m_lock);
  return m_shutdown ? MF_E_SHUTDOWN : m_events->BeginGetEvent(callback, state);
}

STDMETHODIMP CZdMediaSource::EndGetEvent(IMFAsyncResult* result, IMFMediaEvent** event) {
  CAutoLock lock(&m_lock);
  return m_shutdown ? MF_E_SHUTDOWN : m_events->EndGetEvent(result, event);
}

STDMETHODIMP CZdMediaSource::QueueEvent(MediaEventType type, REFGUID extendedType, HRESULT status,
                                        const PROPVARIANT* value) {
  CAutoLock lock(&m_lock);
  return m_shutdown ? MF_E_SHUTDOWN
                    : m_events->QueueEventParamVar(type, extendedType, status, value);
}

// --- IMFMediaSource ---

STDMETHODIMP CZdMediaSource::GetCharacteristics(DWORD* characteristics) {
  if (!characteristics)
    return E_POINTER;
  CAutoLock lock(&m_lock);
  if (m_shutdown)
    return MF_E_SHUTDOWN;
  *characteristics = MFMEDIASOURCE_IS_LIVE;
  return S_OK;
}

STDMETHODIMP CZdMediaSource::CreatePresentationDescriptor(IMFPresentationDescriptor** descriptor) {
  if (!descriptor)
    return E_POINTER;
  *descriptor = nullptr;
  CAutoLock lock(&m_lock);
  if (m_shutdown)
    return MF_E_SHUTDOWN;
  const HRESULT hr = Describe();
  return FAILED(hr) ? hr : m_descriptor->Clone(descriptor);
}

STDMETHODIMP CZdMediaSource::Start(IMFPresentationDescriptor* descriptor, const GUID* timeFormat,
                                   const PROPVARIANT* startPosition) {
  CAutoLock lock(&m_lock);
  if (m_shutdown)
    return MF_E_SHUTDOWN;
  if (!descriptor)
    return E_INVALIDARG;
  if (timeFormat && !IsEqualGUID(*timeFormat, GUID_NULL))
    return MF_E_UNSUPPORTED_TIME_FORMAT;
  if (startPosition && startPosition->vt != VT_EMPTY && startPosition->vt != VT_I8)
    return MF_E_UNSUPPORTED_TIME_FORMAT;
  HRESULT hr = Describe();
  if (FAILED(hr))
    return hr;
  DWORD count = 0;
  hr = descriptor->GetStreamDescriptorCount(&count);
  if (FAILED(hr))
    return hr;
  if (count != 1)
    return E_INVALIDARG;
  BOOL selected = FALSE;
  ComPtr<IMFStreamDescriptor> stream;
  hr = descriptor->GetStreamDescriptorByIndex(0, &selected, stream.Put());
  if (FAILED(hr))
    return hr;
  // A live source starts now, whatever position was asked for.
  const LONGLONG now = m_mf.GetSystemTime();
  PROPVARIANT time;
  PropVariantInit(&time);
  time.vt = VT_I8;
  time.hVal.QuadPart = now;
  if (selected) {
    const int32_t index = PresetIndexOf(stream.Get());
    if (index < 0)
      return MF_E_INVALIDMEDIATYPE;
    ComPtr<IMFMediaTypeHandler> handler;
    ComPtr<IMFMediaType> type;
    if (SUCCEEDED(stream->GetMediaTypeHandler(handler.Put())))
      handler->GetCurrentMediaType(type.Put());
    MfStreamStart start;
    start.preset = m_settings.m_presetTable[size_t(index)];
    start.presetIndex = index;
    start.namedPreset = &m_namedPreset;
    start.logLines = &m_leftOut;
    start.settings = &m_settings;
    start.allocator = m_allocator.Get();
    start.type = type.Get();
    start.startTime = now;
    // The stream first: a start that fails (a missing font sheet) sends nothing.
    hr = m_stream->Begin(start);
    if (FAILED(hr)) {
      m_stream->End();
      return hr;
    }
    // MEUpdatedStream for a stream the previous Start selected too.
    hr = m_events->QueueEventParamUnk(m_streamSelected ? MEUpdatedStream : MENewStream, GUID_NULL,
                                      S_OK, static_cast<IMFMediaStream*>(m_stream.Get()));
    if (FAILED(hr))
      return hr;
    m_streamSelected = true;
    hr = m_events->QueueEventParamVar(MESourceStarted, GUID_NULL, S_OK, &time);
    if (FAILED(hr))
      return hr;
  } else {
    // A deselected stream ends without an event of its own.
    m_stream->Deselect();
    m_streamSelected = false;
    hr = m_events->QueueEventParamVar(MESourceStarted, GUID_NULL, S_OK, &time);
    if (FAILED(hr))
      return hr;
  }
  m_running = true;
  return S_OK;
}

STDMETHODIMP CZdMediaSource::Stop() {
  CAutoLock lock(&m_lock);
  if (m_shutdown)
    return MF_E_SHUTDOWN;
  if (m_stream)
    m_stream->End();
  m_running = false;
  return m_events->QueueEventParamVar(MESourceStopped, GUID_NULL, S_OK, nullptr);
}

STDMETHODIMP CZdMediaSource::Pause() {
  CAutoLock lock(&m_lock);
  return m_shutdown ? MF_E_SHUTDOWN : MF_E_INVALID_STATE_TRANSITION;
}

STDMETHODIMP CZdMediaSource::Shutdown() {
  CAutoLock lock(&m_lock);
  if (m_shutdown)
    return MF_E_SHUTDOWN;
  m_shutdown = true;
  m_running = false;
  if (m_stream)
    m_stream->Close();
  m_events->Shutdown();
  m_allocator.Reset();
  return S_OK;
}

// --- IMFMediaSourceEx ---

STDMETHODIMP CZdMediaSource::GetSourceAttributes(IMFAttributes** attributes) {
  if (!attributes)
    return E_POINTER;
  *attributes = nullptr;
  CAutoLock lock(&m_lock);
  if (m_shutdown)
    return MF_E_SHUTDOWN;
  *attributes = m_attributes.Get();
  m_attributes->AddRef();
  return S_OK;
}

STDMETHODIMP CZdMediaSource::GetStreamAttributes(DWORD streamId, IMFAttributes** attributes) {
  if (!attributes)
    return E_POINTER;
  *attributes = nullptr;
  CAutoLock lock(&m_lock);
  if (m_shutdown)
    return MF_E_SHUTDOWN;
  if (streamId != CZdMediaStream::kStreamId)
    return MF_E_INVALIDSTREAMNUMBER;
  const HRESULT hr = Describe();
  if (FAILED(hr))
    return hr;
  *attributes = m_stream->Attributes();
  (*attributes)->AddRef();
  return S_OK;
}

STDMETHODIMP CZdMediaSource::SetD3DManager(IUnknown* /*manager*/) {
  CAutoLock lock(&m_lock);
  // The frames are made in system memory: a device manager is not used.
  return m_shutdown ? MF_E_SHUTDOWN : S_OK;
}

// --- IMFGetService ---

STDMETHODIMP CZdMediaSource::GetService(REFGUID /*service*/, REFIID /*iid*/, void** out) {
  if (!out)
    return E_POINTER;
  *out = nullptr;
  CAutoLock lock(&m_lock);
  return m_shutdown ? MF_E_SHUTDOWN : MF_E_UNSUPPORTED_SERVICE;
}

// --- IKsControl: no property, method or event set is supported ---

STDMETHODIMP CZdMediaSource::KsProperty(KsIdentifier*, ULONG, void*, ULONG, ULONG* returned) {
  if (returned)
    *returned = 0;
  CAutoLock lock(&m_lock);
  return m_shutdown ? MF_E_SHUTDOWN : HRESULT_FROM_WIN32(ERROR_SET_NOT_FOUND);
}

STDMETHODIMP CZdMediaSource::KsMethod(KsIdentifier*, ULONG, void*, ULONG, ULONG* returned) {
  if (returned)
    *returned = 0;
  CAutoLock lock(&m_lock);
  return m_shutdown ? MF_E_SHUTDOWN : HRESULT_FROM_WIN32(ERROR_SET_NOT_FOUND);
}

STDMETHODIMP CZdMediaSource::KsEvent(KsIdentifier*, ULONG, void*, ULONG, ULONG* returned) {
  if (returned)
    *returned = 0;
  CAutoLock lock(&m_lock);
  return m_shutdown ? MF_E_SHUTDOWN : HRESULT_FROM_WIN32(ERROR_SET_NOT_FOUND);
}

// --- IMFSampleAllocatorControl ---

STDMETHODIMP CZdMediaSource::SetDefaultAllocator(DWORD outputStreamId, IUnknown* allocator) {
  CAutoLock lock(&m_lock);
  if (m_shutdown)
    return MF_E_SHUTDOWN;
  if (outputStreamId != CZdMediaStream::kStreamId)
    return MF_E_INVALIDSTREAMNUMBER;
  if (!allocator) {
    m_allocator.Reset();
    return S_OK;
  }
  ComPtr<IMFVideoSampleAllocatorEx> video;
  const HRESULT hr = allocator->QueryInterface(IID_IMFVideoSampleAllocatorEx, video.PutVoid());
  if (FAILED(hr))
    return E_INVALIDARG;
  m_allocator = video;  // used from the next Start on
  return S_OK;
}

STDMETHODIMP CZdMediaSource::GetAllocatorUsage(DWORD outputStreamId, DWORD* inputStreamId,
                                               MfSampleAllocatorUsage* usage) {
  if (!inputStreamId || !usage)
    return E_POINTER;
  CAutoLock lock(&m_lock);
  if (m_shutdown)
    return MF_E_SHUTDOWN;
  if (outputStreamId != CZdMediaStream::kStreamId)
    return MF_E_INVALIDSTREAMNUMBER;
  *inputStreamId = outputStreamId;
  // The provided allocator, unless the stream gave it up for its run (it
  // refused the type, or failed other than by running dry).
  *usage = !m_stream || m_stream->UsesProvidedAllocator() ? kMfAllocatorUsesProvided
                                                          : kMfAllocatorUsesCustom;
  return S_OK;
}
