// Faults on demand as a downstream pin receives them, and the counts and
// latency a capture application reads from the pin and the filter.
#include <windows.h>
#include <dshow.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fake_input_pin.h"
#include "module_fixture.h"

namespace {

constexpr long kFrameBytes = 320 * 240 * 2;  // the preset below: 320 x 240 YUY2
constexpr ULONG kIsSource = 0x2;             // AM_FILTER_MISC_FLAGS_IS_SOURCE

// One preset, 320 x 240 YUY2, with the given frame time and fault lines.
std::string FaultSettingsText(long long frameTime, const std::string& faults) {
  return "[MAIN]\r\nbuff_num=2\r\nauto_clock=0\r\n"
         "[PRESET_01]\r\nenable=1\r\nw=320\r\nh=240\r\nfcc=YUY2\r\nbmp=chart.bmp\r\n"
         "font=font.bmp\r\nframe_time=" +
         std::to_string(frameTime) + "\r\n" + faults;
}

class FaultStreamTest : public StreamTest {
 protected:
  void Create(long long frameTime, const std::string& faults) {
    WriteSettingsText(FaultSettingsText(frameTime, faults));
    CreateStream();
    if (HasFatalFailure())
      return;
    dropped = Query<IAMDroppedFrames>(pin.Get(), IID_IAMDroppedFrames);
    ASSERT_TRUE(dropped);
  }
  void TearDown() override {
    dropped.Reset();
    StreamTest::TearDown();
  }
  // Runs until `wanted` samples have arrived (a generous guard against a
  // hang, not a measurement).
  void RunFor(size_t wanted) {
    downstream->wanted = wanted;
    ResetEvent(downstream->samplesArrived);
    ASSERT_EQ(filter->Pause(), S_OK);
    ASSERT_EQ(filter->Run(0), S_OK);
    ASSERT_EQ(WaitForSingleObject(downstream->samplesArrived, 20000), WAIT_OBJECT_0);
  }
  long NotDropped() {
    long value = -1;
    EXPECT_EQ(dropped->GetNumNotDropped(&value), S_OK);
    return value;
  }
  std::vector<long> DroppedFrames() {
    std::vector<long> frames(64, -1);
    long copied = -1;
    EXPECT_EQ(dropped->GetDroppedInfo(long(frames.size()), frames.data(), &copied), S_OK);
    frames.resize(size_t(std::max(copied, 0L)));
    return frames;
  }

