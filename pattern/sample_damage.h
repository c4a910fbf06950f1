#pragma once
// Sample faults: a whole frame's sample damaged the way cheap cameras damage
// theirs. Each function works in place on one sample of length bytes in a
// buffer of capacity bytes, never reads or writes outside it, and says
// whether it could apply; the bytes are left as they were when it could not.
//
// The JPEG damages expect what the MJPG encoder makes: SOI, the header
// segments (APP0, DQT, SOF0, DHT), SOS, the entropy-coded data, EOI.
#include <cstdint>

enum class SampleFault : int32_t {
  kNone = 0,
  kEmpty,         // data length 0 (any format)
  kShort,         // an uncompressed frame cut to a share of its bytes
  kJpegTruncate,  // the JPEG cut to a share of its bytes, the end marker with the rest
  kJpegNoEoi,     // the final FF D9 left out
  kJpegCorrupt,   // twelve bytes of the scan's entropy-coded data overwritten
  kJpegNoTables,  // every DHT segment left out
  kJpegTrailing,  // junk bytes after the end marker
};

// The junk after the end marker: sixteen bytes, none of them 0xFF, so no
// marker can begin in them.
constexpr uint32_t kJpegTrailingBytes = 16;
extern const uint8_t kJpegTrailingJunk[kJpegTrailingBytes];

// The entropy-coded bytes a corruption overwrites: FF 00 six times, 48
// one bits in a row (the 00s are stuffing and carry no bits).
constexpr uint32_t kJpegCorruptBytes = 12;

struct Damage {
  bool applied = false;
  uint32_t length = 0;  // the sample's data length afterwards
  uint32_t at = 0;      // kJpegCorrupt: offset of the first overwritten byte
};

// Applies fault to the sample. percent (truncate, short) is the share kept,
// held to 1..99.
Damage DamageSample(SampleFault fault, uint8_t* data, uint32_t length, uint32_t capacity,
                    int32_t percent);

// The name of a sample fault in the fault log ("empty", "jpeg_truncate", ...).
const char* SampleFaultName(SampleFault fault);
