#include "pattern/delivery_counts.h"

void DeliveryCounts::Reset() {
  std::lock_guard<std::mutex> lock(m_lock);
  m_totals = DeliveryTotals();
  m_kept = 0;
}

void DeliveryCounts::KeepDropped(uint32_t frame) {
  if (m_kept < kDroppedFramesKept)
    m_dropped[m_kept++] = frame;
}

void DeliveryCounts::RecordLate(uint32_t frame) {
  std::lock_guard<std::mutex> lock(m_lock);
  ++m_totals.late;
  KeepDropped(frame);
}

void DeliveryCounts::RecordLoss(uint32_t frame) {
  std::lock_guard<std::mutex> lock(m_lock);
  ++m_totals.lost;
  KeepDropped(frame);
}

void DeliveryCounts::RecordDelivered(uint32_t bytes) {
  std::lock_guard<std::mutex> lock(m_lock);
  ++m_totals.delivered;
  m_totals.deliveredBytes += bytes;
}

DeliveryTotals DeliveryCounts::Totals() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_totals;
}

uint32_t DeliveryCounts::DroppedFrames(int32_t* out, uint32_t capacity) const {
  if (!out)
    return 0;
  std::lock_guard<std::mutex> lock(m_lock);
  const uint32_t count = m_kept < capacity ? m_kept : capacity;
  for (uint32_t i = 0; i < count; ++i)
    out[i] = int32_t(m_dropped[i]);
  return count;
}
