#pragma once
// The counts a capture application reads from the output pin: frames
// dropped (made late, or lost on purpose), frames delivered, and the numbers
// of the first dropped frames. The worker thread records; any thread reads,
// at any time, without waiting for the stream: the counts have a lock of
// their own, held only to copy a few values, never across a call.
#include <cstdint>
#include <mutex>

// Dropped frame numbers kept for GetDroppedInfo: the first ones of a stream.
constexpr uint32_t kDroppedFramesKept = 1024;

struct DeliveryTotals {
  uint32_t late = 0;            // made more than one interval after their due time
  uint32_t lost = 0;            // made and, on purpose, never delivered
  uint32_t delivered = 0;       // samples handed downstream (a repeated frame counts twice)
  uint64_t deliveredBytes = 0;  // their data lengths, summed
  uint32_t Dropped() const { return late + lost; }
};

class DeliveryCounts {
 public:
  // A new stream: every count back to 0.
  void Reset();
  // Worker thread.
  void RecordLate(uint32_t frame);
  void RecordLoss(uint32_t frame);
  void RecordDelivered(uint32_t bytes);

  // Any thread.
  DeliveryTotals Totals() const;
  // Copies the numbers of the first dropped frames, at most capacity of
  // them, in the order they were dropped; returns how many were copied.
  uint32_t DroppedFrames(int32_t* out, uint32_t capacity) const;

 private:
  void KeepDropped(uint32_t frame);  // m_lock held

  mutable std::mutex m_lock;
  DeliveryTotals m_totals;
  uint32_t m_kept = 0;
  uint32_t m_dropped[kDroppedFramesKept] = {};
};
