// The counts a capture application reads: dropped frames (late or lost),
// delivered samples, and the numbers of the first dropped frames.
#include <gtest/gtest.h>

#include <vector>

#include "pattern/delivery_counts.h"

namespace {

std::vector<int32_t> Dropped(const DeliveryCounts& counts, uint32_t capacity) {
  std::vector<int32_t> frames(capacity + 1, -1);
  frames.resize(counts.DroppedFrames(frames.data(), capacity));
  return frames;
}

TEST(DeliveryCounts, DroppedAreLateAndLostFramesInTheOrderTheyWereDropped) {
  DeliveryCounts counts;
  counts.RecordDelivered(1000);
  counts.RecordLate(3);
  counts.RecordLoss(5);
  counts.RecordDelivered(0xFFFFFFFFu);
  counts.RecordDelivered(7);
  counts.RecordLate(9);
  const DeliveryTotals totals = counts.Totals();
  EXPECT_EQ(totals.late, 2u);
  EXPECT_EQ(totals.lost, 1u);
  EXPECT_EQ(totals.Dropped(), 3u);
  EXPECT_EQ(totals.delivered, 3u);
  EXPECT_EQ(totals.deliveredBytes, 0x100000000ull + 1006);  // no 32-bit wrap
  EXPECT_EQ(Dropped(counts, 10), (std::vector<int32_t>{3, 5, 9}));
  EXPECT_EQ(Dropped(counts, 2), (std::vector<int32_t>{3, 5}));
  EXPECT_EQ(counts.DroppedFrames(nullptr, 10), 0u);

  counts.Reset();
  EXPECT_EQ(counts.Totals().Dropped(), 0u);
  EXPECT_EQ(counts.Totals().delivered, 0u);
  EXPECT_EQ(counts.Totals().deliveredBytes, 0u);
  EXPECT_TRUE(Dropped(counts, 10).empty());
}

TEST(DeliveryCounts, OnlyTheFirstDroppedFramesAreKeptButAllAreCounted) {
  DeliveryCounts counts;
  for (uint32_t n = 0; n < kDroppedFramesKept + 10; ++n)
    counts.RecordLoss(n * 2);
  EXPECT_EQ(counts.Totals().lost, kDroppedFramesKept + 10);
  const std::vector<int32_t> kept = Dropped(counts, kDroppedFramesKept + 10);
  ASSERT_EQ(kept.size(), kDroppedFramesKept);
  EXPECT_EQ(kept.front(), 0);
  EXPECT_EQ(kept.back(), int32_t(2 * (kDroppedFramesKept - 1)));
}

}  // namespace
