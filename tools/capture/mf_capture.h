#pragma once
// zd-capture --mf: the module's media source read through Media Foundation's
// source reader, as Media Foundation applications read a camera. The source
// is created by class id through the module's own DllGetClassObject, so the
// module needs no registration. Media Foundation is loaded at run time:
// without it (Windows N editions) only --mf fails.
#include <string>

#include "tools/capture/capture_options.h"
#include "tools/capture/capture_report.h"

namespace zdcap {

// Lists the source's native media types as capabilities (--mf --list-caps).
int ListMfCapabilities(const CaptureOptions& options);

// Selects the requested native type, reads the frames and fills the report
// as a capture session does (ExitCode; error names the failing step). Sample
// times are taken relative to the first sample's, and RGB rows are turned
// bottom-up, so that the report, --verify and the files read the frames as
// they read the filter's.
int RunMfCapture(const CaptureOptions& options, CaptureReport* report, std::string* error);

}  // namespace zdcap
