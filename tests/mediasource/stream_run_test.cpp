// The stream's run as a pipeline that shares the camera drives it: stream
// events as IMFMediaSource::Start describes them for selected and deselected
// streams, a pipeline's allocator that runs dry, and start, stop, stream
// state, shutdown and the last release from several threads at once.
#include <mferror.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <memory>
#include <thread>

#include "mediasource/mf_declarations.h"
#include "tests/mediasource/mf_fixture.h"

namespace {

// An allocator of the pipeline's that has as many samples as the test gives
// it: with none free it answers MF_E_SAMPLEALLOCATOR_EMPTY, as an allocator
// whose samples are all still downstream does.
class CountedAllocator final : public IMFVideoSampleAllocatorEx {
 public:
  std::atomic<int> free{0};
  std::atomic<int> emptyAnswers{0};

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out)
      return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMFVideoSampleAllocator) ||
        IsEqualIID(iid, IID_IMFVideoSampleAllocatorEx)) {
      *out = static_cast<IMFVideoSampleAllocatorEx*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG refs = --m_refs;
    if (refs == 0)
      delete this;
    return refs;
  }
  STDMETHODIMP SetDirectXManager(IUnknown*) override { return S_OK; }
  STDMETHODIMP UninitializeSampleAllocator() override { return S_OK; }
  STDMETHODIMP InitializeSampleAllocator(DWORD, IMFMediaType* type) override {
    UINT32 w = 0, h = 0;
    if (!type || FAILED(MFGetAttributeSize(type, MF_MT_FRAME_SIZE, &w, &h)))
      return E_INVALIDARG;
    m_bytes = w * h * 4;
    return S_OK;
  }
  STDMETHODIMP InitializeSampleAllocatorEx(DWORD initial, DWORD, IMFAttributes*,
                                           IMFMediaType* type) override {
    return InitializeSampleAllocator(initial, type);
  }
  STDMETHODIMP AllocateSample(IMFSample** out) override {
    if (!out)
      return E_POINTER;
    *out = nullptr;
    if (free.fetch_sub(1) <= 0) {
      ++free;
      ++emptyAnswers;
      return MF_E_SAMPLEALLOCATOR_EMPTY;
    }
    ComPtr<IMFMediaBuffer> buffer;
    ComPtr<IMFSample> sample;
    HRESULT hr = MFCreateMemoryBuffer(m_bytes, buffer.Put());
    if (SUCCEEDED(hr))
      hr = MFCreateSample(sample.Put());
    if (SUCCEEDED(hr))
      hr = sample->AddBuffer(buffer.Get());
    if (SUCCEEDED(hr))
      *out = sample.Detach();
    return hr;
  }

 private:
  ~CountedAllocator() = default;
  std::atomic<ULONG> m_refs{1};
  DWORD m_bytes = 0;
};

HRESULT StartWith(IMFMediaSource* source, IMFPresentationDescriptor* descriptor, bool select) {
  if (select)
    descriptor->SelectStream(0);
  else
    descriptor->DeselectStream(0);
  PROPVARIANT position;
  PropVariantInit(&position);
  return source->Start(descriptor, &GUID_NULL, &position);
}

// The events a generator has queued, without waiting.
std::vector<MediaEventType> QueuedEvents(IMFMediaEventGenerator* generator) {
  std::vector<MediaEventType> types;
  ComPtr<IMFMediaEvent> event;
  while (generator->GetEvent(MF_EVENT_FLAG_NO_WAIT, event.Put()) == S_OK)
    types.push_back(TypeOf(event.Get()));
  return types;
}

// The frame code of the next sample a stream sends (its event waited for).
zdcap::SampleCode NextCode(IMFMediaStream* stream) {
  ComPtr<IMFMediaEvent> event = NextEvent(stream);
  EXPECT_EQ(TypeOf(event.Get()), MEMediaSample);
  const std::vector<uint8_t> bytes = SampleBytes(SampleOf(event.Get()).Get());
  return ReadCode(bytes.data(), bytes.size(), kExpectedTypes[0]);
}

class StreamRunTest : public MediaSourceTest {
 protected:
  void TearDown() override {
    if (source)
      source->Shutdown();
    stream.Reset();
    descriptor.Reset();
    source.Reset();
    MediaSourceTest::TearDown();
  }
  ComPtr<IMFMediaSource> source;
  ComPtr<IMFPresentationDescriptor> descriptor;
  ComPtr<IMFMediaStream> stream;
};

}  // namespace

