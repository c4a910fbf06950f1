#pragma once
// Stage read: one compressed MJPG packet comes in, the damage it shows goes
// out. Its structure is read (start marker, the header segments up to the
// scan, the end marker and what follows it) and libjpeg-turbo decodes it.
// The damage of a raw video packet (its length against the frame's) is named
// here too; the FFmpeg reader measures it.
#include <cstddef>
#include <cstdint>

namespace zdanalyse {

enum class FrameDamage : uint8_t {
  kNone,
  kEmpty,          // no bytes at all
  kTruncated,      // ends before its data does (the end marker gone with it)
  kNoEndMarker,    // whole but for the final FF D9
  kCorruptData,    // every marker in place, but the decoder finds the data wrong
  kNoTables,       // no DHT segment: only a decoder with the standard tables shows it
  kTrailingBytes,  // bytes after the end marker
  kShortData,      // raw video: fewer bytes than a frame has
  kExtraData,      // raw video: a whole frame and more bytes after it
};

// "truncated", "no end marker", "corrupt data", "no tables", "trailing
// bytes", "empty", "short data", "extra data"; "none".
const char* DamageName(FrameDamage damage);

// One damage per packet, the first that applies in this order: empty, no
// start marker or a header cut short (corrupt data, truncated), no tables,
// no end marker (truncated when the decoder still lacks data once an end
// marker is added, else no end marker), trailing bytes, corrupt data (the
// decoder warns or fails). libjpeg-turbo can decode past a few wrong bytes
// without a word: the FFmpeg reader asks FFmpeg's decoder too (read with its
// strictest error recognition, it stops at the first code no table has).
FrameDamage InspectJpeg(const uint8_t* data, size_t size);

}  // namespace zdanalyse
