// zd-chartgen: writes the background test chart as a 24-bit BMP.
//
//   zd-chartgen [--size WxH] <chart.bmp>      (default size 640x480)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/chartgen/test_chart.h"
#include "tools/common/rgb_image.h"
#include "tools/common/size_option.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: zd-chartgen [--size WxH] <chart.bmp>\n"
               "  Writes a 24-bit BMP test chart (default 640x480; width a multiple of 16,\n"
               "  height a multiple of 12).\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int width = 640, height = 480;
  const char* outPath = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc) {
      if (!zdtools::ParseSizeOption(argv[++i], 16384, &width, &height))
        return Usage();
    } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
      return Usage();
    } else if (!outPath) {
      outPath = argv[i];
    } else {
      return Usage();
    }
  }
  if (!outPath)
    return Usage();

  zdtools::RgbImage chart;
  std::string error;
  if (!zdtools::RenderTestChart(width, height, &chart, &error)) {
    std::fprintf(stderr, "zd-chartgen: %s\n", error.c_str());
    return 1;
  }
  if (!zdtools::WriteBmp24(outPath, chart)) {
    std::fprintf(stderr, "zd-chartgen: cannot write %s\n", outPath);
    return 1;
  }
  std::printf("%s: %d x %d\n", outPath, chart.width, chart.height);
  return 0;
}
