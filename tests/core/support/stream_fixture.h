#pragma once
// A stream ready to make frames: a temporary module folder with a synthetic
// font sheet, a preset, settings, a simulated host and the frame producer.
#include <cstdio>
#include <string>

#include "pattern/frame_producer.h"
#include "pattern/pixel_format.h"
#include "stream/preset_info.h"
#include "stream/stream_settings.h"
#include "pattern/simulated_frame_host.h"
#include "tests/core/support/fake_sample.h"
#include "tests/core/support/test_pictures.h"

namespace zdtest {

template <size_t N>
inline void SetText(char (&field)[N], const std::string& text) {
  std::snprintf(field, sizeof field, "%s", text.c_str());
}

inline PresetInfo MakePreset(int32_t w, int32_t h, uint32_t compression, int32_t bitCount,
                             int64_t frameTime = 400000) {
  PresetInfo p{};
  p.enable = 1;
  p.w = w;
  p.h = h;
  p.compression = compression;
  p.bit_count = bitCount;
  p.frame_time = frameTime;
  SetText(p.font, "font.bmp");
  return p;
}

// Glyph cells of the synthetic font sheet written into every fixture.
constexpr int32_t kCellW = 4;
constexpr int32_t kCellH = 6;

struct StreamFixture {
  StreamFixture() : dir("frames") {
    WriteSyntheticFont(dir.File("font.bmp"), kCellW, kCellH);
    preset = MakePreset(320, 240, kCompressionRgb, 32);
  }

  // OnThreadCreate with the fixture's preset and settings; the clock's start
  // is remembered so that frames can be made at given times after it.
  HResultCode Start() {
    const HResultCode hr = producer.OnThreadCreate(host, preset, settings, dir.Path());
    startTicks = host.now;
    return hr;
  }
  // Puts the clock at ms after the start (it never goes back) and makes a frame.
  HResultCode FrameAt(double ms, FrameSample& sample, int32_t mouseCursol = 0) {
    const int64_t at = startTicks + int64_t(ms * double(zd::SimulatedFrameHost::kTicksPerMs));
    if (at > host.now)
      host.now = at;
    return producer.FillBuffer(host, &sample, preset, mouseCursol);
  }
  // Makes a frame whenever the loop finds it due, the clock moving only by
  // the loop's own sleeps.
  HResultCode NextFrame(FrameSample& sample, int32_t mouseCursol = 0) {
    return producer.FillBuffer(host, &sample, preset, mouseCursol);
  }
  double MsSinceStart() const {
    return double(host.now - startTicks) / double(zd::SimulatedFrameHost::kTicksPerMs);
  }
  uint32_t FrameSize() const { return FrameBytes(preset.w, preset.h, preset.bit_count); }

  TempDir dir;
  zd::SimulatedFrameHost host;
  StreamSettings settings;
  PresetInfo preset;
  FrameProducer producer;
  int64_t startTicks = 0;
};

}  // namespace zdtest
