// Damaged bitmap files: the decoder refuses them or gives a complete pixel
// grid, and never reads outside the file (the sanitizer build checks every
// read against the exact size of the file's bytes).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/source_bitmap.h"
#include "tests/core/data/bmp_layouts.h"
#include "tests/robustness/mutator.h"

namespace {

using zdrobust::Rng;

// The file's bytes in a heap block of exactly their size, so that a read one
// byte past the end is caught.
bool DecodeExact(const std::vector<uint8_t>& file, SourceBitmap* out) {
  std::unique_ptr<uint8_t[]> exact(new uint8_t[file.size()]);
  if (!file.empty())
    std::memcpy(exact.get(), file.data(), file.size());
  return DecodeBmp(exact.get(), file.size(), out);
}

// A result that was left half filled in, to see that a refusal empties it.
SourceBitmap Stale() {
  SourceBitmap stale;
  stale.width = 7;
  stale.height = 9;
  stale.bgr.assign(7 * 9 * 3, 0x5A);
  return stale;
}

// Either refused with the result emptied, or a grid whose pixels are all there.
::testing::AssertionResult Consistent(bool accepted, const SourceBitmap& out) {
  if (!accepted) {
    if (out.width == 0 && out.height == 0 && out.bgr.empty())
      return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "refused, but the result holds " << out.width << "x"
                                         << out.height << " and " << out.bgr.size() << " bytes";
  }
  if (out.width < 1 || out.width > kMaxSourceBitmapSide || out.height < 1 ||
      out.height > kMaxSourceBitmapSide) {
    return ::testing::AssertionFailure() << "accepted with size " << out.width << "x" << out.height;
  }
  if (out.bgr.size() != size_t(out.width) * size_t(out.height) * 3) {
    return ::testing::AssertionFailure() << "accepted " << out.width << "x" << out.height
                                         << " with " << out.bgr.size() << " pixel bytes";
  }
  return ::testing::AssertionSuccess();
}

// Valid files of every accepted kind: the starting points of the mutations.
const std::vector<std::vector<uint8_t>>& SeedFiles() {
  static const std::vector<std::vector<uint8_t>> files = [] {
    const BmpLayout layouts[] = {
        Layout(1, 1, 24, false),        Layout(5, 3, 24, false),
        Layout(5, 3, 24, true),         Layout(4, 4, 32, false),
        Layout(3, 5, 32, true),         Layout(2, 2, 32, false, 40, 3),
        Layout(6, 4, 32, true, 124, 3), Layout(7, 5, 24, false, 108),
        Layout(3, 2, 24, true, 124),    Layout(9, 2, 24, false, 52),
        Layout(2, 9, 32, false, 56),    Layout(3, 3, 24, false, 12),
        Layout(33, 16, 24, false),      Layout(1, 7, 32, true),
        Layout(13, 1, 24, false, 12),
    };
    std::vector<std::vector<uint8_t>> out;
    for (const BmpLayout& layout : layouts)
      out.push_back(MakeBmp(layout));
    return out;
  }();
  return files;
}

TEST(BmpRobustness, EverySeedFileIsAcceptedAsItIs) {
  // Guards the fuzzing below: mutations must start from files that load.
  for (size_t i = 0; i < SeedFiles().size(); ++i) {
    SourceBitmap out;
    EXPECT_TRUE(DecodeExact(SeedFiles()[i], &out)) << "seed file " << i;
  }
}

TEST(BmpRobustness, EveryTruncationOfAValidFileIsRefused) {
  for (size_t i = 0; i < SeedFiles().size(); ++i) {
    const std::vector<uint8_t>& file = SeedFiles()[i];
    for (size_t cut = 0; cut < file.size(); ++cut) {
      const std::vector<uint8_t> prefix(file.begin(), file.begin() + ptrdiff_t(cut));
      SourceBitmap out = Stale();
      const bool accepted = DecodeExact(prefix, &out);
      EXPECT_FALSE(accepted) << "seed file " << i << " cut to " << cut << " bytes";
      EXPECT_TRUE(Consistent(accepted, out));
    }
  }
}

struct FieldRewrite {
  const char* name;
  size_t offset;
  size_t width;  // bytes
  uint32_t value;
  bool accepted;
  int32_t width_px;  // when accepted
  int32_t height_px;
};

// Each rewrite of one field of the original file is refused or gives the
// listed size; a field outside the file header's offset and the info header's
// sizes (bytes 10 to 33) leaves the pixels as they were.
void ExpectRewritesRefusedOrHarmless(const std::vector<uint8_t>& original,
                                     const std::vector<FieldRewrite>& cases) {
  SourceBitmap reference;
  ASSERT_TRUE(DecodeExact(original, &reference));
  for (const FieldRewrite& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> file = original;
    zdrobust::PutLe(file, c.offset, c.value, c.width);
    SourceBitmap out = Stale();
    const bool accepted = DecodeExact(file, &out);
    EXPECT_TRUE(Consistent(accepted, out));
    ASSERT_EQ(accepted, c.accepted);
    if (!accepted)
      continue;
    EXPECT_EQ(out.width, c.width_px);
    EXPECT_EQ(out.height, c.height_px);
    const bool sizeField = c.offset >= 10 && c.offset < 34;
    if (!sizeField) {
      EXPECT_EQ(out.bgr, reference.bgr) << "a field the pixels do not depend on changed them";
    }
  }
}

// Header fields of a 5 x 3 24-bit file with the 40-byte header (pixels at 54,
// 48 bytes of them, 102 bytes in all) set to values that break size and offset
// arithmetic. Fields the pixels do not depend on change nothing.
TEST(BmpRobustness, HeaderFieldsWithExtremeValuesAreRefusedOrHarmless) {
  const std::vector<FieldRewrite> cases = {
      {"width 0", 18, 4, 0u, false, 0, 0},
      {"width -1", 18, 4, 0xFFFFFFFFu, false, 0, 0},
      {"width INT32_MIN", 18, 4, 0x80000000u, false, 0, 0},
      {"width INT32_MAX", 18, 4, 0x7FFFFFFFu, false, 0, 0},
      {"width 16385", 18, 4, 16385u, false, 0, 0},
      {"width 16384, rows missing", 18, 4, 16384u, false, 0, 0},
      {"width 6, rows missing", 18, 4, 6u, false, 0, 0},
      {"width 4 reads less than is there", 18, 4, 4u, true, 4, 3},
      {"height 0", 22, 4, 0u, false, 0, 0},
      {"height 4, a row missing", 22, 4, 4u, false, 0, 0},
      {"height INT32_MIN", 22, 4, 0x80000000u, false, 0, 0},
      {"height INT32_MAX", 22, 4, 0x7FFFFFFFu, false, 0, 0},
      {"height -16385", 22, 4, uint32_t(-16385), false, 0, 0},
      {"height -1: one row, top-down", 22, 4, 0xFFFFFFFFu, true, 5, 1},
      {"height -3: top-down", 22, 4, uint32_t(-3), true, 5, 3},
      {"planes 0", 26, 2, 0u, false, 0, 0},
      {"planes 2", 26, 2, 2u, false, 0, 0},
      {"planes 0xFFFF", 26, 2, 0xFFFFu, false, 0, 0},
      {"bit count 0", 28, 2, 0u, false, 0, 0},
      {"bit count 1", 28, 2, 1u, false, 0, 0},
      {"bit count 8", 28, 2, 8u, false, 0, 0},
      {"bit count 16", 28, 2, 16u, false, 0, 0},
      {"bit count 32, rows missing", 28, 2, 32u, false, 0, 0},
      {"bit count 48", 28, 2, 48u, false, 0, 0},
      {"bit count 0xFFFF", 28, 2, 0xFFFFu, false, 0, 0},
      {"compression RLE8", 30, 4, 1u, false, 0, 0},
      {"compression bit fields on 24 bits", 30, 4, 3u, false, 0, 0},
      {"compression 0xFFFFFFFF", 30, 4, 0xFFFFFFFFu, false, 0, 0},
      {"pixel offset 0", 10, 4, 0u, false, 0, 0},
      {"pixel offset inside the header", 10, 4, 53u, false, 0, 0},
      {"pixel offset one past, last row short", 10, 4, 55u, false, 0, 0},
      {"pixel offset at the end", 10, 4, 102u, false, 0, 0},
      {"pixel offset past the end", 10, 4, 103u, false, 0, 0},
      {"pixel offset 0x7FFFFFFF", 10, 4, 0x7FFFFFFFu, false, 0, 0},
      {"pixel offset 0xFFFFFFFF", 10, 4, 0xFFFFFFFFu, false, 0, 0},
      {"header size 0", 14, 4, 0u, false, 0, 0},
      {"header size 11", 14, 4, 11u, false, 0, 0},
      {"header size 39", 14, 4, 39u, false, 0, 0},
      {"header size 41", 14, 4, 41u, false, 0, 0},
      {"header size 52 runs into the pixels", 14, 4, 52u, false, 0, 0},
      {"header size 124 runs past the end", 14, 4, 124u, false, 0, 0},
      {"header size 0xFFFFFFFF", 14, 4, 0xFFFFFFFFu, false, 0, 0},
      {"header size 0x80000000", 14, 4, 0x80000000u, false, 0, 0},
      {"header size 12: a core header of height 0", 14, 4, 12u, false, 0, 0},
      {"file size 0", 2, 4, 0u, true, 5, 3},
      {"file size 0xFFFFFFFF", 2, 4, 0xFFFFFFFFu, true, 5, 3},
      {"image size 0", 34, 4, 0u, true, 5, 3},
      {"image size 0xFFFFFFFF", 34, 4, 0xFFFFFFFFu, true, 5, 3},
      {"image size INT32_MIN", 34, 4, 0x80000000u, true, 5, 3},
      {"resolution 0xFFFFFFFF", 38, 4, 0xFFFFFFFFu, true, 5, 3},
      {"colours used 0xFFFFFFFF", 46, 4, 0xFFFFFFFFu, true, 5, 3},
      {"important colours 0xFFFFFFFF", 50, 4, 0xFFFFFFFFu, true, 5, 3},
  };
  const std::vector<uint8_t> original = MakeBmp(Layout(5, 3, 24, false));
  ASSERT_EQ(original.size(), 102u);
  ExpectRewritesRefusedOrHarmless(original, cases);
}

// The 12-byte core header has 16-bit sizes, and only 24-bit pixels.
TEST(BmpRobustness, CoreHeaderFieldsWithExtremeValuesAreRefused) {
  const std::vector<FieldRewrite> cases = {
      {"width 0", 18, 2, 0u, false, 0, 0},
      {"width 0xFFFF", 18, 2, 0xFFFFu, false, 0, 0},
      {"width 0x8000", 18, 2, 0x8000u, false, 0, 0},
      {"height 0", 20, 2, 0u, false, 0, 0},
      {"height 0xFFFF", 20, 2, 0xFFFFu, false, 0, 0},
      {"height 4, a row missing", 20, 2, 4u, false, 0, 0},
      {"planes 0", 22, 2, 0u, false, 0, 0},
      {"bit count 32", 24, 2, 32u, false, 0, 0},
      {"bit count 8", 24, 2, 8u, false, 0, 0},
      {"pixel offset before the header's end", 10, 4, 25u, false, 0, 0},
      {"height 2 reads less than is there", 20, 2, 2u, true, 3, 2},
  };
  ExpectRewritesRefusedOrHarmless(MakeBmp(Layout(3, 3, 24, false, 12)), cases);
}

TEST(BmpRobustness, NoBytesOrNoResultIsRefused) {
  const std::vector<uint8_t>& file = SeedFiles()[1];
  SourceBitmap out = Stale();
  EXPECT_FALSE(DecodeBmp(nullptr, file.size(), &out));
  EXPECT_TRUE(Consistent(false, out));
  EXPECT_FALSE(DecodeBmp(file.data(), file.size(), nullptr));
  EXPECT_FALSE(DecodeExact({}, &out));
}

// Offsets of the header fields of the info header (and of the masks after it),
// with their widths: where a rewrite reaches the decoder's arithmetic.
struct Field {
  size_t offset;
  size_t width;
};
constexpr Field kHeaderFields[] = {
    {2, 4},  {10, 4}, {14, 4}, {18, 4}, {22, 4}, {26, 2}, {28, 2}, {30, 4},
    {34, 4}, {54, 4}, {58, 4}, {62, 4}, {18, 2}, {20, 2}, {22, 2}, {24, 2},
};

TEST(BmpRobustness, RandomlyDamagedFilesAreRefusedOrGiveACompletePixelGrid) {
  const zdrobust::SeededRounds rounds(0xB3F1, 20000);
  uint32_t accepted_count = 0;
  for (uint32_t i = 0; i < rounds.Count(); ++i) {
    Rng rng = rounds.RngOf(i);
    std::vector<uint8_t> file = rng.Pick(SeedFiles());
    // Half the time aim at the header fields first, where sizes and offsets live.
    if (rng.OneIn(2)) {
      for (uint64_t n = 1 + rng.Below(3); n > 0; --n) {
        const Field& field = rng.Pick(kHeaderFields);
        const uint32_t value =
            rng.OneIn(3) ? uint32_t(rng.Next()) : rng.Pick(zdrobust::kExtremeWords);
        zdrobust::PutLe(file, field.offset, value, field.width);
      }
    }
    if (rng.OneIn(2))
      zdrobust::Mutate(file, rng, 4);
    SourceBitmap out = Stale();
    const bool accepted = DecodeExact(file, &out);
    ASSERT_TRUE(Consistent(accepted, out)) << rounds.Describe(i);
    if (accepted)
      ++accepted_count;
  }
  // Many damaged files still load (pixel bytes, ignored fields): the walk
  // reached the pixel copy, not only the header checks.
  EXPECT_GT(accepted_count, rounds.Count() / 20);
}

TEST(BmpRobustness, ChangedPixelBytesNeverChangeWhetherAFileLoads) {
  const zdrobust::SeededRounds rounds(0x91C5, 2000);
  for (uint32_t i = 0; i < rounds.Count(); ++i) {
    Rng rng = rounds.RngOf(i);
    const size_t which = rng.Below(SeedFiles().size());
    std::vector<uint8_t> file = SeedFiles()[which];
    SourceBitmap before;
    ASSERT_TRUE(DecodeExact(file, &before));
    const size_t pixel_offset = size_t(file[10]) | size_t(file[11]) << 8;
    for (uint64_t n = 1 + rng.Below(8); n > 0; --n) {
      file[pixel_offset + rng.Below(file.size() - pixel_offset)] = uint8_t(rng.Next());
    }
    SourceBitmap after;
    ASSERT_TRUE(DecodeExact(file, &after)) << rounds.Describe(i);
    EXPECT_EQ(after.width, before.width);
    EXPECT_EQ(after.height, before.height);
  }
}

TEST(BmpRobustness, RandomBytesBehindABitmapSignatureAreRefusedOrConsistent) {
  const zdrobust::SeededRounds rounds(0x5EED, 5000);
  constexpr uint32_t kHeaderSizes[] = {12, 40, 52, 56, 108, 124};
  for (uint32_t i = 0; i < rounds.Count(); ++i) {
    Rng rng = rounds.RngOf(i);
    std::vector<uint8_t> file(rng.Below(200));
    for (uint8_t& b : file)
      b = uint8_t(rng.Next());
    if (file.size() >= 2) {
      file[0] = 'B';
      file[1] = 'M';
    }
    if (rng.OneIn(2))
      zdrobust::PutLe(file, 14, rng.Pick(kHeaderSizes), 4);
    if (rng.OneIn(2))
      zdrobust::PutLe(file, 10, uint32_t(rng.Below(file.size() + 8)), 4);
    SourceBitmap out = Stale();
    const bool accepted = DecodeExact(file, &out);
    ASSERT_TRUE(Consistent(accepted, out)) << rounds.Describe(i);
  }
}

}  // namespace
