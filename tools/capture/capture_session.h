#pragma once
// One capture run the way capture applications do it: a filter graph, the
// capture graph builder rendering the capture pin through a sample grabber
// into a null renderer, run for a number of frames or seconds.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/capture/capture_options.h"
#include "tools/capture/capture_report.h"
#include "tools/capture/com_util.h"

namespace zdcap {

// Exit codes of zd-capture.
enum ExitCode : int {
  kExitOk = 0,
  kExitUsage = 1,
  kExitNoDevice = 2,
  kExitFormat = 3,
  kExitGraph = 4,
  kExitStream = 5,
  kExitOutput = 6,
  kExitCheck = 7,
  kExitVerify = 8,
  kExitDeviceLost = 9,  // EC_DEVICE_LOST (removed), and no graph built anew after it
};

// Lists the capabilities of the source's capture pin (--list-caps).
int ListSourceCapabilities(IBaseFilter* source, const CaptureOptions& options);

// Selects the requested format, builds the graph, captures, writes the
// requested files and fills the report. Returns an ExitCode; error names the
// failing step when it is not kExitOk, kExitCheck or kExitVerify.
int RunCaptureSession(IBaseFilter* source, const CaptureOptions& options, CaptureReport* report,
                      std::string* error);

// The parts of a capture that the Media Foundation capture (mf_capture.h)
// shares: the host's clock in ms, the process's processor time, the report's
// figures over the frames, the coded arrivals for --verify, and the snapshot
// (an ExitCode, error naming what failed).
double CaptureClockMs();
double CaptureCpuSeconds();
void SummariseFrames(const std::vector<FrameRecord>& frames, CaptureReport* report);
std::vector<CodedArrival> CodedArrivalsOf(const std::vector<SampleCode>& codes,
                                          const std::vector<FrameRecord>& frames);
int WriteSnapshotFile(const std::vector<uint8_t>& bytes, const CaptureOptions& options,
                      CaptureReport* report, std::string* error);

}  // namespace zdcap
