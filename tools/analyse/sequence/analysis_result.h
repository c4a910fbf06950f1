#pragma once
// The result of analysing a recording: plain data that every report form (text,
// JSON, CSV, and any later one) reads, with no logic of its own.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/analyse/identity/frame_record.h"
#include "tools/analyse/read/frame_source.h"
#include "tools/analyse/pixels/picture_result.h"

namespace zdanalyse {

// What happened at one record, as the analysis judged it.
enum class FrameEvent : uint8_t {
  kInOrder,     // the next frame
  kFirst,       // first frame of a stream
  kAfterGap,    // frames are missing before this one
  kRepeated,    // this frame number was seen before
  kOutOfOrder,  // an earlier number than one already seen, not seen before
  kRestart,     // the first frame of a new stream
  kUnreadable,
  kDamaged,  // a frame whose packet was damaged (FrameRecord::damage)
};
const char* EventName(FrameEvent event);

// Sequence keys (SequenceKey): frame numbers, or field positions per field.
struct FrameRange {
  uint64_t first = 0;
  uint64_t last = 0;  // inclusive
};

// Interval statistics in milliseconds.
struct IntervalStats {
  bool measured = false;
  int64_t count = 0;
  double mean = 0, p50 = 0, p99 = 0, max = 0;
};

// Frames lost where unreadable records stand in the gap too: how many is
// known, not which ones, so none of them is named.
struct UncertainGap {
  FrameRange among;  // every number the lost ones may be
  int64_t count = 0;
};

struct StreamSummary {
  bool hasStream = false;
  uint32_t stream = 0;
  int64_t records = 0;  // readable records of this stream
  uint32_t firstFrame = 0, lastFrame = 0;
  int64_t missing = 0;
  std::vector<FrameRange> missingRanges;   // exactly these numbers are missing
  std::vector<UncertainGap> missingAmong;  // and these many somewhere in these ranges
  int64_t repeated = 0;
  int64_t outOfOrder = 0;
  bool hasDrops = false;
  uint32_t dropsAtFirst = 0, dropsAtLast = 0;
};

struct Timing {
  // Container time stamps.
  IntervalStats intervals;
  bool rateMeasured = false;
  double effectiveRate = 0;  // frames per second over the container's times
  // Container times against the source's sample times (frame code only).
  bool driftMeasured = false;
  double driftMs = 0;        // container minus sample time, last readable frame less first
  double firstOffsetMs = 0;  // container minus sample time at the first readable frame
  std::vector<std::string> notMeasured;  // what could not be measured, and why
};

// Thresholds that make the exit code 1; timing ones are off unless given.
struct Thresholds {
  int64_t maxMissing = 0;
  int64_t maxRepeated = 0;
  int64_t maxOutOfOrder = 0;
  int64_t maxDamaged = 0;
  double maxUnreadablePercent = 0.1;
  double maxIntervalMs = -1;  // < 0: off
  double maxP99Ms = -1;
  double maxDriftMs = -1;
  double minRate = -1;
  double minPsnrDb = -1;  // luma PSNR every compared frame must reach
};

// A frame whose packet was damaged: its own number when its code read,
// else the numbers of the readable frames on either side.
struct DamagedFrame {
  size_t record = 0;  // position in AnalysisResult::frames
  FrameDamage damage = FrameDamage::kNone;
  bool hasFrame = false;
  uint32_t frame = 0;
  bool hasAfter = false;  // a readable frame before it in the recording
  uint32_t after = 0;
  bool hasBefore = false;  // a readable frame after it
  uint32_t before = 0;
};

struct AnalysisResult {
  std::string input;
  SourceInfo source;
  IdentitySource identity = IdentitySource::kNone;
  std::string identityDetail;  // how the identity was read: which sheet, which size
  bool perField = false;

  int64_t records = 0;  // frames (or fields) in the recording
  int64_t readable = 0;
  int64_t unreadable = 0;
  double unreadablePercent = 0;
  double minConfidence = 1.0;
  bool anyFrame = false;  // at least one readable record
  uint32_t firstFrame = 0, lastFrame = 0;

  // Totals over all streams.
  int64_t missing = 0;
  int64_t repeated = 0;
  int64_t outOfOrder = 0;
  int64_t restarts = 0;
  // Frames whose packet was damaged: not missing, not unreadable; one whose
  // code did not read stands for a number between its neighbours.
  int64_t damaged = 0;
  std::vector<DamagedFrame> damagedFrames;  // in recording order
  bool hasDrops = false;
  int64_t sourceDrops = 0;  // the source's own drop count across the recording
  std::vector<StreamSummary> streams;

  Timing timing;

  std::vector<FrameRecord> frames;  // every record, in recording order
  std::vector<FrameEvent> events;   // one per record

  PictureCheck picture;  // the pixels against the originals

  std::vector<std::string> anomalies;  // why the exit code is 1; empty when clean
};

}  // namespace zdanalyse
