// The frame code: what a frame's block says, read back through the one
// decoder in every format; what damage does to it; what frames without it
// look like.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <vector>

#include "pattern/frame_code_reader.h"
#include "tests/core/support/stream_fixture.h"

namespace zdtest {
namespace {

struct FormatCase {
  const char* name;
  uint32_t compression;
  int32_t bitCount;
};

const FormatCase kFormats[] = {
    {"RGB32", kCompressionRgb, 32}, {"RGB24", kCompressionRgb, 24}, {"YUY2", kFourccYUY2, 16},
    {"YVYU", kFourccYVYU, 16},      {"UYVY", kFourccUYVY, 16},      {"HDYC", kFourccHDYC, 16},
};

LumaPlane LumaOf(const FakeSample& sample, const PresetInfo& p) {
  return LumaOfFrame(sample.memory.data(), sample.size, sample.size / uint32_t(p.h), p.w, p.h,
                     p.compression, p.bit_count);
}

// A frame's luma as a packed grey picture of its own, to damage.
std::vector<uint8_t> GreyCopy(const LumaPlane& frame) {
  std::vector<uint8_t> grey(size_t(frame.width) * size_t(frame.height));
  for (int32_t y = 0; y < frame.height; ++y)
    for (int32_t x = 0; x < frame.width; ++x)
      grey[size_t(y) * size_t(frame.width) + size_t(x)] =
          frame.data[y * frame.row_step + x * frame.sample_step];
  return grey;
}

// A plane over a grey picture of the frame's size.
LumaPlane PlaneOver(const std::vector<uint8_t>& grey, const LumaPlane& frame) {
  LumaPlane plane;
  plane.data = grey.data();
  plane.row_step = frame.width;
  plane.width = frame.width;
  plane.height = frame.height;
  return plane;
}

// A coded stream of the given size and format, started with capability 5.
struct CodedStream : StreamFixture {
  CodedStream(int32_t w, int32_t h, const FormatCase& f, int32_t interlaced = 0) {
    preset = MakePreset(w, h, f.compression, f.bitCount);
    preset.interlaced = interlaced;
    settings.m_frameCode = 1;
  }
  HResultCode Start(int32_t capability = 5) {
    const HResultCode hr = producer.OnThreadCreate(host, preset, settings, dir.Path(), capability);
    startTicks = host.now;
    return hr;
  }
};

TEST(FrameCodeLayout, TheWorkedExampleGivesTheDocumentedBytes) {
  // CRC-32 check value of the zlib CRC.
  const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(FrameCodeCrc32(check, sizeof check), 0xCBF43926u);

  // docs/frame-code.md's example: capability 16, stream 0x1234ABCD, frame 7, no drops,
  // 7 * 166666 time units; bytes and CRC computed with Python's zlib.crc32.
  FrameCodePayload p;
  p.capability = 16;
  p.stream_id = 0x1234ABCDu;
  p.frame_number = 7;
  p.sample_time = 1166662;
  const uint8_t expected[kFrameCodeBytes] = {0x10, 0x10, 0x12, 0x34, 0xAB, 0xCD, 0x00, 0x00,
                                             0x00, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                             0x00, 0x11, 0xCD, 0x46, 0x21, 0x83, 0x65, 0xED};
  uint8_t bytes[kFrameCodeBytes];
  PackFrameCode(p, bytes);
  EXPECT_EQ(std::memcmp(bytes, expected, sizeof bytes), 0);

  FrameCodePayload back;
  ASSERT_TRUE(UnpackFrameCode(bytes, &back));
  EXPECT_EQ(back, p);
  // Any one bit turned over is caught.
  for (int bit = 0; bit < kFrameCodeBytes * 8; ++bit) {
    bytes[bit / 8] ^= uint8_t(0x80u >> (bit % 8));
    EXPECT_FALSE(UnpackFrameCode(bytes, &back)) << "bit " << bit;
    bytes[bit / 8] ^= uint8_t(0x80u >> (bit % 8));
  }
}

// Every frame of a stream, in every format, says its frame number, drop
// count, time stamp, capability and stream; interlaced frames say each
// field's own time in the field's own lines, the earlier field (by the
// pattern's motion) at the frame's time and the later one half a frame on.
TEST(FrameCode, FramesAndFieldsSayWhatTheStreamDidInEveryFormat) {
  struct Size {
    int32_t w, h, interlaced;
  };
  const Size sizes[] = {{320, 240, 0}, {720, 480, 1}, {1920, 1080, 2}};
  for (const FormatCase& f : kFormats) {
    for (const Size& s : sizes) {
      SCOPED_TRACE(testing::Message()
                   << f.name << " " << s.w << "x" << s.h << " mode " << s.interlaced);
      CodedStream stream(s.w, s.h, f, s.interlaced);
      ASSERT_EQ(stream.Start(), kS_OK);
      FakeSample sample(stream.FrameSize());
      const double atMs[] = {0.0, 40.0, 200.0};  // the third frame is late: one drop
      for (uint32_t k = 0; k < 3; ++k) {
        ASSERT_EQ(stream.FrameAt(atMs[k], sample), kS_OK);
        const LumaPlane luma = LumaOf(sample, stream.preset);
        const FrameCodeReading frame = ReadFrameCode(luma);
        ASSERT_EQ(frame.status, FrameCodeStatus::kDecoded) << "frame " << k;
        EXPECT_EQ(frame.payload.frame_number, k);
        EXPECT_EQ(frame.payload.drop_count, k == 2 ? 1u : 0u);
        EXPECT_EQ(frame.payload.sample_time, sample.start);
        EXPECT_EQ(frame.payload.capability, 5);
        EXPECT_EQ(frame.payload.field, 0);
        EXPECT_EQ(frame.payload.stream_id, stream.producer.m_frameCode.stream_id());
        if (s.interlaced == 0) {
          EXPECT_NE(ReadFrameCode(luma, FrameCodeSlot::kField).status, FrameCodeStatus::kDecoded);
          continue;
        }
        // Mode 1 moves the even memory rows first, mode 2 the odd ones; RGB
        // frames are stored bottom-up, so their even rows are odd lines.
        const bool rgb = f.compression == kCompressionRgb;
        const int earlyParity = (s.interlaced == 1) != rgb ? 0 : 1;
        for (int parity = 0; parity < 2; ++parity) {
          const FrameCodeReading field =
              ReadFrameCode(FieldOf(luma, parity), FrameCodeSlot::kField);
          ASSERT_EQ(field.status, FrameCodeStatus::kDecoded) << "parity " << parity;
          FrameCodePayload expected = frame.payload;
          expected.field = uint8_t(parity + 1);
          expected.sample_time =
              sample.start + (parity == earlyParity ? 0 : stream.preset.frame_time / 2);
          EXPECT_EQ(field.payload, expected) << "parity " << parity;
        }
      }
    }
  }
}

// docs/frame-code.md's layout-2 examples: capability 16, stream 0x1234ABCD,
// frame 7, fingerprint 0x0123456789ABCDEF; bytes 18-19 and the CRC computed
// with Python's zlib.crc32. The first is every settings block made before
// bytes 18-19 had fields: it reads as camera 1, its own format, sequence 0.
TEST(FrameCodeLayout, TheSettingsBlockGivesTheDocumentedBytes) {
  struct Case {
    const char* name;
    uint8_t conversion, camera, controlSequence;
    uint8_t tail[6];  // bytes 18 to 23
  };
  const Case cases[] = {
      {"one camera, own format", kFrameCodeOwnFormat, 1, 0, {0x00, 0x00, 0x97, 0x83, 0x06, 0xA2}},
      {"the NV12 twin", kFrameCodeNv12Twin, 1, 0, {0x10, 0x00, 0xDD, 0x41, 0x14, 0xF3}},
      {"camera 3 after 42 control changes",
       kFrameCodeNv12Twin,
       3,
       42,
       {0x12, 0x2A, 0x34, 0xCC, 0xBF, 0xA7}},
  };
  const uint8_t head[18] = {0x2C, 0x10, 0x12, 0x34, 0xAB, 0xCD, 0x00, 0x00, 0x00,
                            0x07, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint8_t expected[kFrameCodeBytes];
    std::memcpy(expected, head, sizeof head);
    std::memcpy(expected + sizeof head, c.tail, sizeof c.tail);
    FrameCodePayload back;
    ASSERT_TRUE(UnpackFrameCode(expected, &back));
    EXPECT_EQ(back.conversion, c.conversion);
    EXPECT_EQ(back.camera, c.camera);
    EXPECT_EQ(back.control_sequence, c.controlSequence);

    FrameCodePayload p;
    p.version = kFrameCodeLayout2;
    p.field = kFrameCodeSettingsField;
    p.capability = 16;
    p.stream_id = 0x1234ABCDu;
    p.frame_number = 7;
    p.fingerprint = 0x0123456789ABCDEFull;
    p.conversion = c.conversion;
    p.camera = c.camera;
    p.control_sequence = c.controlSequence;
    uint8_t bytes[kFrameCodeBytes];
    PackFrameCode(p, bytes);
    EXPECT_EQ(std::memcmp(bytes, expected, sizeof bytes), 0);
    EXPECT_EQ(back, p);
    // A settings block of layout 1 is no code.
    p.version = kFrameCodeVersion;
    PackFrameCode(p, bytes);
    EXPECT_FALSE(UnpackFrameCode(bytes, &back));
  }
}

// Layout 2: the frame's code says version 2, and the settings block below it
// names the frame and a fingerprint that follows what shapes the picture
// (the scroll) and not what does not (the frame time).
TEST(FrameCode, LayoutTwoNamesTheSettingsInEveryFormat) {
  for (const FormatCase& f : kFormats) {
    SCOPED_TRACE(f.name);
    uint64_t fingerprints[3] = {};
    for (int variant = 0; variant < 3; ++variant) {
      CodedStream stream(720, 480, f, 1);
      stream.settings.m_frameCode = kFrameCodeLayout2;
      stream.preset.scroll_x = variant == 1 ? 6 : 2;
      stream.preset.frame_time = variant == 2 ? 400000 : 333667;
      ASSERT_EQ(stream.Start(), kS_OK);
      FakeSample sample(stream.FrameSize());
      ASSERT_EQ(stream.FrameAt(0.0, sample), kS_OK);
      const LumaPlane luma = LumaOf(sample, stream.preset);
      const FrameCodeReading frame = ReadFrameCode(luma);
      ASSERT_EQ(frame.status, FrameCodeStatus::kDecoded);
      EXPECT_EQ(frame.payload.version, kFrameCodeLayout2);
      EXPECT_EQ(ReadFrameCode(FieldOf(luma, 0), FrameCodeSlot::kField).payload.version,
                kFrameCodeLayout2);
      const FrameCodeReading settings = ReadFrameCode(luma, FrameCodeSlot::kSettings);
      ASSERT_EQ(settings.status, FrameCodeStatus::kDecoded);
      EXPECT_EQ(settings.payload.field, kFrameCodeSettingsField);
      EXPECT_EQ(settings.payload.frame_number, 0u);
      EXPECT_EQ(settings.payload.stream_id, frame.payload.stream_id);
      fingerprints[variant] = settings.payload.fingerprint;
    }
    EXPECT_NE(fingerprints[0], fingerprints[1]);
    EXPECT_EQ(fingerprints[0], fingerprints[2]);
  }
}

// The Media Foundation face's NV12 twin of an HDYC preset: its settings block
// names the HDYC preset's settings and says the frames are the NV12 twin of
// it; a stream of the preset itself says its own format. Camera 1, controls
// as the settings start them.
TEST(FrameCode, ATwinsSettingsBlockSaysItIsTheTwin) {
  const FormatCase nv12 = {"NV12", kFourccNV12, 12};
  const FormatCase hdyc = kFormats[5];
  CodedStream named(640, 480, hdyc), twin(640, 480, nv12);
  named.settings.m_frameCode = twin.settings.m_frameCode = kFrameCodeLayout2;
  ASSERT_EQ(named.Start(), kS_OK);
  ASSERT_EQ(twin.producer.OnThreadCreate(twin.host, twin.preset, twin.settings, twin.dir.Path(), 5,
                                         &named.preset, kFrameCodeNv12Twin),
            kS_OK);
  uint64_t fingerprint[2] = {};
  for (CodedStream* s : {&named, &twin}) {
    FakeSample sample(s->FrameSize());
    ASSERT_EQ(s->FrameAt(0.0, sample), kS_OK);
    const FrameCodeReading settings =
        ReadFrameCode(LumaOf(sample, s->preset), FrameCodeSlot::kSettings);
    ASSERT_EQ(settings.status, FrameCodeStatus::kDecoded);
    EXPECT_EQ(settings.payload.conversion, s == &twin ? kFrameCodeNv12Twin : kFrameCodeOwnFormat);
    EXPECT_EQ(settings.payload.camera, 1);
    EXPECT_EQ(settings.payload.control_sequence, 0);
    fingerprint[s == &twin] = settings.payload.fingerprint;
  }
  EXPECT_EQ(fingerprint[0], fingerprint[1]);
}

TEST(FrameCode, EveryStreamStartHasANewStreamId) {
  CodedStream stream(640, 480, kFormats[2]);
  std::set<uint32_t> ids;
  for (int start = 0; start < 20; ++start) {
    ASSERT_EQ(stream.Start(), kS_OK);
    ids.insert(stream.producer.m_frameCode.stream_id());
  }
  EXPECT_EQ(ids.size(), 20u);
}

// Below 320 x 240, and with the code off, the frame is what it always was.
TEST(FrameCode, SmallFramesAndFramesWithTheCodeOffAreUntouched) {
  struct Case {
    int32_t w, h, frameCode;
  };
  const Case cases[] = {{318, 480, 1}, {640, 238, 1}, {640, 480, 0}};
  for (const FormatCase& f : kFormats) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << f.name << " " << c.w << "x" << c.h);
      CodedStream coded(c.w, c.h, f);
      coded.settings.m_frameCode = c.frameCode;
      CodedStream plain(c.w, c.h, f);
      plain.settings.m_frameCode = 0;
      ASSERT_EQ(coded.Start(), kS_OK);
      ASSERT_EQ(plain.Start(), kS_OK);
      FakeSample a(coded.FrameSize()), b(plain.FrameSize());
      ASSERT_EQ(coded.FrameAt(0.0, a), kS_OK);
      ASSERT_EQ(plain.FrameAt(0.0, b), kS_OK);
      EXPECT_EQ(a.memory, b.memory);
      EXPECT_EQ(ReadFrameCode(LumaOf(a, coded.preset)).status, FrameCodeStatus::kNoCode);
    }
  }
}

