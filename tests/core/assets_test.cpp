// The files shipped beside the module: the font sheets, the background charts
// and the settings file with its presets.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/source_bitmap.h"
#include "stream/preset_info.h"
#include "stream/stream_settings.h"
#include "tests/core/support/settings_checks.h"
#include "tests/core/support/test_pictures.h"

namespace {

std::string AssetPath(const std::string& name) {
  std::string path = std::string(ZD_ASSETS_DIR) + "/" + name;
#ifdef _WIN32
  // Under Wine the build tree's Unix paths are reached through drive Z:.
  if (!path.empty() && path[0] == '/')
    path = "Z:" + path;
  for (char& c : path)
    if (c == '/')
      c = '\\';
#endif
  return path;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Bits per pixel straight from the file's BITMAPINFOHEADER (offset 28).
int FileBitCount(const std::vector<uint8_t>& file) {
  if (file.size() < 30 || file[0] != 'B' || file[1] != 'M')
    return -1;
  return file[28] | file[29] << 8;
}

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
  bool operator!=(const Rgb& o) const { return !(*this == o); }
};

// A decoded bitmap read with (0, 0) at the top-left, as a viewer shows it.
class Picture {
 public:
  explicit Picture(const SourceBitmap& bmp) : m_bmp(bmp) {}
  int Width() const { return m_bmp.width; }
  int Height() const { return m_bmp.height; }
  Rgb At(int x, int y) const {
    const uint8_t* p = m_bmp.Row(m_bmp.height - 1 - y) + size_t(x) * 3;
    return {p[2], p[1], p[0]};
  }

 private:
  const SourceBitmap& m_bmp;
};

bool DecodeAsset(const std::string& name, SourceBitmap* out, int* bitCount) {
  const std::vector<uint8_t> file = ReadFile(AssetPath(name));
  *bitCount = FileBitCount(file);
  return !file.empty() && DecodeBmp(file.data(), file.size(), out);
}

// ---------------------------------------------------------------- font sheets

struct Cell {
  int col, row;  // cell column and cell row, from the top-left
};

// The cell of character ch in the band that starts at cell row band.
Cell CellOf(int ch, int band) {
  return {ch % 32, band + (ch - 32) / 32};
}

// The cell's ink: every pixel that differs from the cell's top-left pixel,
// which is background in every glyph of the shipped sheets.
std::vector<bool> InkMask(const Picture& pic, Cell cell, int cw, int chh) {
  const Rgb background = pic.At(cell.col * cw, cell.row * chh);
  std::vector<bool> ink(size_t(cw) * size_t(chh));
  for (int y = 0; y < chh; ++y)
    for (int x = 0; x < cw; ++x)
      ink[size_t(y) * size_t(cw) + size_t(x)] =
          pic.At(cell.col * cw + x, cell.row * chh + y) != background;
  return ink;
}

bool AnyInk(const std::vector<bool>& mask) {
  for (bool b : mask)
    if (b)
      return true;
  return false;
}

// The colour of the cell's ink (the first ink pixel), and its background.
std::pair<Rgb, Rgb> InkAndBackground(const Picture& pic, Cell cell, int cw, int chh) {
  const Rgb background = pic.At(cell.col * cw, cell.row * chh);
  for (int y = 0; y < chh; ++y)
    for (int x = 0; x < cw; ++x)
      if (pic.At(cell.col * cw + x, cell.row * chh + y) != background)
        return {pic.At(cell.col * cw + x, cell.row * chh + y), background};
  return {background, background};
}

enum class Hue { kWhite, kRed, kGreen, kBlue, kYellow, kSixth };

// Whether a colour reads as the named hue: channels above 160 count as "on",
// below 160 as "off" for the primaries; blue may carry some green and red.
bool LooksLike(Rgb c, Hue hue) {
  switch (hue) {
    case Hue::kWhite:
      return c.r >= 200 && c.g >= 200 && c.b >= 200;
    case Hue::kRed:
      return c.r >= 200 && c.g < 160 && c.b < 160;
    case Hue::kGreen:
      return c.g >= 200 && c.r < 160 && c.b < 160;
    case Hue::kBlue:
      return c.b >= 200 && c.r < c.b && c.g < c.b;
    case Hue::kYellow:
      return c.r >= 200 && c.g >= 200 && c.b < 100;
    case Hue::kSixth:
      return true;
  }
  return false;
}

struct Band {
  int start;   // first cell row
  int groups;  // cell rows in the sheet: 3, or 1 for the sixth colour
  Hue hue;
};

constexpr Band kBands[] = {{0, 3, Hue::kWhite}, {3, 3, Hue::kRed},     {6, 3, Hue::kGreen},
                           {9, 3, Hue::kBlue},  {12, 3, Hue::kYellow}, {15, 1, Hue::kSixth}};

// Each shipped sheet, decoded, with its cell size.
class ShippedFontSheet : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(DecodeAsset(GetParam(), &bmp, &bits));
    cw = bmp.width / 32;
    chh = bmp.height / 16;
  }

  SourceBitmap bmp;
  int bits = 0;
  const Picture pic{bmp};
  int cw = 0, chh = 0;  // cell width and height
};

