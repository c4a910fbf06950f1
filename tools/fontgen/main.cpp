// zd-fontgen: builds the font sheet bitmap that the filter draws its text
// lines from, out of an X11 bitmap font (.pcf or .pcf.gz).
//
//   zd-fontgen [--scale N] [--cell WxH] <font.pcf[.gz]> <sheet.bmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/common/rgb_image.h"
#include "tools/common/size_option.h"
#include "tools/fontgen/font_sheet.h"
#include "tools/fontgen/pcf_font.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: zd-fontgen [--scale N] [--cell WxH] <font.pcf[.gz]> <sheet.bmp>\n"
               "  Writes a 24-bit BMP font sheet of 32 x 16 cells: white, red, green, blue and\n"
               "  yellow bands of three cell rows, and cyan digits and punctuation in row 15.\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  zdtools::SheetOptions options;
  const char* fontPath = nullptr;
  const char* outPath = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--scale") == 0 && i + 1 < argc) {
      options.scale = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--cell") == 0 && i + 1 < argc) {
      if (!zdtools::ParseSizeOption(argv[++i], 256, &options.cellWidth, &options.cellHeight))
        return Usage();
    } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
      return Usage();
    } else if (!fontPath) {
      fontPath = argv[i];
    } else if (!outPath) {
      outPath = argv[i];
    } else {
      return Usage();
    }
  }
  if (!fontPath || !outPath)
    return Usage();

  zdtools::PcfFont font;
  std::string error;
  if (!font.Load(fontPath, &error)) {
    std::fprintf(stderr, "zd-fontgen: %s: %s\n", fontPath, error.c_str());
    return 1;
  }
  zdtools::RgbImage sheet;
  if (!zdtools::RenderFontSheet(font, options, &sheet, &error)) {
    std::fprintf(stderr, "zd-fontgen: %s\n", error.c_str());
    return 1;
  }
  if (!zdtools::WriteBmp24(outPath, sheet)) {
    std::fprintf(stderr, "zd-fontgen: cannot write %s\n", outPath);
    return 1;
  }
  std::printf("%s: %d x %d, cells %d x %d\n", outPath, sheet.width, sheet.height, sheet.width / 32,
              sheet.height / 16);
  return 0;
}
