#pragma once
// The timeline of an analysis as inline SVG: per record the step of the frame
// number from the previous readable one and the interval since the previous
// frame's container time, each drawn as a lane. Long recordings are thinned to
// one column per few records (each column shows the least and greatest value
// of its records), but every anomaly keeps a marker of its own, placed at its
// record, with class "anomaly-mark" and a tooltip.
#include <string>

#include "tools/analyse/sequence/analysis_result.h"

namespace zdanalyse {

// Columns drawn at most; recordings with more records are thinned.
constexpr size_t kTimelineColumns = 1000;

// Whether a record's event is an anomaly that the page marks and lists.
bool IsMarkedEvent(FrameEvent event);
// The words a person reads for an event ("missing before", "repeated", ...).
const char* EventLabel(FrameEvent event);

std::string TimelineSvg(const AnalysisResult& result);

}  // namespace zdanalyse
