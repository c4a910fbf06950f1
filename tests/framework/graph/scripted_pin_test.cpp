// The test source's output pin against a scripted downstream pin: type
// refusal, allocator choice, Receive answers, a stop while the worker waits
// for a free sample or is blocked downstream, and a failed stream start.
#include "tests/framework/graph/graph_fixture.h"

namespace {

// The test source's pin connected straight to a scripted sink, outside any
// graph. Tear-down stops the source and undoes the connection on both sides,
// so that neither filter keeps the other alive.
struct Chain {
  SourceRef source;
  ComPtr<ScriptedSinkFilter> sink;

  Chain(const SourceScript& sourceScript, const SinkScript& sinkScript)
      : source(sourceScript), sink(CreateScriptedSink(sinkScript)) {}
  ~Chain() {
    if (!source.object)
      return;
    Watchdog dog("chain tear-down", 20);
    source.filter->Stop();
    sink->Stop();
    sink->ReleaseHeldSamples();
    source.Pin()->Disconnect();
    sink->InputPin()->Disconnect();
  }
  HRESULT Connect(const AM_MEDIA_TYPE* mt = nullptr) {
    return source.Pin()->Connect(sink->InputPin(), mt);
  }
  bool Connected() const {
    ComPtr<IPin> peer;
    return source.Pin()->ConnectedTo(peer.Put()) == S_OK;
  }
};

CMediaType SourceType(const SourceScript& script = {}) {
  SourceRef probe(script);
  CMediaType mt;
  probe.Stream()->BuildType(&mt);
  return mt;
}

}  // namespace

