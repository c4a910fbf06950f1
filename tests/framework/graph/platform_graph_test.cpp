// The test source in the platform's own filter graph, connected to the
// platform's sample grabber and null renderer by hand and through the capture
// graph builder, driven through IMediaControl as an application drives it.
#include "tests/framework/graph/graph_fixture.h"

namespace {

// Source -> sample grabber -> null renderer in a new graph.
struct GrabberGraph {
  Graph graph;
  SourceRef source;
  ComPtr<IBaseFilter> grabber;
  ComPtr<IBaseFilter> renderer;
  GrabberRecorder recorder;

  explicit GrabberGraph(const SourceScript& script) : source(script) {}
  ~GrabberGraph() {
    if (graph.control)
      graph.control->Stop();
    if (grabber) {
      ComPtr<ISampleGrabber> sg;
      if (SUCCEEDED(grabber.As(&sg)))
        sg->SetCallback(nullptr, 0);
    }
  }

  // Adds the three filters and hooks the recorder to the grabber.
  void Build() {
    ASSERT_TRUE(graph.Create());
    ASSERT_TRUE(source.object);
    ASSERT_EQ(CreateFilter(kClsidSampleGrabber, grabber), S_OK);
    ASSERT_EQ(CreateFilter(kClsidNullRenderer, renderer), S_OK);
    ASSERT_EQ(graph.builder->AddFilter(source.filter.Get(), L"Test source"), S_OK);
    ASSERT_EQ(graph.builder->AddFilter(grabber.Get(), L"Grabber"), S_OK);
    ASSERT_EQ(graph.builder->AddFilter(renderer.Get(), L"Null renderer"), S_OK);
    ComPtr<ISampleGrabber> sg;
    ASSERT_EQ(grabber.As(&sg), S_OK);
    ASSERT_EQ(sg->SetCallback(&recorder, 0), S_OK);
  }

  // Connects the pins directly, pin to pin.
  void ConnectByHand() {
    ComPtr<IPin> grabberIn = FindPinByDirection(grabber.Get(), PINDIR_INPUT);
    ComPtr<IPin> grabberOut = FindPinByDirection(grabber.Get(), PINDIR_OUTPUT);
    ComPtr<IPin> rendererIn = FindPinByDirection(renderer.Get(), PINDIR_INPUT);
    ASSERT_TRUE(grabberIn && grabberOut && rendererIn);
    ASSERT_EQ(graph.builder->ConnectDirect(source.Pin(), grabberIn.Get(), nullptr), S_OK);
    ASSERT_EQ(graph.builder->ConnectDirect(grabberOut.Get(), rendererIn.Get(), nullptr), S_OK);
  }
};

}  // namespace

TEST_F(FrameworkGraphTest, SamplesReachThePlatformGrabberWithTheFillersContentAndTimes) {
  Watchdog dog("grabber graph run", 60);
  {
    const SourceScript script;
    GrabberGraph g(script);
    ASSERT_NO_FATAL_FAILURE(g.Build());
    ASSERT_NO_FATAL_FAILURE(g.ConnectByHand());

    AM_MEDIA_TYPE mt = {};
    ASSERT_EQ(g.source.Pin()->ConnectionMediaType(&mt), S_OK);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_RGB32);
    FreeMediaType(mt);

    ASSERT_EQ(ChangeGraphState(g.graph.control.Get(), State_Running), S_OK);
    ASSERT_TRUE(g.recorder.WaitForSamples(8, kSampleWaitMs));
    ASSERT_EQ(ChangeGraphState(g.graph.control.Get(), State_Stopped), S_OK);

    const std::vector<ReceivedSample> samples = g.recorder.Samples();
    ASSERT_GE(samples.size(), 8u);
    ExpectFillerFrames(samples, script, 4096);
    EXPECT_EQ(g.source.Stream()->m_threadCreates, 1);
    EXPECT_EQ(g.source.Stream()->m_threadDestroys, 1);
  }
  ExpectAllObjectsReleased();
}

TEST_F(FrameworkGraphTest, TheGraphsClockReachesTheFilterAndGivesItStreamTime) {
  Watchdog dog("graph clock", 60);
  {
    GrabberGraph g(SourceScript{});
    ASSERT_NO_FATAL_FAILURE(g.Build());
    ASSERT_NO_FATAL_FAILURE(g.ConnectByHand());
    ASSERT_EQ(ChangeGraphState(g.graph.control.Get(), State_Running), S_OK);
    ASSERT_TRUE(g.recorder.WaitForSamples(3, kSampleWaitMs));

    ComPtr<IReferenceClock> graphClock;
    ASSERT_EQ(g.graph.mediaFilter->GetSyncSource(graphClock.Put()), S_OK);
    ASSERT_TRUE(graphClock);
    ComPtr<IReferenceClock> filterClock;
    ASSERT_EQ(g.source.filter->GetSyncSource(filterClock.Put()), S_OK);
    EXPECT_EQ(filterClock.Get(), graphClock.Get());
    REFERENCE_TIME streamTime = -1;
    EXPECT_EQ(g.source.object->StreamTime(&streamTime), S_OK);
    EXPECT_GE(streamTime, 0);
    EXPECT_GT(g.source.Stream()->m_streamTimeOk, 0);

    ASSERT_EQ(ChangeGraphState(g.graph.control.Get(), State_Stopped), S_OK);
    // Taking the clock away leaves the filter without stream time.
    ASSERT_EQ(g.graph.mediaFilter->SetSyncSource(nullptr), S_OK);
    ASSERT_EQ(g.source.filter->GetSyncSource(filterClock.Put()), S_OK);
    EXPECT_FALSE(filterClock);
    EXPECT_EQ(g.source.object->StreamTime(&streamTime), VFW_E_NO_CLOCK);
  }
  ExpectAllObjectsReleased();
}

