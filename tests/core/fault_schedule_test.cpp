// Which frames the faults of a preset hit, how much they wait, and how the
// fault log names them.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "pattern/fault_schedule.h"

namespace {

FaultSettings None() {
  return FaultSettings{};
}

// The frames among 0..last whose plan satisfies pick.
template <class Pick>
std::vector<uint32_t> FramesWhere(const FaultSchedule& schedule, uint32_t last, Pick pick) {
  std::vector<uint32_t> frames;
  for (uint32_t n = 0; n <= last; ++n) {
    if (pick(schedule.PlanFor(n)))
      frames.push_back(n);
  }
  return frames;
}

TEST(FaultSchedule, EveryNthFrameFromFrameNOnAndOneDeliveryFaultPerFrame) {
  using Frames = std::vector<uint32_t>;
  struct Case {
    const char* name;
    FaultSettings settings;
    Frames loss, repeat, reorder, noTime, stall;
  };
  auto with = [](void (*set)(FaultSettings&)) {
    FaultSettings s = None();
    set(s);
    return s;
  };
  const Case cases[] = {
      {"nothing", None(), {}, {}, {}, {}, {}},
      {"loss every 4",
       with([](FaultSettings& s) { s.loss_every = 4; }),
       {4, 8, 12},
       {},
       {},
       {},
       {}},
      {"repeat every 5",
       with([](FaultSettings& s) { s.repeat_every = 5; }),
       {},
       {5, 10},
       {},
       {},
       {}},
      {"reorder every 3",
       with([](FaultSettings& s) { s.reorder_every = 3; }),
       {},
       {},
       {3, 6, 9, 12},
       {},
       {}},
      {"loss before repeat before reorder",
       with([](FaultSettings& s) {
         s.loss_every = 4;
         s.repeat_every = 2;
         s.reorder_every = 3;
       }),
       {4, 8, 12},
       {2, 6, 10},
       {3, 9},
       {},
       {}},
      {"no time every 6",
       with([](FaultSettings& s) { s.no_time_every = 6; }),
       {},
       {},
       {},
       {6, 12},
       {}},
      {"stall every 4",
       with([](FaultSettings& s) {
         s.stall_ms = 100;
         s.stall_every = 4;
       }),
       {},
       {},
       {},
       {},
       {4, 8, 12}},
      {"every 1 is every frame but the first",
       with([](FaultSettings& s) { s.loss_every = 1; }),
       {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
       {},
       {},
       {},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const FaultSchedule schedule(c.settings);
    EXPECT_EQ(FramesWhere(schedule, 12,
                          [](const FramePlan& p) { return p.delivery == DeliveryFault::kLoss; }),
              c.loss);
    EXPECT_EQ(FramesWhere(schedule, 12,
                          [](const FramePlan& p) { return p.delivery == DeliveryFault::kRepeat; }),
              c.repeat);
    EXPECT_EQ(FramesWhere(schedule, 12,
                          [](const FramePlan& p) { return p.delivery == DeliveryFault::kReorder; }),
              c.reorder);
    EXPECT_EQ(FramesWhere(schedule, 12,
                          [](const FramePlan& p) { return p.stamp == StampFault::kNoTime; }),
              c.noTime);
    EXPECT_EQ(FramesWhere(schedule, 12, [](const FramePlan& p) { return p.stallMs == 100; }),
              c.stall);
    EXPECT_EQ(schedule.Any(), !c.loss.empty() || !c.repeat.empty() || !c.reorder.empty() ||
                                  !c.noTime.empty() || !c.stall.empty());
  }
}

TEST(FaultSchedule, FrozenStampsComeFromTheFrameBeforeEachFreeze) {
  FaultSettings s = None();
  s.freeze_frames = 2;
  s.freeze_every = 5;
  s.no_time_every = 11;  // a frame without stamps is not also frozen
  const FaultSchedule schedule(s);
  struct Expect {
    uint32_t frame;
    StampFault stamp;
    uint32_t back;
  };
  const Expect expected[] = {
      {0, StampFault::kNone, 0},    {4, StampFault::kNone, 0},  {5, StampFault::kFrozen, 1},
      {6, StampFault::kFrozen, 2},  {7, StampFault::kNone, 0},  {10, StampFault::kFrozen, 1},
      {11, StampFault::kNoTime, 0}, {12, StampFault::kNone, 0}, {15, StampFault::kFrozen, 1},
  };
  for (const Expect& e : expected) {
    SCOPED_TRACE(e.frame);
    const FramePlan plan = schedule.PlanFor(e.frame);
    EXPECT_EQ(plan.stamp, e.stamp);
    EXPECT_EQ(plan.frozenBack, e.back);
  }
}

TEST(FaultSchedule, JitterIsReproducibleBoundedAndSpreadBySeed) {
  std::set<uint32_t> seen;
  uint32_t differFromOtherSeed = 0;
  for (uint32_t n = 0; n < 2000; ++n) {
    const uint32_t j = JitterFor(7, n, 20);
    ASSERT_LE(j, 20u) << n;
    EXPECT_EQ(JitterFor(7, n, 20), j);
    seen.insert(j);
    if (JitterFor(8, n, 20) != j)
      ++differFromOtherSeed;
  }
  EXPECT_EQ(seen.size(), 21u) << "every value of 0..20 turns up";
  EXPECT_GT(differFromOtherSeed, 1000u);
  EXPECT_EQ(JitterFor(7, 5, 0), 0u);

  FaultSettings s = None();
  s.jitter_ms = 20;
  s.jitter_seed = 7;
  EXPECT_EQ(FaultSchedule(s).PlanFor(5).jitterMs, JitterFor(7, 5, 20));
  EXPECT_EQ(FaultSchedule(s).PlanFor(5).DelayMs(), JitterFor(7, 5, 20));
}

TEST(FaultSchedule, LogLinesNameFrameKindAndParameters) {
  struct Case {
    const char* name;
    FramePlan plan;
    int64_t start;
    const char* expected;
  };
  auto plan = [](uint32_t frame, DeliveryFault d, StampFault st, uint32_t back, uint32_t stall,
                 uint32_t jitter) {
    FramePlan p;
    p.frame = frame;
    p.delivery = d;
    p.stamp = st;
    p.frozenBack = back;
    p.stallMs = stall;
    p.jitterMs = jitter;
    return p;
  };
  const Case cases[] = {
      {"clean", plan(3, DeliveryFault::kNone, StampFault::kNone, 0, 0, 0), 1200000, ""},
      {"every kind at once", plan(12, DeliveryFault::kLoss, StampFault::kNoTime, 0, 250, 3),
       4800000, "12 loss\r\n12 no_time\r\n12 stall ms=250\r\n12 jitter ms=3\r\n"},
      {"repeat", plan(5, DeliveryFault::kRepeat, StampFault::kNone, 0, 0, 0), 0, "5 repeat\r\n"},
      {"reorder", plan(6, DeliveryFault::kReorder, StampFault::kNone, 0, 0, 0), 0, "6 reorder\r\n"},
      // Frame 11 of 40 ms frames, two frames into a freeze: frame 9's start.
      {"freeze", plan(11, DeliveryFault::kNone, StampFault::kFrozen, 2, 0, 0), 4400000,
       "11 freeze start=3600000\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    char out[256];
    const uint32_t len = FormatFaultRecords(out, sizeof out, c.plan, c.start, 400000);
    EXPECT_EQ(std::string(out, len), c.expected);
    EXPECT_EQ(std::string(out), c.expected);
  }
  // A short buffer keeps what fits, terminated.
  char small[10];
  const FramePlan all = plan(12, DeliveryFault::kLoss, StampFault::kNoTime, 0, 250, 3);
  const uint32_t len = FormatFaultRecords(small, sizeof small, all, 0, 400000);
  EXPECT_LE(len, 9u);
  EXPECT_EQ(std::string(small), std::string("12 loss\r\n12 no_time").substr(0, len));
  EXPECT_EQ(FormatFaultRecords(small, 0, all, 0, 400000), 0u);
}

}  // namespace