TEST_F(FrameworkGraphTest, RefusedTypesFailTheConnectionCleanly) {
  CMediaType rgb24 = SourceType();
  rgb24.SetSubtype(&MEDIASUBTYPE_RGB24);
  const CMediaType own = SourceType();
  struct Case {
    const char* what;
    bool sinkRefuses;
    const AM_MEDIA_TYPE* proposed;
    HRESULT expected;
    int receiveConnectionCalls;
  } const cases[] = {
      {"downstream refuses, no type proposed", true, nullptr, VFW_E_NO_ACCEPTABLE_TYPES, 1},
      {"downstream refuses the proposed own type", true, &own, VFW_E_TYPE_NOT_ACCEPTED, 1},
      {"the pin refuses a proposed RGB24 type, downstream is not asked", false, &rgb24,
       VFW_E_TYPE_NOT_ACCEPTED, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    {
      SinkScript sinkScript;
      sinkScript.refuseTypes = c.sinkRefuses;
      Chain chain({}, sinkScript);
      EXPECT_EQ(chain.Connect(c.proposed), c.expected);
      EXPECT_FALSE(chain.Connected());
      EXPECT_EQ(chain.source.Stream()->GetAllocator(), nullptr);
      EXPECT_EQ(chain.sink->Counters().receiveConnection, c.receiveConnectionCalls);
      // Nothing of the failed attempt holds the source: only our reference remains.
      EXPECT_EQ(RefCountOf(chain.source.filter.Get()), 1u);
      // Pausing an unconnected source starts no worker.
      EXPECT_EQ(chain.source.filter->Pause(), S_OK);
      EXPECT_EQ(chain.source.Stream()->m_threadCreates, 0);
      EXPECT_EQ(chain.source.filter->Stop(), S_OK);

      // Once downstream takes the type, the same pin connects.
      SinkScript accepting;
      chain.sink->ChangeScript(accepting);
      EXPECT_EQ(chain.Connect(c.proposed == &rgb24 ? nullptr : c.proposed), S_OK);
      EXPECT_TRUE(chain.Connected());
      EXPECT_EQ(chain.Connect(), VFW_E_ALREADY_CONNECTED);
    }
    ExpectAllObjectsReleased();
  }
}

TEST_F(FrameworkGraphTest, AllocatorComesFromDownstreamOnlyWhenItGrantsTheFullBufferSize) {
  struct Case {
    const char* what;
    bool offer;
    LONG shortfall;
    bool usesOffered;
  } const cases[] = {
      {"downstream allocator grants the full size", true, 0, true},
      {"downstream allocator grants 4 bytes less", true, 4, false},
      {"downstream offers no allocator", false, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    {
      SinkScript sinkScript;
      sinkScript.offerAllocator = c.offer;
      sinkScript.grantShortfall = c.shortfall;
      const SourceScript script;
      Chain chain(script, sinkScript);
      ASSERT_EQ(chain.Connect(), S_OK);
      ComPtr<IMemAllocator> notified = chain.sink->NotifiedAllocator();
      ASSERT_TRUE(notified);
      EXPECT_EQ(notified.Get(), chain.source.Stream()->GetAllocator());
      EXPECT_EQ(notified.Get() == chain.sink->OfferedAllocator(), c.usesOffered);
      ALLOCATOR_PROPERTIES props = {};
      ASSERT_EQ(notified->GetProperties(&props), S_OK);
      EXPECT_EQ(props.cBuffers, script.buffers);
      EXPECT_GE(props.cbBuffer, script.width * script.height * 4);
      EXPECT_GE(props.cbAlign, 1);

      // Whichever allocator was chosen, frames flow through it.
      Watchdog dog("streaming through the chosen allocator", 30);
      ASSERT_EQ(chain.source.filter->Run(0), S_OK);
      ASSERT_TRUE(chain.sink->WaitForSamples(6, kSampleWaitMs));
      ASSERT_EQ(chain.source.filter->Stop(), S_OK);
      std::vector<ReceivedSample> samples = chain.sink->Samples();
      samples.resize(6);
      ExpectFillerFrames(samples, script, 4096);
    }
    ExpectAllObjectsReleased();
  }
}

TEST_F(FrameworkGraphTest, AnythingButSOkFromReceiveStopsPushingWithoutEndOfStream) {
  const HRESULT answers[] = {S_FALSE, E_FAIL, VFW_E_WRONG_STATE};
  for (HRESULT answer : answers) {
    SCOPED_TRACE(answer);
    {
      SinkScript sinkScript;
      sinkScript.receiveOkCount = 4;
      sinkScript.receiveAfter = answer;
      Chain chain({}, sinkScript);
      ASSERT_EQ(chain.Connect(), S_OK);
      Watchdog dog("refused delivery", 30);
      ASSERT_EQ(chain.source.filter->Run(0), S_OK);
      ASSERT_TRUE(chain.sink->WaitForSamples(5, kSampleWaitMs));
      // A sixth sample would come at once if pushing went on; allow it time to show.
      EXPECT_FALSE(chain.sink->WaitForSamples(6, 300));
      EXPECT_EQ(chain.sink->Counters().endOfStream, 0);
      EXPECT_EQ(chain.source.Stream()->m_frames, 5);
      // The idle worker still answers the stop.
      EXPECT_EQ(chain.source.filter->Stop(), S_OK);
      EXPECT_EQ(chain.source.Stream()->m_threadDestroys, 1);
    }
    ExpectAllObjectsReleased();
  }
}

TEST_F(FrameworkGraphTest, FillerEndOfStreamIsDeliveredOnceAndTheNextStopSucceeds) {
  {
    SourceScript script;
    script.endAfterFrames = 4;
    Chain chain(script, {});
    ASSERT_EQ(chain.Connect(), S_OK);
    Watchdog dog("end of stream", 30);
    ASSERT_EQ(chain.source.filter->Run(0), S_OK);
    ASSERT_TRUE(chain.sink->WaitForEndOfStream(kSampleWaitMs));
    EXPECT_FALSE(chain.sink->WaitForSamples(5, 300));
    const SinkCounters counters = chain.sink->Counters();
    EXPECT_EQ(counters.receives, 4);
    EXPECT_EQ(counters.endOfStream, 1);
    EXPECT_EQ(chain.source.filter->Stop(), S_OK);
    // Outside a graph the filter has no event sink to tell.
    EXPECT_EQ(chain.source.object->NotifyEvent(EC_COMPLETE, 0, 0), E_NOTIMPL);
  }
  ExpectAllObjectsReleased();
}

TEST_F(FrameworkGraphTest, StopWhileTheWorkerWaitsForAFreeSampleReturnsAndStreamingResumesLater) {
  {
    SinkScript sinkScript;
    sinkScript.holdSamples = true;
    SourceScript script;
    script.buffers = 2;
    Chain chain(script, sinkScript);
    ASSERT_EQ(chain.Connect(), S_OK);
    ASSERT_EQ(chain.source.filter->Pause(), S_OK);
    ASSERT_TRUE(chain.sink->WaitForSamples(2, kSampleWaitMs));
    // Every buffer is held downstream: the worker waits in GetDeliveryBuffer.
    EXPECT_FALSE(chain.sink->WaitForSamples(3, 200));
    {
      Watchdog dog("stop with every buffer held downstream", 10);
      EXPECT_EQ(chain.source.filter->Stop(), S_OK);
    }
    EXPECT_EQ(chain.source.Stream()->m_threadDestroys, 1);
    ComPtr<IMediaSample> sample;
    EXPECT_EQ(chain.source.Stream()->GetAllocator()->GetBuffer(sample.Put(), nullptr, nullptr,
                                                               AM_GBF_NOWAIT),
              VFW_E_NOT_COMMITTED);

    // Once the buffers come back, the next start streams again.
    chain.sink->ReleaseHeldSamples();
    chain.sink->ChangeScript({});
    Watchdog dog("restart after the held buffers returned", 20);
    ASSERT_EQ(chain.source.filter->Pause(), S_OK);
    ASSERT_TRUE(chain.sink->WaitForSamples(6, kSampleWaitMs));
    EXPECT_EQ(chain.source.filter->Stop(), S_OK);
    EXPECT_EQ(chain.source.Stream()->m_threadCreates, 2);
  }
  ExpectAllObjectsReleased();
}

TEST_F(FrameworkGraphTest, GraphStopReleasesAWorkerBlockedInDownstreamReceive) {
  {
    SinkScript sinkScript;
    sinkScript.blockReceive = true;
    SourceRef source;
    ComPtr<ScriptedSinkFilter> sink = CreateScriptedSink(sinkScript);
    Graph graph;
    ASSERT_TRUE(graph.Create());
    ASSERT_EQ(graph.builder->AddFilter(source.filter.Get(), L"source"), S_OK);
    ASSERT_EQ(graph.builder->AddFilter(sink.Get(), L"sink"), S_OK);
    ASSERT_EQ(graph.builder->ConnectDirect(source.Pin(), sink->InputPin(), nullptr), S_OK);
    Watchdog dog("graph stop with the worker blocked downstream", 20);
    ASSERT_EQ(ChangeGraphState(graph.control.Get(), State_Running), S_OK);
    ASSERT_TRUE(sink->WaitForSamples(1, kSampleWaitMs));
    while (!sink->ReceiveIsBlocked())
      Sleep(1);
    // The graph stops the downstream filter first, which lets Receive
    // return; the source's stop then completes.
    EXPECT_EQ(ChangeGraphState(graph.control.Get(), State_Stopped), S_OK);
    EXPECT_EQ(source.Stream()->m_threadDestroys, 1);
    EXPECT_EQ(graph.builder->RemoveFilter(source.filter.Get()), S_OK);
    EXPECT_EQ(graph.builder->RemoveFilter(sink.Get()), S_OK);
  }
  ExpectAllObjectsReleased();
}

TEST_F(FrameworkGraphTest, FailedStreamStartFailsPauseAndTheNextPauseSucceedsOnceTheCauseIsGone) {
  const HRESULT causes[] = {E_OUTOFMEMORY, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)};
  for (HRESULT cause : causes) {
    SCOPED_TRACE(cause);
    {
      SourceScript script;
      script.threadCreateResult = cause;
      Chain chain(script, {});
      ASSERT_EQ(chain.Connect(), S_OK);
      Watchdog dog("failed stream start", 30);
      EXPECT_EQ(chain.source.filter->Pause(), cause);
      FILTER_STATE state;
      ASSERT_EQ(chain.source.filter->GetState(0, &state), S_OK);
      EXPECT_EQ(state, State_Stopped);
      EXPECT_EQ(chain.source.Stream()->m_threadCreates, 1);
      EXPECT_EQ(chain.source.Stream()->m_threadDestroys, 1);
      EXPECT_EQ(chain.sink->Counters().receives, 0);
      // The failed start gave its buffers back: the allocator is decommitted.
      ComPtr<IMediaSample> sample;
      EXPECT_EQ(chain.source.Stream()->GetAllocator()->GetBuffer(sample.Put(), nullptr, nullptr,
                                                                 AM_GBF_NOWAIT),
                VFW_E_NOT_COMMITTED);
      // Run tries the same start and fails the same way.
      EXPECT_EQ(chain.source.filter->Run(0), cause);

      chain.source.Stream()->m_script.threadCreateResult = S_OK;
      EXPECT_EQ(chain.source.filter->Pause(), S_OK);
      EXPECT_TRUE(chain.sink->WaitForSamples(3, kSampleWaitMs));
      EXPECT_EQ(chain.source.filter->Stop(), S_OK);
      EXPECT_EQ(chain.source.Stream()->m_threadCreates, 3);
      EXPECT_EQ(chain.source.Stream()->m_threadDestroys, 3);
    }
    ExpectAllObjectsReleased();
  }
}

TEST_F(FrameworkGraphTest, FailedStreamStartInThePlatformGraphFailsTheApplicationsPause) {
  {
    SourceScript script;
    script.threadCreateResult = E_ACCESSDENIED;
    SourceRef source(script);
    Graph graph;
    ASSERT_TRUE(graph.Create());
    ComPtr<IBaseFilter> renderer;
    ASSERT_EQ(ConnectToNullRenderer(graph, source.filter.Get(), source.Pin(), renderer), S_OK);
    Watchdog dog("failed pause in the graph", 30);
    const HRESULT paused = graph.control->Pause();
    FILTER_STATE state;
    ASSERT_EQ(source.filter->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped) << std::hex << paused;
    // Windows' graph passes the failure on; Wine's reports a transition
    // still under way (S_FALSE). Either way the pause is not complete.
    EXPECT_NE(paused, S_OK);
    graph.control->Stop();
    source.Stream()->m_script.threadCreateResult = S_OK;
    EXPECT_TRUE(SUCCEEDED(ChangeGraphState(graph.control.Get(), State_Running)));
    EXPECT_EQ(ChangeGraphState(graph.control.Get(), State_Stopped), S_OK);
    EXPECT_EQ(graph.builder->RemoveFilter(source.filter.Get()), S_OK);
    dog.Disarm();
    CTestStream* stream = source.Stream();
    auto describe = [stream] {
      return "worker starts " + std::to_string(stream->m_threadCreates) + ", ends " +
             std::to_string(stream->m_threadDestroys);
    };
    // Wine 8's graph, once a filter's Pause has failed in it, sometimes
    // never returns from its own final release, although our filter has
    // left it and our worker has ended (seen about once in a hundred
    // runs). The platform's graph and renderer are therefore left alive
    // here; only our objects are released and checked.
    (void)graph.builder.Detach();
    (void)graph.control.Detach();
    (void)graph.events.Detach();
    (void)graph.mediaFilter.Detach();
    (void)renderer.Detach();
    Watchdog release("release the test source after the failed pause", 20, describe);
    source.filter.Reset();
  }
  ExpectAllObjectsReleased();
}

TEST_F(FrameworkGraphTest, DisconnectedPinConnectsElsewhereAndStreamsAgain) {
  {
    const SourceScript script;
    SourceRef source(script);
    ComPtr<ScriptedSinkFilter> first = CreateScriptedSink({});
    ASSERT_EQ(source.Pin()->Connect(first->InputPin(), nullptr), S_OK);
    ASSERT_EQ(source.filter->Run(0), S_OK);
    ASSERT_TRUE(first->WaitForSamples(3, kSampleWaitMs));
    // Connection changes wait for the stop.
    EXPECT_EQ(source.Pin()->Disconnect(), VFW_E_NOT_STOPPED);
    ASSERT_EQ(source.filter->Stop(), S_OK);
    ComPtr<IMemAllocator> old = first->NotifiedAllocator();
    ASSERT_EQ(source.Pin()->Disconnect(), S_OK);
    EXPECT_EQ(source.Pin()->Disconnect(), S_FALSE);
    EXPECT_EQ(first->InputPin()->Disconnect(), S_OK);
    EXPECT_EQ(source.Stream()->GetAllocator(), nullptr);

    SinkScript noAllocator;
    noAllocator.offerAllocator = false;
    ComPtr<ScriptedSinkFilter> second = CreateScriptedSink(noAllocator);
    ASSERT_EQ(source.Pin()->Connect(second->InputPin(), nullptr), S_OK);
    EXPECT_NE(second->NotifiedAllocator().Get(), old.Get());
    ASSERT_EQ(source.filter->Run(0), S_OK);
    ASSERT_TRUE(second->WaitForSamples(4, kSampleWaitMs));
    ASSERT_EQ(source.filter->Stop(), S_OK);
    std::vector<ReceivedSample> samples = second->Samples();
    samples.resize(4);
    ExpectFillerFrames(samples, script, 4096);
    EXPECT_EQ(first->Counters().receives >= 3, true);
    EXPECT_EQ(source.Pin()->Disconnect(), S_OK);
    EXPECT_EQ(second->InputPin()->Disconnect(), S_OK);
    EXPECT_EQ(RefCountOf(source.filter.Get()), 1u);
  }
  ExpectAllObjectsReleased();
}
