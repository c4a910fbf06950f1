// Sample faults: each damages exactly the frames it names, exactly as the
// fault log says, and leaves every other frame's bytes as a stream without
// it makes them. The JPEG's segments are read back by a scanner of the
// test's own, and libjpeg-turbo's decoder says what a real decoder makes of
// the damage.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <string>
#include <vector>

#include "pattern/fault_schedule.h"
#include "tests/core/support/stream_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;
using zdtest::FakeSample;
using zdtest::StreamFixture;

// The markers of a JPEG in order, SOI to EOI: each header segment is
// skipped by its length, the scan's data by looking for an FF that is
// neither stuffing (FF 00) nor fill; scanning stops at EOI or the end.
std::vector<int> Markers(const Bytes& jpeg) {
  std::vector<int> found;
  size_t at = 0;
  bool inScan = false;
  while (at + 1 < jpeg.size()) {
    if (jpeg[at] != 0xFF || (inScan && (jpeg[at + 1] == 0x00 || jpeg[at + 1] == 0xFF))) {
      at += jpeg[at] == 0xFF ? 2 : 1;
      continue;
    }
    const int marker = jpeg[at + 1];
    found.push_back(marker);
    if (marker == 0xD8 || marker == 0xD9) {
      at += 2;
      if (marker == 0xD9)
        break;
      continue;
    }
    if (at + 3 >= jpeg.size())
      break;
    at += 2 + size_t(jpeg[at + 2] << 8 | jpeg[at + 3]);
    inScan = marker == 0xDA;
  }
  return found;
}

// libjpeg-turbo's verdict on a JPEG: 0 decoded cleanly, 1 decoded with a
// warning, 2 failed; and the grey picture it made.
struct Verdict {
  int result = 2;
  Bytes grey;
};

Verdict DecodeJpeg(const Bytes& jpeg) {
  Verdict v;
  tjhandle tj = tjInitDecompress();
  int w = 0, h = 0, sub = 0, cs = 0;
  if (tj && tjDecompressHeader3(tj, jpeg.data(), jpeg.size(), &w, &h, &sub, &cs) == 0) {
    v.grey.resize(size_t(w) * h);
    if (tjDecompress2(tj, jpeg.data(), jpeg.size(), v.grey.data(), w, w, h, TJPF_GRAY,
                      TJFLAG_ACCURATEDCT) == 0)
      v.result = 0;
    else
      v.result = tjGetErrorCode(tj) == TJERR_WARNING ? 1 : 2;
  }
  if (tj)
    tjDestroy(tj);
  return v;
}

// A stream of a preset with the given faults and no frame code (the code
// would name each stream's start and so differ between two streams).
struct Stream : StreamFixture {
  Stream(uint32_t compression, int bits, const FaultSettings& faults) {
    preset = zdtest::MakePreset(320, 240, compression, bits);
    preset.scroll_x = 3;
    preset.jpeg_quality = 85;
    preset.faults = faults;
    settings.m_frameCode = 0;
    zdtest::SetText(settings.m_faultLog, "faults.txt");
  }
  uint32_t SampleSize() const {
    return compression() == kFourccMJPG ? uint32_t(MjpgWorstCaseBytes(preset.w, preset.h))
                                        : FrameSize();
  }
  uint32_t compression() const { return preset.compression; }
  // The first frames' delivered bytes.
  std::vector<Bytes> Frames(uint32_t count) {
    std::vector<Bytes> frames;
    if (Start() != kS_OK)
      return frames;
    for (uint32_t n = 0; n < count; ++n) {
      FakeSample sample(SampleSize());
      if (FrameAt(40.0 * n, sample) != kS_OK || !sample.GuardIntact())
        return frames;
      frames.emplace_back(sample.memory.begin(), sample.memory.begin() + sample.actualLength);
    }
    producer.OnThreadDestroy();
    return frames;
  }
  std::string Log() const {
    std::string text;
    if (FILE* f = std::fopen((dir.Path() + "/faults.txt").c_str(), "rb")) {
      char buffer[512];
      size_t n;
      while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
      std::fclose(f);
    }
    return text;
  }
};

Bytes Prefix(const Bytes& b, size_t n) {
  return Bytes(b.begin(), b.begin() + std::min(n, b.size()));
}

// SOI, APP0, a DQT for luma and one for chroma, SOF0, four DHT, SOS, EOI.
const std::vector<int> kWholeJpeg = {0xD8, 0xE0, 0xDB, 0xDB, 0xC0, 0xC4,
                                     0xC4, 0xC4, 0xC4, 0xDA, 0xD9};

