// The preview's simulated capture graph: which clock the frames show, and
// that frames come on time on either clock.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "stream/stream_settings.h"
#include "tests/core/support/test_pictures.h"
#include "tests/core/support/fake_sample.h"
#include "tools/preview/preview_stream.h"

namespace {

constexpr int64_t kTicksPerMs = 10000;

// A module folder with a font sheet and a background, and a preset naming them.
class PreviewFolder {
 public:
  PreviewFolder() : m_dir("preview-stream") {
    m_ok = zdtest::WriteSyntheticFont(m_dir.File("font.bmp"), 4, 6) &&
           zdtest::WriteChartImage(m_dir.File("chart.bmp"), 120, 90);
  }
  bool Ok() const { return m_ok; }
  std::string Path() const { return m_dir.Path(); }

  static PresetInfo Preset(int64_t frameTime) {
    PresetInfo p = DefaultPreset();
    p.w = 160;
    p.h = 120;
    p.frame_time = frameTime;
    p.scroll_x = 2;
    std::strcpy(p.bmp, "chart.bmp");
    std::strcpy(p.font, "font.bmp");
    return p;
  }

 private:
  zdtest::TempDir m_dir;
  bool m_ok = false;
};

TEST(PreviewStream, InformationLineNamesTheClockTheHostsGraphWouldPaceBy) {
  struct Case {
    int32_t autoClock;
    bool graphClock;
    const char* clockName;
  };
  const Case cases[] = {
      {1, true, "#rStream Time"},  // a host running its graph with a clock
      {1, false, "#rCPU Clock"},   // a host running its graph without one
      {0, true, "#rCPU Clock"},    // the performance counter whatever the graph has
      {0, false, "#rCPU Clock"},
  };
  PreviewFolder folder;
  ASSERT_TRUE(folder.Ok());
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "auto_clock " << c.autoClock << ", graph clock " << c.graphClock);
    StreamSettings settings;
    settings.m_autoClock = c.autoClock;
    zdpreview::PreviewStream stream(c.graphClock);
    ASSERT_EQ(stream.Start(PreviewFolder::Preset(166666), settings, folder.Path()), kS_OK);
    EXPECT_NE(std::strstr(stream.Producer().m_infoLine, c.clockName), nullptr)
        << stream.Producer().m_infoLine;
    EXPECT_EQ(stream.Producer().m_useCpuClock,
              int32_t(std::strcmp(c.clockName, "#rCPU Clock") == 0));
    stream.Stop();
  }
}

TEST(PreviewStream, EveryFrameIsMadeAtItsSlotWithoutDropsOnEitherClock) {
  // Frame k is made k intervals after the start; on the graph clock, which has
  // whole milliseconds, up to a millisecond later.
  struct Case {
    bool graphClock;
    int64_t frameTime;
  };
  const Case cases[] = {{true, 166666},  {false, 166666}, {true, 333667},
                        {false, 333667}, {true, 400000},  {false, 400000}};
  PreviewFolder folder;
  ASSERT_TRUE(folder.Ok());
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "graph clock " << c.graphClock << ", frame time " << c.frameTime);
    StreamSettings settings;
    settings.m_autoClock = 1;
    const PresetInfo preset = PreviewFolder::Preset(c.frameTime);
    zdpreview::PreviewStream stream(c.graphClock);
    ASSERT_EQ(stream.Start(preset, settings, folder.Path()), kS_OK);
    zdtest::FakeSample sample(zdtest::FrameBytes(preset.w, preset.h, preset.bit_count));
    for (int64_t k = 0; k < 240; ++k) {
      ASSERT_EQ(stream.MakeFrame(&sample), kS_OK) << "frame " << k;
      EXPECT_EQ(sample.start, k * c.frameTime);
      EXPECT_EQ(sample.stop, (k + 1) * c.frameTime);
      EXPECT_GE(stream.ElapsedTicks(), k * c.frameTime) << "frame " << k;
      EXPECT_LE(stream.ElapsedTicks(), k * c.frameTime + kTicksPerMs + kTicksPerMs / 10)
          << "frame " << k;
    }
    EXPECT_EQ(stream.Producer().m_dropCount, 0u);
    stream.Stop();
  }
}

}  // namespace
