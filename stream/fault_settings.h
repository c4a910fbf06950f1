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
// The device comes back at most this long after it was unplugged (ten minutes).
constexpr int32_t kMaxReplugMs = 600000;

// The share of a sample a truncated JPEG or a short sample keeps, in percent:
// held to 1..99, 50 when not given.
constexpr int32_t kSampleKeepPercentDefault = 50;
constexpr int32_t kSampleKeepPercentMin = 1;
constexpr int32_t kSampleKeepPercentMax = 99;

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

  // Sample faults: the frame is made whole, then its sample is damaged.
  // The JPEG ones act on MJPG presets only, the short sample on the
  // uncompressed formats only; the empty sample on every format.
  int32_t jpeg_truncate_every;    // every N-th JPEG cut short ...
  int32_t jpeg_truncate_percent;  // ... keeping this share of its bytes (1..99)
  int32_t jpeg_no_eoi_every;      // every N-th JPEG without its end marker
  int32_t jpeg_corrupt_every;     // every N-th JPEG with bytes of its scan overwritten
  int32_t jpeg_no_tables_every;   // every N-th JPEG without its Huffman tables
  int32_t jpeg_trailing_every;    // every N-th JPEG followed by junk bytes
  int32_t empty_every;            // every N-th sample with a data length of 0
  int32_t short_every;            // every N-th uncompressed sample cut short ...
  int32_t short_percent;          // ... to this share of the frame (1..99)

  // Device events: the device is unplugged when frame N is due (frames
  // 0..N-1 are delivered, N itself never is), and with replug_ms it is
  // plugged in again M ms later.
  int32_t unplug_after;  // N: frames delivered before the device goes
  int32_t replug_ms;     // M: how long it stays away; 0: for good

  // True when any fault is on.
  bool Any() const {
    return loss_every || repeat_every || reorder_every || jitter_ms || stall_ms || no_time_every ||
           freeze_frames || AnySampleFault() || unplug_after;
  }
  bool AnySampleFault() const {
    return jpeg_truncate_every || jpeg_no_eoi_every || jpeg_corrupt_every || jpeg_no_tables_every ||
           jpeg_trailing_every || empty_every || short_every;
  }
};

// Safe values for whatever a settings file gives: negative values and
// incomplete pairs are off, a reorder or freeze period of 1 becomes 2, the
// freeze length is held below its period, waits within the limits above, the
// kept shares of truncated and short samples within 1..99 (0, not given,
// means 50), a replug wait within 0..kMaxReplugMs and only with an unplug.
void NormaliseFaults(FaultSettings* faults);
