#include <gtest/gtest.h>

#include "baseclasses/com_ptr.h"
#include "tests/framework/unit/alloc_failure.h"
#include "tests/framework/unit/test_source.h"

namespace {

// Guards against a hang only; no test depends on how long anything takes.
constexpr DWORD kHangGuardMs = 60000;

struct ConnectedSource {
  ComScope com;
  StreamLog log;
  FakeInputPin downstream;
  ComPtr<IBaseFilter> filter;
  ComPtr<IPin> pin;

  ConnectedSource() {
    filter.Attach(CTestSource::Create(1, &log));
    EXPECT_EQ(filter->FindPin(L"1", pin.Put()), S_OK);
  }
  ~ConnectedSource() {
    if (filter) {
      filter->Stop();
      pin->Disconnect();
      downstream.Disconnect();
    }
  }
  HRESULT Connect() { return pin->Connect(&downstream, nullptr); }
  // Waits until the worker has made log.fillsBeforeSignal fills.
  bool WaitForFills() { return WaitForSingleObject(log.fillSignal, kHangGuardMs) == WAIT_OBJECT_0; }
  CTestStream* Stream() {
    return static_cast<CTestStream*>(
        static_cast<CSource*>(static_cast<CTestSource*>(filter.Get()))->GetPin(0));
  }
};

TEST(Connection, UsesTheStandardAllocatorWhenDownstreamOffersNone) {
  ConnectedSource source;
  ASSERT_EQ(source.Connect(), S_OK);
  EXPECT_EQ(source.downstream.connector, source.pin.Get());
  ASSERT_NE(source.Stream()->GetAllocator(), nullptr);
  ALLOCATOR_PROPERTIES granted = {};
  ASSERT_EQ(source.Stream()->GetAllocator()->GetProperties(&granted), S_OK);
  EXPECT_EQ(granted.cBuffers, 2);
  EXPECT_GE(granted.cbBuffer, 64 * 48 * 3);
  EXPECT_GE(granted.cbAlign, 1);

  CMediaType agreed;
  EXPECT_EQ(source.pin->ConnectionMediaType(&agreed), S_OK);
  EXPECT_TRUE(IsEqualGUID(agreed.subtype, MEDIASUBTYPE_RGB24));
  EXPECT_EQ(source.Connect(), VFW_E_ALREADY_CONNECTED);
}

TEST(Connection, ConnectionTypeThatCannotBeCopiedIsReportedAsOutOfMemory) {
  ConnectedSource source;
  ASSERT_EQ(source.Connect(), S_OK);
  AM_MEDIA_TYPE mt;
  HRESULT hr;
  {
    TaskAllocFailure failure;
    ASSERT_TRUE(failure.Armed());
    hr = source.pin->ConnectionMediaType(&mt);
  }
  EXPECT_EQ(hr, E_OUTOFMEMORY);
  EXPECT_EQ(mt.pbFormat, nullptr);
  EXPECT_EQ(mt.cbFormat, 0u);
}

TEST(Streaming, PauseStartsOneWorkerThatDeliversAndStopEndsIt) {
  ConnectedSource source;
  ASSERT_EQ(source.Connect(), S_OK);
  ASSERT_EQ(source.filter->Pause(), S_OK);
  ASSERT_TRUE(source.WaitForFills());
  EXPECT_EQ(source.log.threadCreates, 1);
  EXPECT_EQ(source.filter->Pause(), S_OK);  // no second worker
  EXPECT_EQ(source.filter->Run(0), S_OK);
  EXPECT_EQ(source.log.threadCreates, 1);
  ASSERT_EQ(source.filter->Stop(), S_OK);
  EXPECT_EQ(source.log.threadDestroys, 1);
  EXPECT_GE(source.downstream.received, 2);
  EXPECT_EQ(source.downstream.endOfStreams, 0);
  EXPECT_FALSE(source.Stream()->ThreadExists());
}

// Pushing ends after the first sample when the filler reports the end of the
// stream or fails (end of stream sent downstream once), or when downstream
// refuses the sample (no end of stream); the idle worker still answers Stop.
TEST(Streaming, PushingEndsWhenTheFillerOrDownstreamSaysSo) {
  struct Case {
    const char* name;
    HRESULT fill;
    HRESULT receive;
    int received;
    int endOfStreams;
  };
  const Case cases[] = {
      {"filler's end of stream", S_FALSE, S_OK, 0, 1},
      {"filler's failure", E_UNEXPECTED, S_OK, 0, 1},
      {"downstream refusing", S_OK, S_FALSE, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ConnectedSource source;
    source.log.fillResult = c.fill;
    source.downstream.receiveResult = c.receive;
    source.log.fillsBeforeSignal = 1;
    ASSERT_EQ(source.Connect(), S_OK);
    ASSERT_EQ(source.filter->Pause(), S_OK);
    ASSERT_TRUE(source.WaitForFills());
    ASSERT_EQ(source.filter->Stop(), S_OK);
    EXPECT_EQ(source.log.fills, 1);
    EXPECT_EQ(source.downstream.received, c.received);
    EXPECT_EQ(source.downstream.endOfStreams, c.endOfStreams);
    EXPECT_EQ(source.log.threadDestroys, 1);
  }
}

TEST(Streaming, StopCompletesWhileTheWorkerWaitsForAFreeSample) {
  ConnectedSource source;
  source.downstream.holdSamples = true;  // both samples stay downstream
  source.log.fillsBeforeSignal = 2;
  ASSERT_EQ(source.Connect(), S_OK);
  ASSERT_EQ(source.filter->Run(0), S_OK);
  ASSERT_TRUE(source.WaitForFills());
  ASSERT_EQ(source.filter->Stop(), S_OK);
  EXPECT_EQ(source.log.fills, 2);
  EXPECT_EQ(source.downstream.received, 2);
  EXPECT_EQ(source.log.threadDestroys, 1);
  source.downstream.ReleaseHeld();
}

TEST(Streaming, FailedStreamStartFailsPauseAndLetsTheNextPauseTryAgain) {
  ConnectedSource source;
  ASSERT_EQ(source.Connect(), S_OK);
  const HRESULT missingFont = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  source.log.createResult = missingFont;

  EXPECT_EQ(source.filter->Pause(), missingFont);
  FILTER_STATE state = State_Running;
  EXPECT_EQ(source.filter->GetState(0, &state), S_OK);
  EXPECT_EQ(state, State_Stopped);
  EXPECT_EQ(source.log.threadDestroys, 1);
  EXPECT_FALSE(source.Stream()->ThreadExists());
  // The allocator was taken back: getting a sample fails at once.
  ComPtr<IMediaSample> sample;
  EXPECT_EQ(source.Stream()->GetDeliveryBuffer(sample.Put(), nullptr, nullptr, 0),
            VFW_E_NOT_COMMITTED);

  source.log.createResult = S_OK;  // e.g. the missing file is now there
  ASSERT_EQ(source.filter->Pause(), S_OK);
  ASSERT_TRUE(source.WaitForFills());
  EXPECT_EQ(source.log.threadCreates, 2);
  ASSERT_EQ(source.filter->Stop(), S_OK);
  EXPECT_EQ(source.log.threadDestroys, 2);
}

TEST(Streaming, ReleasingAPausedFilterStopsItsWorkerFirst) {
  ComScope com;
  StreamLog log;
  FakeInputPin downstream;
  IBaseFilter* filter = CTestSource::Create(1, &log);
  {
    ComPtr<IPin> pin;
    ASSERT_EQ(filter->FindPin(L"1", pin.Put()), S_OK);
    ASSERT_EQ(pin->Connect(&downstream, nullptr), S_OK);
  }
  ASSERT_EQ(filter->Pause(), S_OK);
  ASSERT_EQ(WaitForSingleObject(log.fillSignal, kHangGuardMs), WAIT_OBJECT_0);
  downstream.Disconnect();  // the peer lets go of our pin; ours stays connected
  const LONG liveBefore = g_activeObjects;
  EXPECT_EQ(filter->Release(), 0u);
  EXPECT_EQ(log.threadDestroys, 1);
  EXPECT_EQ(g_activeObjects, liveBefore - 2);
  EXPECT_EQ(downstream.refs, 1);  // the destroyed pin released its peer
}

// A worker that ends without answering anything.
class CQuitter : public CAMThread {
 public:
  DWORD ThreadProc() override { return 0; }
};

// A worker that answers every command with the command plus 100.
class CEcho : public CAMThread {
 public:
  DWORD ThreadProc() override {
    for (;;) {
      const DWORD cmd = GetRequest();
      DWORD peeked = 0;
      peekedPending = CheckRequest(&peeked) && peeked == cmd;  // still pending until Reply
      Reply(cmd + 100);
      if (cmd == 0)
        return 0;
    }
  }
  bool peekedPending = false;
};

TEST(WorkerThread, CommandsAreAnsweredOneByOne) {
  CEcho echo;
  EXPECT_EQ(echo.CallWorker(5), static_cast<DWORD>(E_FAIL));  // no worker yet
  ASSERT_TRUE(echo.Create());
  EXPECT_FALSE(echo.Create());  // one worker at a time
  EXPECT_EQ(echo.CallWorker(7), 107u);
  EXPECT_TRUE(echo.peekedPending);
  EXPECT_EQ(echo.CallWorker(8), 108u);
  EXPECT_EQ(echo.CallWorker(0), 100u);
  echo.Close();
  EXPECT_FALSE(echo.ThreadExists());
}

TEST(WorkerThread, CallingAWorkerThatHasEndedFailsInsteadOfWaitingForever) {
  CQuitter quitter;
  ASSERT_TRUE(quitter.Create());
  EXPECT_EQ(quitter.CallWorker(1), static_cast<DWORD>(E_FAIL));
  quitter.Close();
  EXPECT_TRUE(quitter.Create());  // closed: a new worker may start
  quitter.Close();
}

}  // namespace
