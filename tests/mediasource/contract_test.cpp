// The calls a camera pipeline makes that Wine's source reader and media
// session never make, made directly on the media source and its stream.
#include <mferror.h>

#include <functional>

#include "mediasource/mf_declarations.h"
#include "tests/mediasource/mf_fixture.h"

namespace {

// A started source, its stream (from MENewStream) and its first events.
struct Started {
  ComPtr<IMFMediaSource> source;
  ComPtr<IMFPresentationDescriptor> descriptor;
  ComPtr<IMFMediaStream> stream;
};

void Start(IMFMediaSource* source, IMFPresentationDescriptor* descriptor,
           MediaEventType streamEvent, ComPtr<IMFMediaStream>* stream) {
  PROPVARIANT position;
  PropVariantInit(&position);
  ASSERT_EQ(source->Start(descriptor, &GUID_NULL, &position), S_OK);
  ComPtr<IMFMediaEvent> event = NextEvent(source);
  ASSERT_EQ(TypeOf(event.Get()), streamEvent);
  PROPVARIANT value;
  PropVariantInit(&value);
  ASSERT_EQ(event->GetValue(&value), S_OK);
  ASSERT_EQ(value.vt, VT_UNKNOWN);
  stream->Reset();
  value.punkVal->QueryInterface(IID_IMFMediaStream, stream->PutVoid());
  PropVariantClear(&value);
  ASSERT_TRUE(*stream);
  EXPECT_EQ(TypeOf(NextEvent(source).Get()), MESourceStarted);
  EXPECT_EQ(TypeOf(NextEvent(stream->Get()).Get()), MEStreamStarted);
}

class ContractTest : public MediaSourceTest {
 protected:
  void StartSource() {
    s.source = CreateSource();
    ASSERT_TRUE(s.source);
    ASSERT_EQ(s.source->CreatePresentationDescriptor(s.descriptor.Put()), S_OK);
    Start(s.source.Get(), s.descriptor.Get(), MENewStream, &s.stream);
  }
  void TearDown() override {
    if (s.source)
      s.source->Shutdown();
    s = Started();
    MediaSourceTest::TearDown();
  }
  Started s;
};

}  // namespace

TEST_F(ContractTest, TokenIsCopiedIntoTheSample) {
  ASSERT_NO_FATAL_FAILURE(StartSource());
  ComPtr<IMFAttributes> token;
  ASSERT_EQ(MFCreateAttributes(token.Put(), 1), S_OK);
  ASSERT_EQ(s.stream->RequestSample(token.Get()), S_OK);
  ComPtr<IMFMediaEvent> event = NextEvent(s.stream.Get());
  ASSERT_EQ(TypeOf(event.Get()), MEMediaSample);
  PROPVARIANT value;
  PropVariantInit(&value);
  ASSERT_EQ(event->GetValue(&value), S_OK);
  ComPtr<IMFSample> sample;
  value.punkVal->QueryInterface(IID_IMFSample, sample.PutVoid());
  PropVariantClear(&value);
  ASSERT_TRUE(sample);
  ComPtr<IUnknown> copied;
  ASSERT_EQ(sample->GetUnknown(MFSampleExtension_Token, IID_IUnknown, copied.PutVoid()), S_OK);
  ComPtr<IUnknown> original;
  token->QueryInterface(IID_IUnknown, original.PutVoid());
  EXPECT_EQ(copied.Get(), original.Get());
  LONGLONG time = 0;
  EXPECT_EQ(sample->GetSampleTime(&time), S_OK);
  EXPECT_GT(time, 0);  // on the performance counter clock, not from 0
}

namespace {

// The performance counter's time in 100-ns units, as MFGetSystemTime reads it.
int64_t CounterNow() {
  LARGE_INTEGER count = {};
  LARGE_INTEGER frequency = {};
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  const int64_t f = frequency.QuadPart;
  return count.QuadPart / f * 10000000 + count.QuadPart % f * 10000000 / f;
}

}  // namespace

// One sample asked for and received, with the counter's time at its arrival.
struct Received {
  ComPtr<IMFSample> sample;
  int64_t arrived = 0;
};
Received RequestOne(IMFMediaStream* stream) {
  Received r;
  EXPECT_EQ(stream->RequestSample(nullptr), S_OK);
  ComPtr<IMFMediaEvent> event = NextEvent(stream);
  r.arrived = CounterNow();
  EXPECT_EQ(TypeOf(event.Get()), MEMediaSample);
  r.sample = SampleOf(event.Get());
  return r;
}

