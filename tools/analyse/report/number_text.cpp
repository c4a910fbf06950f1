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

}  // namespace zdanalyse
