// The MJPG encoder against libjpeg-turbo's own TurboJPEG API: its worst case,
// its decoder (which honours JFIF's full range) and its header reader.
#include "pattern/mjpg_encoder.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "tests/core/support/yuv_formula.h"

namespace {

// A YUY2 frame made from an RGB picture with the published studio-range
// formulas (tests/core/support/yuv_formula.h), and that picture.
struct TestFrame {
  int w = 0, h = 0;
  std::vector<uint8_t> bgr;   // w * h * 3
  std::vector<uint8_t> yuy2;  // w * 2 * h
};

TestFrame SmoothFrame(int w, int h) {
  TestFrame f{w, h, std::vector<uint8_t>(size_t(w) * h * 3),
              std::vector<uint8_t>(size_t(w) * 2 * h)};
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &f.bgr[(size_t(y) * w + x) * 3];
      p[0] = uint8_t(x * 255 / w);
      p[1] = uint8_t(y * 255 / h);
      p[2] = uint8_t(128 + 100 * std::sin(x / 40.0 + y / 60.0));
    }
    for (int x = 0; x < w; x += 2) {
      const uint8_t* left = &f.bgr[(size_t(y) * w + x) * 3];
      zdtest::PairUnit(kFourccYUY2, left, left + 3, &f.yuy2[size_t(y) * w * 2 + size_t(x) * 2]);
    }
  }
  return f;
}

// Every byte random: the hardest content for the encoder.
std::vector<uint8_t> NoiseFrame(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> yuy2(size_t(w) * 2 * h);
  for (uint8_t& b : yuy2)
    b = uint8_t(rng());
  return yuy2;
}

struct TjHandle {
  tjhandle h;
  explicit TjHandle(tjhandle handle) : h(handle) {}
  ~TjHandle() {
    if (h)
      tjDestroy(h);
  }
};

TEST(MjpgEncoder, QualityIsClampedToOneToHundred) {
  const struct {
    int32_t in, out;
  } cases[] = {{85, 85}, {1, 1}, {100, 100}, {0, 1}, {-7, 1}, {101, 100}, {1000, 100}};
  for (const auto& c : cases)
    EXPECT_EQ(ClampJpegQuality(c.in), c.out) << c.in;
}

TEST(MjpgEncoder, WorstCaseIsTheLibrarysFor422) {
  const int sizes[][2] = {{80, 60},    {320, 240},   {642, 362},
                          {1280, 720}, {1920, 1080}, {3840, 2160}};
  for (const auto& s : sizes) {
    EXPECT_EQ(MjpgWorstCaseBytes(s[0], s[1]), uint64_t(tjBufSize(s[0], s[1], TJSAMP_422)))
        << s[0] << "x" << s[1];
  }
  EXPECT_EQ(MjpgWorstCaseBytes(0, 240), 0u);
  EXPECT_EQ(MjpgWorstCaseBytes(320, -2), 0u);
}

// Noise at quality 100 comes close to the worst case and never beyond it,
// and not one byte past the buffer is written.
TEST(MjpgEncoder, NoiseFitsTheWorstCaseBuffer) {
  const int sizes[][2] = {{80, 60}, {642, 362}, {1280, 720}};
  for (const auto& s : sizes) {
    MjpgEncoder encoder;
    ASSERT_TRUE(encoder.Prepare(s[0], s[1], 100)) << encoder.LastError();
    const size_t worst = size_t(MjpgWorstCaseBytes(s[0], s[1]));
    std::vector<uint8_t> out(worst + 64, 0xA5);
    for (unsigned seed = 1; seed <= 3; ++seed) {
      const std::vector<uint8_t> frame = NoiseFrame(s[0], s[1], seed);
      const uint32_t len = encoder.Encode(frame.data(), size_t(s[0]) * 2, out.data(), worst);
      ASSERT_GT(len, 0u) << encoder.LastError();
      EXPECT_LE(len, worst);
      EXPECT_GT(len, size_t(s[0]) * s[1]) << "noise should compress badly";
      for (size_t i = worst; i < out.size(); ++i)
        ASSERT_EQ(out[i], 0xA5) << "byte " << i << " past the buffer";
    }
  }
}

