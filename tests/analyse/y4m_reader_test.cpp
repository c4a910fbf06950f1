// Y4M headers and streams: the layouts read, and damage refused with a reason.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tools/analyse/read/y4m_reader.h"

namespace zdanalyse {
namespace {

TEST(Y4mHeader, FrameSizeFollowsTheColourLayout) {
  const struct {
    const char* header;
    int32_t w, h;
    size_t chroma;  // bytes after the luma plane, by the layout's subsampling
  } cases[] = {
      {"YUV4MPEG2 W320 H240 F25:1 Ip A1:1 C422", 320, 240, 2 * 160 * 240},
      {"YUV4MPEG2 W320 H240", 320, 240, 2 * 160 * 120},  // 4:2:0 when not said
      {"YUV4MPEG2 W321 H241 C420mpeg2", 321, 241, 2 * 161 * 121},
      {"YUV4MPEG2 W640 H480 C444", 640, 480, 2 * 640 * 480},
      {"YUV4MPEG2 W640 H480 C411", 640, 480, 2 * 160 * 480},
      {"YUV4MPEG2 W80 H60 Cmono", 80, 60, 0},
      {"YUV4MPEG2 W16384 H16384 C444alpha", 16384, 16384, size_t(3) * 16384 * 16384},
  };
  for (const auto& c : cases) {
    SourceInfo info;
    size_t chroma = 0;
    std::string error;
    ASSERT_TRUE(ParseY4mHeader(c.header, &info, &chroma, &error)) << c.header << ": " << error;
    EXPECT_EQ(info.width, c.w);
    EXPECT_EQ(info.height, c.h);
    EXPECT_EQ(chroma, c.chroma) << c.header;
    EXPECT_FALSE(info.hasFrameTimes);
  }
}

TEST(Y4mHeader, RefusesWhatCannotBeRead) {
  for (const char* header : {
           "YUV4MPEG W320 H240",           // not the magic
           "YUV4MPEG2 W320",               // no height
           "YUV4MPEG2 W0 H240",            // empty picture
           "YUV4MPEG2 W-320 H240",         // negative
           "YUV4MPEG2 W16386 H240",        // beyond the largest side
           "YUV4MPEG2 W99999999999 H240",  // absurd
           "YUV4MPEG2 W320 H240 C420p10",  // deeper than 8 bits
           "YUV4MPEG2 W320 H240 Cfoo",
       }) {
    SourceInfo info;
    size_t chroma = 0;
    std::string error;
    EXPECT_FALSE(ParseY4mHeader(header, &info, &chroma, &error)) << header;
    EXPECT_FALSE(error.empty()) << header;
  }
}

struct TempFile {
  std::FILE* f = std::tmpfile();
  ~TempFile() {
    if (f)
      std::fclose(f);
  }
};

TEST(Y4mReader, KeepsTheLumaOfEachFrameAndStopsAtTheEnd) {
  TempFile t;
  ASSERT_NE(t.f, nullptr);
  std::fputs("YUV4MPEG2 W4 H2 F30:1 C420jpeg\n", t.f);
  for (int k = 0; k < 2; ++k) {
    std::fputs(k ? "FRAME Ixyz\n" : "FRAME\n", t.f);  // frame parameters are skipped
    for (int i = 0; i < 8; ++i)
      std::fputc(10 * k + i, t.f);
    for (int i = 0; i < 4; ++i)
      std::fputc(128, t.f);  // 2 x 1 for U and for V
  }
  std::rewind(t.f);
  Y4mReader reader;
  std::string error;
  ASSERT_TRUE(reader.Open(t.f, &error)) << error;
  EXPECT_DOUBLE_EQ(reader.Info().nominalRate, 30.0);
  LumaFrame frame;
  for (int k = 0; k < 2; ++k) {
    ASSERT_EQ(reader.Next(&frame, &error), ReadStatus::kFrame) << error;
    ASSERT_EQ(frame.luma.size(), 8u);
    EXPECT_EQ(frame.Row(1)[3], 10 * k + 7);
    EXPECT_FALSE(frame.hasTime);
  }
  EXPECT_EQ(reader.Next(&frame, &error), ReadStatus::kEnd);
}

TEST(Y4mReader, ATruncatedOrDamagedFrameIsAnError) {
  for (const std::string& body :
       {std::string("FRAME\n") + std::string(11, 'a'),  // 12 bytes due
        std::string("FRAME\n") + std::string(5, 'a'), std::string("FRAMX\n") + std::string(12, 'a'),
        std::string("FRAME")}) {
    TempFile t;
    std::fputs("YUV4MPEG2 W4 H2 C420jpeg\n", t.f);
    std::fwrite(body.data(), 1, body.size(), t.f);
    std::rewind(t.f);
    Y4mReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(t.f, &error));
    LumaFrame frame;
    EXPECT_EQ(reader.Next(&frame, &error), ReadStatus::kError) << body.size();
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace zdanalyse
