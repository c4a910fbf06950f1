// mjpg_frames: MJPG frames of fixed presets over the shipped bitmaps, made as
// zd-preview makes frames (simulated clock, no frame code), written one after
// another to a file, for the golden hash that every build must give: the
// native one with Debian's libjpeg-turbo and both Windows builds with the
// library cross-built for them.
//
//   mjpg_frames ASSETS_DIR OUT_FILE
#include <cstdio>
#include <string>

#include "pattern/mjpg_encoder.h"
#include "pattern/pixel_format.h"
#include "pattern/simulated_frame_host.h"
#include "stream/stream_settings.h"
#include "tools/preview/preview_stream.h"

namespace {

struct Case {
  int32_t w, h, quality;
  const char* font;
};

constexpr Case kCases[] = {
    {640, 360, 50, "font.bmp"},
    {1280, 720, 85, "font.bmp"},
    {1920, 1080, 100, "font_large.bmp"},
};
constexpr int kFrames = 3;

// A sample that keeps its data length.
class LengthSample : public zd::SimulatedSample {
 public:
  using zd::SimulatedSample::SimulatedSample;
  void SetActualDataLength(uint32_t length) override { actualLength = length; }
  uint32_t actualLength = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: mjpg_frames ASSETS_DIR OUT_FILE\n");
    return 2;
  }
  const std::string assets = argv[1];
  std::FILE* out = std::fopen(argv[2], "wb");
  if (!out) {
    std::fprintf(stderr, "mjpg_frames: cannot write %s\n", argv[2]);
    return 1;
  }
  int status = 0;
  for (const Case& c : kCases) {
    PresetInfo preset = DefaultPreset();
    preset.enable = 1;
    preset.w = c.w;
    preset.h = c.h;
    preset.compression = kFourccMJPG;
    preset.bit_count = 24;
    preset.frame_time = 333667;
    preset.scroll_x = 4;
    preset.scroll_y = 2;
    preset.jpeg_quality = c.quality;
    std::snprintf(preset.bmp, sizeof preset.bmp, "chart.bmp");
    std::snprintf(preset.font, sizeof preset.font, "%s", c.font);
    StreamSettings settings;
    settings.m_autoClock = 1;
    zdpreview::PreviewStream stream(true);
    if (stream.Start(preset, settings, assets) != kS_OK) {
      std::fprintf(stderr, "mjpg_frames: %dx%d: the stream could not be prepared\n", c.w, c.h);
      status = 1;
      break;
    }
    LengthSample sample(uint32_t(MjpgWorstCaseBytes(c.w, c.h)));
    for (int k = 0; k < kFrames; ++k) {
      if (stream.MakeFrame(&sample) != kS_OK || sample.actualLength == 0 ||
          std::fwrite(sample.memory.data(), 1, sample.actualLength, out) != sample.actualLength) {
        std::fprintf(stderr, "mjpg_frames: %dx%d frame %d not made or not written\n", c.w, c.h, k);
        status = 1;
        break;
      }
      std::printf("%dx%d q%d frame %d: %u bytes\n", int(c.w), int(c.h), int(c.quality), k,
                  unsigned(sample.actualLength));
    }
    stream.Stop();
  }
  if (std::fclose(out) != 0)
    status = 1;
  return status;
}
