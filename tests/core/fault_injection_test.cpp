// Faults a preset asks for, as the frame loop injects them: stamps left out
// or frozen, frames held back by stalls and jitter, every fault in the log.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "pattern/device_presence.h"
#include "tests/core/data/temp_files.h"
#include "tests/core/support/stream_fixture.h"

namespace {

using zdtest::FakeSample;
using zdtest::StreamFixture;

constexpr int64_t kFrameTime = 400000;  // the fixture's 40 ms frames

TEST(FaultInjection, FaultyStampsAreLeftOutOrFrozenWhileTheOthersRunOn) {
  StreamFixture f;
  f.preset.faults.no_time_every = 4;
  f.preset.faults.freeze_frames = 2;
  f.preset.faults.freeze_every = 6;
  ASSERT_EQ(f.Start(), kS_OK);
  struct Expect {
    bool hasTime;
    int64_t startFrame;  // the stamps the sample carries, in frames
  };
  // Frames 4, 8, 12 carry none; 6 and 7 keep frame 5's, 13 keeps frame 11's
  // (12 is without stamps: no freeze there).
  const Expect expected[] = {
      {true, 0}, {true, 1},  {true, 2}, {true, 3},  {false, 0}, {true, 5},  {true, 5},
      {true, 5}, {false, 0}, {true, 9}, {true, 10}, {true, 11}, {false, 0}, {true, 11},
  };
  for (int n = 0; n < int(std::size(expected)); ++n) {
    SCOPED_TRACE(n);
    FakeSample sample(f.FrameSize());
    ASSERT_EQ(f.NextFrame(sample), kS_OK);
    EXPECT_EQ(sample.hasTime, expected[n].hasTime);
    if (expected[n].hasTime) {
      EXPECT_EQ(sample.start, expected[n].startFrame * kFrameTime);
      EXPECT_EQ(sample.stop, (expected[n].startFrame + 1) * kFrameTime);
    }
  }
  // The stream's own time goes on as if nothing happened.
  EXPECT_EQ(f.producer.m_sampleTime, int64_t(std::size(expected)) * kFrameTime);
  EXPECT_EQ(f.producer.m_dropCount, 0u);
}

TEST(FaultInjection, TheFaultLogListsEveryInjectedFaultWithItsFrame) {
  StreamFixture f;
  std::snprintf(f.settings.m_faultLog, sizeof f.settings.m_faultLog, "faults.txt");
  f.preset.faults.loss_every = 3;
  f.preset.faults.repeat_every = 5;
  f.preset.faults.stall_ms = 10;
  f.preset.faults.stall_every = 4;
  ASSERT_EQ(f.Start(), kS_OK);
  const DeliveryFault expected[] = {
      DeliveryFault::kNone, DeliveryFault::kNone,   DeliveryFault::kNone, DeliveryFault::kLoss,
      DeliveryFault::kNone, DeliveryFault::kRepeat, DeliveryFault::kLoss, DeliveryFault::kNone,
      DeliveryFault::kNone, DeliveryFault::kLoss,
  };
  for (uint32_t n = 0; n < std::size(expected); ++n) {
    FakeSample sample(f.FrameSize());
    ASSERT_EQ(f.NextFrame(sample), kS_OK);
    EXPECT_EQ(f.producer.LastPlan().frame, n);
    EXPECT_EQ(f.producer.LastPlan().delivery, expected[n]) << n;
  }
  ASSERT_EQ(f.producer.OnThreadDestroy(), kS_OK);
  EXPECT_EQ(ReadWholeFile(f.dir.File("faults.txt")),
            "3 loss\r\n4 stall ms=10\r\n5 repeat\r\n6 loss\r\n8 stall ms=10\r\n9 loss\r\n");

  // A clean stream writes an empty log; a new stream starts it afresh.
  f.preset.faults = FaultSettings{};
  ASSERT_EQ(f.Start(), kS_OK);
  FakeSample sample(f.FrameSize());
  ASSERT_EQ(f.NextFrame(sample), kS_OK);
  ASSERT_EQ(f.producer.OnThreadDestroy(), kS_OK);
  EXPECT_EQ(ReadWholeFile(f.dir.File("faults.txt")), "");
}

// A 210 ms stall is more than five 40 ms intervals: the four frames that
// follow it come late and are counted as drops, as after any stall.
TEST(FaultInjection, AStallHoldsItsFrameBackAndTheNextFramesCatchUpAsDrops) {
  StreamFixture f;
  f.preset.faults.stall_ms = 210;
  f.preset.faults.stall_every = 5;
  ASSERT_EQ(f.Start(), kS_OK);
  FakeSample sample(f.FrameSize());
  for (int n = 0; n < 5; ++n)
    ASSERT_EQ(f.NextFrame(sample), kS_OK);
  EXPECT_LT(f.MsSinceStart(), 161.0);
  ASSERT_EQ(f.NextFrame(sample), kS_OK);  // frame 5, made at 200 ms
  EXPECT_GE(f.MsSinceStart(), 410.0);
  EXPECT_LT(f.MsSinceStart(), 412.0);
  EXPECT_EQ(sample.start, 5 * kFrameTime) << "the stamps are not moved";
  for (int n = 6; n < 11; ++n)
    ASSERT_EQ(f.NextFrame(sample), kS_OK);
  EXPECT_EQ(f.producer.m_dropCount, 4u);
  EXPECT_EQ(sample.start, 10 * kFrameTime);
}

TEST(FaultInjection, AStopEndsAStallOrAJitterWaitAtOnce) {
  struct Case {
    const char* name;
    FaultSettings faults;
  };
  FaultSettings stall{};
  stall.stall_ms = 60000;
  stall.stall_every = 1;
  FaultSettings jitter{};
  jitter.jitter_ms = 1000;
  jitter.jitter_seed = 3;
  ASSERT_GT(JitterFor(3, 1, 1000), 20u) << "frame 1 must wait long enough to be stopped";
  for (const Case& c : {Case{"stall", stall}, Case{"jitter", jitter}}) {
    SCOPED_TRACE(c.name);
    StreamFixture f;
    f.preset.faults = c.faults;
    ASSERT_EQ(f.Start(), kS_OK);
    FakeSample sample(f.FrameSize());
    ASSERT_EQ(f.FrameAt(0.0, sample), kS_OK);
    // Frame 1 waits; a stop arrives 10 sleeps into the wait.
    const uint32_t sleepsBefore = f.host.sleepCalls;
    f.host.onSleep = [&](zd::SimulatedFrameHost& host, uint32_t sleeps) {
      if (sleeps >= sleepsBefore + 10)
        host.stopRequested = true;
    };
    const double frameOneMs = std::max(f.MsSinceStart(), 40.0);  // after frame 0's own wait
    ASSERT_EQ(f.FrameAt(40.0, sample), kS_FALSE);
    EXPECT_EQ(f.producer.LastPlan().frame, 1u);
    EXPECT_LT(f.MsSinceStart(), frameOneMs + 13.0);
  }
}

}  // namespace

