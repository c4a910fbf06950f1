#pragma once
// Stage report: an AnalysisResult comes in; text, JSON, CSV and the web page
// go out (and the progress line while reading). Reads results only: nothing
// here reaches back into the readers.
//
// The report forms of an analysis, all UTF-8: a plain text summary, one JSON
// document, CSV with one row per frame (or field), and a web page.
#include <cstdio>

#include "tools/analyse/sequence/analysis_result.h"

namespace zdanalyse {

void WriteTextReport(const AnalysisResult& result, std::FILE* out);
void WriteJsonReport(const AnalysisResult& result, std::FILE* out);
void WriteCsvReport(const AnalysisResult& result, std::FILE* out);
// One self-contained web page (summary, timeline, anomalies); false when it
// could not be written whole.
bool WriteHtmlReport(const AnalysisResult& result, std::FILE* out);

// Names shared by the forms.
const char* IdentityName(IdentitySource source);
const char* FieldOrderName(FieldOrder order);  // JSON and CSV: "unknown" when not given
// The scan as the text and the page say it: "scan not stated" when the
// recording does not give it.
const char* ScanText(FieldOrder order);

}  // namespace zdanalyse
