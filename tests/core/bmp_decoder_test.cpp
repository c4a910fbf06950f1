// Source bitmaps: which BMP files load, and the pixel grid they give.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/module_path.h"
#include "platform/source_bitmap.h"
#include "tests/core/data/bmp_layouts.h"
#include "tests/core/data/temp_files.h"

namespace {

struct AcceptedCase {
  const char* name;
  BmpLayout layout;
};

const std::vector<AcceptedCase>& AcceptedCases() {
  static const std::vector<AcceptedCase> cases = {
      {"1x1 24-bit", Layout(1, 1, 24, false)},
      {"1x1 32-bit", Layout(1, 1, 32, false)},
      {"3x2 24-bit, rows padded by 3 bytes", Layout(3, 2, 24, false)},
      {"3x2 24-bit top-down", Layout(3, 2, 24, true)},
      {"5x3 32-bit", Layout(5, 3, 32, false)},
      {"5x3 32-bit top-down", Layout(5, 3, 32, true)},
      {"2x2 32-bit bit fields", Layout(2, 2, 32, false, 40, 3)},
      {"6x4 32-bit bit fields, version 5 header", Layout(6, 4, 32, true, 124, 3)},
      {"7x5 24-bit, version 4 header", Layout(7, 5, 24, false, 108)},
      {"7x5 24-bit, version 5 header, top-down", Layout(7, 5, 24, true, 124)},
      {"3x3 24-bit, core header", Layout(3, 3, 24, false, 12)},
      {"1x7 24-bit", Layout(1, 7, 24, false)},
      {"33x16 24-bit", Layout(33, 16, 24, false)},
      {"widest accepted, 16384x1", Layout(16384, 1, 24, false)},
  };
  return cases;
}

// Every pixel must carry the colour the file was written with, bottom row first.
void ExpectPixelGrid(const SourceBitmap& bitmap, const BmpLayout& layout) {
  ASSERT_EQ(bitmap.width, layout.width);
  ASSERT_EQ(bitmap.height, layout.height);
  ASSERT_EQ(bitmap.bgr.size(), size_t(layout.width) * size_t(layout.height) * 3);
  for (int32_t y = 0; y < layout.height; ++y) {
    const uint8_t* row = bitmap.Row(y);
    for (int32_t x = 0; x < layout.width; ++x) {
      const Bgr want = PixelColour(x, y);
      ASSERT_EQ(row[x * 3 + 0], want.b) << "blue at " << x << "," << y;
      ASSERT_EQ(row[x * 3 + 1], want.g) << "green at " << x << "," << y;
      ASSERT_EQ(row[x * 3 + 2], want.r) << "red at " << x << "," << y;
    }
  }
}

TEST(SourceBitmap, TwentyFourAndThirtyTwoBitFilesGiveTheirPixelsBottomRowFirst) {
  for (const AcceptedCase& c : AcceptedCases()) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> file = MakeBmp(c.layout);
    SourceBitmap bitmap;
    ASSERT_TRUE(DecodeBmp(file.data(), file.size(), &bitmap));
    ExpectPixelGrid(bitmap, c.layout);
  }
}

TEST(SourceBitmap, FilesLoadFromDiskWithTheSamePixels) {
  TempFolder folder;
  for (const AcceptedCase& c : AcceptedCases()) {
    SCOPED_TRACE(c.name);
    const std::string path = folder.Write("image.bmp", MakeBmp(c.layout));
    SourceBitmap bitmap;
    ASSERT_TRUE(LoadSourceBitmap(path, &bitmap));
    ExpectPixelGrid(bitmap, c.layout);
  }
}

