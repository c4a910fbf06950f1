#pragma once
// A number as the reports write it: by a printf format when finite, a word of
// the report's own (inf, null, identical) when not.
#include <cstdint>
#include <string>

namespace zdanalyse {

std::string FiniteOr(double v, const char* format, const char* notFinite);

// An English ordinal for the text and the page: 1st, 2nd, 3rd, 4th, 11th, 12th,
// 13th, 21st, 22nd, 101st, 111th, ...
std::string Ordinal(int64_t n);

}  // namespace zdanalyse