TEST_P(ShippedFontSheet, IsA24BitSheetOf32By16EvenCellsOfAtLeast8By8) {
  EXPECT_EQ(bits, 24);
  EXPECT_EQ(bmp.width % 32, 0) << "no unused columns at the right";
  EXPECT_EQ(bmp.height % 16, 0) << "no unused lines at the bottom";
  EXPECT_GE(bmp.width / 32, 8);
  EXPECT_GE(bmp.height / 16, 8);
  // Even cells keep text on pixel pairs in the 4:2:2 formats.
  EXPECT_EQ((bmp.width / 32) % 2, 0);
}

TEST_P(ShippedFontSheet, EveryPrintableCharacterHasAGlyphInEveryColour) {
  for (const Band& band : kBands) {
    const int lastCode = band.groups == 3 ? 126 : 63;
    for (int ch = 32; ch <= lastCode; ++ch) {
      const bool ink = AnyInk(InkMask(pic, CellOf(ch, band.start), cw, chh));
      // The space is an empty box; every other character leaves ink.
      EXPECT_EQ(ink, ch != 32) << "band " << band.start << " code " << ch;
    }
  }
}

TEST_P(ShippedFontSheet, EachBandShowsItsColourOnADarkBox) {
  std::vector<Rgb> bandInk;
  for (const Band& band : kBands) {
    const int lastCode = band.groups == 3 ? 126 : 63;
    const Rgb ink = InkAndBackground(pic, CellOf('0', band.start), cw, chh).first;
    bandInk.push_back(ink);
    for (int ch = 33; ch <= lastCode; ++ch) {
      const auto [glyphInk, background] = InkAndBackground(pic, CellOf(ch, band.start), cw, chh);
      EXPECT_TRUE(glyphInk == ink) << "one colour per band; band " << band.start << " code " << ch;
      EXPECT_LT(background.r + background.g + background.b, 3 * 48)
          << "band " << band.start << " code " << ch;
    }
    EXPECT_TRUE(LooksLike(ink, band.hue))
        << "band " << band.start << " ink " << ink.r << "," << ink.g << "," << ink.b;
  }
  // The sixth colour is a colour of its own.
  for (size_t i = 0; i + 1 < bandInk.size(); ++i)
    EXPECT_TRUE(bandInk[i] != bandInk.back()) << i;
}

TEST_P(ShippedFontSheet, GlyphsCanBeToldApartAndHaveOneShapeInEveryColour) {
  std::set<std::vector<bool>> shapes;
  for (int ch = 32; ch <= 126; ++ch) {
    const std::vector<bool> white = InkMask(pic, CellOf(ch, 0), cw, chh);
    EXPECT_TRUE(shapes.insert(white).second) << "code " << ch << " looks like another character";
    for (const Band& band : kBands) {
      if (band.groups == 1 && ch > 63)
        continue;
      EXPECT_TRUE(InkMask(pic, CellOf(ch, band.start), cw, chh) == white)
          << "band " << band.start << " code " << ch;
    }
  }
}