// MENewStream when the previous Start did not select the stream (or there
// was none), MEUpdatedStream when it did; nothing from a deselected stream,
// and MEStreamStopped only from a stream that runs.
TEST_F(StreamRunTest, StreamEventsFollowTheSelectionOfEachStart) {
  source = CreateSource();
  ASSERT_TRUE(source);
  ASSERT_EQ(source->CreatePresentationDescriptor(descriptor.Put()), S_OK);
  enum Call { kStart, kDeselectedStart, kStop };
  struct Step {
    const char* what;
    Call call;
    std::vector<MediaEventType> sourceEvents, streamEvents;
  };
  const Step steps[] = {
      {"first start", kStart, {MENewStream, MESourceStarted}, {MEStreamStarted}},
      {"start again", kStart, {MEUpdatedStream, MESourceStarted}, {MEStreamStarted}},
      {"deselected", kDeselectedStart, {MESourceStarted}, {}},
      {"stop while deselected", kStop, {MESourceStopped}, {}},
      {"selected again", kStart, {MENewStream, MESourceStarted}, {MEStreamStarted}},
      {"stop", kStop, {MESourceStopped}, {MEStreamStopped}},
      {"start after a stop", kStart, {MEUpdatedStream, MESourceStarted}, {MEStreamStarted}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    if (step.call == kStop)
      ASSERT_EQ(source->Stop(), S_OK);
    else
      ASSERT_EQ(StartWith(source.Get(), descriptor.Get(), step.call == kStart), S_OK);
    // Start and Stop queue their events before they return.
    ComPtr<IMFMediaEvent> first;
    std::vector<MediaEventType> sourceEvents;
    while (source->GetEvent(MF_EVENT_FLAG_NO_WAIT, first.Put()) == S_OK) {
      sourceEvents.push_back(TypeOf(first.Get()));
      if (!stream && sourceEvents.back() == MENewStream)
        EventObject(first.Get(), IID_IMFMediaStream).As(IID_IMFMediaStream, &stream);
    }
    EXPECT_EQ(sourceEvents, step.sourceEvents);
    ASSERT_TRUE(stream);
    EXPECT_EQ(QueuedEvents(stream.Get()), step.streamEvents);
  }
}

// Every sample of the pipeline's allocator is out: the frames made meanwhile
// are dropped (counted in the drop count and named in the fault log), the
// requests wait, and the stream goes on once samples come back.
TEST_F(StreamRunTest, AnAllocatorThatRunsDryHoldsTheRequestsUntilSamplesComeBack) {
  std::string settings = StandardSettings();
  settings.insert(settings.find("[MAIN]\r\n") + 8, "fault_log=run_faults.txt\r\n");
  WriteSettings(settings);
  auto* allocator = new CountedAllocator;
  ComPtr<IUnknown> held;
  held.Attach(static_cast<IMFVideoSampleAllocatorEx*>(allocator));
  allocator->free = 2;
  source = CreateSource();
  ASSERT_TRUE(source);
  ComPtr<IMfSampleAllocatorControl> control;
  ASSERT_EQ(source.As(kIidMfSampleAllocatorControl, &control), S_OK);
  ASSERT_EQ(control->SetDefaultAllocator(0, held.Get()), S_OK);
  ASSERT_EQ(source->CreatePresentationDescriptor(descriptor.Put()), S_OK);
  ASSERT_EQ(StartWith(source.Get(), descriptor.Get(), true), S_OK);
  ComPtr<IMFMediaEvent> event = NextEvent(source.Get());
  ASSERT_EQ(TypeOf(event.Get()), MENewStream);
  EventObject(event.Get(), IID_IMFMediaStream).As(IID_IMFMediaStream, &stream);
  ASSERT_TRUE(stream);
  ASSERT_EQ(TypeOf(NextEvent(stream.Get()).Get()), MEStreamStarted);

  for (int i = 0; i < 4; ++i)
    ASSERT_EQ(stream->RequestSample(nullptr), S_OK);
  std::vector<zdcap::SampleCode> codes;
  codes.push_back(NextCode(stream.Get()));
  codes.push_back(NextCode(stream.Get()));
  // Three frames at least find the allocator empty; then two samples return.
  for (int i = 0; i < 1000 && allocator->emptyAnswers < 3; ++i)
    Sleep(10);
  ASSERT_GE(allocator->emptyAnswers, 3);
  DWORD input = 0;
  MfSampleAllocatorUsage usage = kMfAllocatorDoesNotAllocate;
  EXPECT_EQ(control->GetAllocatorUsage(0, &input, &usage), S_OK);
  EXPECT_EQ(usage, kMfAllocatorUsesProvided);
  allocator->free += 2;
  codes.push_back(NextCode(stream.Get()));
  codes.push_back(NextCode(stream.Get()));
  ASSERT_EQ(source->Stop(), S_OK);  // closes the fault log

  for (const zdcap::SampleCode& code : codes)
    ASSERT_EQ(code.frame.status, FrameCodeStatus::kDecoded);
  const FrameCodePayload& before = codes[1].frame.payload;
  const FrameCodePayload& after = codes[2].frame.payload;
  EXPECT_GT(before.frame_number, codes[0].frame.payload.frame_number);
  EXPECT_GT(codes[3].frame.payload.frame_number, after.frame_number);
  // Each frame that found the allocator empty is named in the fault log,
  // lies between the samples before and after, and counts as a drop (late
  // frames on a busy machine count too: never fewer).
  const int dropped = allocator->emptyAnswers;
  std::ifstream log(ModuleFolder() + "\\run_faults.txt");
  uint32_t frame = 0;
  std::string kind;
  int logged = 0;
  while (log >> frame >> kind) {
    ++logged;
    EXPECT_EQ(kind, "no-free-sample");
    EXPECT_GT(frame, before.frame_number);
    EXPECT_LT(frame, after.frame_number);
  }
  EXPECT_EQ(logged, dropped);
  EXPECT_GE(after.frame_number - before.frame_number - 1, uint32_t(dropped));
  EXPECT_GE(after.drop_count - before.drop_count, uint32_t(dropped));
}

// Start, Stop, SetStreamState, RequestSample, GetMediaSource, Shutdown and
// the last Release from four threads at once against a streaming source,
// round after round: every round ends within its watchdog's time and the
// module is left with no object alive.
TEST_F(StreamRunTest, CallsFromSeveralThreadsAtOnceNeitherCrashNorHang) {
  WriteSettings(
      "[MAIN]\r\npreset_num=2\r\nframe_code=1\r\n[PRESET_DEF]\r\nbmp=chart.bmp\r\n"
      "font=font.bmp\r\nframe_time=166667\r\n"
      "[PRESET_01]\r\nenable=1\r\nw=160\r\nh=120\r\nfcc=YUY2\r\n"
      "[PRESET_02]\r\nenable=1\r\nw=160\r\nh=120\r\nfcc=RG32\r\n");
  constexpr int kRounds = 200;
  constexpr auto kWatchdog = std::chrono::seconds(20);
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ComPtr<IMFMediaSource> src = CreateSource();
    ASSERT_TRUE(src);
    ComPtr<IMFPresentationDescriptor> pd;
    ASSERT_EQ(src->CreatePresentationDescriptor(pd.Put()), S_OK);
    ASSERT_EQ(StartWith(src.Get(), pd.Get(), true), S_OK);
    ComPtr<IMFMediaEvent> event = NextEvent(src.Get());
    ComPtr<IMFMediaStream> str;
    EventObject(event.Get(), IID_IMFMediaStream).As(IID_IMFMediaStream, &str);
    ASSERT_TRUE(str);
    ComPtr<IMfMediaStream2> str2;
    ASSERT_EQ(str.As(kIidMfMediaStream2, &str2), S_OK);
    ASSERT_EQ(str->RequestSample(nullptr), S_OK);

    // Each thread holds references of its own and lets them go when done:
    // whichever ends last makes the last Release.
    auto go = std::make_shared<std::promise<void>>();
    std::shared_future<void> start = go->get_future().share();
    const int pattern = round;
    auto stateFlips = [start, s2 = str2, pattern]() mutable {
      start.wait();
      for (int i = 0; i < 4; ++i)
        s2->SetStreamState((i + pattern) % 2 ? kMfStreamStateRunning : kMfStreamStateStopped);
      s2.Reset();
    };
    auto restarts = [start, s = src, p = pd, pattern]() mutable {
      start.wait();
      for (int i = 0; i < 3; ++i) {
        if ((i + pattern) % 3 == 0)
          s->Stop();
        else
          StartWith(s.Get(), p.Get(), (i + pattern) % 4 != 1);
      }
      s.Reset();
      p.Reset();
    };
    auto requests = [start, st = str]() mutable {
      start.wait();
      for (int i = 0; i < 6; ++i) {
        st->RequestSample(nullptr);
        ComPtr<IMFMediaSource> owner;
        st->GetMediaSource(owner.Put());
      }
      st.Reset();
    };
    auto shutdown = [start, s = src, pattern]() mutable {
      start.wait();
      std::this_thread::sleep_for(std::chrono::microseconds(200 * (pattern % 8)));
      s->Shutdown();
      s.Reset();
    };
    std::vector<std::thread> threads;
    std::vector<std::future<void>> done;
    auto launch = [&](auto work) {
      auto finished = std::make_shared<std::promise<void>>();
      done.push_back(finished->get_future());
      threads.emplace_back([work, finished]() mutable {
        work();
        finished->set_value();
      });
    };
    launch(stateFlips);
    launch(restarts);
    launch(requests);
    launch(shutdown);
    event.Reset();
    str2.Reset();
    str.Reset();
    pd.Reset();
    src.Reset();
    go->set_value();
    bool hung = false;
    for (size_t i = 0; i < threads.size(); ++i) {
      if (done[i].wait_for(kWatchdog) == std::future_status::ready) {
        threads[i].join();
      } else {
        hung = true;  // the stuck thread is left behind
        threads[i].detach();
      }
    }
    ASSERT_FALSE(hung) << "a call did not return within " << kWatchdog.count() << " s";
  }
}

