#pragma once
// A number as the reports write it: by a printf format when finite, a word of
// the report's own (inf, null, identical) when not.
#include <string>

namespace zdanalyse {

std::string FiniteOr(double v, const char* format, const char* notFinite);

}  // namespace zdanalyse
