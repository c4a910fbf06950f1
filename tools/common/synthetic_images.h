#pragma once
// Synthetic pictures for the preview tool's fixtures, the benchmarks and the
// tests, when no shipped bitmap is at hand.
#include <cstdint>
#include <string>

namespace zdtools {

// A font sheet of 32 x 16 cells of cellW x cellH whose every pixel differs
// from its neighbours' and from every other cell's, so that a frame shows
// exactly which cells were drawn where.
bool WriteSyntheticFont(const std::string& path, int32_t cellW, int32_t cellH);

// A test chart of smooth gradients with a noise texture.
bool WriteChartImage(const std::string& path, int32_t w, int32_t h);

}  // namespace zdtools
