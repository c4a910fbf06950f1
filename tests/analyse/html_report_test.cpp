// The web page: every anomaly marked however long the recording, text from
// the recording kept as text, and nothing asked of other files. The words of
// the text and the page a person reads.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/analyse/report/number_text.h"
#include "tools/analyse/pixels/picture_verdict.h"
#include "tools/analyse/report/reports.h"
#include "tools/analyse/sequence/stream_analysis.h"

namespace zdanalyse {
namespace {

size_t Occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++n;
  return n;
}

// What a report form writes for result.
template <typename Writer>
std::string Written(Writer write, const AnalysisResult& result) {
  std::FILE* f = std::tmpfile();
  EXPECT_NE(f, nullptr);
  if (f == nullptr)
    return {};
  write(result, f);
  std::rewind(f);
  std::string page;
  char buffer[65536];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
    page.append(buffer, n);
  std::fclose(f);
  return page;
}

std::string Page(const AnalysisResult& result) {
  return Written([](const AnalysisResult& r, std::FILE* f) { EXPECT_TRUE(WriteHtmlReport(r, f)); },
                 result);
}

// Frames 0 to count - 1 at 60 fps, one stream, without the numbers in
// `skipped` and with frame `repeatedFrame` twice.
AnalysisResult Recording(uint32_t count, const std::vector<uint32_t>& skipped,
                         uint32_t repeatedFrame, const std::string& name) {
  std::vector<FrameRecord> records;
  auto add = [&records](uint32_t frame) {
    FrameRecord r;
    r.index = int64_t(records.size());
    r.hasTime = true;
    r.time = r.index * 166667;
    r.readable = true;
    r.confidence = 1.0;
    r.hasStream = true;
    r.stream = 7;
    r.frame = frame;
    records.push_back(r);
  };
  for (uint32_t k = 0; k < count; ++k) {
    bool skip = false;
    for (uint32_t s : skipped)
      skip = skip || s == k;
    if (!skip)
      add(k);
    if (k == repeatedFrame)
      add(k);
  }
  SourceInfo source;
  source.container = "mp4";
  source.hasFrameTimes = true;
  source.nominalRate = 60;
  AnalysisResult result =
      Analyse(std::move(records), source, IdentitySource::kFrameCode, Thresholds());
  result.input = name;
  return result;
}

TEST(HtmlReport, AnHourAt60FpsIsThinnedForDrawingButEveryAnomalyKeepsItsMarker) {
  // Two gaps (frame 1000, frames 150000 to 150002) and one repeat (frame
  // 200000): three anomalies among 216000 frames.
  const AnalysisResult result = Recording(216000, {1000, 150000, 150001, 150002}, 200000, "long");
  const std::string page = Page(result);
  EXPECT_EQ(Occurrences(page, "class=\"anomaly-mark ev-after-gap\""), 2u);
  EXPECT_EQ(Occurrences(page, "class=\"anomaly-mark ev-repeated\""), 1u);
  EXPECT_EQ(Occurrences(page, "class=\"anomaly-mark"), 3u);
  EXPECT_EQ(Occurrences(page, "class=\"anomaly-row\""), 3u);
  // A thousand columns per lane, not 216000 points: well under a megabyte.
  EXPECT_LT(page.size(), 200000u);
}

TEST(HtmlReport, ACleanRecordingHasNoMarkerAndSaysClean) {
  const std::string page = Page(Recording(300, {}, 1000, "clean.mp4"));
  EXPECT_EQ(Occurrences(page, "anomaly-mark"), 0u);
  EXPECT_NE(page.find("<div class=\"verdict clean\">clean</div>"), std::string::npos);
  EXPECT_EQ(page.find("verdict picture"), std::string::npos);
}

TEST(HtmlReport, APictureFaultIsInTheVerdictAndATransformationBesideIt) {
  AnalysisResult r = Recording(30, {}, 1000, "flipped.mp4");
  r.picture.width = 640, r.picture.height = 480;
  r.picture.diagnoses = {{"flipped_vertically", "", 0, 0, 0.9, 8},
                         {"shifted", "by 8 px", 8, 0, 0.8, 8}};
  r.picture.diagnoses[0].lastFrame = 29;
  JudgePictures(&r.picture, {}, &r.anomalies);
  const std::string page = Page(r);
  EXPECT_NE(page.find("<div class=\"verdict bad\">1 anomaly: picture flipped_vertically "
                      "(confidence 0.90, frames 0 to 29)</div>"),
            std::string::npos);
  EXPECT_NE(page.find("<div class=\"verdict picture\">picture: flipped_vertically (picture "
                      "fault), shifted by 8 px (information)</div>"),
            std::string::npos);
}

TEST(HtmlReport, TheRecordingsNameStaysTextAndThePageAsksForNothingElse) {
  const std::string name = "a<script>x</script>&\"'.mp4";
  const std::string page = Page(Recording(10, {4}, 100, name));
  EXPECT_EQ(page.find("<script"), std::string::npos);
  EXPECT_NE(page.find("a&lt;script&gt;x&lt;/script&gt;&amp;&quot;&#39;.mp4"), std::string::npos);
  for (const char* reference : {"src=", "href=", "url(", "@import", "<link", "<img"})
    EXPECT_EQ(page.find(reference), std::string::npos) << reference;
}

TEST(ReportWords, OrdinalsAreEnglish) {
  const struct {
    int64_t n;
    const char* text;
  } cases[] = {{1, "1st"},     {2, "2nd"},     {3, "3rd"},     {4, "4th"},
               {10, "10th"},   {11, "11th"},   {12, "12th"},   {13, "13th"},
               {21, "21st"},   {22, "22nd"},   {23, "23rd"},   {100, "100th"},
               {101, "101st"}, {111, "111th"}, {112, "112th"}, {1003, "1003rd"}};
  for (const auto& c : cases)
    EXPECT_EQ(Ordinal(c.n), c.text) << c.n;
}

// A recording that gives no scan, compared on every 2nd frame and every 3rd
// row, with three worst frames: the text and the page say it in words, the
// JSON keeps its value.
TEST(ReportWords, ThePixelLineTheWorstFramesAndAnUnstatedScanReadAsEnglish) {
  AnalysisResult r = Recording(30, {}, 1000, "words.mp4");
  PictureCheck& p = r.picture;
  p.compared = true;
  p.domain = "Y'CbCr BT.601 studio range";
  p.frames = 15;
  p.frameStep = 2;
  p.rowStep = 3;
  p.worst = {{4, 4, 30, 31}, {8, 8, 32, 33}, {12, 12, 34, 35}};
  const std::string text = Written(WriteTextReport, r);
  EXPECT_NE(text.find("0x0, scan not stated, 60.000 fps nominal)"), std::string::npos) << text;
  EXPECT_NE(text.find("(Y'CbCr BT.601 studio range, every 2nd frame, every 3rd row)"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("unknown"), std::string::npos) << text;

  const std::string page = Page(r);
  EXPECT_NE(page.find("0x0, scan not stated, 60.000 fps nominal</td>"), std::string::npos);
  EXPECT_NE(page.find("(Y&#39;CbCr BT.601 studio range, every 2nd frame, every 3rd row)"),
            std::string::npos);
  EXPECT_EQ(Occurrences(page, "<th>worst frames</th>"), 1u);
  EXPECT_EQ(Occurrences(page, "<tr><th></th><td>"), 2u);
  EXPECT_EQ(page.find("unknown"), std::string::npos);

  EXPECT_NE(Written(WriteJsonReport, r).find("\"scan\": \"unknown\""), std::string::npos);
}

}  // namespace
}  // namespace zdanalyse