// Every third frame hit (frames 3 and 6 of 0..7): the JPEG faults, each
// alone, against the same stream without faults.
TEST(SampleFaults, EachJpegFaultDamagesItsFramesAsLoggedAndNothingElse) {
  std::vector<Bytes> clean = Stream(kFourccMJPG, 24, FaultSettings{}).Frames(8);
  ASSERT_EQ(clean.size(), 8u);
  for (const Bytes& f : clean)
    ASSERT_EQ(Markers(f), kWholeJpeg) << "the encoder's own segments";

  struct Case {
    const char* key;
    void (*set)(FaultSettings&);
    // The delivered bytes expected of a hit frame, from its clean twin.
    bool (*expect)(const Bytes& clean, const Bytes& got, std::string* why);
    const char* logKind;
    int verdict;  // libjpeg-turbo's: 0 clean, 1 warning (it never reads past EOI)
  };
  const Case cases[] = {
      {"jpeg_truncate 30%",
       [](FaultSettings& s) {
         s.jpeg_truncate_every = 3;
         s.jpeg_truncate_percent = 30;
       },
       [](const Bytes& c, const Bytes& g, std::string*) {
         return g == Prefix(c, c.size() * 30 / 100) && Markers(g).back() == 0xDA;
       },
       "jpeg_truncate", 1},
      {"jpeg_no_eoi", [](FaultSettings& s) { s.jpeg_no_eoi_every = 3; },
       [](const Bytes& c, const Bytes& g, std::string*) {
         return g == Prefix(c, c.size() - 2) && Markers(g).back() == 0xDA;
       },
       "jpeg_no_eoi", 1},
      {"jpeg_corrupt", [](FaultSettings& s) { s.jpeg_corrupt_every = 3; },
       [](const Bytes& c, const Bytes& g, std::string* why) {
         if (g.size() != c.size() || Markers(g) != kWholeJpeg)
           return false;
         std::vector<size_t> changed;
         for (size_t i = 0; i < g.size(); ++i)
           if (g[i] != c[i])
             changed.push_back(i);
         // At most 12 bytes differ (a byte may already have been FF or 00),
         // all within one run of FF 00 pairs past the middle of the file.
         if (changed.empty() || changed.back() - changed.front() >= 12)
           return false;
         size_t first = changed.front();
         while (g[first] != 0xFF || g[first + 1] != 0x00)
           --first;
         *why = "run at " + std::to_string(first);
         for (size_t i = 0; i < 12; i += 2)
           if (g[first + i] != 0xFF || g[first + i + 1] != 0x00)
             return false;
         return first > c.size() / 2 && c[first - 1] != 0xFF;
       },
       "jpeg_corrupt", 1},
      {"jpeg_no_tables", [](FaultSettings& s) { s.jpeg_no_tables_every = 3; },
       [](const Bytes& c, const Bytes& g, std::string*) {
         // The standard tables are 4 segments of 33, 183, 33 and 183 bytes
         // (marker and length included); without them the same picture.
         const std::vector<int> noTables = {0xD8, 0xE0, 0xDB, 0xDB, 0xC0, 0xDA, 0xD9};
         return g.size() == c.size() - (33 + 183 + 33 + 183) && Markers(g) == noTables &&
                DecodeJpeg(g).grey == DecodeJpeg(c).grey;
       },
       "jpeg_no_tables", 0},
      {"jpeg_trailing", [](FaultSettings& s) { s.jpeg_trailing_every = 3; },
       [](const Bytes& c, const Bytes& g, std::string*) {
         const std::string junk(g.end() - 16, g.end());
         return Prefix(g, c.size()) == c && g.size() == c.size() + 16 && junk == "ZD junk after EI";
       },
       "jpeg_trailing", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    FaultSettings faults{};
    c.set(faults);
    Stream stream(kFourccMJPG, 24, faults);
    const std::vector<Bytes> got = stream.Frames(8);
    ASSERT_EQ(got.size(), 8u);
    std::string log;
    for (uint32_t n = 0; n < 8; ++n) {
      SCOPED_TRACE(n);
      if (n % 3 != 0 || n == 0) {
        EXPECT_EQ(got[n], clean[n]);
        continue;
      }
      std::string why;
      EXPECT_TRUE(c.expect(clean[n], got[n], &why)) << why;
      EXPECT_EQ(DecodeJpeg(got[n]).result, c.verdict);
      log += std::to_string(n) + " " + c.logKind + " bytes=" + std::to_string(got[n].size()) +
             " of=" + std::to_string(clean[n].size());
      if (std::string(c.logKind) == "jpeg_corrupt")
        log += " at=" + why.substr(7);
      log += "\r\n";
    }
    EXPECT_EQ(stream.Log(), log);
  }
}

// Empty samples in every format, short ones in the uncompressed formats: the
// kept share of the frame's own bytes; a JPEG fault asked of an
// uncompressed stream and a short sample asked of MJPG do nothing.
TEST(SampleFaults, EmptyAndShortSamplesKeepTheirShareOfTheFrame) {
  struct Case {
    const char* name;
    uint32_t compression;
    int bits;
    void (*set)(FaultSettings&);
    size_t (*keep)(size_t length);  // the bytes frame 4 keeps; SIZE_MAX: untouched
    const char* log;
  };
  const Case cases[] = {
      {"YUY2 short 25%", kFourccYUY2, 16,
       [](FaultSettings& s) {
         s.short_every = 4;
         s.short_percent = 25;
       },
       [](size_t n) { return n / 4; }, "4 short bytes=38400 of=153600\r\n"},
      {"RGB32 empty", kCompressionRgb, 32, [](FaultSettings& s) { s.empty_every = 4; },
       [](size_t) { return size_t(0); }, "4 empty bytes=0 of=307200\r\n"},
      {"NV12 short 1%", kFourccNV12, 12,
       [](FaultSettings& s) {
         s.short_every = 4;
         s.short_percent = 1;
       },
       [](size_t n) { return n / 100; }, "4 short bytes=1152 of=115200\r\n"},
      {"MJPG empty before truncate", kFourccMJPG, 24,
       [](FaultSettings& s) {
         s.empty_every = 4;
         s.jpeg_truncate_every = 4;
         s.jpeg_truncate_percent = 50;
       },
       [](size_t) { return size_t(0); }, nullptr},
      {"YUY2 ignores JPEG faults", kFourccYUY2, 16,
       [](FaultSettings& s) {
         s.jpeg_truncate_every = 4;
         s.jpeg_corrupt_every = 4;
       },
       [](size_t) { return SIZE_MAX; }, ""},
      {"MJPG ignores short", kFourccMJPG, 24, [](FaultSettings& s) { s.short_every = 4; },
       [](size_t) { return SIZE_MAX; }, ""},
      {"a lost frame is not also damaged", kFourccYUY2, 16,
       [](FaultSettings& s) {
         s.loss_every = 4;
         s.empty_every = 4;
       },
       [](size_t) { return SIZE_MAX; }, "4 loss\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FaultSettings faults{};
    c.set(faults);
    const std::vector<Bytes> clean = Stream(c.compression, c.bits, FaultSettings{}).Frames(5);
    Stream stream(c.compression, c.bits, faults);
    const std::vector<Bytes> got = stream.Frames(5);
    ASSERT_EQ(clean.size(), 5u);
    ASSERT_EQ(got.size(), 5u);
    for (uint32_t n = 0; n < 4; ++n)
      EXPECT_EQ(got[n], clean[n]) << "frame " << n;
    const size_t keep = c.keep(clean[4].size());
    EXPECT_EQ(got[4], Prefix(clean[4], keep));
    if (c.log) {
      EXPECT_EQ(stream.Log(), c.log);
    }
  }
}

// The fault log's line of each sample fault, beside the delivery fault.
TEST(SampleFaults, FaultLogNamesTheDamageAndTheLengths) {
  FramePlan plan;
  plan.frame = 12;
  plan.delivery = DeliveryFault::kRepeat;
  plan.sample = SampleFault::kJpegCorrupt;
  plan.sampleBytes = 9000;
  plan.sampleOf = 9000;
  plan.sampleAt = 4711;
  char out[256];
  FormatFaultRecords(out, sizeof out, plan, 0, 0);
  EXPECT_STREQ(out, "12 repeat\r\n12 jpeg_corrupt bytes=9000 of=9000 at=4711\r\n");
  plan.delivery = DeliveryFault::kNone;
  plan.sample = SampleFault::kJpegTruncate;
  plan.sampleBytes = 4500;
  FormatFaultRecords(out, sizeof out, plan, 0, 0);
  EXPECT_STREQ(out, "12 jpeg_truncate bytes=4500 of=9000\r\n");
}

}  // namespace
