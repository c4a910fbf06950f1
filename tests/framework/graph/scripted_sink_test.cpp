// The scripted sink itself, checked against the platform's own graph and
// allocator, so that the framework tests built on it judge the framework and
// not the sink.
#include "tests/framework/graph/graph_helpers.h"
#include "tests/framework/graph/scripted_sink.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

ComPtr<IMediaSample> SampleFrom(IMemAllocator* allocator, REFERENCE_TIME start, bool sync) {
  ComPtr<IMediaSample> sample;
  if (FAILED(allocator->GetBuffer(sample.Put(), nullptr, nullptr, 0)))
    return {};
  BYTE* data = nullptr;
  sample->GetPointer(&data);
  for (long i = 0; i < sample->GetSize(); ++i)
    data[i] = static_cast<BYTE>(i * 3);
  REFERENCE_TIME stop = start + 100;
  sample->SetTime(&start, &stop);
  sample->SetSyncPoint(sync);
  sample->SetActualDataLength(sample->GetSize());
  return sample;
}

ComPtr<IMemAllocator> CommittedStandardAllocator(long count, long size) {
  ComPtr<IMemAllocator> allocator;
  if (FAILED(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IMemAllocator, allocator.PutVoid())))
    return {};
  ALLOCATOR_PROPERTIES request = {count, size, 1, 0};
  ALLOCATOR_PROPERTIES actual = {};
  if (FAILED(allocator->SetProperties(&request, &actual)) || FAILED(allocator->Commit()))
    return {};
  return allocator;
}

}  // namespace

TEST(ScriptedSink, JoinsThePlatformGraphAndFollowsItsStateChanges) {
  Graph graph;
  ASSERT_TRUE(graph.Create());
  ComPtr<ScriptedSinkFilter> sink = CreateScriptedSink({});
  ASSERT_EQ(graph.builder->AddFilter(sink.Get(), L"sink"), S_OK);

  const FILTER_STATE targets[] = {State_Paused, State_Running, State_Paused, State_Stopped};
  for (FILTER_STATE target : targets) {
    ASSERT_TRUE(SUCCEEDED(ChangeGraphState(graph.control.Get(), target))) << target;
    FILTER_STATE state;
    ASSERT_EQ(sink->GetState(0, &state), S_OK);
    EXPECT_EQ(state, target);
  }
  ComPtr<IPin> pin;
  ASSERT_EQ(sink->FindPin(L"In", pin.Put()), S_OK);
  EXPECT_EQ(pin.Get(), sink->InputPin());
  pin.Reset();  // the pin's reference is the filter's
  ASSERT_EQ(graph.builder->RemoveFilter(sink.Get()), S_OK);
  EXPECT_EQ(RefCountOf(sink.Get()), 1u);
}

TEST(ScriptedSink, OfferedAllocatorGrantsTheScriptedShortfallOrNoneAtAll) {
  struct Case {
    bool offer;
    LONG shortfall;
    HRESULT getAllocator;
    LONG granted;  // for a request of 1000 bytes
  } const cases[] = {
      {true, 0, S_OK, 1000},
      {true, 16, S_OK, 984},
      {false, 0, VFW_E_NO_ALLOCATOR, 0},
  };
  for (const Case& c : cases) {
    SinkScript script;
    script.offerAllocator = c.offer;
    script.grantShortfall = c.shortfall;
    ComPtr<ScriptedSinkFilter> sink = CreateScriptedSink(script);
    ComPtr<IMemInputPin> input;
    ASSERT_EQ(ComPtr<IPin>(sink->InputPin()).As(&input), S_OK);
    ComPtr<IMemAllocator> allocator;
    ASSERT_EQ(input->GetAllocator(allocator.Put()), c.getAllocator);
    if (!allocator)
      continue;
    ALLOCATOR_PROPERTIES request = {3, 1000, 1, 0};
    ALLOCATOR_PROPERTIES actual = {};
    ASSERT_EQ(allocator->SetProperties(&request, &actual), S_OK);
    EXPECT_EQ(actual.cbBuffer, c.granted) << c.shortfall;
    EXPECT_EQ(actual.cBuffers, 3);
  }
}