TEST_F(ContractTest, EachSampleCarriesTheDeviceTimeItsFrameWasMadeAt) {
  ASSERT_NO_FATAL_FAILURE(StartSource());
  for (int k = 0; k < 3; ++k) {
    const Received r = RequestOne(s.stream.Get());
    ASSERT_TRUE(r.sample);
    LONGLONG time = 0;
    ASSERT_EQ(r.sample->GetSampleTime(&time), S_OK);
    UINT64 device = 0;
    ASSERT_EQ(r.sample->GetUINT64(kMfSampleExtensionDeviceTimestamp, &device), S_OK);
    // Made when due (at its time stamp or a little later), before it arrived.
    EXPECT_GE(int64_t(device), time - 1) << "sample " << k;
    EXPECT_LE(int64_t(device), r.arrived) << "sample " << k;
  }
}

// A request that comes six intervals after the last one gets the frame of
// the moment: the frames due more than an interval before it were skipped.
TEST_F(ContractTest, FramesNobodyAskedForInTimeAreSkipped) {
  ASSERT_NO_FATAL_FAILURE(StartSource());
  const Received first = RequestOne(s.stream.Get());
  ASSERT_TRUE(first.sample);
  LONGLONG firstTime = 0;
  LONGLONG duration = 0;
  ASSERT_EQ(first.sample->GetSampleTime(&firstTime), S_OK);
  ASSERT_EQ(first.sample->GetSampleDuration(&duration), S_OK);
  ASSERT_GT(duration, 0);
  Sleep(DWORD(6 * duration / 10000));
  const Received next = RequestOne(s.stream.Get());
  ASSERT_TRUE(next.sample);
  LONGLONG nextTime = 0;
  ASSERT_EQ(next.sample->GetSampleTime(&nextTime), S_OK);
  EXPECT_EQ((nextTime - firstTime) % duration, 0);
  EXPECT_GE(nextTime - firstTime, 5 * duration)
      << "the frames overdue by more than an interval are skipped";
}

TEST_F(ContractTest, StartStopAndStreamStates) {
  ASSERT_NO_FATAL_FAILURE(StartSource());
  // A second Start: the stream is already known.
  ASSERT_NO_FATAL_FAILURE(Start(s.source.Get(), s.descriptor.Get(), MEUpdatedStream, &s.stream));
  EXPECT_EQ(s.source->Pause(), MF_E_INVALID_STATE_TRANSITION);
  const GUID otherFormat = MF_MT_SUBTYPE;
  PROPVARIANT position;
  PropVariantInit(&position);
  EXPECT_EQ(s.source->Start(s.descriptor.Get(), &otherFormat, &position),
            MF_E_UNSUPPORTED_TIME_FORMAT);

  ComPtr<IMfMediaStream2> stream2;
  ASSERT_EQ(s.stream.As(kIidMfMediaStream2, &stream2), S_OK);
  MfStreamState state = kMfStreamStateStopped;
  EXPECT_EQ(stream2->GetStreamState(&state), S_OK);
  EXPECT_EQ(state, kMfStreamStateRunning);
  EXPECT_EQ(stream2->SetStreamState(kMfStreamStateStopped), S_OK);
  EXPECT_EQ(TypeOf(NextEvent(s.stream.Get()).Get()), MEStreamStopped);
  EXPECT_EQ(stream2->GetStreamState(&state), S_OK);
  EXPECT_EQ(state, kMfStreamStateStopped);
  EXPECT_EQ(s.stream->RequestSample(nullptr), MF_E_MEDIA_SOURCE_WRONGSTATE);
  EXPECT_EQ(stream2->SetStreamState(kMfStreamStatePaused), MF_E_INVALID_STATE_TRANSITION);
  EXPECT_EQ(stream2->SetStreamState(kMfStreamStateRunning), S_OK);
  EXPECT_EQ(TypeOf(NextEvent(s.stream.Get()).Get()), MEStreamStarted);
  EXPECT_EQ(s.stream->RequestSample(nullptr), S_OK);
  EXPECT_EQ(TypeOf(NextEvent(s.stream.Get()).Get()), MEMediaSample);

  EXPECT_EQ(s.source->Stop(), S_OK);
  EXPECT_EQ(TypeOf(NextEvent(s.stream.Get()).Get()), MEStreamStopped);
  EXPECT_EQ(TypeOf(NextEvent(s.source.Get()).Get()), MESourceStopped);
}

