// CZdMediaSource: the module's Media Foundation face, a live media source
// with one video stream whose frames come from the same frame loop as the
// filter's pin. Its native media types are the enabled presets of the
// settings file, read when the presentation descriptor is first needed; the
// bitmaps are loaded at Start. Creating the source loads Media Foundation
// (mf_runtime.h) and does nothing else of cost.
//
// Interfaces: IMFMediaEventGenerator, IMFMediaSource, IMFMediaSourceEx,
// IMFGetService (no services), IKsControl (no property sets) and
// IMFSampleAllocatorControl. Start accepts only the GUID_NULL time format;
// Pause is refused (a live source); after Shutdown every call answers
// MF_E_SHUTDOWN. m_lock guards every member and is held for whole calls.
#pragma once

#include <windows.h>
#include <mfidl.h>

#include <string>
#include <vector>

#include "baseclasses/com_ptr.h"
#include "baseclasses/crit_sec.h"
#include "mediasource/media_stream.h"
#include "mediasource/mf_declarations.h"
#include "mediasource/mf_runtime.h"
#include "server/unknown.h"
#include "stream/stream_settings.h"

class CZdMediaSource : public CUnknown,
                       public IMFMediaSourceEx,
                       public IMFGetService,
                       public IKsControlFace,
                       public IMfSampleAllocatorControl {
 public:
  // The class factory's creation function. Fails with
  // HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND) when Media Foundation is missing,
  // CLASS_E_NOAGGREGATION when aggregated.
  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* hr);

  STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override;
  ZD_DECLARE_IUNKNOWN

  // --- IMFMediaEventGenerator ---
  STDMETHODIMP GetEvent(DWORD flags, IMFMediaEvent** event) override;
  STDMETHODIMP BeginGetEvent(IMFAsyncCallback* callback, IUnknown* state) override;
  STDMETHODIMP EndGetEvent(IMFAsyncResult* result, IMFMediaEvent** event) override;
  STDMETHODIMP QueueEvent(MediaEventType type, REFGUID extendedType, HRESULT status,
                          const PROPVARIANT* value) override;
  // --- IMFMediaSource ---
  STDMETHODIMP GetCharacteristics(DWORD* characteristics) override;
  STDMETHODIMP CreatePresentationDescriptor(IMFPresentationDescriptor** descriptor) override;
  STDMETHODIMP Start(IMFPresentationDescriptor* descriptor, const GUID* timeFormat,
                     const PROPVARIANT* startPosition) override;
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Shutdown() override;
  // --- IMFMediaSourceEx ---
  STDMETHODIMP GetSourceAttributes(IMFAttributes** attributes) override;
  STDMETHODIMP GetStreamAttributes(DWORD streamId, IMFAttributes** attributes) override;
  STDMETHODIMP SetD3DManager(IUnknown* manager) override;
  // --- IMFGetService ---
  STDMETHODIMP GetService(REFGUID service, REFIID iid, void** out) override;
  // --- IKsControl ---
  STDMETHODIMP KsProperty(KsIdentifier* property, ULONG propertyLength, void* data,
                          ULONG dataLength, ULONG* returned) override;
  STDMETHODIMP KsMethod(KsIdentifier* method, ULONG methodLength, void* data, ULONG dataLength,
                        ULONG* returned) override;
  STDMETHODIMP KsEvent(KsIdentifier* event, ULONG eventLength, void* data, ULONG dataLength,
                       ULONG* returned) override;
  // --- IMFSampleAllocatorControl ---
  STDMETHODIMP SetDefaultAllocator(DWORD outputStreamId, IUnknown* allocator) override;
  STDMETHODIMP GetAllocatorUsage(DWORD outputStreamId, DWORD* inputStreamId,
                                 MfSampleAllocatorUsage* usage) override;

 private:
  CZdMediaSource(const MfRuntime& mf, HRESULT* hr);
  ~CZdMediaSource() override;

  // Reads the settings and builds the native types, the stream and the
  // presentation descriptor, once.
  HRESULT Describe();
  // The preset of the type current on descriptor's stream; entry 0 without one.
  int32_t PresetIndexOf(IMFStreamDescriptor* descriptor);

  const MfRuntime& m_mf;
  bool m_started = false;  // MFStartup succeeded: MFShutdown at the end
  CCritSec m_lock;
  bool m_shutdown = false;
  bool m_running = false;
  bool m_streamSelected = false;  // by the last Start: MEUpdatedStream, else MENewStream
  ComPtr<IMFMediaEventQueue> m_events;
  ComPtr<IMFAttributes> m_attributes;
  ComPtr<IMFVideoSampleAllocatorEx> m_allocator;
  // Built by Describe.
  StreamSettings m_settings;
  std::vector<int32_t> m_namedPreset;  // per table entry: the preset its frame code names
  std::vector<std::string> m_leftOut;  // a log line per preset whose type could not be made
  ComPtr<IMFPresentationDescriptor> m_descriptor;
  ComPtr<CZdMediaStream> m_stream;
};