// Random bytes over part or all of a block, and crops through it: the
// reader says unreadable (or, for a flat area, no code), never a wrong payload.
TEST(FrameCodeReader, DamagedAndCroppedBlocksAreNeverMisread) {
  CodedStream stream(640, 480, kFormats[2]);
  ASSERT_EQ(stream.Start(), kS_OK);
  FakeSample sample(stream.FrameSize());
  ASSERT_EQ(stream.FrameAt(0.0, sample), kS_OK);
  const LumaPlane frame = LumaOf(sample, stream.preset);
  const FrameCodeReading good = ReadFrameCode(frame);
  ASSERT_EQ(good.status, FrameCodeStatus::kDecoded);

  // A grey copy of the frame to damage.
  std::vector<uint8_t> original = GreyCopy(frame);
  FrameCodeBlockGeometry g;
  ASSERT_TRUE(FrameCodeGeometry(frame.width, frame.height, FrameCodeSlot::kFrame, &g));

  std::mt19937 random(8);
  int unreadable = 0;
  const int kTrials = 300;
  for (int trial = 0; trial < kTrials; ++trial) {
    std::vector<uint8_t> damaged = original;
    // A random rectangle inside the block; every tenth trial the whole block.
    const bool whole = trial % 10 == 0;
    std::uniform_int_distribution<int32_t> xs(g.x[0], g.x[kFrameCodeBlockUnitsX] - 1);
    std::uniform_int_distribution<int32_t> ys(g.y[0], g.y[kFrameCodeBlockUnitsY] - 1);
    int32_t x0 = whole ? g.x[0] : xs(random), x1 = whole ? g.x[kFrameCodeBlockUnitsX] : xs(random);
    int32_t y0 = whole ? g.y[0] : ys(random), y1 = whole ? g.y[kFrameCodeBlockUnitsY] : ys(random);
    if (x1 < x0)
      std::swap(x0, x1);
    if (y1 < y0)
      std::swap(y0, y1);
    for (int32_t y = y0; y <= y1 && y < frame.height; ++y)
      for (int32_t x = x0; x <= x1 && x < frame.width; ++x)
        damaged[size_t(y) * size_t(frame.width) + size_t(x)] = uint8_t(random());
    const FrameCodeReading r = ReadFrameCode(PlaneOver(damaged, frame));
    if (r.status == FrameCodeStatus::kDecoded) {
      EXPECT_EQ(r.payload, good.payload) << "trial " << trial;  // small damage, read right
      EXPECT_FALSE(whole) << "trial " << trial;
    } else {
      ++unreadable;
    }
  }
  EXPECT_GT(unreadable, kTrials / 2);

  // Crops that cut into the block from the left, the top, or both.
  const int32_t cuts[][2] = {{g.x[3], 0}, {0, g.y[2]}, {g.x[1], g.y[1]}, {g.x[13], 0}};
  for (const auto& cut : cuts) {
    LumaPlane cropped;
    cropped.data = original.data() + size_t(cut[1]) * size_t(frame.width) + size_t(cut[0]);
    cropped.row_step = frame.width;
    cropped.width = frame.width - cut[0];
    cropped.height = frame.height - cut[1];
    EXPECT_NE(ReadFrameCode(cropped).status, FrameCodeStatus::kDecoded)
        << "cut " << cut[0] << "," << cut[1];
  }
}

