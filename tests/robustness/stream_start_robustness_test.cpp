// Damaged bitmap files on disk, read by the platform's loader (the system's
// own in the Windows build), and streams started over them with random
// presets: a stream starts or reports failure, and its frames stay inside
// their samples either way.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "pattern/frame_producer.h"
#include "pattern/pixel_format.h"
#include "platform/source_bitmap.h"
#include "stream/stream_settings.h"
#include "tests/core/data/bmp_layouts.h"
#include "tests/core/data/temp_files.h"
#include "pattern/simulated_frame_host.h"
#include "tests/core/support/fake_sample.h"
#include "tests/robustness/mutator.h"

namespace {

using zdrobust::Rng;

// A picture or font sheet file, whole or damaged.
std::vector<uint8_t> RandomBitmapFile(Rng& rng, bool font) {
  const int32_t w = font ? int32_t(32 * rng.Between(1, 3)) : int32_t(rng.Between(1, 48));
  const int32_t h = font ? int32_t(16 * rng.Between(1, 3)) : int32_t(rng.Between(1, 48));
  static constexpr uint32_t kHeaders[] = {40, 40, 40, 12, 108, 124};
  const uint32_t header = rng.Pick(kHeaders);
  const uint16_t bits = header == 12 || rng.OneIn(2) ? 24 : 32;
  std::vector<uint8_t> file = MakeBmp(Layout(w, h, bits, header != 12 && rng.OneIn(3), header));
  if (rng.OneIn(2))
    zdrobust::Mutate(file, rng, 3);
  return file;
}

TEST(StreamStartRobustness, DamagedFilesOnDiskLoadAsTheDecoderReadsThemOrNotAtAll) {
  const zdrobust::SeededRounds rounds(0xD15C, 150);
  TempFolder folder;
  for (uint32_t i = 0; i < rounds.Count(); ++i) {
    Rng rng = rounds.RngOf(i);
    const std::vector<uint8_t> file = RandomBitmapFile(rng, rng.OneIn(2));
    const std::string path = folder.Write("damaged" + std::to_string(i % 4) + ".bmp", file);
    SourceBitmap loaded;
    loaded.width = 3;
    loaded.height = 3;
    const bool accepted = LoadSourceBitmap(path, &loaded);
    SourceBitmap decoded;
    const bool decodable = DecodeBmp(file.data(), file.size(), &decoded);
    if (!accepted) {
      ASSERT_TRUE(loaded.width == 0 && loaded.height == 0 && loaded.bgr.empty())
          << rounds.Describe(i);
#ifndef _WIN32
      ASSERT_FALSE(decodable) << rounds.Describe(i) << ": refused from disk, decoded in memory";
#endif
      continue;
    }
    // What loads must have passed the decoder's checks, with the same size.
    ASSERT_TRUE(decodable) << rounds.Describe(i);
    ASSERT_EQ(loaded.width, decoded.width) << rounds.Describe(i);
    ASSERT_EQ(loaded.height, decoded.height) << rounds.Describe(i);
    ASSERT_EQ(loaded.bgr.size(), size_t(loaded.width) * size_t(loaded.height) * 3)
        << rounds.Describe(i);
  }
}

// A bitmap name as a settings file might give it: the file written for this
// round, a missing one, none, or one too long for any path.
void RandomName(Rng& rng, const std::string& file, char (&name)[kPresetNameSize]) {
  static const std::string kOthers[] = {"", "missing.bmp", "../nowhere/x.bmp",
                                        std::string(259, 'n'), "sub/dir/../../x.bmp"};
  const std::string chosen = rng.OneIn(6) ? rng.Pick(kOthers) : file;
  std::memset(name, 0, sizeof name);
  std::memcpy(name, chosen.data(), std::min(chosen.size(), sizeof name - 1));
}

struct Format {
  uint32_t compression;
  int32_t bit_count;
};
constexpr Format kOutputFormats[] = {
    {kCompressionRgb, 32}, {kCompressionRgb, 24}, {kFourccYUY2, 16},
    {kFourccYVYU, 16},     {kFourccUYVY, 16},     {kFourccHDYC, 16},
};

TEST(StreamStartRobustness, StreamsOverDamagedBitmapsStartOrFailAndFramesStayInsideTheSample) {
  const zdrobust::SeededRounds rounds(0x57A7, 120);
  TempFolder folder;
  uint32_t started = 0;
  for (uint32_t i = 0; i < rounds.Count(); ++i) {
    Rng rng = rounds.RngOf(i);
    folder.Write("picture.bmp", RandomBitmapFile(rng, false));
    folder.Write("font.bmp", RandomBitmapFile(rng, true));

    PresetInfo preset = DefaultPreset();
    const Format f = rng.Pick(kOutputFormats);
    preset.compression = f.compression;
    preset.bit_count = f.bit_count;
    preset.w = int32_t(2 * rng.Between(kMinFrameWidth / 2, 200));
    preset.h = int32_t(2 * rng.Between(kMinFrameHeight / 2, 150));
    preset.interlaced = int32_t(rng.Below(3));
    preset.scroll_x = int32_t(2 * rng.Between(-kMaxScrollStep / 2, kMaxScrollStep / 2));
    preset.scroll_y = rng.OneIn(3) ? 0 : int32_t(2 * rng.Between(-8, 8));
    RandomName(rng, "picture.bmp", preset.bmp);
    RandomName(rng, "font.bmp", preset.font);
    StreamSettings settings;
    settings.m_autoClock = int32_t(rng.Below(2));
    // Half the streams keep a latency log (or try to, under a name that fails).
    if (rng.OneIn(2))
      RandomName(rng, "latency.txt", settings.m_latencyLog);

    zd::SimulatedFrameHost host;
    FrameProducer producer;
    const HResultCode hr = producer.OnThreadCreate(host, preset, settings, folder.Path());
    ASSERT_TRUE(hr == kS_OK || hr == kE_OUTOFMEMORY) << rounds.Describe(i) << ": " << hr;
    if (hr == kS_OK) {
      ++started;
      ASSERT_FALSE(producer.m_pattern.empty()) << rounds.Describe(i);
      ASSERT_FALSE(producer.m_font.empty()) << rounds.Describe(i);
      ASSERT_EQ(producer.m_font.compression, preset.compression) << rounds.Describe(i);
    }
    // The pin does not run a stream that failed to start; its frames would
    // still stay inside their samples.
    for (int frame = 0; frame < 2; ++frame) {
      const uint32_t size = zdtest::FrameBytes(preset.w, preset.h, preset.bit_count) +
                            uint32_t(rng.OneIn(4) ? rng.Below(64) : 0);
      zdtest::FakeSample sample(size);
      host.cursorX = int32_t(rng.Between(-40, preset.w));
      host.cursorY = int32_t(rng.Between(-40, preset.h));
      host.AdvanceMs(double(preset.frame_time) / 10000.0 + 1.0);
      ASSERT_EQ(producer.FillBuffer(host, &sample, preset, 1), kS_OK) << rounds.Describe(i);
      ASSERT_TRUE(sample.GuardIntact()) << rounds.Describe(i);
    }
    producer.OnThreadDestroy();
  }
  // Enough rounds found whole files to start a stream.
  EXPECT_GT(started, rounds.Count() / 5);
}

}  // namespace