TEST_F(ContractTest, FrameServerAttributesArePresent) {
  ComPtr<IMFMediaSource> source = CreateSource();
  ASSERT_TRUE(source);
  ComPtr<IMFMediaSourceEx> sourceEx;
  ASSERT_EQ(source.As(IID_IMFMediaSourceEx, &sourceEx), S_OK);
  ComPtr<IMFAttributes> streamAttributes;
  ASSERT_EQ(sourceEx->GetStreamAttributes(0, streamAttributes.Put()), S_OK);
  ComPtr<IMFPresentationDescriptor> descriptor;
  ASSERT_EQ(source->CreatePresentationDescriptor(descriptor.Put()), S_OK);
  BOOL selected = FALSE;
  ComPtr<IMFStreamDescriptor> streamDescriptor;
  ASSERT_EQ(descriptor->GetStreamDescriptorByIndex(0, &selected, streamDescriptor.Put()), S_OK);
  IMFAttributes* stores[] = {streamAttributes.Get(), streamDescriptor.Get()};
  for (IMFAttributes* store : stores) {
    GUID category = GUID_NULL;
    EXPECT_EQ(store->GetGUID(kMfDeviceStreamStreamCategory, &category), S_OK);
    EXPECT_TRUE(IsEqualGUID(category, kPinNameVideoCapture));
    EXPECT_EQ(MFGetAttributeUINT32(store, kMfDeviceStreamStreamId, 99), 0u);
    EXPECT_EQ(MFGetAttributeUINT32(store, kMfDeviceStreamFrameSourceTypes, 0), 1u);  // colour
    EXPECT_EQ(MFGetAttributeUINT32(store, kMfDeviceStreamFrameServerShared, 0), 1u);
  }
  ComPtr<IMFAttributes> unknownStream;
  EXPECT_EQ(sourceEx->GetStreamAttributes(1, unknownStream.Put()), MF_E_INVALIDSTREAMNUMBER);
  // The source's attributes are one live store.
  ComPtr<IMFAttributes> first, second;
  ASSERT_EQ(sourceEx->GetSourceAttributes(first.Put()), S_OK);
  ASSERT_EQ(sourceEx->GetSourceAttributes(second.Put()), S_OK);
  EXPECT_EQ(first.Get(), second.Get());

  ComPtr<IMFGetService> service;
  ASSERT_EQ(source.As(IID_IMFGetService, &service), S_OK);
  ComPtr<IUnknown> none;
  EXPECT_EQ(service->GetService(MF_RATE_CONTROL_SERVICE, IID_IUnknown, none.PutVoid()),
            MF_E_UNSUPPORTED_SERVICE);
  ComPtr<IKsControlFace> ks;
  ASSERT_EQ(source.As(kIidKsControl, &ks), S_OK);
  KsIdentifier property = {kPinNameVideoCapture, 0, 1};
  ULONG returned = 0;
  EXPECT_EQ(ks->KsProperty(&property, sizeof property, nullptr, 0, &returned),
            HRESULT_FROM_WIN32(ERROR_SET_NOT_FOUND));
  source->Shutdown();
}

TEST_F(ContractTest, EveryCallAfterShutdownAnswersShutdown) {
  ASSERT_NO_FATAL_FAILURE(StartSource());
  ASSERT_EQ(s.source->Shutdown(), S_OK);
  ComPtr<IMFMediaSourceEx> ex;
  ASSERT_EQ(s.source.As(IID_IMFMediaSourceEx, &ex), S_OK);
  ComPtr<IMfSampleAllocatorControl> allocatorControl;
  ASSERT_EQ(s.source.As(kIidMfSampleAllocatorControl, &allocatorControl), S_OK);
  ComPtr<IMfMediaStream2> stream2;
  ASSERT_EQ(s.stream.As(kIidMfMediaStream2, &stream2), S_OK);
  IMFMediaSource* source = s.source.Get();
  IMFMediaStream* stream = s.stream.Get();
  PROPVARIANT position;
  PropVariantInit(&position);
  const struct {
    const char* call;
    std::function<HRESULT()> make;
  } calls[] = {
      {"Shutdown", [&] { return source->Shutdown(); }},
      {"Start", [&] { return source->Start(s.descriptor.Get(), &GUID_NULL, &position); }},
      {"Stop", [&] { return source->Stop(); }},
      {"Pause", [&] { return source->Pause(); }},
      {"GetCharacteristics",
       [&] {
         DWORD c;
         return source->GetCharacteristics(&c);
       }},
      {"CreatePresentationDescriptor",
       [&] {
         ComPtr<IMFPresentationDescriptor> d;
         return source->CreatePresentationDescriptor(d.Put());
       }},
      {"source GetEvent",
       [&] {
         ComPtr<IMFMediaEvent> e;
         return source->GetEvent(0, e.Put());
       }},
      {"GetSourceAttributes",
       [&] {
         ComPtr<IMFAttributes> a;
         return ex->GetSourceAttributes(a.Put());
       }},
      {"GetStreamAttributes",
       [&] {
         ComPtr<IMFAttributes> a;
         return ex->GetStreamAttributes(0, a.Put());
       }},
      {"SetDefaultAllocator", [&] { return allocatorControl->SetDefaultAllocator(0, nullptr); }},
      {"RequestSample", [&] { return stream->RequestSample(nullptr); }},
      {"stream GetEvent",
       [&] {
         ComPtr<IMFMediaEvent> e;
         return stream->GetEvent(0, e.Put());
       }},
      {"GetMediaSource",
       [&] {
         ComPtr<IMFMediaSource> m;
         return stream->GetMediaSource(m.Put());
       }},
      {"SetStreamState", [&] { return stream2->SetStreamState(kMfStreamStateRunning); }},
  };
  for (const auto& c : calls)
    EXPECT_EQ(c.make(), MF_E_SHUTDOWN) << c.call;
}

