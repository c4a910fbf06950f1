#pragma once
// The background test chart: a picture that shows motion, colour and scaling
// faults at a glance once it is tiled and scrolled behind the text lines.
#include <string>

#include "tools/common/rgb_image.h"

namespace zdtools {

// Draws the chart on a 16 x 12 grid of cells. Width must be a multiple of 16
// and height a multiple of 12, both even and at least 160 x 120. False, with a
// reason in *error, for other sizes.
bool RenderTestChart(int width, int height, RgbImage* chart, std::string* error);

}  // namespace zdtools
