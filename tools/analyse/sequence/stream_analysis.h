#pragma once
// Stage sequence: the FrameRecords of a whole recording come in; the
// AnalysisResult (analysis_result.h) goes out, which the reports read and
// which carries the pixels stage's PictureCheck beside it.
//
// The analysis proper: from the records read from a recording, in recording
// order, to what the pipeline did to the stream. Portable, no input or output.
#include <vector>

#include "tools/analyse/sequence/analysis_result.h"

namespace zdanalyse {

// Frame numbers are followed per stream: a new stream id (frame code), or a
// frame 0 seen a second time with an earlier clock than the frame before it
// (status line), starts a new stream. A frame number not seen by the end of
// its stream, between its first and last, is missing, unless unreadable
// frames stood where it belongs: a run of unreadable records between two read
// frames stands for as many of the numbers between them.
AnalysisResult Analyse(std::vector<FrameRecord> records, const SourceInfo& source,
                       IdentitySource identity, const Thresholds& thresholds);

// Nearest-rank percentile of values (sorted in place); 0 for none.
double Percentile(std::vector<double>* values, double percent);

}  // namespace zdanalyse
