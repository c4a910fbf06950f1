// CBallStream: the filter's single output pin and the stream that produces
// its frames. A source stream (its own worker thread) that adds the capture
// configuration interfaces IAMStreamConfig and IKsPropertySet, and owns all
// per-stream state: the settings and presets, the current preset and the
// frame producer with its surfaces, counters and latency log. It reports its
// own counts through IAMDroppedFrames and its latency through IAMPushSource
// (with IAMLatency), and applies the delivery faults a preset asks for.
//
// Locks:
// - The filter's state lock (the pin lock) guards connection, negotiation and
//   state changes; GetMediaType, SetMediaType, DecideBufferSize and SetFormat
//   take it.
// - m_streamLock guards the frame-production state. The worker holds it for
//   the whole of each OnThreadCreate, FillBuffer (waits included) and
//   OnThreadDestroy; the constructor and destructor take it too. Only the
//   worker takes it otherwise, apart from SetFormat while the filter is
//   stopped (no worker exists then).
// - m_presetLock guards m_preset for readers outside the worker (type
//   checks, IAMStreamConfig); it is held only for a copy, never across a
//   call. SetFormat replaces m_preset holding the state lock, m_streamLock
//   and m_presetLock, in that order.
// - m_counts has a lock of its own: IAMDroppedFrames reads it without
//   m_streamLock, which the worker holds while a paused graph waits to run.
#pragma once

#include <dshow.h>

#include <optional>

#include "baseclasses/crit_sec.h"
#include "baseclasses/source_stream.h"
#include "baseclasses/com_ptr.h"
#include "pattern/delivery_counts.h"
#include "pattern/frame_producer.h"
#include "platform/precise_timer.h"
#include "resources/product_names.h"
#include "stream/preset_info.h"
#include "stream/stream_settings.h"

class CBouncingBall;

class CBallStream : public CSourceStream,
                    public IKsPropertySet,
                    public IAMStreamConfig,
                    public IAMDroppedFrames,
                    public IAMPushSource {
 public:
  // The pin's name, the same text as the filter's friendly name.
  static constexpr const wchar_t* kPinName = kFriendlyNameW;

  CBallStream(HRESULT* hr, CBouncingBall* filter);
  ~CBallStream() override;

  // Interface map: IID_IKsPropertySet, IID_IAMStreamConfig,
  // IID_IAMDroppedFrames, IID_IAMPushSource and IID_IAMLatency, then the
  // base pin's (IPin, IQualityControl, IUnknown).
  STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override;
  ZD_DECLARE_IUNKNOWN

  // --- Worker thread only (each holds m_streamLock) ---
  HRESULT FillBuffer(IMediaSample* sample) override;
  HRESULT OnThreadCreate() override;
  HRESULT OnThreadDestroy() override;
  // Hands the sample downstream as the frame's delivery fault says: lost
  // (not delivered), repeated (delivered twice) or held back until the next
  // frame has been delivered (fault_delivery.cpp).
  HRESULT Deliver(IMediaSample* sample) override;

  // --- Negotiation (media_types.cpp) ---
  // Positions 0 and 1 both give the current preset's type (state lock).
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  using CSourceStream::GetMediaType;
  // Accepts exactly the current preset's format (no lock).
  HRESULT CheckMediaType(const CMediaType* mt) override;
  // Records the type; E_UNEXPECTED when it is not the current preset's
  // pixel format (state lock).
  HRESULT SetMediaType(const CMediaType* mt) override;
  // "buff_num" buffers of one frame each (state lock).
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

  // A free-standing, task-allocated media type for the preset's size, format
  // and frame time; the interlace flags come from the current preset. False
  // when out of memory (nothing is handed out then).
  bool CreatePresetMediaType(AM_MEDIA_TYPE** out, const PresetInfo& preset);

  // --- IQualityControl: every notification accepted, nothing changes ---
  STDMETHODIMP Notify(IBaseFilter* sender, Quality quality) override;

  // --- IAMStreamConfig (stream_config.cpp) ---
  STDMETHODIMP SetFormat(AM_MEDIA_TYPE* mt) override;
  STDMETHODIMP GetFormat(AM_MEDIA_TYPE** mt) override;
  STDMETHODIMP GetNumberOfCapabilities(int* count, int* size) override;
  STDMETHODIMP GetStreamCaps(int index, AM_MEDIA_TYPE** mt, BYTE* caps) override;

  // --- IKsPropertySet (pin_category.cpp): the pin is a capture pin ---
  STDMETHODIMP Set(REFGUID propSet, DWORD propId, void* instanceData, DWORD instanceLength,
                   void* propData, DWORD dataLength) override;
  STDMETHODIMP Get(REFGUID propSet, DWORD propId, void* instanceData, DWORD instanceLength,
                   void* propData, DWORD dataLength, DWORD* returned) override;
  STDMETHODIMP QuerySupported(REFGUID propSet, DWORD propId, DWORD* support) override;

  // --- IAMDroppedFrames (dropped_frames.cpp): this stream's counts; no
  // m_streamLock, readable while paused and after a stop ---
  STDMETHODIMP GetNumDropped(long* dropped) override;
  STDMETHODIMP GetNumNotDropped(long* notDropped) override;
  STDMETHODIMP GetDroppedInfo(long size, long* frames, long* copied) override;
  STDMETHODIMP GetAverageFrameSize(long* averageSize) override;

  // --- IAMPushSource with IAMLatency (dropped_frames.cpp): one frame of
  // latency, no flags, no stream offset ---
  STDMETHODIMP GetLatency(REFERENCE_TIME* latency) override;
  STDMETHODIMP GetPushSourceFlags(ULONG* flags) override;
  STDMETHODIMP SetPushSourceFlags(ULONG flags) override;
  STDMETHODIMP SetStreamOffset(REFERENCE_TIME offset) override;
  STDMETHODIMP GetStreamOffset(REFERENCE_TIME* offset) override;
  STDMETHODIMP GetMaxStreamOffset(REFERENCE_TIME* offset) override;
  STDMETHODIMP SetMaxStreamOffset(REFERENCE_TIME offset) override;

  // A copy of the current preset (m_presetLock).
  PresetInfo CurrentPreset();
  const StreamSettings& Settings() const { return m_settings; }

 private:
  // Worker thread: after the device was removed, until the stop command.
  HRESULT AwaitStop(FrameHost& host);
  // Replaces the current preset with table entry index (state lock held,
  // filter stopped).
  void ReplacePreset(int32_t index);

  CBouncingBall* m_ballFilter;  // the owner; no reference
  PresetInfo m_preset;
  int32_t m_presetIndex = 0;  // m_preset's position in the table, as GetStreamCaps counts
  CCritSec m_streamLock;
  CCritSec m_presetLock;
  StreamSettings m_settings;  // read once, at construction; never changes after
  FrameProducer m_producer;   // worker thread only, under m_streamLock
  // The waits' timer while the stream runs (OnThreadCreate to
  // OnThreadDestroy); worker thread only, under m_streamLock.
  std::optional<PreciseTimer> m_timer;
  DeliveryCounts m_counts;  // any thread; its own lock
  // Worker thread only: the faults of the frame FillBuffer made last, and a
  // sample held back for reordering (released when the stream ends).
  FramePlan m_deliveryPlan;
  ComPtr<IMediaSample> m_heldSample;
};
