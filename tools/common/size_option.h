#pragma once
// The "WxH" value of the generators' size options (--size, --cell).
#include <cstdlib>

namespace zdtools {

// Width and height, each from 1 to maxSide, separated by 'x' or 'X' and
// nothing after them. False, leaving w and h alone, for anything else.
inline bool ParseSizeOption(const char* text, long maxSide, int* w, int* h) {
  char* end = nullptr;
  const long width = std::strtol(text, &end, 10);
  if (end == text || (*end != 'x' && *end != 'X'))
    return false;
  const char* second = end + 1;
  const long height = std::strtol(second, &end, 10);
  if (end == second || *end != '\0' || width < 1 || height < 1 || width > maxSide ||
      height > maxSide)
    return false;
  *w = int(width);
  *h = int(height);
  return true;
}

}  // namespace zdtools
