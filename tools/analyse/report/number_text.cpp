#include "tools/analyse/report/number_text.h"

#include <cmath>
#include <cstdio>

namespace zdanalyse {

std::string FiniteOr(double v, const char* format, const char* notFinite) {
  if (!std::isfinite(v))
    return notFinite;
  char text[48];
  std::snprintf(text, sizeof text, format, v);
  return text;
}

std::string Ordinal(int64_t n) {
  const int64_t lastTwo = (n < 0 ? -n : n) % 100;
  const char* suffix = "th";
  if (lastTwo < 11 || lastTwo > 13) {
    switch (lastTwo % 10) {
      case 1:
        suffix = "st";
        break;
      case 2:
        suffix = "nd";
        break;
      case 3:
        suffix = "rd";
        break;
      default:
        break;
    }
  }
  return std::to_string(n) + suffix;
}

}  // namespace zdanalyse
