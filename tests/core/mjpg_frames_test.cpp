// MJPG streams: every frame a JPEG of its own length that libjpeg-turbo's
// decoder (JFIF: full-range BT.601) turns back into the YUY2 twin's picture,
// frame code included.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cmath>
#include <vector>

#include "pattern/frame_code_reader.h"
#include "pattern/mjpg_encoder.h"
#include "tests/core/support/stream_fixture.h"

namespace {

using zdtest::FakeSample;
using zdtest::StreamFixture;

struct Decoded {
  int w = 0, h = 0;
  std::vector<uint8_t> bgr, luma;
};

bool Decode(const uint8_t* jpeg, uint32_t len, Decoded* out) {
  tjhandle tj = tjInitDecompress();
  int subsamp = 0, cs = 0;
  bool ok = tj && tjDecompressHeader3(tj, jpeg, len, &out->w, &out->h, &subsamp, &cs) == 0;
  if (ok) {
    out->bgr.resize(size_t(out->w) * out->h * 3);
    out->luma.resize(size_t(out->w) * out->h);
    ok = tjDecompress2(tj, jpeg, len, out->bgr.data(), out->w, out->w * 3, out->h, TJPF_BGR,
                       TJFLAG_ACCURATEDCT | TJFLAG_FASTUPSAMPLE) == 0 &&
         tjDecompress2(tj, jpeg, len, out->luma.data(), out->w, out->w, out->h, TJPF_GRAY,
                       TJFLAG_ACCURATEDCT) == 0;
  }
  if (tj)
    tjDestroy(tj);
  return ok;
}

// The published studio-range BT.601 inverse, pixel by pixel.
std::vector<uint8_t> Yuy2ToBgr(const std::vector<uint8_t>& yuy2, int w, int h) {
  std::vector<uint8_t> bgr(size_t(w) * h * 3);
  auto clamp = [](double v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : std::lround(v)); };
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint8_t* unit = &yuy2[size_t(y) * w * 2 + size_t(x / 2) * 4];
      const double Y = 1.164 * (unit[(x % 2) * 2] - 16), U = unit[1] - 128.0, V = unit[3] - 128.0;
      uint8_t* p = &bgr[(size_t(y) * w + x) * 3];
      p[0] = clamp(Y + 2.018 * U);
      p[1] = clamp(Y - 0.813 * V - 0.391 * U);
      p[2] = clamp(Y + 1.596 * V);
    }
  }
  return bgr;
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i)
    sum += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
  return sum == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * double(a.size()) / sum);
}

// A stream of the chart with text, in MJPG or in its YUY2 twin, with the
// frame code (layout 2) or without (each stream's code has an id of its own).
struct Stream : StreamFixture {
  Stream(int w, int h, uint32_t compression, int bits, int quality, bool code = true) {
    zdtest::WriteChartImage(dir.File("chart.bmp"), 320, 180);
    preset = zdtest::MakePreset(w, h, compression, bits);
    zdtest::SetText(preset.bmp, "chart.bmp");
    preset.scroll_x = 4;
    preset.jpeg_quality = quality;
    settings.m_frameCode = code ? kFrameCodeLayout2 : 0;
  }
  uint32_t SampleSize() const { return uint32_t(MjpgWorstCaseBytes(preset.w, preset.h)); }
};

