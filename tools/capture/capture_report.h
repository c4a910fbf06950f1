#pragma once
// The report of one capture run, as text for people and as JSON for tests.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/capture/capability.h"
#include "tools/capture/frame_code_check.h"
#include "tools/capture/frame_findings.h"
#include "tools/capture/frame_stats.h"
#include "tools/capture/source_counts.h"

namespace zdcap {

// EC_DEVICE_LOST as it arrived: the device removed or available again, after
// this many samples of the run, this long after it started.
struct DeviceEvent {
  bool available = false;
  int64_t frames = 0;
  double seconds = 0.0;
};

// --verify: where the frame codes' stream id changed (a new filter after a
// replug): the last frame of the old stream, the first of the new, and the
// frames the device's rate would have made in the time between them.
struct StreamChange {
  uint32_t old_stream = 0;
  uint32_t new_stream = 0;
  int64_t old_last_frame = -1;
  int64_t new_first_frame = -1;
  int64_t missing_between = 0;
};

struct CaptureReport {
  std::string device;
  Capability format;         // the connected type (index unused)
  int64_t sample_bytes = 0;  // expected size of one frame (biSizeImage)
  int64_t requested_frames = 0;
  int64_t frames = 0;
  // Compressed formats (MJPG): sample_bytes is the largest a sample may
  // hold, and every sample has a length of its own, from 1 to that.
  bool variable_size = false;
  int64_t wrong_size =
      0;  // samples whose length differed from sample_bytes (compressed: out of range)
  // Of those: samples with a data length of 0, and uncompressed samples
  // shorter than sample_bytes (a source's faults, or a broken device).
  int64_t empty_samples = 0;
  int64_t short_samples = 0;
  SampleSizeStats sizes;      // the samples' data lengths
  double wall_seconds = 0.0;  // from run to stop
  double cpu_seconds = 0.0;   // process user + kernel time in that span
  int processors = 1;
  TimestampCheck timestamps;
  IntervalStats intervals;
  Lateness lateness;
  double measured_fps = 0.0;
  std::string snapshot;      // file written, if any
  std::string stream_error;  // error event from the graph, if any
  SourceCounts source;       // the source's own counts (IAMDroppedFrames), read after the run
  // Collected samples that may still have been on their way downstream when
  // the graph stopped (0, or 1 when no sample followed the last in time).
  int64_t in_flight = 0;
  bool ended_early = false;
  bool graph_clock = true;                   // the graph ran with its reference clock
  bool media_foundation = false;             // read through the source reader (--mf): no graph
  bool verify = false;                       // the frame codes were read (--verify)
  FrameCodeCheck codes;                      // ... and what they said
  FrameFindings findings;                    // ... frame by frame
  CountsCheck counts;                        // ... and whether the source's own counts agree
  std::vector<DeviceEvent> device_events;    // EC_DEVICE_LOST, in arrival order
  int64_t reconnects = 0;                    // graphs built anew after a return (--reconnect)
  std::vector<StreamChange> stream_changes;  // --verify: the streams' seams

  // The device was removed and no graph was built anew after it.
  bool device_lost() const;

  // The capture verdict: frames arrived, as many as asked for, every sample
  // of the negotiated size, time stamps in order, no error from the graph;
  // with --verify also every frame code read and in order.
  bool ok() const;
  // The same without the frame codes.
  bool stream_ok() const;
  // The reasons ok() is false, one per entry.
  std::vector<std::string> problems() const;
};

std::string FormatReportText(const CaptureReport& report);
std::string FormatReportJson(const CaptureReport& report);

std::string JsonString(const std::string& text);

std::string FormatCapabilitiesText(const std::vector<Capability>& caps);
std::string FormatCapabilitiesJson(const std::string& device, const std::vector<Capability>& caps);

}  // namespace zdcap
