#pragma once
// The report forms of an analysis, all UTF-8: a plain text summary, one JSON
// document, and CSV with one row per frame (or field).
#include <cstdio>

#include "tools/analyse/analysis_result.h"

namespace zdanalyse {

void WriteTextReport(const AnalysisResult& result, std::FILE* out);
void WriteJsonReport(const AnalysisResult& result, std::FILE* out);
void WriteCsvReport(const AnalysisResult& result, std::FILE* out);

// Names shared by the forms.
const char* IdentityName(IdentitySource source);
const char* FieldOrderName(FieldOrder order);

}  // namespace zdanalyse