// An unplug after N frames: frames 0..N-1 come whole, then the device is
// gone: every later call makes nothing, and the log names the frame once.
TEST(FaultInjection, AnUnplugEndsTheFramesAtItsFrameAndIsLoggedOnce) {
  struct Case {
    int32_t unplugAfter, replugMs;
    const char* log;
  };
  const Case cases[] = {
      {3, 0, "3 unplug\r\n"},
      {1, 250, "1 unplug\r\n1 replug ms=250\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.unplugAfter);
    StreamFixture f;
    std::snprintf(f.settings.m_faultLog, sizeof f.settings.m_faultLog, "faults.txt");
    f.preset.faults.unplug_after = c.unplugAfter;
    f.preset.faults.replug_ms = c.replugMs;
    ASSERT_EQ(f.Start(), kS_OK);
    const uint32_t generation = DevicePresence::Process().Generation();
    for (int32_t n = 0; n < c.unplugAfter; ++n) {
      FakeSample sample(f.FrameSize());
      ASSERT_EQ(f.NextFrame(sample), kS_OK);
    }
    EXPECT_FALSE(f.producer.DeviceRemoved());
    for (int call = 0; call < 3; ++call) {
      FakeSample sample(f.FrameSize());
      EXPECT_EQ(f.NextFrame(sample), kE_DEVICE_NOT_CONNECTED);
    }
    EXPECT_TRUE(f.producer.DeviceRemoved());
    EXPECT_EQ(f.producer.m_frameCount, uint32_t(c.unplugAfter));
    EXPECT_EQ(DevicePresence::Process().Generation(), generation + 1);
    ASSERT_EQ(f.producer.OnThreadDestroy(), kS_OK);
    EXPECT_EQ(ReadWholeFile(f.dir.File("faults.txt")), c.log);
  }
}

// The device's presence: gone from the unplug, back once the replug time has
// come (across the millisecond clock's wrap-around too), never without one.
TEST(DevicePresence, TheDeviceReturnsWhenItsReplugTimeHasCome) {
  struct Case {
    uint32_t unplugAt;
    int32_t replugMs;
    uint32_t askedAt;
    bool present;
  };
  const Case cases[] = {
      {1000, 500, 1000, false},         {1000, 500, 1499, false},
      {1000, 500, 1500, true},          {1000, 0, 1000, false},
      {1000, 0, 4000000000u, false},    {0xFFFFFF00u, 512, 0x80u, false},
      {0xFFFFFF00u, 512, 0x100u, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.askedAt);
    DevicePresence presence;
    EXPECT_TRUE(presence.Present(c.unplugAt));
    presence.Unplug(c.unplugAt, c.replugMs);
    EXPECT_EQ(presence.Present(c.askedAt), c.present);
    EXPECT_EQ(presence.Generation(), 1u);
  }
  char small[8];
  EXPECT_EQ(FormatDeviceRecords(small, sizeof small, 12, 0), 7u);
  EXPECT_STREQ(small, "12 unpl");
}
