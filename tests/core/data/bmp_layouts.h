#pragma once
// Short ways to name the BMP layouts the loader tests write.
#include <cstdint>

#include "tests/core/data/bmp_builder.h"

// An image of w x h pixels of the given depth and row order, with a header of
// headerSize bytes and the given compression code.
inline BmpLayout Layout(int32_t w, int32_t h, uint16_t bits, bool topDown = false,
                        uint32_t headerSize = 40, uint32_t compression = 0) {
  BmpLayout layout;
  layout.width = w;
  layout.height = h;
  layout.bitCount = bits;
  layout.topDown = topDown;
  layout.headerSize = headerSize;
  layout.compression = compression;
  return layout;
}

// The layout with one change made to it.
template <typename Change>
BmpLayout With(BmpLayout layout, Change change) {
  change(layout);
  return layout;
}