TEST_P(ShippedFontSheet, TheCellOfCode127IsEmptyInEveryBand) {
  // Code 127 has no glyph in any band.
  for (const Band& band : kBands) {
    if (band.groups == 3) {
      EXPECT_FALSE(AnyInk(InkMask(pic, CellOf(127, band.start), cw, chh))) << band.start;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Assets, ShippedFontSheet, ::testing::Values("font.bmp", "font_large.bmp"));

// ---------------------------------------------------------------- test charts

TEST(ShippedCharts, DecodeAsEven24BitPicturesWithMarkedCornersAndFullPrimaries) {
  struct Case {
    const char* name;
    int w, h;
  };
  const Case cases[] = {{"chart.bmp", 640, 480}, {"chart_small.bmp", 320, 240}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SourceBitmap bmp;
    int bits = 0;
    ASSERT_TRUE(DecodeAsset(c.name, &bmp, &bits));
    EXPECT_EQ(bits, 24);
    EXPECT_EQ(bmp.width, c.w);
    EXPECT_EQ(bmp.height, c.h);
    const Picture pic(bmp);
    // Corner brackets: top left red, top right green, bottom left blue,
    // bottom right yellow, so a flip or mirror shows.
    EXPECT_TRUE(pic.At(0, 0) == (Rgb{255, 0, 0}));
    EXPECT_TRUE(pic.At(c.w - 1, 0) == (Rgb{0, 255, 0}));
    EXPECT_TRUE(pic.At(0, c.h - 1) == (Rgb{0, 0, 255}));
    EXPECT_TRUE(pic.At(c.w - 1, c.h - 1) == (Rgb{255, 255, 0}));
    // Full-intensity bars and black and white are all present.
    const Rgb wanted[] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                          {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
    for (const Rgb& colour : wanted) {
      bool found = false;
      for (int y = 0; y < c.h && !found; ++y)
        for (int x = 0; x < c.w && !found; ++x)
          found = pic.At(x, y) == colour;
      EXPECT_TRUE(found) << colour.r << "," << colour.g << "," << colour.b;
    }
  }
}

// ---------------------------------------------------------------- settings file

// Frame durations the shipped rates give by the frame-rate rule: 10000000
// divided by the rate as a single-precision number, truncated.
int64_t DurationOfRate(float rate) {
  return int64_t(10000000.0 / double(rate));
}

TEST(ShippedSettings, OfferTwentySixPresetsOverEveryFormatSizeRateAndScanType) {
  StreamSettings settings;
  ASSERT_TRUE(settings.LoadSettings(AssetPath(kSettingsFileName)));
  // Two buffers, plain video headers, paced by the graph's clock when the
  // graph has one (as renderers that wait for time stamps expect), no mouse
  // marker, no latency log, no fault log.
  zdtest::ExpectSwitches(settings, 2, 0, 1, 0, "");
  EXPECT_STREQ(settings.m_faultLog, "");
  // Twenty-six formats, then three presets with faults on demand.
  ASSERT_EQ(settings.m_presetNum, 29);
  const int formatPresets = 26;

  const std::set<int64_t> rates = {DurationOfRate(25.0f),  DurationOfRate(29.97f),
                                   DurationOfRate(30.0f),  DurationOfRate(50.0f),
                                   DurationOfRate(59.94f), DurationOfRate(60.0f)};
  EXPECT_EQ(rates, (std::set<int64_t>{400000, 333667, 333333, 200000, 166833, 166666}));

  std::set<std::pair<uint32_t, int32_t>> formats;
  std::set<std::pair<int32_t, int32_t>> sizes;
  std::set<int64_t> durations;
  std::set<int32_t> scanModes;
  int scrolling = 0;
  for (int i = 0; i < formatPresets; ++i) {
    const PresetInfo& p = settings.m_presetTable[i];
    SCOPED_TRACE(i + 1);
    EXPECT_FALSE(p.faults.Any());
    EXPECT_EQ(p.enable, 1);
    formats.insert({p.compression, p.bit_count});
    sizes.insert({p.w, p.h});
    durations.insert(p.frame_time);
    scanModes.insert(p.interlaced);
    if (p.scroll_x != 0 || p.scroll_y != 0)
      ++scrolling;
    if (i + 1 < formatPresets) {
      EXPECT_EQ(rates.count(p.frame_time), 1u) << p.frame_time;
    }
    EXPECT_GT(std::strlen(p.comment), 0u);
  }
  const std::set<std::pair<uint32_t, int32_t>> allFormats = {
      {0, 32}, {0, 24}, {0x32595559, 16}, {0x55595659, 16}, {0x59565955, 16}, {0x43594448, 16}};
  EXPECT_EQ(formats, allFormats);
  const std::set<std::pair<int32_t, int32_t>> allSizes = {
      {320, 240}, {640, 480}, {720, 480}, {720, 576}, {1280, 720}, {1920, 1080}, {3840, 2160}};
  EXPECT_EQ(sizes, allSizes);
  for (int64_t d : rates)
    EXPECT_EQ(durations.count(d), 1u) << d;
  EXPECT_EQ(scanModes, (std::set<int32_t>{0, 1, 2}));
  EXPECT_GE(scrolling, formatPresets / 2);

  // The fault presets: each injects something, in a size and format of its
  // own, so that SetFormat, which takes the first preset of a format, finds it.
  for (int i = formatPresets; i < settings.m_presetNum; ++i) {
    const PresetInfo& p = settings.m_presetTable[i];
    SCOPED_TRACE(i + 1);
    EXPECT_TRUE(p.faults.Any());
    for (int j = 0; j < i; ++j) {
      const PresetInfo& q = settings.m_presetTable[j];
      EXPECT_FALSE(q.w == p.w && q.h == p.h && q.compression == p.compression &&
                   q.bit_count == p.bit_count && q.frame_time == p.frame_time)
          << "same format as preset " << j + 1;
    }
  }
}

TEST(ShippedSettings, HoldPlanarPresetsSwitchedOffThatWorkWhenSwitchedOn) {
  // The shipped file with every "enable=0" turned on, in a folder of its own.
  std::ifstream in(AssetPath(kSettingsFileName), std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  int switchedOff = 0;
  for (size_t at = text.find("\nenable=0"); at != std::string::npos;
       at = text.find("\nenable=0", at)) {
    text[at + 8] = '1';
    ++switchedOff;
  }
  EXPECT_EQ(switchedOff, 7);  // 4 planar, 3 MJPG
  zdtest::TempDir dir("planar-ini");
  std::ofstream(dir.File(kSettingsFileName), std::ios::binary) << text;
  StreamSettings settings;
  ASSERT_TRUE(settings.LoadSettings(dir.File(kSettingsFileName)));
  ASSERT_EQ(settings.m_presetNum, 36);
  std::set<uint32_t> planar;
  for (int i = 29; i < 33; ++i) {
    const PresetInfo& p = settings.m_presetTable[i];
    SCOPED_TRACE(i + 1);
    EXPECT_EQ(p.bit_count, 12);
    planar.insert(p.compression);
    EXPECT_EQ(p.h % (p.interlaced ? 4 : 2), 0);
  }
  EXPECT_EQ(planar, (std::set<uint32_t>{0x3231564E, 0x30323449}));  // NV12, I420
}

// MJPG presets ship switched off (the shipped offer stays as it was) and
// load as MJPG at the webcam sizes once switched on.
TEST(ShippedSettings, HoldMjpgPresetsSwitchedOffThatLoadWhenSwitchedOn) {
  StreamSettings shipped;
  ASSERT_TRUE(shipped.LoadSettings(AssetPath(kSettingsFileName)));
  for (int i = 0; i < shipped.m_presetNum; ++i)
    EXPECT_NE(shipped.m_presetTable[i].compression, 0x47504A4Du) << "preset " << i + 1;

  std::ifstream in(AssetPath(kSettingsFileName), std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (size_t at = text.find("\nenable=0"); at != std::string::npos;
       at = text.find("\nenable=0", at))
    text[at + 8] = '1';
  zdtest::TempDir dir("mjpg-ini");
  std::ofstream(dir.File(kSettingsFileName), std::ios::binary) << text;
  StreamSettings settings;
  ASSERT_TRUE(settings.LoadSettings(dir.File(kSettingsFileName)));
  std::vector<std::string> mjpg;
  for (int i = 0; i < settings.m_presetNum; ++i) {
    const PresetInfo& p = settings.m_presetTable[i];
    if (p.compression != 0x47504A4Du)  // "MJPG"
      continue;
    EXPECT_EQ(p.bit_count, 24);
    EXPECT_EQ(p.jpeg_quality, 85);
    mjpg.push_back(std::to_string(p.w) + "x" + std::to_string(p.h) + "@" +
                   std::to_string(10000000 / p.frame_time));
  }
  EXPECT_EQ(mjpg, (std::vector<std::string>{"1920x1080@30", "1280x720@60", "3840x2160@30"}));
}

TEST(ShippedSettings, FirstPresetIsVgaRgb32At30FpsScrollingAndLastIsUnpaced) {
  StreamSettings settings;
  ASSERT_TRUE(settings.LoadSettings(AssetPath(kSettingsFileName)));
  ASSERT_GE(settings.m_presetNum, 26);
  const PresetInfo& first = settings.m_presetTable[0];
  EXPECT_EQ(first.w, 640);
  EXPECT_EQ(first.h, 480);
  EXPECT_EQ(first.compression, 0u);
  EXPECT_EQ(first.bit_count, 32);
  EXPECT_EQ(first.frame_time, 333333);
  EXPECT_EQ(first.interlaced, 0);
  EXPECT_NE(first.scroll_x, 0);
  EXPECT_STREQ(first.bmp, "chart.bmp");
  EXPECT_STREQ(first.font, "font.bmp");

  // The last of the format presets (the fault presets follow it).
  const PresetInfo& last = settings.m_presetTable[25];
  EXPECT_EQ(last.w, 1920);
  EXPECT_EQ(last.h, 1080);
  EXPECT_EQ(last.compression, 0u);
  EXPECT_EQ(last.bit_count, 32);
  EXPECT_EQ(last.frame_time, 1000);

  // Full HD at 60 fps in YUY2 and in RGB32, for pacing checks.
  bool yuy2 = false, rgb32 = false;
  for (int i = 0; i < settings.m_presetNum; ++i) {
    const PresetInfo& p = settings.m_presetTable[i];
    if (p.w != 1920 || p.h != 1080 || p.frame_time != 166666 || p.interlaced != 0)
      continue;
    yuy2 = yuy2 || (p.compression == 0x32595559 && p.bit_count == 16);
    rgb32 = rgb32 || (p.compression == 0 && p.bit_count == 32);
  }
  EXPECT_TRUE(yuy2);
  EXPECT_TRUE(rgb32);
}

TEST(ShippedSettings, EveryNamedBitmapIsShippedAndEveryFontSheetIsUsable) {
  StreamSettings settings;
  ASSERT_TRUE(settings.LoadSettings(AssetPath(kSettingsFileName)));
  for (int i = 0; i < settings.m_presetNum; ++i) {
    const PresetInfo& p = settings.m_presetTable[i];
    SCOPED_TRACE(i + 1);
    SourceBitmap bmp;
    int bits = 0;
    ASSERT_GT(std::strlen(p.bmp), 0u);
    EXPECT_TRUE(DecodeAsset(p.bmp, &bmp, &bits)) << p.bmp;
    // A missing font sheet would stop the stream from starting.
    ASSERT_GT(std::strlen(p.font), 0u);
    ASSERT_TRUE(DecodeAsset(p.font, &bmp, &bits)) << p.font;
    // The long status line (about 48 characters from 482 pixels up, the short
    // one about 30) fits the width, so no label is cut off at the left.
    const int cell = bmp.width / 32;
    const int statusChars = p.w > 480 ? 48 : 29;
    EXPECT_LE(statusChars * cell, p.w) << p.font;
  }
}

}  // namespace
