// The pixel comparison end to end, without a decoder: frames of the shipped
// preset 05 (640 x 480 YUY2) made again and handed in as a recording would
// give them, untouched or with a fault done by hand; the masks against the
// frame code's places as docs/frame-code.md's table gives them; the report forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "pattern/simulated_frame_host.h"
#include "stream/stream_settings.h"
#include "tools/analyse/identity/frame_code_identity.h"
#include "tools/analyse/pixels/picture_verdict.h"
#include "tools/analyse/pixels/picture_worker.h"
#include "tools/analyse/report/reports.h"

namespace zdanalyse {
namespace {

constexpr int kPreset05 = 4;  // capability index of preset 05

// Frame n of preset 05 as a recording of 4:2:2 planes would hold it.
LumaFrame Recorded(uint32_t n) {
  StreamSettings settings;
  EXPECT_TRUE(settings.LoadSettings(ZD_ASSETS_DIR "/ZintuDobrel.ini"));
  OriginalFrames original;
  std::string error;
  EXPECT_TRUE(original.Open(settings, ZD_ASSETS_DIR, kPreset05, &error)) << error;
  PlanarPicture p;
  EXPECT_TRUE(original.Make(n, &p));
  LumaFrame f;
  f.width = p.width;
  f.height = p.height;
  f.luma = p.y;
  f.colour = ColourLayout::kYuv;
  f.chromaWidth = p.chromaWidth;
  f.chromaHeight = p.chromaHeight;
  f.cb = p.cb;
  f.cr = p.cr;
  return f;
}

// The check of frames 0 to 9 of preset 05, each changed by fault first.
template <typename Fault>
PictureCheck Check(Fault fault) {
  auto checker = std::make_unique<PictureChecker>();
  std::string error;
  EXPECT_TRUE(checker->Open(ZD_ASSETS_DIR "/ZintuDobrel.ini", 10, 30, &error)) << error;
  PictureWorker worker(std::move(checker));
  for (uint32_t n = 0; n < 10; ++n) {
    LumaFrame f = Recorded(n);
    fault(&f);
    FrameRecord r;
    r.index = n;
    r.frame = n;
    r.readable = r.hasCapability = true;
    r.capability = kPreset05;
    worker.Submit(&f, &r, 1);
  }
  return worker.Finish();
}

std::string Names(const PictureCheck& p) {
  std::string names;
  for (const PictureDiagnosis& d : p.diagnoses)
    names += d.name + " ";
  return names;
}

TEST(PictureCheck, TheSourcesOwnFramesAreIdentical) {
  const PictureCheck p = Check([](LumaFrame*) {});
  EXPECT_TRUE(p.compared);
  EXPECT_EQ(p.frames, 10);
  EXPECT_TRUE(std::isinf(p.psnrY));
  EXPECT_TRUE(std::isinf(p.psnrC));
  EXPECT_TRUE(p.diagnoses.empty());
}

// The Media Foundation face's NV12 twin of preset 13 (1280 x 720 HDYC), its
// frames made as the face makes them (the HDYC preset named, layout 2) and
// handed in as a recording that declares no colours, with the records their
// codes give: compared in the twin's own BT.601 colours, identical. A code
// that says a conversion zd-analyse does not know gets no comparison, and a note.
TEST(PictureCheck, AnNv12TwinIsComparedInItsOwnColours) {
  const int kPreset13 = 12;
  StreamSettings settings;
  ASSERT_TRUE(settings.LoadSettings(ZD_ASSETS_DIR "/ZintuDobrel.ini"));
  settings.m_frameCode = kFrameCodeLayout2;
  const PresetInfo hdyc = settings.m_presetTable[kPreset13];
  ASSERT_EQ(hdyc.compression, kFourccHDYC);
  PresetInfo twin = hdyc;
  twin.compression = kFourccNV12;
  twin.bit_count = 12;
  zd::SimulatedFrameHost host;
  FrameProducer producer;
  ASSERT_EQ(producer.OnThreadCreate(host, twin, settings, ZD_ASSETS_DIR, kPreset13, &hdyc,
                                    kFrameCodeNv12Twin),
            kS_OK);
  const size_t lumaBytes = size_t(twin.w) * size_t(twin.h);
  zd::SimulatedSample sample(lumaBytes * 3 / 2);
  std::vector<LumaFrame> frames;
  std::vector<FrameRecord> records;
  FrameCodeIdentity identity;
  for (uint32_t n = 0; n < 3; ++n) {
    producer.m_frameCount = n;
    producer.m_nextDueMs = 0.0;
    ASSERT_EQ(producer.FillBuffer(host, &sample, twin, 0), kS_OK);
    const uint8_t* bytes = sample.memory.data();
    LumaFrame f;
    f.width = twin.w;
    f.height = twin.h;
    f.luma.assign(bytes, bytes + lumaBytes);
    f.colour = ColourLayout::kYuv;
    f.chromaWidth = twin.w / 2;
    f.chromaHeight = twin.h / 2;
    for (size_t i = lumaBytes; i < lumaBytes * 3 / 2; i += 2) {
      f.cb.push_back(bytes[i]);
      f.cr.push_back(bytes[i + 1]);
    }
    identity.Read(f, n, &records);
    ASSERT_EQ(records.back().conversion, kFrameCodeNv12Twin);
    frames.push_back(std::move(f));
  }
  for (const uint8_t conversion : {kFrameCodeNv12Twin, uint8_t(5)}) {
    SCOPED_TRACE(int(conversion));
    PictureChecker checker;
    std::string error;
    ASSERT_TRUE(checker.Open(ZD_ASSETS_DIR "/ZintuDobrel.ini", 3, 0, &error)) << error;
    for (size_t n = 0; n < frames.size(); ++n) {
      records[n].conversion = conversion;
      checker.Frame(frames[n], &records[n], 1);
    }
    const PictureCheck p = checker.Finish();
    if (conversion == kFrameCodeNv12Twin) {
      EXPECT_EQ(p.frames, 3);
      EXPECT_EQ(p.settings, "match");
      EXPECT_TRUE(std::isinf(p.psnrY) && std::isinf(p.psnrC)) << p.psnrY << " " << p.psnrC;
      EXPECT_TRUE(p.diagnoses.empty()) << Names(p);
    } else {
      EXPECT_FALSE(p.compared);
      EXPECT_NE(p.note.find("conversion 5"), std::string::npos) << p.note;
    }
  }
}

TEST(PictureCheck, FaultsDoneByHandAreNamed) {
  const struct {
    const char* want;
    void (*fault)(LumaFrame*);
  } cases[] = {
      {"cb_cr_swapped ", [](LumaFrame* f) { f->cb.swap(f->cr); }},
      {"flipped_vertically ",
       [](LumaFrame* f) {
         for (int32_t y = 0; y < f->height / 2; ++y) {
           std::swap_ranges(f->luma.begin() + y * f->width, f->luma.begin() + (y + 1) * f->width,
                            f->luma.begin() + (f->height - 1 - y) * f->width);
           std::swap_ranges(f->cb.begin() + y * f->chromaWidth,
                            f->cb.begin() + (y + 1) * f->chromaWidth,
                            f->cb.begin() + (f->height - 1 - y) * f->chromaWidth);
           std::swap_ranges(f->cr.begin() + y * f->chromaWidth,
                            f->cr.begin() + (y + 1) * f->chromaWidth,
                            f->cr.begin() + (f->height - 1 - y) * f->chromaWidth);
         }
       }},
      {"limited_as_full ",
       [](LumaFrame* f) {
         for (uint8_t& v : f->luma)
           v = uint8_t(std::lround(16 + v * 219.0 / 255));
         for (uint8_t& v : f->cb)
           v = uint8_t(std::lround(128 + (v - 128) * 224.0 / 255));
         for (uint8_t& v : f->cr)
           v = uint8_t(std::lround(128 + (v - 128) * 224.0 / 255));
       }},
  };
  for (const auto& c : cases) {
    const PictureCheck p = Check(c.fault);
    EXPECT_EQ(Names(p), c.want);
    EXPECT_FALSE(std::isinf(p.psnrY) && std::isinf(p.psnrC)) << c.want;
  }
}

TEST(PictureCheck, TheFrameCodesPlacesAreLeftOut) {
  // The table of docs/frame-code.md: the frame code block and the field code block (field
  // lines, twice as frame lines) of each size must lie in an excluded part.
  const struct {
    int32_t w, h;
    int32_t x0, x1, y0, y1, fieldY0, fieldY1;
  } cases[] = {
      {640, 480, 16, 119, 144, 207, 136, 167},
      {720, 576, 18, 134, 173, 249, 163, 201},
      {1920, 1080, 48, 359, 324, 467, 306, 377},
  };
  for (const auto& c : cases) {
    const CompareArea a = UprightArea(c.w, c.h, c.h, 20);
    auto covered = [&](int32_t x0, int32_t x1, int32_t y0, int32_t y1) {
      for (int e = 0; e < a.excludedCount; ++e) {
        const Rect& r = a.excluded[e];
        if (r.x0 <= x0 && r.x1 > x1 && r.y0 <= y0 && r.y1 > y1)
          return true;
      }
      return false;
    };
    EXPECT_TRUE(covered(c.x0, c.x1, c.y0, c.y1)) << c.w << "x" << c.h;
    EXPECT_TRUE(covered(c.x0, c.x1, 2 * c.fieldY0, 2 * c.fieldY1 + 1)) << c.w << "x" << c.h;
    EXPECT_TRUE(covered(0, c.w - 1, 0, 19)) << "status line";
    EXPECT_TRUE(covered(0, c.w - 1, c.h - 20, c.h - 1)) << "information line";
  }
}

TEST(PictureCheck, ReportsGiveEachFramesPsnrAndEachPictureFault) {
  AnalysisResult r;
  r.picture = Check([](LumaFrame* f) { f->cb.swap(f->cr); });
  JudgePictures(&r.picture, {}, &r.anomalies);
  for (int64_t i = 0; i < 10; ++i) {
    FrameRecord f;
    f.index = i;
    r.frames.push_back(f);
    r.events.push_back(FrameEvent::kInOrder);
  }
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  WriteCsvReport(r, out);
  WriteJsonReport(r, out);
  std::rewind(out);
  std::string text(1 << 16, '\0');
  text.resize(std::fread(&text[0], 1, text.size(), out));
  std::fclose(out);
  EXPECT_NE(text.find("confidence,event,psnr_y,psnr_c,diagnosis\n"), std::string::npos);
  EXPECT_NE(text.find(",inf,"), std::string::npos);  // the luma is untouched
  EXPECT_NE(text.find(",picture_fault,,,cb_cr_swapped\n"), std::string::npos);
  EXPECT_NE(text.find("\"name\": \"cb_cr_swapped\""), std::string::npos);
  EXPECT_NE(text.find("\"role\": \"picture fault\", \"anomaly\": true"), std::string::npos);
  EXPECT_NE(text.find("\"psnr_y\": null"), std::string::npos);
  EXPECT_NE(text.find("\"identical\": false"), std::string::npos);
}

}  // namespace
}  // namespace zdanalyse
