// Which damage zd-analyse names for an MJPG packet: a JPEG made here by
// libjpeg-turbo with its standard tables, damaged here by hand (the test's
// own byte surgery), each kind alone; and how the analysis counts damaged
// frames: neither missing nor unreadable, placed by their neighbours.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <vector>

#include "tools/analyse/read/jpeg_damage.h"
#include "tools/analyse/sequence/stream_analysis.h"

namespace zdanalyse {
namespace {

using Bytes = std::vector<uint8_t>;

// A 64 x 48 grey picture of diagonal stripes as a JPEG at quality 85.
Bytes MakeJpeg() {
  std::vector<uint8_t> grey(64 * 48);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x)
      grey[size_t(y) * 64 + size_t(x)] = uint8_t((x + 2 * y) * 7);
  tjhandle tj = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  Bytes jpeg;
  if (tjCompress2(tj, grey.data(), 64, 64, 48, TJPF_GRAY, &out, &size, TJSAMP_GRAY, 85, 0) == 0)
    jpeg.assign(out, out + size);
  tjFree(out);
  tjDestroy(tj);
  return jpeg;
}

// The offset of the first segment with this marker, by walking the lengths.
size_t Segment(const Bytes& j, uint8_t marker) {
  for (size_t at = 2; at + 4 <= j.size(); at += 2 + size_t(j[at + 2] << 8 | j[at + 3]))
    if (j[at + 1] == marker)
      return at;
  return 0;
}

TEST(JpegDamage, EachKindOfDamageIsNamed) {
  const Bytes whole = MakeJpeg();
  ASSERT_GT(whole.size(), 400u);
  ASSERT_NE(Segment(whole, 0xC4), 0u) << "libjpeg-turbo writes its tables";
  const size_t scan = Segment(whole, 0xDA);
  const size_t data = scan + 2 + size_t(whole[scan + 2] << 8 | whole[scan + 3]);
  struct Case {
    const char* what;
    Bytes bytes;
    FrameDamage expected;
  };
  Bytes noTables = whole;
  for (size_t at; (at = Segment(noTables, 0xC4)) != 0;)
    noTables.erase(
        noTables.begin() + long(at),
        noTables.begin() + long(at + 2 + size_t(noTables[at + 2] << 8 | noTables[at + 3])));
  Bytes corrupt = whole;
  for (size_t i = 0; i < 12; i += 2) {
    const size_t at = data + (whole.size() - 2 - data) / 2 + i;
    corrupt[at] = 0xFF;
    corrupt[at + 1] = 0x00;
  }
  Bytes trailing = whole;
  trailing.insert(trailing.end(), {'j', 'u', 'n', 'k'});
  const Case cases[] = {
      {"whole", whole, FrameDamage::kNone},
      {"empty", {}, FrameDamage::kEmpty},
      {"cut in the headers", Bytes(whole.begin(), whole.begin() + 100), FrameDamage::kTruncated},
      {"cut in the scan", Bytes(whole.begin(), whole.begin() + long(data + 40)),
       FrameDamage::kTruncated},
      {"no end marker", Bytes(whole.begin(), whole.end() - 2), FrameDamage::kNoEndMarker},
      {"no tables", noTables, FrameDamage::kNoTables},
      {"48 one bits in the scan", corrupt, FrameDamage::kCorruptData},
      {"junk after the end", trailing, FrameDamage::kTrailingBytes},
      {"no start marker", Bytes(whole.begin() + 2, whole.end()), FrameDamage::kCorruptData},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_STREQ(DamageName(InspectJpeg(c.bytes.data(), c.bytes.size())), DamageName(c.expected));
  }
}

// "0 1 d2 d 4 5": d2 a damaged frame whose code read, d one whose did not.
TEST(JpegDamage, DamagedFramesAreNeitherMissingNorUnreadable) {
  std::vector<FrameRecord> records;
  const int numbers[] = {0, 1, 2, -1, 4, 5};
  for (int i = 0; i < 6; ++i) {
    FrameRecord r;
    r.index = i;
    r.readable = numbers[i] >= 0;
    r.frame = uint32_t(numbers[i] >= 0 ? numbers[i] : 0);
    r.confidence = 1.0;
    r.damage = i == 2   ? FrameDamage::kTruncated
               : i == 3 ? FrameDamage::kNoTables
                        : FrameDamage::kNone;
    records.push_back(r);
  }
  SourceInfo source;
  const AnalysisResult r = Analyse(records, source, IdentitySource::kFrameCode, Thresholds{});
  EXPECT_EQ(r.missing, 0);
  EXPECT_EQ(r.unreadable, 0);
  EXPECT_EQ(r.damaged, 2);
  ASSERT_EQ(r.damagedFrames.size(), 2u);
  EXPECT_TRUE(r.damagedFrames[0].hasFrame);
  EXPECT_EQ(r.damagedFrames[0].frame, 2u);
  EXPECT_FALSE(r.damagedFrames[1].hasFrame);
  EXPECT_EQ(r.damagedFrames[1].after, 2u);
  EXPECT_EQ(r.damagedFrames[1].before, 4u);
  EXPECT_EQ(r.events[2], FrameEvent::kDamaged);
  EXPECT_EQ(r.events[3], FrameEvent::kDamaged);
  EXPECT_EQ(r.anomalies.size(), 1u) << "damaged frames are an anomaly of their own";
}

}  // namespace
}  // namespace zdanalyse