  ComPtr<IAMDroppedFrames> dropped;
};

TEST_F(FaultStreamTest, CountsLatencyAndSourceFlagAnswerAtOnceWithoutAStream) {
  Create(333667, "");
  long value = -1;
  EXPECT_EQ(dropped->GetNumDropped(&value), S_OK);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(NotDropped(), 0);
  EXPECT_TRUE(DroppedFrames().empty());
  EXPECT_EQ(dropped->GetAverageFrameSize(&value), S_OK);
  EXPECT_EQ(value, kFrameBytes);
  long frames[4] = {};
  EXPECT_EQ(dropped->GetDroppedInfo(0, frames, &value), E_INVALIDARG);
  EXPECT_EQ(dropped->GetDroppedInfo(4, nullptr, &value), E_POINTER);
  EXPECT_EQ(dropped->GetDroppedInfo(4, frames, nullptr), E_POINTER);
  EXPECT_EQ(dropped->GetNumDropped(nullptr), E_POINTER);
  EXPECT_EQ(dropped->GetNumNotDropped(nullptr), E_POINTER);
  EXPECT_EQ(dropped->GetAverageFrameSize(nullptr), E_POINTER);

  ComPtr<IAMPushSource> push = Query<IAMPushSource>(pin.Get(), IID_IAMPushSource);
  ComPtr<IAMLatency> latency = Query<IAMLatency>(pin.Get(), IID_IAMLatency);
  ASSERT_TRUE(push);
  ASSERT_TRUE(latency);
  REFERENCE_TIME time = -1;
  EXPECT_EQ(latency->GetLatency(&time), S_OK);
  EXPECT_EQ(time, 333667);
  EXPECT_EQ(push->GetLatency(&time), S_OK);
  EXPECT_EQ(time, 333667);
  ULONG flags = 7;
  EXPECT_EQ(push->GetPushSourceFlags(&flags), S_OK);
  EXPECT_EQ(flags, 0u);
  time = -1;
  EXPECT_EQ(push->GetStreamOffset(&time), S_OK);
  EXPECT_EQ(time, 0);
  time = -1;
  EXPECT_EQ(push->GetMaxStreamOffset(&time), S_OK);
  EXPECT_EQ(time, 0);
  EXPECT_EQ(push->SetStreamOffset(10000), E_NOTIMPL);
  EXPECT_EQ(push->SetMaxStreamOffset(10000), E_NOTIMPL);
  EXPECT_EQ(push->GetStreamOffset(&time), S_OK);
  EXPECT_EQ(time, 0);
  EXPECT_EQ(latency->GetLatency(nullptr), E_POINTER);
  EXPECT_EQ(push->GetPushSourceFlags(nullptr), E_POINTER);
  EXPECT_EQ(push->GetStreamOffset(nullptr), E_POINTER);
  EXPECT_EQ(push->GetMaxStreamOffset(nullptr), E_POINTER);

  ComPtr<IAMFilterMiscFlags> misc = Query<IAMFilterMiscFlags>(filter.Get(), IID_IAMFilterMiscFlags);
  ASSERT_TRUE(misc);
  EXPECT_EQ(misc->GetMiscFlags(), kIsSource);
}

// What a host's thread asks of the counts, and what it got.
struct CountsCall {
  IAMDroppedFrames* counts;
  long dropped, notDropped, size;
};

DWORD WINAPI AskCounts(void* param) {
  auto* c = static_cast<CountsCall*>(param);
  c->counts->GetNumDropped(&c->dropped);
  c->counts->GetNumNotDropped(&c->notDropped);
  c->counts->GetAverageFrameSize(&c->size);
  return 0;
}

// A paused graph: the worker holds the stream's lock while it waits to run.
// The counts must not wait for it.
TEST_F(FaultStreamTest, CountsAnswerWhileThePausedWorkerWaitsToRun) {
  Create(333667, "");
  ASSERT_EQ(pin->Connect(downstream.Get(), nullptr), S_OK);
  ASSERT_EQ(filter->Pause(), S_OK);
  Sleep(100);  // let the worker reach its wait (the check holds either way)
  CountsCall call = {dropped.Get(), -1, -1, -1};
  HANDLE thread = CreateThread(nullptr, 0, AskCounts, &call, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0) << "the counts waited";
  CloseHandle(thread);
  EXPECT_EQ(call.dropped, 0);
  EXPECT_EQ(call.notDropped, 0);
  EXPECT_EQ(call.size, kFrameBytes);
}

// The average frame size: an uncompressed format's image size (NV12's planes
// packed, rows not padded to 4 bytes); for MJPG, before a stream the largest
// JPEG the type allows, then the mean length of the samples delivered.
TEST_F(FaultStreamTest, AverageFrameSizeIsTheImageOrTheMeanJpegLength) {
  const struct {
    const char* fcc;
    int w;
    long before;  // -1: the type's biSizeImage
  } cases[] = {{"YUY2", 322, 322 * 240 * 2}, {"NV12", 322, 322 * 240 * 3 / 2}, {"MJPG", 320, -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fcc);
    WriteSettingsText("[MAIN]\r\nbuff_num=2\r\nauto_clock=0\r\n[PRESET_01]\r\nenable=1\r\nw=" +
                      std::to_string(c.w) + "\r\nh=240\r\nfcc=" + c.fcc +
                      "\r\nbmp=chart.bmp\r\nfont=font.bmp\r\nscroll_x=3\r\nframe_time=100000\r\n");
    CreateStream();
    ASSERT_FALSE(HasFatalFailure());
    dropped = Query<IAMDroppedFrames>(pin.Get(), IID_IAMDroppedFrames);
    ComPtr<IAMStreamConfig> config = Query<IAMStreamConfig>(pin.Get(), IID_IAMStreamConfig);
    ASSERT_TRUE(dropped && config);
    AM_MEDIA_TYPE* type = nullptr;
    ASSERT_EQ(config->GetFormat(&type), S_OK);
    const long imageBytes =
        long(reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat)->bmiHeader.biSizeImage);
    CoTaskMemFree(type->pbFormat);
    CoTaskMemFree(type);
    long size = -1;
    EXPECT_EQ(dropped->GetAverageFrameSize(&size), S_OK);
    EXPECT_EQ(size, c.before < 0 ? imageBytes : c.before);
    EXPECT_EQ(imageBytes, size);

    ASSERT_EQ(pin->Connect(downstream.Get(), nullptr), S_OK);
    RunFor(6);
    ASSERT_EQ(filter->Stop(), S_OK);
    long long sum = 0, n = 0;
    for (const ReceivedSample& sample : downstream->Samples()) {
      sum += sample.length;
      ++n;
    }
    ASSERT_GE(n, 6);
    EXPECT_EQ(dropped->GetAverageFrameSize(&size), S_OK);
    EXPECT_EQ(size, c.before < 0 ? long((sum + n / 2) / n) : c.before);
    if (c.before < 0) {
      EXPECT_LT(size, imageBytes / 4);  // a JPEG, not the worst case
    }
    pin->Disconnect();
  }
}