TEST_F(FrameworkGraphTest, StreamEndAndFillerFailureReachTheApplicationAsGraphEvents) {
  struct Case {
    const char* what;
    int endAfter;
    int failAt;
    HRESULT failure;
    long expectedEvent;
  } const cases[] = {
      {"filler ends the stream after 5 frames", 5, -1, S_OK, EC_COMPLETE},
      {"filler fails at frame 3", -1, 3, E_ACCESSDENIED, EC_ERRORABORT},
      {"filler fails at the first frame", -1, 0, HRESULT_FROM_WIN32(ERROR_INVALID_DATA),
       EC_ERRORABORT},
  };
  Watchdog dog("graph events", 50);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    {
      SourceScript script;
      script.endAfterFrames = c.endAfter;
      script.failAtFrame = c.failAt;
      script.failResult = c.failure;
      GrabberGraph g(script);
      ASSERT_NO_FATAL_FAILURE(g.Build());
      ASSERT_NO_FATAL_FAILURE(g.ConnectByHand());
      ASSERT_TRUE(SUCCEEDED(g.graph.control->Run()));
      std::string others;
      const GraphEvent event =
          WaitForGraphEvent(g.graph.events.Get(), c.expectedEvent, kEventWaitMs, &others);
      EXPECT_TRUE(event.found) << "other events: " << others << "; frames filled "
                               << g.source.Stream()->m_frames << ", grabbed " << g.recorder.Count();
      if (c.expectedEvent == EC_ERRORABORT) {
        EXPECT_EQ(event.param1, static_cast<LONG_PTR>(c.failure));
        EXPECT_EQ(event.param2, 0);
      }
      // The frames before the end all arrived, and nothing after it.
      const int frames = c.endAfter >= 0 ? c.endAfter : c.failAt;
      EXPECT_EQ(g.recorder.Count(), frames);
      // The worker idles until the stop, which still succeeds.
      {
        Watchdog stopDog("stop after the stream ended", 20);
        EXPECT_EQ(ChangeGraphState(g.graph.control.Get(), State_Stopped), S_OK);
      }
      EXPECT_EQ(g.source.Stream()->m_threadDestroys, 1);
    }
    ExpectAllObjectsReleased();
  }
}

TEST_F(FrameworkGraphTest, CaptureGraphBuilderFindsTheCapturePinAndStreamsThroughIt) {
  Watchdog dog("capture graph builder", 60);
  {
    const SourceScript script;
    GrabberGraph g(script);
    ASSERT_NO_FATAL_FAILURE(g.Build());
    ComPtr<ICaptureGraphBuilder2> capture;
    ASSERT_EQ(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                               IID_ICaptureGraphBuilder2, capture.PutVoid()),
              S_OK);
    ASSERT_EQ(capture->SetFiltergraph(g.graph.builder.Get()), S_OK);
    ASSERT_TRUE(
        SUCCEEDED(capture->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video,
                                        g.source.filter.Get(), g.grabber.Get(), g.renderer.Get())));
    ComPtr<IPin> peer;
    ASSERT_EQ(g.source.Pin()->ConnectedTo(peer.Put()), S_OK);

    ASSERT_EQ(ChangeGraphState(g.graph.control.Get(), State_Running), S_OK);
    ASSERT_TRUE(g.recorder.WaitForSamples(5, kSampleWaitMs));
    ASSERT_EQ(ChangeGraphState(g.graph.control.Get(), State_Stopped), S_OK);
    ExpectFillerFrames(g.recorder.Samples(), script, 256);
  }
  ExpectAllObjectsReleased();
}

TEST_F(FrameworkGraphTest, PauseRunStopManyTimesStreamsEachTimeAndReleasesEverything) {
  constexpr int kCycles = 25;
  Watchdog dog("graph state cycles", 50);
  {
    GrabberGraph g(SourceScript{});
    ASSERT_NO_FATAL_FAILURE(g.Build());
    ASSERT_NO_FATAL_FAILURE(g.ConnectByHand());
    for (int i = 0; i < kCycles; ++i) {
      const int before = g.recorder.Count();
      ASSERT_TRUE(SUCCEEDED(ChangeGraphState(g.graph.control.Get(), State_Paused))) << i;
      ASSERT_EQ(ChangeGraphState(g.graph.control.Get(), State_Running), S_OK) << i;
      ASSERT_TRUE(g.recorder.WaitForSamples(before + 2, kSampleWaitMs)) << i;
      ASSERT_EQ(ChangeGraphState(g.graph.control.Get(), State_Stopped), S_OK) << i;
      FILTER_STATE state;
      ASSERT_EQ(g.source.filter->GetState(0, &state), S_OK);
      EXPECT_EQ(state, State_Stopped);
    }
    EXPECT_EQ(g.source.Stream()->m_threadCreates, kCycles);
    EXPECT_EQ(g.source.Stream()->m_threadDestroys, kCycles);
    // The graph lets go of the filter again.
    ASSERT_EQ(g.graph.builder->RemoveFilter(g.source.filter.Get()), S_OK);
    EXPECT_EQ(RefCountOf(g.source.filter.Get()), 1u);
  }
  ExpectAllObjectsReleased();
}
