// When frames come on a system whose timer is coarse: every frame within a
// millisecond of its due time, little time spent spinning, stops answered at
// once. All on the simulated clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "tests/core/support/stream_fixture.h"

namespace {

using zd::SimulatedFrameHost;
using zdtest::FakeSample;
using zdtest::StreamFixture;

constexpr int64_t kFrameTime60 = 166666;  // 60 fps in 100-ns units
constexpr double kTicksPerMs = double(SimulatedFrameHost::kTicksPerMs);

// The system timer ticks at 64 Hz; the stream sleeps on a high-resolution
// timer that fires up to 0.4 ms late, or where there is none, raises the
// system timer to 1 ms.
struct TimerCase {
  const char* name;
  bool highResolutionTimer;
};
constexpr TimerCase kTimerCases[] = {
    {"high-resolution timer", true},
    {"no high-resolution timer: the period raised", false},
};

void OnCoarseTimer(SimulatedFrameHost& host, const TimerCase& c) {
  host.timerPeriod = SimulatedFrameHost::kDefaultTimerPeriod;
  host.highResolutionTimer = c.highResolutionTimer;
  host.highResolutionLateness = 4000;
}

TEST(PreciseWaits, TenSecondsAt60FpsOnTheCoarseTimerEveryFrameWithinAMillisecond) {
  for (const TimerCase& c : kTimerCases) {
    SCOPED_TRACE(c.name);
    StreamFixture f;
    f.preset.frame_time = kFrameTime60;
    OnCoarseTimer(f.host, c);
    ASSERT_EQ(f.Start(), kS_OK);
    FakeSample sample(f.FrameSize());
    ASSERT_EQ(f.NextFrame(sample), kS_OK);
    const int64_t first = f.host.now;
    const int64_t sleptBefore = f.host.sleptTicks;
    int outside = 0;
    double worstMs = 0.0;
    constexpr int kFrames = 600;
    for (int n = 1; n <= kFrames; ++n) {
      ASSERT_EQ(f.NextFrame(sample), kS_OK) << "frame " << n;
      const double lateMs = double(f.host.now - first - n * kFrameTime60) / kTicksPerMs;
      if (lateMs < -0.01 || lateMs > 1.0)
        ++outside;
      worstMs = std::max(worstMs, lateMs);
    }
    EXPECT_EQ(outside, 0) << "frames made more than 1 ms from their due time; the latest "
                          << worstMs << " ms late";
    EXPECT_EQ(f.producer.m_dropCount, 0u);
    // The time not spent asleep is the time the wait spun (and made frames,
    // which costs next to nothing here).
    const double busyMsPerFrame =
        double(f.host.now - first - (f.host.sleptTicks - sleptBefore)) / kTicksPerMs / kFrames;
    EXPECT_LT(busyMsPerFrame, 1.0) << "the wait spins this long a frame";
  }
}

}  // namespace

namespace {

// A stop that comes in the middle of a sleep is seen when the sleep ends: no
// sleep of the wait lasts longer than a millisecond and the timer's
// granularity (on the raised period a 1 ms sleep begun between two ticks
// ends at the second).
TEST(PreciseWaits, AStopDuringALongWaitOnTheCoarseTimerIsAnsweredWithinAboutAMillisecond) {
  for (const TimerCase& c : kTimerCases) {
    SCOPED_TRACE(c.name);
    StreamFixture f;
    f.preset.frame_time = 10000000;  // one frame a second
    OnCoarseTimer(f.host, c);
    ASSERT_EQ(f.Start(), kS_OK);
    FakeSample sample(f.FrameSize());
    ASSERT_EQ(f.NextFrame(sample), kS_OK);
    const int64_t stopAt = f.host.now + 300 * SimulatedFrameHost::kTicksPerMs;
    f.host.onSleep = [stopAt](SimulatedFrameHost& h, uint32_t) {
      h.stopRequested = h.now >= stopAt;
    };
    EXPECT_EQ(f.NextFrame(sample), kS_FALSE);
    EXPECT_LE(double(f.host.longestSleep) / kTicksPerMs, 2.0);
    EXPECT_LE(double(f.host.now - stopAt) / kTicksPerMs, 2.0);
    EXPECT_EQ(f.producer.m_frameCount, 1u);
  }
}

// A client that asks at half the frame rate, each time half an interval
// after a frame was due. On the Media Foundation face's schedule request k
// gets frame 2k, of the moment; frame 2k - 1, overdue by one and a half
// intervals, is skipped and dropped. On DirectShow's schedule every frame is
// made, in order, ever further behind the clock, and each after the first
// is a drop (made more than an interval late).
TEST(OverdueFrames, AClientAtHalfTheRateGetsFramesOfTheMomentAndTheOthersAreDropped) {
  constexpr int kRequests = 300;  // 10 s
  struct Case {
    const char* name;
    bool skipOverdue;
    int framePerRequest;  // the frame request k gets: k times this
    uint32_t drops;       // after all requests
    uint32_t skips;
    int64_t lastBehindAtLeast;  // how far the last sample's time is behind the clock
  };
  const Case cases[] = {
      {"Media Foundation: overdue frames skipped", true, 2, kRequests - 1, kRequests - 1, 0},
      {"DirectShow: every frame made", false, 1, kRequests - 1, 0, 100 * kFrameTime60},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StreamFixture f;
    f.preset.frame_time = kFrameTime60;
    f.producer.m_skipOverdue = c.skipOverdue;
    ASSERT_EQ(f.Start(), kS_OK);
    FakeSample sample(f.FrameSize());
    int64_t behind = 0;
    for (int k = 0; k < kRequests; ++k) {
      const double askedMs = (2.0 * k + (k > 0 ? 0.5 : 0.0)) * double(kFrameTime60) / kTicksPerMs;
      ASSERT_EQ(f.FrameAt(askedMs, sample), kS_OK) << "request " << k;
      ASSERT_EQ(sample.start, int64_t(k) * c.framePerRequest * kFrameTime60) << "request " << k;
      // The sample's time on the performance counter's clock, against the clock.
      const int64_t time = f.producer.CounterTime(f.producer.m_firstFrameMs) + sample.start;
      behind = f.host.PerformanceCounter() - time;
      if (c.skipOverdue) {
        EXPECT_GE(behind, 0) << "request " << k;
        EXPECT_LE(behind, kFrameTime60) << "request " << k;
      }
    }
    EXPECT_GE(behind, c.lastBehindAtLeast);
    EXPECT_EQ(f.producer.m_dropCount, c.drops);  // as the status line shows it
    EXPECT_EQ(f.producer.m_skipCount, c.skips);
    EXPECT_EQ(f.producer.m_frameCount, uint32_t((kRequests - 1) * c.framePerRequest + 1));
  }
}

}  // namespace
