// CZdMediaStream: the media source's one video stream. It answers
// IMFMediaStream and IMFMediaStream2 with an event queue of its own, carries
// the device stream attributes, and makes one sample per RequestSample on a
// worker thread of its own while the stream runs: the frame loop paces and
// composes each frame into a buffer from Media Foundation (or from the
// allocator the pipeline set), stamps it on the performance counter clock and
// queues it as MEMediaSample with the request's token. A frame that is
// overdue by more than an interval when asked for is skipped (the frame
// loop's m_skipOverdue), so every sample's time is within an interval of the
// clock when it goes out.
//
// Threads: the source calls Begin, End and Close under its own lock; the
// worker touches the frame producer only while it runs, and Begin and End
// join it before they touch the producer. m_lock guards the state, the
// requests and the source pointer, and is never held across a call out.
#pragma once

#include <windows.h>
#include <mfidl.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "baseclasses/com_ptr.h"
#include "mediasource/mf_declarations.h"
#include "mediasource/mf_media_types.h"
#include "mediasource/mf_runtime.h"
#include "pattern/frame_producer.h"
#include "platform/precise_timer.h"
#include "server/unknown.h"
#include "stream/stream_settings.h"

// What a stream start needs: the format, where it stands in the preset
// table, the settings, and the allocator the pipeline set (or none).
struct MfStreamStart {
  PresetInfo preset{};
  int32_t presetIndex = 0;
  // For each table entry, the preset its frames name: its own position, or
  // for an NV12 twin the preset it was made from (AddNv12Twins).
  const std::vector<int32_t>* namedPreset = nullptr;
  const StreamSettings* settings = nullptr;  // the source's; outlives the run
  IMFVideoSampleAllocatorEx* allocator = nullptr;
  IMFMediaType* type = nullptr;  // the current type, for the allocator
  LONGLONG startTime = 0;        // MEStreamStarted's value
};

class CZdMediaStream : public CUnknown, public IMfMediaStream2 {
 public:
  static constexpr DWORD kStreamId = 0;

  CZdMediaStream(const MfRuntime& mf, IMFMediaSource* source);
  ~CZdMediaStream() override;

  // Creates the event queue, the attributes and the descriptor over the
  // native types. Once, right after construction.
  HRESULT Initialize(IMFMediaType** types, DWORD typeCount);

  STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override;
  ZD_DECLARE_IUNKNOWN

  // --- For the source (under its lock) ---
  // Prepares the frame loop (bitmaps, counters, clock) and starts the worker;
  // queues MEStreamStarted. A running stream is ended first.
  HRESULT Begin(const MfStreamStart& start);
  // Ends the worker and drops the pending requests; queues MEStreamStopped
  // when the stream was running. False when it was not.
  bool End();
  // Ends everything: the worker, the queue; the source is forgotten.
  void Close();
  bool Running();
  IMFStreamDescriptor* Descriptor() const { return m_descriptor.Get(); }
  IMFAttributes* Attributes() const { return m_attributes.Get(); }

  // --- IMFMediaEventGenerator ---
  STDMETHODIMP GetEvent(DWORD flags, IMFMediaEvent** event) override;
  STDMETHODIMP BeginGetEvent(IMFAsyncCallback* callback, IUnknown* state) override;
  STDMETHODIMP EndGetEvent(IMFAsyncResult* result, IMFMediaEvent** event) override;
  STDMETHODIMP QueueEvent(MediaEventType type, REFGUID extendedType, HRESULT status,
                          const PROPVARIANT* value) override;
  // --- IMFMediaStream ---
  STDMETHODIMP GetMediaSource(IMFMediaSource** source) override;
  STDMETHODIMP GetStreamDescriptor(IMFStreamDescriptor** descriptor) override;
  // Queues the request; the worker answers it with one MEMediaSample.
  // MF_E_MEDIA_SOURCE_WRONGSTATE while the stream is not running.
  STDMETHODIMP RequestSample(IUnknown* token) override;
  // --- IMFMediaStream2 ---
  // Stopped ends the stream's run, Running starts it again with the last
  // start's format (MF_E_INVALIDREQUEST before any start); Paused:
  // MF_E_INVALID_STATE_TRANSITION.
  STDMETHODIMP SetStreamState(MfStreamState value) override;
  STDMETHODIMP GetStreamState(MfStreamState* value) override;

 private:
  // The worker: one sample per request until told to stop.
  void Work();
  // Makes frames until one is to be delivered (a lost frame is made and
  // dropped); reordered and repeated frames wait in m_ready.
  HRESULT NextSample(ComPtr<IMFSample>* out);
  HRESULT MakeFrame(ComPtr<IMFSample>* out, FramePlan* plan);
  // The pipeline may set another native type on the descriptor while the
  // stream runs (the source reader does): the frames follow it from the next
  // request on, as a new stream of that preset.
  HRESULT FollowCurrentType();
  // The descriptor's current type is no longer the one the frames follow.
  bool CurrentTypeChanged();
  // Prepares the frame loop for m_start's preset.
  HRESULT Prepare();
  HRESULT NewSample(ComPtr<IMFSample>* out);
  HRESULT CheckAlive();
  // Ends the worker and drops the pending requests, without an event; true
  // when the stream was running.
  bool Halt();
  void StopWorker();

  const MfRuntime& m_mf;
  ComPtr<IMFMediaEventQueue> m_events;
  ComPtr<IMFAttributes> m_attributes;
  ComPtr<IMFStreamDescriptor> m_descriptor;

  std::mutex m_lock;
  std::condition_variable m_wake;
  IMFMediaSource* m_source;  // no reference: the source forgets us in Close
  bool m_closed = false;
  MfStreamState m_state = kMfStreamStateStopped;
  std::deque<ComPtr<IUnknown>> m_requests;  // tokens, null for none

  std::thread m_worker;
  std::atomic<bool> m_stopping{false};
  // The worker's (or the starting thread's before the worker runs).
  MfStreamStart m_start;
  MfFrameFormat m_format;
  ComPtr<IMFVideoSampleAllocatorEx> m_allocator;
  ComPtr<IMFMediaType> m_type;  // the descriptor's current type the frames follow
  FrameProducer m_producer;
  // The waits' timer while the stream runs (Begin to Halt or Close); the
  // worker sleeps on it.
  std::optional<PreciseTimer> m_timer;
  std::deque<ComPtr<IMFSample>> m_ready;  // repeated and reordered frames
  std::vector<uint8_t> m_frame;           // the frame as drawn: rows of the default stride
};