// Samples come from the allocator the pipeline sets: while the test holds
// one, the allocator has one fewer free.
TEST_F(ContractTest, SamplesComeFromTheAllocatorSet) {
  ComPtr<IMFVideoSampleAllocatorEx> allocator;
  ASSERT_EQ(MFCreateVideoSampleAllocatorEx(IID_IMFVideoSampleAllocatorEx, allocator.PutVoid()),
            S_OK);
  ComPtr<IMFMediaSource> source = CreateSource();
  ASSERT_TRUE(source);
  ComPtr<IMfSampleAllocatorControl> control;
  ASSERT_EQ(source.As(kIidMfSampleAllocatorControl, &control), S_OK);
  DWORD input = 99;
  MfSampleAllocatorUsage usage = kMfAllocatorDoesNotAllocate;
  EXPECT_EQ(control->GetAllocatorUsage(0, &input, &usage), S_OK);
  EXPECT_EQ(usage, kMfAllocatorUsesProvided);
  EXPECT_EQ(control->SetDefaultAllocator(1, allocator.Get()), MF_E_INVALIDSTREAMNUMBER);
  ASSERT_EQ(control->SetDefaultAllocator(0, allocator.Get()), S_OK);
  s.source = source;
  ASSERT_EQ(source->CreatePresentationDescriptor(s.descriptor.Put()), S_OK);
  ASSERT_NO_FATAL_FAILURE(Start(source.Get(), s.descriptor.Get(), MENewStream, &s.stream));
  ComPtr<IMFVideoSampleAllocatorCallback> callback;
  ASSERT_EQ(allocator.As(IID_IMFVideoSampleAllocatorCallback, &callback), S_OK);
  LONG freeBefore = 0;
  ASSERT_EQ(callback->GetFreeSampleCount(&freeBefore), S_OK);
  ASSERT_EQ(s.stream->RequestSample(nullptr), S_OK);
  ComPtr<IMFMediaEvent> event = NextEvent(s.stream.Get());
  ASSERT_EQ(TypeOf(event.Get()), MEMediaSample);
  PROPVARIANT value;
  PropVariantInit(&value);
  ASSERT_EQ(event->GetValue(&value), S_OK);
  ComPtr<IMFSample> sample;
  value.punkVal->QueryInterface(IID_IMFSample, sample.PutVoid());
  PropVariantClear(&value);
  ASSERT_TRUE(sample);
  LONG freeHeld = 0;
  ASSERT_EQ(callback->GetFreeSampleCount(&freeHeld), S_OK);
  EXPECT_EQ(freeHeld, freeBefore - 1);
  const std::vector<uint8_t> bytes = SampleBytes(sample.Get());
  const zdcap::SampleCode code = ReadCode(bytes.data(), bytes.size(), kExpectedTypes[0]);
  EXPECT_EQ(code.frame.status, FrameCodeStatus::kDecoded);
}

