// The Windows loader (LoadImageW and GetObjectW) and our BMP decoder agree on
// which files load and on every pixel of those that do.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/source_bitmap.h"
#include "tests/core/data/bmp_layouts.h"
#include "tests/core/data/temp_files.h"

namespace {

struct BmpCase {
  const char* name;
  BmpLayout layout;
};

std::vector<BmpCase> Corpus() {
  const BmpLayout good = Layout(5, 3, 24);
  return {
      {"1x1 24-bit", Layout(1, 1, 24)},
      {"1x1 32-bit", Layout(1, 1, 32)},
      {"1x1 24-bit top-down", Layout(1, 1, 24, true)},
      {"odd widths needing padding: 1", Layout(1, 4, 24)},
      {"odd widths needing padding: 2", Layout(2, 4, 24)},
      {"odd widths needing padding: 3", Layout(3, 4, 24)},
      {"odd widths needing padding: 5", Layout(5, 4, 24)},
      {"odd widths needing padding: 7, top-down", Layout(7, 4, 24, true)},
      {"wide 24-bit", Layout(333, 5, 24)},
      {"32-bit", Layout(6, 5, 32)},
      {"32-bit top-down", Layout(6, 5, 32, true)},
      {"32-bit bit fields", Layout(6, 5, 32, false, 40, 3)},
      {"32-bit bit fields, version 4 header", Layout(6, 5, 32, false, 108, 3)},
      {"32-bit bit fields, version 5 header, top-down", Layout(6, 5, 32, true, 124, 3)},
      {"24-bit, version 4 header", Layout(7, 3, 24, false, 108)},
      {"24-bit, version 5 header", Layout(7, 3, 24, false, 124)},
      {"24-bit, core header", Layout(7, 3, 24, false, 12)},
      {"font sheet sized 24-bit", Layout(256, 128, 24)},
      {"1-bit palette", Layout(8, 2, 1)},
      {"4-bit palette", Layout(8, 2, 4)},
      {"8-bit palette", Layout(4, 3, 8)},
      {"8-bit, core header", Layout(4, 3, 8, false, 12)},
      {"16-bit", Layout(4, 3, 16)},
      {"16-bit bit fields", Layout(4, 3, 16, false, 40, 3)},
      {"32-bit as JPEG", Layout(4, 3, 32, false, 40, 4)},
      {"unknown header size", With(good, [](BmpLayout& s) { s.headerSize = 20; })},
      {"zero width", With(good, [](BmpLayout& s) { s.widthField = 0; })},
      {"negative width", With(good, [](BmpLayout& s) { s.widthField = -5; })},
      {"zero height", With(good, [](BmpLayout& s) { s.heightField = 0; })},
      {"absurd size",
       With(good, [](BmpLayout& s) { s.widthField = 0x7FFFFFFF, s.heightField = 0x7FFFFFFF; })},
      {"too wide for us, 16385", Layout(16385, 1, 24)},
      {"header cut short", With(good, [](BmpLayout& s) { s.cutBytes = 3 * 16 + 20; })},
      {"two planes", With(good, [](BmpLayout& s) { s.planes = 2; })},
      {"last row one byte short", With(good, [](BmpLayout& s) { s.cutBytes = 1; })},
      {"no pixels at all", With(good, [](BmpLayout& s) { s.cutBytes = 3 * 16; })},
      {"pixel offset past the end", With(good, [](BmpLayout& s) { s.pixelOffsetDelta = 1000; })},
      {"pixel offset inside the header",
       With(good, [](BmpLayout& s) { s.pixelOffsetDelta = -30; })},
      {"32-bit with R, G, B masks in the wrong byte order", With(Layout(4, 3, 32, false, 40, 3),
                                                                 [](BmpLayout& s) {
                                                                   s.masks[0] = 0xFF;
                                                                   s.masks[2] = 0xFF0000;
                                                                 })},
      {"not a bitmap", With(good, [](BmpLayout& s) { s.headerSize = 0; })},
  };
}

TEST(BmpEquivalence, BothBuildsLoadExactlyTheSameFilesWithTheSamePixels) {
  TempFolder folder;
  int accepted = 0;
  for (const BmpCase& c : Corpus()) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> bytes = MakeBmp(c.layout);
    const std::string path = folder.Write("corpus.bmp", bytes);
    SourceBitmap windows;
    SourceBitmap ours;
    const bool windowsLoaded = LoadSourceBitmap(path, &windows);
    const bool oursLoaded = DecodeBmp(bytes.data(), bytes.size(), &ours);
    ASSERT_EQ(windowsLoaded, oursLoaded);
    if (!oursLoaded)
      continue;
    ++accepted;
    ASSERT_EQ(windows.width, ours.width);
    ASSERT_EQ(windows.height, ours.height);
    EXPECT_TRUE(windows.bgr == ours.bgr);
  }
  EXPECT_GE(accepted, 18);
}

bool IsBlank(const SourceBitmap& bitmap) {
  for (uint8_t byte : bitmap.bgr) {
    if (byte != 0)
      return false;
  }
  return true;
}

// The system loader alone, on every file our decoder takes: the same pixels.
// Top-down files may come back blank from it (LoadSourceBitmap then uses our
// decoder). Files that we refuse are not judged here: the system loader takes
// several damaged ones (pixel data cut short, offsets past the end or into the
// header, a file ending inside its header, a JPEG mark on raw pixels, 32-bit
// masks in another byte order), which is why LoadSourceBitmap checks first.
TEST(BmpEquivalence, SystemLoaderGivesOurPixelsForEveryFileWeTake) {
  TempFolder folder;
  int compared = 0;
  for (const BmpCase& c : Corpus()) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> bytes = MakeBmp(c.layout);
    SourceBitmap ours;
    if (!DecodeBmp(bytes.data(), bytes.size(), &ours))
      continue;
    const std::string path = folder.Write("corpus.bmp", bytes);
    SourceBitmap system;
    ASSERT_TRUE(LoadBmpFileWithSystemLoader(path, &system));
    ASSERT_EQ(system.width, ours.width);
    ASSERT_EQ(system.height, ours.height);
    if (c.layout.topDown && IsBlank(system))
      continue;
    ++compared;
    EXPECT_TRUE(system.bgr == ours.bgr);
  }
  EXPECT_GE(compared, 12);
}

}  // namespace