// Requests pending when the run ends, one in the worker's hand (its frame
// held back by a 60 s stall) and one queued, are dropped: their tokens are
// let go by the time Stop, SetStreamState(Stopped) or Shutdown returns, as
// RequestSample's page says a request that cannot be met ends.
TEST_F(StreamRunTest, PendingRequestsAreDroppedWhenTheRunEnds) {
  std::string settings = StandardSettings();
  settings.insert(settings.find("[PRESET_DEF]\r\n") + 14,
                  "fault_stall_every=1\r\nfault_stall_ms=60000\r\n");
  WriteSettings(settings);
  enum End { kStop, kStreamStopped, kShutdown };
  for (End end : {kStop, kStreamStopped, kShutdown}) {
    SCOPED_TRACE(end == kStop ? "Stop" : end == kStreamStopped ? "SetStreamState" : "Shutdown");
    source = CreateSource();
    ASSERT_TRUE(source);
    ASSERT_EQ(source->CreatePresentationDescriptor(descriptor.Put()), S_OK);
    ASSERT_EQ(StartWith(source.Get(), descriptor.Get(), true), S_OK);
    ComPtr<IMFMediaEvent> event = NextEvent(source.Get());
    EventObject(event.Get(), IID_IMFMediaStream).As(IID_IMFMediaStream, &stream);
    ASSERT_TRUE(stream);
    // Frame 0 comes at once; frame 1 is held back 60 s, frame 2 waits.
    ASSERT_EQ(stream->RequestSample(nullptr), S_OK);
    ASSERT_EQ(TypeOf(NextEvent(stream.Get()).Get()), MEStreamStarted);
    ASSERT_EQ(TypeOf(NextEvent(stream.Get()).Get()), MEMediaSample);
    ComPtr<IMFAttributes> inHand, queued;
    ASSERT_EQ(MFCreateAttributes(inHand.Put(), 1), S_OK);
    ASSERT_EQ(MFCreateAttributes(queued.Put(), 1), S_OK);
    ASSERT_EQ(stream->RequestSample(inHand.Get()), S_OK);
    ASSERT_EQ(stream->RequestSample(queued.Get()), S_OK);
    Sleep(200);
    const auto refs = [](IUnknown* object) {
      object->AddRef();
      return object->Release();
    };
    EXPECT_GT(refs(queued.Get()), 1u);  // the stream holds it
    ComPtr<IMfMediaStream2> stream2;
    ASSERT_EQ(stream.As(kIidMfMediaStream2, &stream2), S_OK);
    const HRESULT ended = end == kStop            ? source->Stop()
                          : end == kStreamStopped ? stream2->SetStreamState(kMfStreamStateStopped)
                                                  : source->Shutdown();
    EXPECT_EQ(ended, S_OK);
    EXPECT_EQ(refs(inHand.Get()), 1u);
    EXPECT_EQ(refs(queued.Get()), 1u);
    source->Shutdown();
    stream2.Reset();
    stream.Reset();
    descriptor.Reset();
    source.Reset();
  }
}