// The settings are read when the presentation descriptor is first needed,
// not when the source is made; the bitmaps at Start, where a missing font
// sheet makes Start fail without an event.
TEST_F(ContractTest, SettingsAreReadLateAndBitmapsAtStart) {
  ComPtr<IMFMediaSource> source = CreateSource();
  ASSERT_TRUE(source);
  WriteSettings(
      "[MAIN]\r\npreset_num=1\r\n[PRESET_01]\r\nenable=1\r\nw=200\r\nh=100\r\nfcc=UYVY\r\n"
      "frame_time=333667\r\nbmp=chart.bmp\r\nfont=missing.bmp\r\n");
  s.source = source;
  ASSERT_EQ(source->CreatePresentationDescriptor(s.descriptor.Put()), S_OK);
  BOOL selected = FALSE;
  ComPtr<IMFStreamDescriptor> stream;
  ASSERT_EQ(s.descriptor->GetStreamDescriptorByIndex(0, &selected, stream.Put()), S_OK);
  ComPtr<IMFMediaTypeHandler> handler;
  ASSERT_EQ(stream->GetMediaTypeHandler(handler.Put()), S_OK);
  DWORD count = 0;
  EXPECT_EQ(handler->GetMediaTypeCount(&count), S_OK);
  EXPECT_EQ(count, 2u);  // the preset and its NV12 twin
  ComPtr<IMFMediaType> type;
  ASSERT_EQ(handler->GetMediaTypeByIndex(0, type.Put()), S_OK);
  UINT32 w = 0, h = 0;
  EXPECT_EQ(MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, &w, &h), S_OK);
  EXPECT_EQ(w, 200u);
  EXPECT_EQ(h, 100u);

  PROPVARIANT position;
  PropVariantInit(&position);
  EXPECT_EQ(source->Start(s.descriptor.Get(), &GUID_NULL, &position), E_OUTOFMEMORY);
  ComPtr<IMFMediaEvent> event;
  EXPECT_EQ(source->GetEvent(MF_EVENT_FLAG_NO_WAIT, event.Put()), MF_E_NO_EVENTS_AVAILABLE);
}

// An MJPG sample is one whole JPEG of its own length in a buffer with room
// for the largest (320 x 240: 320 x 240 x 4 + 2048 bytes, docs/mjpg.md),
// whether the pipeline set an allocator (refused for the compressed type, or
// too small for a JPEG: the stream's own buffer then) or not; its code reads.
TEST_F(ContractTest, AnMjpgSampleIsOneWholeJpeg) {
  constexpr DWORD kLargest = 320 * 240 * 4 + 2048;
  for (const bool withAllocator : {false, true}) {
    SCOPED_TRACE(withAllocator ? "allocator set" : "no allocator");
    WriteSettings(
        "[MAIN]\r\npreset_num=1\r\nframe_code=1\r\n[PRESET_01]\r\nenable=1\r\nw=320\r\nh=240\r\n"
        "fcc=MJPG\r\nframe_time=333667\r\nbmp=chart.bmp\r\nfont=font.bmp\r\n");
    s = Started();
    s.source = CreateSource();
    ASSERT_TRUE(s.source);
    if (withAllocator) {
      ComPtr<IMFVideoSampleAllocatorEx> allocator;
      ASSERT_EQ(MFCreateVideoSampleAllocatorEx(IID_IMFVideoSampleAllocatorEx, allocator.PutVoid()),
                S_OK);
      ComPtr<IMfSampleAllocatorControl> control;
      ASSERT_EQ(s.source.As(kIidMfSampleAllocatorControl, &control), S_OK);
      ASSERT_EQ(control->SetDefaultAllocator(0, allocator.Get()), S_OK);
    }
    ASSERT_EQ(s.source->CreatePresentationDescriptor(s.descriptor.Put()), S_OK);
    ASSERT_NO_FATAL_FAILURE(Start(s.source.Get(), s.descriptor.Get(), MENewStream, &s.stream));
    ASSERT_EQ(s.stream->RequestSample(nullptr), S_OK);
    ComPtr<IMFMediaEvent> event = NextEvent(s.stream.Get());
    ASSERT_EQ(TypeOf(event.Get()), MEMediaSample);
    const ComPtr<IMFSample> sample = SampleOf(event.Get());
    ASSERT_TRUE(sample);
    ComPtr<IMFMediaBuffer> buffer;
    ASSERT_EQ(sample->GetBufferByIndex(0, buffer.Put()), S_OK);
    DWORD room = 0;
    EXPECT_EQ(buffer->GetMaxLength(&room), S_OK);
    if (!withAllocator) {
      EXPECT_EQ(room, kLargest);
    }
    const std::vector<uint8_t> bytes = SampleBytes(sample.Get());
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_LT(bytes.size(), kLargest);
    EXPECT_EQ(bytes[0], 0xFF);  // SOI
    EXPECT_EQ(bytes[1], 0xD8);
    EXPECT_EQ(bytes[bytes.size() - 2], 0xFF);  // EOI
    EXPECT_EQ(bytes[bytes.size() - 1], 0xD9);
    zdcap::Capability mjpg;
    mjpg.width = 320;
    mjpg.height = 240;
    mjpg.format = zdcap::PixelFormat::kMjpg;
    EXPECT_EQ(zdcap::ReadSampleCode(bytes.data(), bytes.size(), mjpg).frame.status,
              FrameCodeStatus::kDecoded);
    s.source->Shutdown();
  }
}
