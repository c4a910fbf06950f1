#pragma once
// Which faults hit which frame. A frame's faults follow from its number and
// the preset's fault settings alone, so that a run is reproducible and a
// capture can be checked against the list of what was injected.
//
// Frame numbers count from 0 at each stream start; "every N" hits frames N,
// 2N, 3N, ... (never frame 0). A frame gets at most one delivery fault: a
// loss before a repeat before a reorder. A frame that is not lost gets at
// most one sample fault: empty before short before the JPEG ones (truncate,
// no end marker, corrupt, no tables, trailing bytes, in that order); a
// repeated or reordered frame goes out with its damaged sample.
#include <cstdint>

#include "pattern/sample_damage.h"
#include "stream/fault_settings.h"

// What kind of sample a stream's frames go out in: which sample faults apply.
enum class SampleKind : int32_t {
  kUncompressed,  // the RGB, YUV and planar formats: empty and short
  kJpeg,          // MJPG: empty and the JPEG faults
};

enum class DeliveryFault : int32_t {
  kNone = 0,
  kLoss,     // made, stamped, never delivered
  kRepeat,   // delivered twice
  kReorder,  // held back and delivered after the next delivered frame
};

enum class StampFault : int32_t {
  kNone = 0,
  kNoTime,  // no time stamps at all
  kFrozen,  // the stamps of the last frame before the freeze began
};

struct FramePlan {
  uint32_t frame = 0;  // the frame number the plan is for
  DeliveryFault delivery = DeliveryFault::kNone;
  StampFault stamp = StampFault::kNone;
  uint32_t frozenBack = 0;  // kFrozen: how many frames back the stamps come from
  uint32_t stallMs = 0;     // wait before the frame is handed on
  uint32_t jitterMs = 0;    // further wait, pseudo-random in 0..jitter_ms
  SampleFault sample = SampleFault::kNone;
  int32_t samplePercent = 0;  // kShort, kJpegTruncate: the share kept
  // Filled in once the sample fault is applied (a fault that could not be
  // applied is kNone again): the data length delivered, the length the
  // sample had, and for kJpegCorrupt the first byte overwritten.
  uint32_t sampleBytes = 0;
  uint32_t sampleOf = 0;
  uint32_t sampleAt = 0;
  uint32_t DelayMs() const { return stallMs + jitterMs; }
};

class FaultSchedule {
 public:
  FaultSchedule() = default;
  // Settings are used as given; the settings loader has normalised them.
  explicit FaultSchedule(const FaultSettings& settings, SampleKind kind = SampleKind::kUncompressed)
      : m_settings(settings), m_kind(kind) {}

  FramePlan PlanFor(uint32_t frame) const;
  bool Any() const { return m_settings.Any(); }

 private:
  FaultSettings m_settings{};
  SampleKind m_kind = SampleKind::kUncompressed;
};

// The jitter of a frame: a pseudo-random value in 0..maxMs that depends only
// on the seed and the frame number.
uint32_t JitterFor(int32_t seed, uint32_t frame, int32_t maxMs);

// The fault-log lines of one plan, one per injected fault, each
// "<frame> <kind>[ <name>=<value>...]\r\n". startTime is the time stamp the
// frame should have had, frameTime its duration (for a frozen stamp). Returns
// the bytes written (at most size - 1, the text NUL-terminated).
uint32_t FormatFaultRecords(char* out, uint32_t size, const FramePlan& plan, int64_t startTime,
                            int64_t frameTime);
