#pragma once
// Faults a preset may ask for, so that a capture application can be shown
// the troubles real devices have now and then. Every value counts frames or
// milliseconds, so that a run is reproducible; 0 switches a fault off, and a
// preset without fault keys has them all off.
#include <cstdint>

// Upper limits applied when loading: a stall or a jitter wait never holds the
// stream for longer than this.
constexpr int32_t kMaxStallMs = 60000;
constexpr int32_t kMaxJitterMs = 1000;

struct FaultSettings {
  int32_t loss_every;     // every N-th frame is made but not delivered
  int32_t repeat_every;   // every N-th frame is delivered twice
  int32_t reorder_every;  // every N-th frame is delivered after the next one (N >= 2)
  int32_t jitter_ms;      // every frame's delivery delayed by 0..J ms
  int32_t jitter_seed;    // seed of the jitter's pseudo-random sequence
  int32_t stall_ms;       // a stall of M ms ...
  int32_t stall_every;    // ... before every N-th frame is delivered
  int32_t no_time_every;  // every N-th frame carries no time stamps
  int32_t freeze_frames;  // K frames whose time stamps do not advance ...
  int32_t freeze_every;   // ... from every N-th frame on (1 <= K < N)

  // True when any fault is on.
  bool Any() const {
    return loss_every || repeat_every || reorder_every || jitter_ms || stall_ms || no_time_every ||
           freeze_frames;
  }
};

// Safe values for whatever a settings file gives: negative values and
// incomplete pairs are off, a reorder or freeze period of 1 becomes 2, the
// freeze length is held below its period, waits within the limits above.
void NormaliseFaults(FaultSettings* faults);