// Too small a buffer: a failure with a message, nothing beyond the buffer,
// and the next frame encodes again.
TEST(MjpgEncoder, ShortBufferFailsCleanlyAndTheEncoderGoesOn) {
  const TestFrame f = SmoothFrame(320, 240);
  MjpgEncoder encoder;
  ASSERT_TRUE(encoder.Prepare(f.w, f.h, 85));
  std::vector<uint8_t> out(size_t(MjpgWorstCaseBytes(f.w, f.h)), 0xA5);
  EXPECT_EQ(encoder.Encode(f.yuy2.data(), size_t(f.w) * 2, out.data(), 1000), 0u);
  EXPECT_STRNE(encoder.LastError(), "");
  for (size_t i = 1000; i < out.size(); ++i)
    ASSERT_EQ(out[i], 0xA5) << "byte " << i;
  EXPECT_GT(encoder.Encode(f.yuy2.data(), size_t(f.w) * 2, out.data(), out.size()), 1000u);
  EXPECT_STREQ(encoder.LastError(), "");
}

TEST(MjpgEncoder, UnusableSizesAndArgumentsAreRefused) {
  MjpgEncoder encoder;
  const int sizes[][2] = {{0, 240}, {321, 240}, {320, 241}, {-320, 240}, {70000, 240}};
  for (const auto& s : sizes) {
    EXPECT_FALSE(encoder.Prepare(s[0], s[1], 85)) << s[0] << "x" << s[1];
    EXPECT_FALSE(encoder.ready());
    EXPECT_STRNE(encoder.LastError(), "");
  }
  uint8_t out[16];
  EXPECT_EQ(encoder.Encode(out, 640, out, sizeof out), 0u);  // not prepared
  ASSERT_TRUE(encoder.Prepare(320, 240, 85));
  EXPECT_EQ(encoder.Encode(nullptr, 640, out, sizeof out), 0u);
  EXPECT_EQ(encoder.Encode(out, 638, out, sizeof out), 0u);  // pitch below a row
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i)
    sum += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
  return sum == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * double(a.size()) / sum);
}

// Baseline JFIF, 4:2:2, Y'CbCr; decoded by the library to RGB (JFIF's full
// range) it is the picture the YUY2 frame was made from, at each quality to
// within a bound, and the bounds rise with the quality.
TEST(MjpgEncoder, DecodesToThePictureOfTheYuy2Frame) {
  const TestFrame f = SmoothFrame(642, 362);  // not whole MCUs either way
  const struct {
    int quality;
    double minPsnr;
  } cases[] = {{100, 36.0}, {85, 34.0}, {50, 31.0}};
  TjHandle tj(tjInitDecompress());
  ASSERT_NE(tj.h, nullptr);
  for (const auto& c : cases) {
    MjpgEncoder encoder;
    ASSERT_TRUE(encoder.Prepare(f.w, f.h, c.quality));
    std::vector<uint8_t> jpeg(size_t(MjpgWorstCaseBytes(f.w, f.h)));
    const uint32_t len = encoder.Encode(f.yuy2.data(), size_t(f.w) * 2, jpeg.data(), jpeg.size());
    ASSERT_GT(len, 0u);
    // SOI, then the JFIF APP0 segment; SOF0 (baseline) somewhere after.
    ASSERT_GE(len, 20u);
    EXPECT_EQ(jpeg[0], 0xFF);
    EXPECT_EQ(jpeg[1], 0xD8);
    EXPECT_EQ(jpeg[3], 0xE0);
    EXPECT_EQ(std::memcmp(&jpeg[6], "JFIF", 5), 0);
    bool sof0 = false;
    for (uint32_t i = 2; i + 1 < len && !sof0; ++i)
      sof0 = jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0;
    EXPECT_TRUE(sof0) << "no baseline frame header";
    EXPECT_EQ(jpeg[len - 2], 0xFF);
    EXPECT_EQ(jpeg[len - 1], 0xD9);

    int w = 0, h = 0, subsamp = -1, colorspace = -1;
    ASSERT_EQ(tjDecompressHeader3(tj.h, jpeg.data(), len, &w, &h, &subsamp, &colorspace), 0);
    EXPECT_EQ(w, f.w);
    EXPECT_EQ(h, f.h);
    EXPECT_EQ(subsamp, TJSAMP_422);
    EXPECT_EQ(colorspace, TJCS_YCbCr);
    std::vector<uint8_t> bgr(size_t(w) * h * 3);
    ASSERT_EQ(tjDecompress2(tj.h, jpeg.data(), len, bgr.data(), w, w * 3, h, TJPF_BGR,
                            TJFLAG_ACCURATEDCT),
              0);
    EXPECT_GE(Psnr(bgr, f.bgr), c.minPsnr) << "quality " << c.quality;
  }
}

}  // namespace
