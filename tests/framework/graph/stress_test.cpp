// Long runs of state changes on a connected source: a thousand
// Pause/Run/Stop cycles against the scripted sink and as many through the
// platform's graph and null renderer, with application threads querying the
// filter and pin meanwhile. Nothing may hang (each run is under a watchdog),
// and handles, memory and live objects must not grow.
#include "tests/framework/graph/graph_fixture.h"

#include <thread>

namespace {

// Slack for the process counters: the platform's own caches may grow a
// little on first use; a leak per cycle would exceed this many times over.
constexpr DWORD kHandleSlack = 16;
constexpr SIZE_T kMemorySlack = 4u << 20;

// Queries that applications make from their own threads while the stream
// starts and stops: locked and lock-free operations of the filter and pin.
void QueryWhileStreaming(IBaseFilter* filter, IPin* pin, std::atomic<bool>& stop,
                         std::atomic<int>& failures) {
  while (!stop) {
    FILTER_STATE state;
    if (filter->GetState(0, &state) != S_OK)
      ++failures;
    FILTER_INFO info;
    if (filter->QueryFilterInfo(&info) == S_OK) {
      if (info.pGraph)
        info.pGraph->Release();
    } else {
      ++failures;
    }
    ComPtr<IEnumPins> pins;
    if (filter->EnumPins(pins.Put()) != S_OK)
      ++failures;
    AM_MEDIA_TYPE mt;
    if (pin->ConnectionMediaType(&mt) == S_OK) {
      if (mt.cbFormat)
        CoTaskMemFree(mt.pbFormat);
      if (mt.pUnk)
        mt.pUnk->Release();
    } else {
      ++failures;
    }
    ComPtr<IEnumMediaTypes> types;
    if (pin->EnumMediaTypes(types.Put()) != S_OK)
      ++failures;
    ComPtr<IReferenceClock> clock;
    if (filter->GetSyncSource(clock.Put()) != S_OK)
      ++failures;
    Sleep(0);
  }
}

}  // namespace

TEST_F(FrameworkGraphTest, AThousandPauseRunStopCyclesNeitherHangNorLeak) {
  constexpr int kCycles = 1000;
  constexpr int kWarmUp = 20;
  {
    SinkScript sinkScript;
    sinkScript.keptBytes = 16;
    SourceRef source;
    ComPtr<ScriptedSinkFilter> sink = CreateScriptedSink(sinkScript);
    ASSERT_EQ(source.Pin()->Connect(sink->InputPin(), nullptr), S_OK);

    std::atomic<bool> stopQueries{false};
    std::atomic<int> queryFailures{0};
    std::thread queries(QueryWhileStreaming, source.filter.Get(), source.Pin(),
                        std::ref(stopQueries), std::ref(queryFailures));
    // Ends the query thread on every way out of this scope.
    struct Joiner {
      std::atomic<bool>& stop;
      std::thread& thread;
      ~Joiner() {
        stop = true;
        if (thread.joinable())
          thread.join();
      }
    } joiner{stopQueries, queries};

    ProcessResources start;
    for (int i = 0; i < kCycles; ++i) {
      if (i == kWarmUp)
        start = ProcessResources::Now();
      ASSERT_EQ(source.filter->Pause(), S_OK) << i;
      ASSERT_EQ(source.filter->Run(0), S_OK) << i;
      if (i % 100 == 0) {
        // Now and then make sure the cycles do stream.
        const int before = sink->Counters().receives;
        ASSERT_TRUE(sink->WaitForSamples(before + 3, kSampleWaitMs)) << i;
      }
      ASSERT_EQ(source.filter->Stop(), S_OK) << i;
    }
    const ProcessResources end = ProcessResources::Now();
    EXPECT_GT(start.handles, 0u);  // the counters are there to compare
    EXPECT_GT(start.privateBytes, 0u);
    stopQueries = true;
    queries.join();

    EXPECT_EQ(queryFailures, 0);
    EXPECT_EQ(source.Stream()->m_threadCreates, kCycles);
    EXPECT_EQ(source.Stream()->m_threadDestroys, kCycles);
    EXPECT_LE(end.handles, start.handles + kHandleSlack) << "handles before " << start.handles;
    EXPECT_LE(end.privateBytes, start.privateBytes + kMemorySlack)
        << "bytes before " << start.privateBytes;

    EXPECT_EQ(source.Pin()->Disconnect(), S_OK);
    EXPECT_EQ(sink->InputPin()->Disconnect(), S_OK);
    EXPECT_EQ(RefCountOf(source.filter.Get()), 1u);
  }
  ExpectAllObjectsReleased();
}

TEST_F(FrameworkGraphTest, AThousandGraphCyclesThroughTheNullRendererNeitherHangNorLeak) {
  constexpr int kCycles = 1000;
  constexpr int kWarmUp = 20;
  {
    SourceRef source;
    Graph graph;
    ASSERT_TRUE(graph.Create());
    ComPtr<IBaseFilter> renderer;
    ASSERT_EQ(ConnectToNullRenderer(graph, source.filter.Get(), source.Pin(), renderer), S_OK);

    ProcessResources start;
    for (int i = 0; i < kCycles; ++i) {
      if (i == kWarmUp)
        start = ProcessResources::Now();
      ASSERT_TRUE(SUCCEEDED(ChangeGraphState(graph.control.Get(), State_Paused))) << i;
      ASSERT_EQ(ChangeGraphState(graph.control.Get(), State_Running), S_OK) << i;
      ASSERT_EQ(ChangeGraphState(graph.control.Get(), State_Stopped), S_OK) << i;
      DrainGraphEvents(graph.events.Get());
    }
    const ProcessResources end = ProcessResources::Now();
    EXPECT_GT(start.handles, 0u);  // the counters are there to compare
    EXPECT_GT(start.privateBytes, 0u);
    EXPECT_EQ(source.Stream()->m_threadCreates, kCycles);
    EXPECT_EQ(source.Stream()->m_threadDestroys, kCycles);
    EXPECT_LE(end.handles, start.handles + kHandleSlack) << "handles before " << start.handles;
    EXPECT_LE(end.privateBytes, start.privateBytes + kMemorySlack)
        << "bytes before " << start.privateBytes;
    EXPECT_EQ(graph.builder->RemoveFilter(source.filter.Get()), S_OK);
    EXPECT_EQ(RefCountOf(source.filter.Get()), 1u);
  }
  ExpectAllObjectsReleased();
}