// Lossy coding of small cells turns a few cells grey: one or two cells read
// the wrong way, just past the threshold, still give the right code; three
// give none.
TEST(FrameCodeReader, OneOrTwoDoubtfulCellsAreRepairedByTheCrc) {
  CodedStream stream(640, 480, kFormats[2]);
  ASSERT_EQ(stream.Start(), kS_OK);
  FakeSample sample(stream.FrameSize());
  ASSERT_EQ(stream.FrameAt(0.0, sample), kS_OK);
  const LumaPlane frame = LumaOf(sample, stream.preset);
  const FrameCodeReading good = ReadFrameCode(frame);
  ASSERT_EQ(good.status, FrameCodeStatus::kDecoded);
  FrameCodeBlockGeometry g;
  ASSERT_TRUE(FrameCodeGeometry(frame.width, frame.height, FrameCodeSlot::kFrame, &g));
  uint8_t bytes[kFrameCodeBytes];
  PackFrameCode(good.payload, bytes);

  struct Case {
    std::vector<int> bits;  // data bits, 0..191, read the wrong way
    bool decoded;
  };
  const Case cases[] = {{{}, true}, {{5}, true}, {{0, 100}, true}, {{7, 77, 177}, false}};
  for (const Case& c : cases) {
    std::vector<uint8_t> grey = GreyCopy(frame);
    for (int bit : c.bits) {
      const int cx = bit % kFrameCodeCellsX, cy = 1 + bit / kFrameCodeCellsX;
      // Video-range white 235 and black 16 meet at 125.5: just past it.
      const uint8_t wrong = FrameCodeCellIsWhite(bytes, cx, cy) ? 120 : 131;
      for (int32_t y = g.y[cy + 1]; y < g.y[cy + 2]; ++y)
        for (int32_t x = g.x[cx + 1]; x < g.x[cx + 2]; ++x)
          grey[size_t(y) * size_t(frame.width) + size_t(x)] = wrong;
    }
    const FrameCodeReading r = ReadFrameCode(PlaneOver(grey, frame));
    EXPECT_EQ(r.status == FrameCodeStatus::kDecoded, c.decoded) << c.bits.size() << " cells";
    if (r.status == FrameCodeStatus::kDecoded) {
      EXPECT_EQ(r.payload, good.payload);
    }
  }
}

}  // namespace
}  // namespace zdtest