// The promised corner: the code reads at quality 50 down to 640 x 360; and
// at the default 85 at 1280 x 720. Every frame is within a PSNR bound of the
// YUY2 twin's frame, its length its own, a sync point with its time stamps.
TEST(MjpgFrames, DecodeToTheYuy2TwinWithTheirCodeInOrder) {
  const struct {
    int w, h, quality;
    double minPsnr;
  } cases[] = {{640, 360, 50, 27.0}, {1280, 720, 85, 34.0}, {642, 362, 100, 43.0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " q" << c.quality);
    Stream mjpg(c.w, c.h, kFourccMJPG, 24, c.quality);
    Stream plain(c.w, c.h, kFourccMJPG, 24, c.quality, false);
    Stream yuy2(c.w, c.h, kFourccYUY2, 16, c.quality, false);
    ASSERT_EQ(mjpg.Start(), kS_OK);
    ASSERT_EQ(plain.Start(), kS_OK);
    ASSERT_EQ(yuy2.Start(), kS_OK);
    std::vector<uint32_t> lengths;
    for (uint32_t n = 0; n < 3; ++n) {
      FakeSample jpeg(mjpg.SampleSize());
      FakeSample plainJpeg(mjpg.SampleSize());
      FakeSample twin(yuy2.FrameSize());
      ASSERT_EQ(mjpg.FrameAt(40.0 * n, jpeg), kS_OK);
      ASSERT_EQ(plain.FrameAt(40.0 * n, plainJpeg), kS_OK);
      ASSERT_EQ(yuy2.FrameAt(40.0 * n, twin), kS_OK);
      EXPECT_TRUE(jpeg.GuardIntact());
      EXPECT_TRUE(jpeg.syncPoint);
      EXPECT_TRUE(jpeg.hasTime);
      EXPECT_EQ(jpeg.start, int64_t(n) * mjpg.preset.frame_time);
      EXPECT_EQ(mjpg.producer.LastPlan().delivery, DeliveryFault::kNone);
      ASSERT_GT(jpeg.actualLength, 0u);
      ASSERT_LT(jpeg.actualLength, jpeg.size);
      lengths.push_back(jpeg.actualLength);

      Decoded p, d;
      ASSERT_TRUE(Decode(plainJpeg.memory.data(), plainJpeg.actualLength, &p));
      ASSERT_EQ(p.w, c.w);
      ASSERT_EQ(p.h, c.h);
      EXPECT_GE(Psnr(p.bgr, Yuy2ToBgr(twin.Frame(), c.w, c.h)), c.minPsnr) << "frame " << n;
      ASSERT_TRUE(Decode(jpeg.memory.data(), jpeg.actualLength, &d));
      LumaPlane luma;
      luma.data = d.luma.data();
      luma.row_step = d.w;
      luma.width = d.w;
      luma.height = d.h;
      const FrameCodeReading code = ReadFrameCode(luma);
      ASSERT_EQ(code.status, FrameCodeStatus::kDecoded) << "frame " << n;
      EXPECT_EQ(code.payload.frame_number, n);
      EXPECT_EQ(code.payload.sample_time, int64_t(n) * mjpg.preset.frame_time);
    }
    // The picture scrolls: no two frames of the same length here.
    EXPECT_NE(lengths[0], lengths[1]);
    EXPECT_NE(lengths[1], lengths[2]);
  }
}

// A sample too small for the JPEG: the frame is made, stamped and counted,
// but never delivered (a loss), with a data length of 0; nothing is written
// past the sample; the next frame in a sample of the right size is whole.
TEST(MjpgFrames, AFrameThatDoesNotFitIsLostNotCutShort) {
  Stream s(320, 240, kFourccMJPG, 24, 85);
  ASSERT_EQ(s.Start(), kS_OK);
  FakeSample tiny(2000);
  ASSERT_EQ(s.FrameAt(0.0, tiny), kS_OK);
  EXPECT_TRUE(tiny.GuardIntact());
  EXPECT_EQ(tiny.actualLength, 0u);
  EXPECT_EQ(s.producer.LastPlan().delivery, DeliveryFault::kLoss);
  EXPECT_EQ(s.producer.m_encodeFailures, 1u);
  EXPECT_STRNE(s.producer.m_mjpg.LastError(), "");

  FakeSample whole(s.SampleSize());
  ASSERT_EQ(s.FrameAt(40.0, whole), kS_OK);
  EXPECT_EQ(s.producer.LastPlan().delivery, DeliveryFault::kNone);
  Decoded d;
  EXPECT_TRUE(Decode(whole.memory.data(), whole.actualLength, &d));
  EXPECT_EQ(s.producer.m_encodeFailures, 1u);
}

// A frame that takes 9 ms of a 40 ms interval to make is begun ahead of
// its due time once the loop has seen how long frames take, and handed on at
// that time, not 9 ms after it; none counts as late.
TEST(MjpgFrames, SlowFramesAreBegunAheadAndHandedOnWhenDue) {
  Stream s(320, 240, kFourccMJPG, 24, 85);
  s.host.cursorCost = 9 * zd::SimulatedFrameHost::kTicksPerMs;
  ASSERT_EQ(s.Start(), kS_OK);
  const double handedOn[] = {9.0, 40.0, 80.0, 120.0, 160.0};  // the first is made at once
  for (uint32_t n = 0; n < 5; ++n) {
    FakeSample jpeg(s.SampleSize());
    ASSERT_EQ(s.NextFrame(jpeg, 1), kS_OK);
    EXPECT_GE(s.MsSinceStart(), handedOn[n]) << "frame " << n;
    EXPECT_LT(s.MsSinceStart(), handedOn[n] + 0.1) << "frame " << n;
    EXPECT_EQ(jpeg.start, int64_t(n) * s.preset.frame_time);
    EXPECT_GT(jpeg.actualLength, 0u);
  }
  EXPECT_EQ(s.producer.m_dropCount, 0u);
}

}  // namespace