// A renderer answers S_FALSE for the sample it takes as its graph stops: the
// sample counts as delivered (the host has it) and the stream ends there.
TEST_F(FaultStreamTest, ASampleTakenWithSFalseCountsAsDelivered) {
  for (const char* faults : {"", "fault_repeat_every=2\r\n"}) {
    SCOPED_TRACE(faults);
    Create(100000, faults);
    downstream->answerWanted = S_FALSE;
    ASSERT_EQ(pin->Connect(downstream.Get(), nullptr), S_OK);
    RunFor(3);  // frames 0, 1 and 2 (a repeated frame 2 ends the stream at once)
    ASSERT_EQ(filter->Stop(), S_OK);
    EXPECT_EQ(downstream->Samples().size(), 3u);
    EXPECT_EQ(NotDropped(), 3);
    pin->Disconnect();
  }
}

TEST_F(FaultStreamTest, EachDeliveryFaultReachesTheDownstreamPinAsScheduled) {
  constexpr long long kFrameTime = 100000;          // 10 ms frames
  constexpr HRESULT kNoTime = HRESULT(0x80040249);  // VFW_E_SAMPLE_TIME_NOT_SET
  struct Case {
    const char* faults;
    std::vector<long long> frames;  // the frames whose stamps arrive, in order; -1: none
    std::vector<long> lost;
  };
  const Case cases[] = {
      {"", {0, 1, 2, 3, 4, 5, 6, 7}, {}},
      {"fault_loss_every=3\r\n", {0, 1, 2, 4, 5, 7, 8, 10}, {3, 6, 9}},
      {"fault_repeat_every=3\r\n", {0, 1, 2, 3, 3, 4, 5, 6, 6, 7}, {}},
      {"fault_reorder_every=3\r\n", {0, 1, 2, 4, 3, 5, 7, 6, 8}, {}},
      {"fault_no_time_every=3\r\n", {0, 1, 2, -1, 4, 5, -1, 7}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.faults);
    Create(kFrameTime, c.faults);
    ASSERT_EQ(pin->Connect(downstream.Get(), nullptr), S_OK);  // the standard allocator
    RunFor(c.frames.size());
    ASSERT_EQ(filter->Stop(), S_OK);

    const std::vector<ReceivedSample> samples = downstream->Samples();
    ASSERT_GE(samples.size(), c.frames.size());
    for (size_t i = 0; i < c.frames.size(); ++i) {
      SCOPED_TRACE(i);
      if (c.frames[i] < 0) {
        EXPECT_EQ(samples[i].timeResult, kNoTime);
        continue;
      }
      EXPECT_EQ(samples[i].timeResult, S_OK);
      EXPECT_EQ(samples[i].start, c.frames[i] * kFrameTime);
      EXPECT_EQ(samples[i].stop, (c.frames[i] + 1) * kFrameTime);
    }
    // Every sample that arrived is counted; every lost frame is a dropped one.
    EXPECT_EQ(NotDropped(), long(samples.size()));
    const std::vector<long> droppedFrames = DroppedFrames();
    long total = -1;
    EXPECT_EQ(dropped->GetNumDropped(&total), S_OK);
    EXPECT_EQ(total, long(droppedFrames.size()));
    for (long frame : c.lost) {
      if (frame > c.frames.back())
        continue;  // perhaps never made before the stop
      EXPECT_NE(std::find(droppedFrames.begin(), droppedFrames.end(), frame), droppedFrames.end())
          << "lost frame " << frame;
    }
    TearDown();
  }
}

// A stop during a stall returns within one frame interval (here 1 s, more
// than the 100 ms that would apply to faster frames); the counts stay
// readable after the stop and start afresh with the next stream.
TEST_F(FaultStreamTest, StopDuringALongStallReturnsPromptly) {
  Create(10000000, "fault_stall_ms=60000\r\nfault_stall_every=1\r\n");
  ASSERT_EQ(pin->Connect(downstream.Get(), nullptr), S_OK);
  RunFor(1);  // frame 0; frame 1 is made a second later and stalls
  Sleep(1500);
  const DWORD before = GetTickCount();
  ASSERT_EQ(filter->Stop(), S_OK);
  EXPECT_LT(GetTickCount() - before, 1000u);
  EXPECT_EQ(NotDropped(), 1);

  RunFor(2);  // frame 0 of the next stream (the event counts samples in all)
  ASSERT_EQ(filter->Stop(), S_OK);
  EXPECT_EQ(NotDropped(), 1);
}

}  // namespace
