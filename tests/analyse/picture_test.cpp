// The pixel comparison's parts against hand computations: the colour faults
// on colours whose values follow from the standards' weights, the PSNR of
// known errors, flips and masks on small pictures, and the originals of RGB
// presets made by their YUY2 twin against the RGB frames themselves.
#include <gtest/gtest.h>

#include <cmath>

#include "stream/stream_settings.h"
#include "tools/analyse/pixels/original_frames.h"
#include "tools/analyse/pixels/picture_hypotheses.h"

namespace zdanalyse {
namespace {

struct Yuv {
  double y, cb, cr;
};

Yuv Apply(ColourFault fault, bool bt709, Yuv in) {
  const ColourMap m = ColourMapOf(fault, bt709);
  const double v[4] = {in.y, in.cb, in.cr, 1};
  double out[3] = {};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 4; ++j)
      out[i] += m.m[i][j] * v[j];
  return {out[0], out[1], out[2]};
}

// Studio-range Y'CbCr of pure red and blue: Y = 16 + 219 Kr (or Kb), the
// colour's own difference at 240, the other 128 - 112 K / (1 - K').
constexpr Yuv kRed601{16 + 219 * 0.299, 128 - 112 * 0.299 / 0.886, 240};
constexpr Yuv kBlue601{16 + 219 * 0.114, 240, 128 - 112 * 0.114 / 0.701};
constexpr Yuv kRed709{16 + 219 * 0.2126, 128 - 112 * 0.2126 / 0.9278, 240};

TEST(PictureFaults, EachColourFaultMapsColoursAsTheStandardsSay) {
  const struct {
    ColourFault fault;
    Yuv in, want;
  } cases[] = {
      {ColourFault::kSwapRedBlue, kRed601, kBlue601},
      {ColourFault::kSwapRedBlue, kBlue601, kRed601},
      {ColourFault::kSwapCbCr, {100, 90, 200}, {100, 200, 90}},
      {ColourFault::kBt709AsBt601, kRed601, kRed709},  // 601 values turned into 709 ones
      {ColourFault::kBt601AsBt709, kRed709, kRed601},
      {ColourFault::kLimitedAsFull,
       {235, 240, 16},
       {16 + 235 * 219.0 / 255, 128 + 112 * 224.0 / 255, 128 - 112 * 224.0 / 255}},
      {ColourFault::kLimitedAsFull, {0, 128, 128}, {16, 128, 128}},
      {ColourFault::kFullAsLimited, {16, 128, 128}, {0, 128, 128}},
      {ColourFault::kFullAsLimited,
       {235, 240, 16},
       {255, 128 + 112 * 255.0 / 224, 128 - 112 * 255.0 / 224}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ColourFaultName(c.fault));
    const Yuv got = Apply(c.fault, false, c.in);
    EXPECT_NEAR(got.y, c.want.y, 1e-6);
    EXPECT_NEAR(got.cb, c.want.cb, 1e-6);
    EXPECT_NEAR(got.cr, c.want.cr, 1e-6);
  }
}

TEST(PictureErrors, PsnrOfKnownErrors) {
  EXPECT_TRUE(std::isinf(Psnr(0, 100)));
  EXPECT_NEAR(Psnr(100 * 255.0 * 255.0, 100), 0.0, 1e-9);
  EXPECT_NEAR(Psnr(100, 100), 20 * std::log10(255.0), 1e-9);  // every sample off by one
}

// A picture of w x h whose luma counts up row by row, 4:2:2 chroma flat.
PlanarPicture Ramp(int32_t w, int32_t h) {
  PlanarPicture p;
  p.Resize(w, h, w / 2, h);
  for (size_t i = 0; i < p.y.size(); ++i)
    p.y[i] = uint8_t(i * 3);
  std::fill(p.cb.begin(), p.cb.end(), 128);
  std::fill(p.cr.begin(), p.cr.end(), 128);
  return p;
}

TEST(PictureGeometry, FlipsMoveEveryPixelToItsMirrorPlace) {
  const PlanarPicture p = Ramp(8, 6);
  for (int f = 1; f < 4; ++f) {
    Geometry g;
    g.flipV = f & 1;
    g.flipH = (f & 2) != 0;
    PlanarPicture out;
    Warp(p, g, &out);
    for (int32_t y = 0; y < 6; ++y)
      for (int32_t x = 0; x < 8; ++x)
        ASSERT_EQ(out.y[size_t(y * 8 + x)],
                  p.y[size_t((g.flipV ? 5 - y : y) * 8 + (g.flipH ? 7 - x : x))])
            << f << " at " << x << "," << y;
  }
}

TEST(PictureErrors, DifferencesInMaskedPartsAreNotCounted) {
  const PlanarPicture a = Ramp(16, 8);
  PlanarPicture b = a;
  b.y[size_t(2 * 16 + 3)] += 10;  // inside the excluded rectangle
  b.y[size_t(6 * 16 + 12)] += 2;  // outside it
  CompareArea area;
  area.valid = {0, 0, 16, 8};
  area.excluded[0] = {2, 1, 5, 4};
  area.excludedCount = 1;
  const PictureErrors e = ComparePictures(a.View(), b.View(), area, 1);
  EXPECT_EQ(e.sseY, 4.0);
  EXPECT_EQ(e.countY, 16 * 8 - 3 * 3);
  EXPECT_EQ(e.sseC, 0.0);
}

TEST(OriginalFrames, RgbPresetsMadeByTheirYuy2TwinEqualTheRgbFrames) {
  StreamSettings settings;
  ASSERT_TRUE(settings.LoadSettings(ZD_ASSETS_DIR "/ZintuDobrel.ini"));
  int tried = 0;
  for (int cap = 0; cap < settings.m_presetNum; ++cap) {
    const PresetInfo& p = settings.m_presetTable[size_t(cap)];
    if (p.compression != 0 || p.w * p.h > 1280 * 720)
      continue;
    OriginalFrames twin, rgb;
    std::string error;
    ASSERT_TRUE(twin.Open(settings, ZD_ASSETS_DIR, cap, &error)) << error;
    ASSERT_TRUE(rgb.Open(settings, ZD_ASSETS_DIR, cap, &error, true)) << error;
    for (uint32_t n : {0u, 7u, 301u}) {
      PlanarPicture a, b;
      ASSERT_TRUE(twin.Make(n, &a));
      ASSERT_TRUE(rgb.Make(n, &b));
      // Outside the text lines, which show the stream's format and clock.
      const int32_t text = twin.TextHeight() * p.w;
      ASSERT_TRUE(std::equal(a.y.begin() + text, a.y.end() - text, b.y.begin() + text))
          << "capability " << cap << ", frame " << n;
      ASSERT_TRUE(
          std::equal(a.cb.begin() + text / 2, a.cb.end() - text / 2, b.cb.begin() + text / 2));
    }
    ++tried;
  }
  EXPECT_GE(tried, 3);
}

}  // namespace
}  // namespace zdanalyse