TEST(ScriptedSink, RecordsSampleTimesSyncPointsDataAndStreamCalls) {
  ComPtr<ScriptedSinkFilter> sink = CreateScriptedSink({});
  ComPtr<IMemInputPin> input;
  ASSERT_EQ(ComPtr<IPin>(sink->InputPin()).As(&input), S_OK);
  ComPtr<IMemAllocator> allocator = CommittedStandardAllocator(2, 64);
  ASSERT_TRUE(allocator);

  for (int i = 0; i < 3; ++i) {
    ComPtr<IMediaSample> sample = SampleFrom(allocator.Get(), 1000 * i, i == 0);
    ASSERT_TRUE(sample);
    EXPECT_EQ(input->Receive(sample.Get()), S_OK);
  }
  sink->InputPin()->NewSegment(0, 10, 1.0);
  sink->InputPin()->BeginFlush();
  sink->InputPin()->EndFlush();
  sink->InputPin()->EndOfStream();

  const std::vector<ReceivedSample> samples = sink->Samples();
  ASSERT_EQ(samples.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(samples[i].timeResult, S_OK);
    EXPECT_EQ(samples[i].start, 1000 * i);
    EXPECT_EQ(samples[i].stop, 1000 * i + 100);
    EXPECT_EQ(samples[i].syncPoint, i == 0);
    ASSERT_EQ(samples[i].data.size(), 64u);
    EXPECT_EQ(samples[i].data[5], 15);
  }
  const SinkCounters counters = sink->Counters();
  EXPECT_EQ(counters.receives, 3);
  EXPECT_EQ(counters.newSegment, 1);
  EXPECT_EQ(counters.beginFlush, 1);
  EXPECT_EQ(counters.endFlush, 1);
  EXPECT_EQ(counters.endOfStream, 1);
  allocator->Decommit();
}

TEST(ScriptedSink, ScriptedReceiveAnswersHeldSamplesAndBlocking) {
  SinkScript script;
  script.receiveOkCount = 1;
  script.receiveAfter = E_FAIL;
  script.holdSamples = true;
  ComPtr<ScriptedSinkFilter> sink = CreateScriptedSink(script);
  ComPtr<IMemInputPin> input;
  ASSERT_EQ(ComPtr<IPin>(sink->InputPin()).As(&input), S_OK);
  ComPtr<IMemAllocator> allocator = CommittedStandardAllocator(2, 16);
  ASSERT_TRUE(allocator);

  EXPECT_EQ(input->Receive(SampleFrom(allocator.Get(), 0, true).Get()), S_OK);
  EXPECT_EQ(input->Receive(SampleFrom(allocator.Get(), 1, true).Get()), E_FAIL);
  // Both buffers are held by the sink: the allocator has none left.
  ComPtr<IMediaSample> none;
  EXPECT_NE(allocator->GetBuffer(none.Put(), nullptr, nullptr, AM_GBF_NOWAIT), S_OK);
  sink->ReleaseHeldSamples();
  EXPECT_TRUE(SampleFrom(allocator.Get(), 2, true));

  script = {};
  script.blockReceive = true;
  sink->ChangeScript(script);
  sink->Pause();
  ComPtr<IMediaSample> sample = SampleFrom(allocator.Get(), 3, true);
  HRESULT received = E_FAIL;
  std::thread caller([&] { received = input->Receive(sample.Get()); });
  while (!sink->ReceiveIsBlocked())
    Sleep(1);
  {
    Watchdog dog("a blocked Receive released by Stop", 10);
    sink->Stop();
    caller.join();
  }
  EXPECT_EQ(received, S_OK);
  allocator->Decommit();
}
