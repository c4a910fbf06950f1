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
// Threads: m_control serialises every change of the stream's run (Begin,
// End, Deselect, Close, SetStreamState), whichever thread asks; the worker
// never takes it. The worker touches the frame producer only while it runs,
// and every change of the run ends it (waits for it) before it touches the
// producer. The worker is a thread of its own that holds a reference to the
// stream and to the module until it has left both, so a last Release made
// on it (a token or sample released there may end the pipeline) frees the
// stream only after its loop is done; a worker is never waited for by
// itself. m_lock guards the state, the requests and the source pointer, and
// is never held across a call out.
//
// The stream holds a reference to its source (GetMediaSource may be asked
// at any time); Close, at the source's Shutdown, lets it go.
#pragma once

#include <windows.h>
#include <mfidl.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "baseclasses/com_ptr.h"
#include "mediasource/mf_declarations.h"
#include "mediasource/mf_media_types.h"
#include "mediasource/mf_runtime.h"
#include "pattern/frame_producer.h"
#include "platform/precise_timer.h"
#include "platform/unique_handle.h"
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
  // Lines for the fault log at the head of every stream's log (the types the
  // source left out); the source's, outlives the run. May be null.
  const std::vector<std::string>* logLines = nullptr;
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
  // Ends the worker and drops the pending requests (their tokens released:
  // the requests cannot be met); queues MEStreamStopped when the stream was
  // running. False when it was not.
  bool End();
  // The same for a stream a Start deselected: no event.
  void Deselect();
  // Ends everything: the worker, the queue; the source is let go.
  void Close();
  bool Running();
  // False once the allocator the pipeline set was given up for the current
  // run (it refused the type, or failed other than by running dry).
  bool UsesProvidedAllocator();
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
  static DWORD WINAPI WorkerEntry(void* stream);
  void Work();
  HRESULT StartWorker();
  bool OnWorker() const { return GetCurrentThreadId() == m_workerId.load(); }
  // Hold m_control. Requests the run drops go into dropped, to be let go
  // once m_control is (their release may call out of the module).
  HRESULT BeginRun(const MfStreamStart& start, std::deque<ComPtr<IUnknown>>* dropped);
  bool EndRun(std::deque<ComPtr<IUnknown>>* dropped);  // End's work
  // Ends the worker and drops the pending requests, without an event; true
  // when the stream was running.
  bool HaltRun(std::deque<ComPtr<IUnknown>>* dropped);
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
  // A sample of one buffer: the allocator's, or the stream's own of the
  // format's frameBytes (for MJPG the largest JPEG) when there is none or
  // its buffer cannot hold the bytes of this JPEG.
  HRESULT NewSample(ComPtr<IMFSample>* out, DWORD bytes);
  HRESULT CheckAlive();
  // Ends the worker (waits for it, unless called on it) and drops the
  // pending requests.
  void StopWorker();
  // The worker cannot go on: the pipeline hears why (MEError), and requests
  // from now on are dropped at once.
  void Fail(HRESULT hr);

  const MfRuntime& m_mf;
  ComPtr<IMFMediaEventQueue> m_events;
  ComPtr<IMFAttributes> m_attributes;
  ComPtr<IMFStreamDescriptor> m_descriptor;

  std::mutex m_control;  // held for a whole change of the run; never by the worker

  std::mutex m_lock;
  std::condition_variable m_wake;
  ComPtr<IMFMediaSource> m_source;  // let go in Close
  bool m_closed = false;
  bool m_failed = false;  // the worker gave up; until the next start
  MfStreamState m_state = kMfStreamStateStopped;
  std::deque<ComPtr<IUnknown>> m_requests;  // tokens, null for none

  UniqueHandle m_worker;  // the worker's thread, while one runs
  std::atomic<DWORD> m_workerId{0};
  std::atomic<bool> m_stopping{false};
  std::atomic<bool> m_allocatorGivenUp{false};
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
  std::vector<uint8_t> m_frame;  // the frame as drawn: rows of the default stride, or one JPEG
};