TEST(SourceBitmap, UnsupportedOrDamagedFilesAreRefusedAndLeaveNoImage) {
  struct Case {
    const char* name;
    BmpLayout layout;
  };
  auto with = [](BmpLayout layout, auto change) {
    change(layout);
    return layout;
  };
  const BmpLayout good = Layout(4, 3, 24, false);
  const std::vector<Case> cases = {
      {"1-bit palette", Layout(8, 2, 1, false)},
      {"4-bit palette", Layout(8, 2, 4, false)},
      {"8-bit palette", Layout(4, 3, 8, false)},
      {"8-bit run-length", Layout(4, 3, 8, false, 40, 1)},
      {"16-bit", Layout(4, 3, 16, false)},
      {"16-bit bit fields", Layout(4, 3, 16, false, 40, 3)},
      {"24-bit marked as bit fields", Layout(4, 3, 24, false, 40, 3)},
      {"32-bit as JPEG", Layout(4, 3, 32, false, 40, 4)},
      {"32-bit with R, G, B masks in the wrong byte order", with(Layout(4, 3, 32, false, 40, 3),
                                                                 [](BmpLayout& s) {
                                                                   s.masks[0] = 0xFF;
                                                                   s.masks[2] = 0xFF0000;
                                                                 })},
      {"core header, 8-bit", Layout(4, 3, 8, false, 12)},
      {"unknown header size", with(good, [](BmpLayout& s) { s.headerSize = 20; })},
      {"two planes", with(good, [](BmpLayout& s) { s.planes = 2; })},
      {"zero width", with(good, [](BmpLayout& s) { s.widthField = 0; })},
      {"negative width", with(good, [](BmpLayout& s) { s.widthField = -4; })},
      {"zero height", with(good, [](BmpLayout& s) { s.heightField = 0; })},
      {"most negative height", with(good, [](BmpLayout& s) { s.heightField = INT32_MIN; })},
      {"too wide, 16385", Layout(16385, 1, 24, false)},
      {"absurd size that overflows 32-bit sizes",
       with(good, [](BmpLayout& s) { s.widthField = 0x7FFFFFFF, s.heightField = 0x7FFFFFFF; })},
      {"last row one byte short", with(good, [](BmpLayout& s) { s.cutBytes = 1; })},
      {"no pixels at all", with(good, [](BmpLayout& s) { s.cutBytes = 3 * 12; })},
      {"header cut short", with(good, [](BmpLayout& s) { s.cutBytes = 3 * 12 + 20; })},
      {"pixel offset past the end", with(good, [](BmpLayout& s) { s.pixelOffsetDelta = 1000; })},
      {"pixel offset inside the header",
       with(good, [](BmpLayout& s) { s.pixelOffsetDelta = -30; })},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> file = MakeBmp(c.layout);
    SourceBitmap bitmap;
    bitmap.width = 9;
    bitmap.height = 9;
    bitmap.bgr.assign(9 * 9 * 3, 1);
    EXPECT_FALSE(DecodeBmp(file.data(), file.size(), &bitmap));
    EXPECT_EQ(bitmap.width, 0);
    EXPECT_EQ(bitmap.height, 0);
    EXPECT_TRUE(bitmap.bgr.empty());
  }
}

TEST(SourceBitmap, NonBmpBytesAreRefused) {
  const std::vector<std::string> inputs = {
      "", "B", "BM", "PNG\r\n\x1a\n not a bitmap at all, but long enough to hold headers ....",
      std::string(64, '\0')};
  for (const std::string& input : inputs) {
    SourceBitmap bitmap;
    EXPECT_FALSE(DecodeBmp(reinterpret_cast<const uint8_t*>(input.data()), input.size(), &bitmap));
  }
  SourceBitmap bitmap;
  EXPECT_FALSE(DecodeBmp(nullptr, 100, &bitmap));
  const std::vector<uint8_t> file = MakeBmp(Layout(2, 2, 24, false));
  EXPECT_FALSE(DecodeBmp(file.data(), file.size(), nullptr));
}

TEST(SourceBitmap, MissingFilesAndOverlongPathsAreFailedLoads) {
  TempFolder folder;
  SourceBitmap bitmap;
  EXPECT_FALSE(LoadSourceBitmap(folder.PathOf("missing.bmp"), &bitmap));
  EXPECT_FALSE(LoadSourceBitmap("", &bitmap));
  EXPECT_FALSE(LoadSourceBitmap(folder.Path(), &bitmap));  // a folder, not a file

  // A real image whose path is 260 characters or more is not loaded.
  const std::string good = folder.Write("good.bmp", MakeBmp(Layout(2, 2, 24, false)));
  ASSERT_TRUE(LoadSourceBitmap(good, &bitmap));
  const std::string longName = std::string(kMaxPathChars + 1 - folder.Path().size(), 'x') + ".bmp";
  const std::string longPath = folder.PathOf(longName);
  ASSERT_GT(longPath.size(), kMaxPathChars);
  folder.Write(longName, MakeBmp(Layout(2, 2, 24, false)));
  std::error_code error;
  if (!std::filesystem::exists(longPath, error))
    GTEST_SKIP() << "no paths this long here";
  EXPECT_FALSE(LoadSourceBitmap(longPath, &bitmap));
  EXPECT_TRUE(bitmap.bgr.empty());
}

}  // namespace
