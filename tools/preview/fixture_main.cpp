// zd-preview-fixture DIR: writes a small module folder for the preview's own
// tests: a settings file with one preset per pixel format, a background
// chart, a font sheet, a settings file with auto_clock set, and one whose font
// sheet is missing.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/common/bmp_writer.h"
#include "tools/common/synthetic_images.h"

namespace {

const char kSettings[] =
    "[MAIN]\r\n"
    "preset_num=7\r\n"
    "mouse_cursol=0\r\n"
    "[PRESET_DEF]\r\n"
    "w=160\r\nh=120\r\nframe_time=25\r\nbmp=chart.bmp\r\nfont=font.bmp\r\n"
    "[PRESET_01]\r\nenable=1\r\nfcc=RG32\r\nscroll_x=2\r\ncomment=rgb32\r\n"
    "[PRESET_02]\r\nenable=1\r\nfcc=RG24\r\nw=162\r\ninterlaced=2\r\nscroll_y=2\r\ncomment="
    "rgb24\r\n"
    "[PRESET_03]\r\nenable=1\r\nfcc=YUY2\r\ninterlaced=1\r\nscroll_x=4\r\ncomment=yuy2\r\n"
    "[PRESET_04]\r\nenable=1\r\nfcc=YVYU\r\nscroll_x=-2\r\nscroll_y=-2\r\n"
    "[PRESET_05]\r\nenable=1\r\nfcc=UYVY\r\nframe_time=0.5\r\n"
    "[PRESET_06]\r\nenable=1\r\nfcc=HDYC\r\nw=320\r\nh=180\r\nbmp=\r\ncomment=blank\r\n"
    "[PRESET_07]\r\nenable=1\r\nfcc=RG32\r\nbmp=missing.bmp\r\n";

// Paced by the graph's clock when the graph has one.
const char kAutoClock[] =
    "[MAIN]\r\npreset_num=1\r\nauto_clock=1\r\n"
    "[PRESET_01]\r\nenable=1\r\nw=160\r\nh=120\r\nframe_time=60\r\nbmp=chart.bmp\r\n"
    "font=font.bmp\r\n";

// MJPG: JPEG frames at quality 50.
const char kMjpg[] =
    "[MAIN]\r\npreset_num=1\r\n"
    "[PRESET_01]\r\nenable=1\r\nw=160\r\nh=120\r\nfcc=MJPG\r\njpeg_quality=50\r\n"
    "scroll_x=2\r\nbmp=chart.bmp\r\nfont=font.bmp\r\n";

const char kMissingFont[] =
    "[MAIN]\r\npreset_num=1\r\n"
    "[PRESET_01]\r\nenable=1\r\nbmp=chart.bmp\r\nfont=no-such-font.bmp\r\n";

bool WriteText(const std::string& path, const char* text) {
  return zdtools::WriteFileBytes(path, reinterpret_cast<const uint8_t*>(text), std::strlen(text));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: zd-preview-fixture DIR\n", stderr);
    return 2;
  }
  const std::string dir = argv[1];
  const bool ok = zdtools::WriteChartImage(dir + "/chart.bmp", 120, 90) &&
                  zdtools::WriteSyntheticFont(dir + "/font.bmp", 4, 6) &&
                  WriteText(dir + "/ZintuDobrel.ini", kSettings) &&
                  WriteText(dir + "/auto_clock.ini", kAutoClock) &&
                  WriteText(dir + "/mjpg.ini", kMjpg) &&
                  WriteText(dir + "/missing_font.ini", kMissingFont);
  if (!ok) {
    std::fprintf(stderr, "zd-preview-fixture: cannot write into %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
