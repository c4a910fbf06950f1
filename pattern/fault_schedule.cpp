// The fault schedule: pure functions of the settings and the frame number.
#include "pattern/fault_schedule.h"

#include <cstdio>

namespace {

bool Hits(int32_t every, uint32_t frame) {
  return every > 0 && frame > 0 && frame % uint32_t(every) == 0;
}

// splitmix64: a well-spread 64-bit mix, so neighbouring frames get unrelated
// values.
uint64_t Mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// Appends one formatted line; the text stays NUL-terminated and within size.
template <typename... Args>
void Append(char* out, uint32_t size, uint32_t* used, const char* format, Args... args) {
  if (*used + 1 >= size)
    return;
  const int n = std::snprintf(out + *used, size - *used, format, args...);
  if (n < 0)
    return;
  *used = uint32_t(n) < size - *used ? *used + uint32_t(n) : size - 1;
}

// The frame's sample fault, the first that hits in the documented order
// among those the stream's kind of sample takes.
void PlanSample(const FaultSettings& s, SampleKind kind, uint32_t frame, FramePlan* plan) {
  const bool jpeg = kind == SampleKind::kJpeg;
  const struct {
    int32_t every;
    bool applies;
    SampleFault fault;
    int32_t percent;
  } order[] = {
      {s.empty_every, true, SampleFault::kEmpty, 0},
      {s.short_every, !jpeg, SampleFault::kShort, s.short_percent},
      {s.jpeg_truncate_every, jpeg, SampleFault::kJpegTruncate, s.jpeg_truncate_percent},
      {s.jpeg_no_eoi_every, jpeg, SampleFault::kJpegNoEoi, 0},
      {s.jpeg_corrupt_every, jpeg, SampleFault::kJpegCorrupt, 0},
      {s.jpeg_no_tables_every, jpeg, SampleFault::kJpegNoTables, 0},
      {s.jpeg_trailing_every, jpeg, SampleFault::kJpegTrailing, 0},
  };
  for (const auto& o : order) {
    if (o.applies && Hits(o.every, frame)) {
      plan->sample = o.fault;
      plan->samplePercent = o.percent;
      return;
    }
  }
}

}  // namespace

uint32_t JitterFor(int32_t seed, uint32_t frame, int32_t maxMs) {
  if (maxMs <= 0)
    return 0;
  const uint64_t value = Mix((uint64_t(uint32_t(seed)) << 32) | frame);
  return uint32_t(value % (uint64_t(maxMs) + 1));
}

FramePlan FaultSchedule::PlanFor(uint32_t frame) const {
  const FaultSettings& s = m_settings;
  FramePlan plan;
  plan.frame = frame;
  if (Hits(s.loss_every, frame))
    plan.delivery = DeliveryFault::kLoss;
  else if (Hits(s.repeat_every, frame))
    plan.delivery = DeliveryFault::kRepeat;
  else if (Hits(s.reorder_every, frame))
    plan.delivery = DeliveryFault::kReorder;

  if (Hits(s.no_time_every, frame)) {
    plan.stamp = StampFault::kNoTime;
  } else if (s.freeze_every > 0 && s.freeze_frames > 0 && frame >= uint32_t(s.freeze_every)) {
    // Frames N*i .. N*i + K - 1 keep the stamps of frame N*i - 1.
    const uint32_t into = frame % uint32_t(s.freeze_every);
    if (into < uint32_t(s.freeze_frames)) {
      plan.stamp = StampFault::kFrozen;
      plan.frozenBack = into + 1;
    }
  }

  if (plan.delivery != DeliveryFault::kLoss)
    PlanSample(s, m_kind, frame, &plan);

  if (Hits(s.stall_every, frame))
    plan.stallMs = uint32_t(s.stall_ms);
  plan.jitterMs = JitterFor(s.jitter_seed, frame, s.jitter_ms);
  return plan;
}

uint32_t FormatFaultRecords(char* out, uint32_t size, const FramePlan& plan, int64_t startTime,
                            int64_t frameTime) {
  if (size == 0)
    return 0;
  out[0] = '\0';
  uint32_t used = 0;
  const unsigned frame = plan.frame;
  switch (plan.delivery) {
    case DeliveryFault::kLoss:
      Append(out, size, &used, "%u loss\r\n", frame);
      break;
    case DeliveryFault::kRepeat:
      Append(out, size, &used, "%u repeat\r\n", frame);
      break;
    case DeliveryFault::kReorder:
      Append(out, size, &used, "%u reorder\r\n", frame);
      break;
    case DeliveryFault::kNone:
      break;
  }
  if (plan.sample == SampleFault::kJpegCorrupt) {
    Append(out, size, &used, "%u %s bytes=%u of=%u at=%u\r\n", frame, SampleFaultName(plan.sample),
           unsigned(plan.sampleBytes), unsigned(plan.sampleOf), unsigned(plan.sampleAt));
  } else if (plan.sample != SampleFault::kNone) {
    Append(out, size, &used, "%u %s bytes=%u of=%u\r\n", frame, SampleFaultName(plan.sample),
           unsigned(plan.sampleBytes), unsigned(plan.sampleOf));
  }
  if (plan.stamp == StampFault::kNoTime) {
    Append(out, size, &used, "%u no_time\r\n", frame);
  } else if (plan.stamp == StampFault::kFrozen) {
    const long long frozen = (long long)(startTime - int64_t(plan.frozenBack) * frameTime);
    Append(out, size, &used, "%u freeze start=%lld\r\n", frame, frozen);
  }
  if (plan.stallMs > 0)
    Append(out, size, &used, "%u stall ms=%u\r\n", frame, unsigned(plan.stallMs));
  if (plan.jitterMs > 0)
    Append(out, size, &used, "%u jitter ms=%u\r\n", frame, unsigned(plan.jitterMs));
  return used;
}
