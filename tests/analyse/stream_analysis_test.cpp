// What the analysis makes of frame sequences whose faults are known by
// construction: the expected counts are worked out by hand from each sequence.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "tools/analyse/sequence/stream_analysis.h"

namespace zdanalyse {
namespace {

// "0 1 x 3": frame numbers in recording order, x unreadable. "B2" is frame 2
// of stream B (frame code). "2@66" is frame 2 with the status line's clock at
// 66 ms. Frames are 40 ms apart in the container.
std::vector<FrameRecord> Records(const std::string& text) {
  std::vector<FrameRecord> out;
  std::istringstream in(text);
  std::string token;
  for (int64_t i = 0; in >> token; ++i) {
    FrameRecord r;
    r.index = i;
    r.hasTime = true;
    r.time = i * 400000;
    if (token != "x") {
      r.readable = true;
      r.confidence = 1.0;
      size_t pos = 0;
      if (token[0] >= 'A' && token[0] <= 'Z') {
        r.hasStream = true;
        r.stream = uint32_t(token[0]);
        pos = 1;
      }
      r.frame = uint32_t(std::stoul(token.substr(pos)));
      const size_t at = token.find('@');
      if (at != std::string::npos) {
        r.hasClockMs = true;
        r.clockMs = uint32_t(std::stoul(token.substr(at + 1)));
      }
    }
    out.push_back(r);
  }
  return out;
}

SourceInfo Container() {
  SourceInfo s;
  s.container = "avi";
  s.hasFrameTimes = true;
  return s;
}

struct SequenceCase {
  const char* what;
  const char* sequence;
  int64_t missing, repeated, outOfOrder, restarts, unreadable;
  const char* missingRanges;  // "first-last ..." over all streams
  int64_t gapMarks;           // records marked as having frames missing before them
};

TEST(Analysis, FindsExactlyTheFaultsOfASequence) {
  const SequenceCase cases[] = {
      {"clean", "0 1 2 3 4 5", 0, 0, 0, 0, 0, "", 0},
      {"two frames lost", "0 1 2 5 6", 2, 0, 0, 0, 0, "3-4", 1},
      {"two gaps", "0 3 4 8", 5, 0, 0, 0, 0, "1-2 5-7", 2},
      {"a frame repeated", "0 1 1 2 3", 0, 1, 0, 0, 0, "", 0},
      {"a frame repeated later", "0 1 2 3 1 4", 0, 1, 0, 0, 0, "", 0},
      {"two frames swapped", "0 2 1 3", 0, 0, 1, 0, 0, "", 1},
      {"a frame late by three", "0 2 3 4 1 5", 0, 0, 1, 0, 0, "", 1},
      {"an unreadable frame in its place", "0 1 x 3 4", 0, 0, 0, 0, 1, "", 0},
      // Which of 2 and 3 the unreadable frame was is not known: none is named.
      {"an unreadable frame and a lost one", "0 1 x 4 5", 1, 0, 0, 0, 1, "", 1},
      {"unreadable at both ends", "x 1 2 x", 0, 0, 0, 0, 2, "", 0},
      {"a new stream id", "A0 A1 A2 B0 B1", 0, 0, 0, 1, 0, "", 0},
      {"a new stream with a gap", "A7 A8 B0 B2", 1, 0, 0, 1, 0, "1-1", 1},
      {"status line: frame 0 again, clock back", "0@0 1@33 2@66 0@0 1@33", 0, 0, 0, 1, 0, "", 0},
      {"status line: frame 0 repeated", "0@0 0@0 1@33", 0, 1, 0, 0, 0, "", 0},
  };
  for (const SequenceCase& c : cases) {
    SCOPED_TRACE(c.what);
    const AnalysisResult r =
        Analyse(Records(c.sequence), Container(), IdentitySource::kStatusLine, Thresholds());
    EXPECT_EQ(r.missing, c.missing);
    EXPECT_EQ(r.repeated, c.repeated);
    EXPECT_EQ(r.outOfOrder, c.outOfOrder);
    EXPECT_EQ(r.restarts, c.restarts);
    EXPECT_EQ(r.unreadable, c.unreadable);
    std::string ranges;
    for (const StreamSummary& s : r.streams)
      for (const FrameRange& g : s.missingRanges)
        ranges +=
            (ranges.empty() ? "" : " ") + std::to_string(g.first) + "-" + std::to_string(g.last);
    EXPECT_EQ(ranges, c.missingRanges);
    EXPECT_EQ(std::count(r.events.begin(), r.events.end(), FrameEvent::kAfterGap), c.gapMarks);
    const bool faulty = c.missing + c.repeated + c.outOfOrder > 0 || c.unreadable > 0;
    EXPECT_EQ(r.anomalies.empty(), !faulty);
  }
}

TEST(Analysis, FramesLostBesideUnreadableOnesAreCountedNotNamed) {
  struct Case {
    const char* sequence;
    int64_t missing;
    const char* among;  // "count:first-last ..."
  };
  const Case cases[] = {
      {"0 1 x 5 6", 2, "2:2-4"},
      {"0 x x 5 x 9", 4, "2:1-4 2:6-8"},
      {"0 1 x x 4", 0, ""},  // the unreadable ones are 2 and 3
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sequence);
    const AnalysisResult r =
        Analyse(Records(c.sequence), Container(), IdentitySource::kFrameCode, Thresholds());
    EXPECT_EQ(r.missing, c.missing);
    std::string among;
    for (const StreamSummary& s : r.streams) {
      EXPECT_TRUE(s.missingRanges.empty());
      for (const UncertainGap& g : s.missingAmong)
        among += (among.empty() ? "" : " ") + std::to_string(g.count) + ":" +
                 std::to_string(g.among.first) + "-" + std::to_string(g.among.last);
    }
    EXPECT_EQ(among, c.among);
  }
}

TEST(Analysis, UnreadableFramesCountAsAnAnomalyAboveOnePerThousand) {
  for (int unreadable : {0, 1, 2}) {
    std::string sequence;
    for (int i = 0; i < 1000; ++i)
      sequence += (i >= 500 && i < 500 + unreadable) ? "x " : std::to_string(i) + " ";
    const AnalysisResult r =
        Analyse(Records(sequence), Container(), IdentitySource::kFrameCode, Thresholds());
    EXPECT_EQ(r.unreadable, unreadable);
    EXPECT_EQ(r.missing, 0);
    EXPECT_EQ(r.anomalies.size(), unreadable == 2 ? 1u : 0u) << unreadable;
  }
}

TEST(Analysis, TimingFromContainerStampsAndSampleTimes) {
  // 11 frames, 40 ms apart in the source; the container starts 5 ms later and
  // gains 0.1 ms per frame: a drift of 1 ms, a rate a little under 25 fps.
  std::vector<FrameRecord> records;
  for (int k = 0; k <= 10; ++k) {
    FrameRecord r;
    r.index = k;
    r.readable = true;
    r.frame = uint32_t(k);
    r.hasSampleTime = true;
    r.sampleTime = int64_t(k) * 400000;
    r.hasTime = true;
    r.time = 50000 + int64_t(k) * 401000;
    records.push_back(r);
  }
  const AnalysisResult r = Analyse(records, Container(), IdentitySource::kFrameCode, Thresholds());
  EXPECT_TRUE(r.timing.driftMeasured);
  EXPECT_DOUBLE_EQ(r.timing.firstOffsetMs, 5.0);
  EXPECT_DOUBLE_EQ(r.timing.driftMs, 1.0);
  EXPECT_DOUBLE_EQ(r.timing.intervals.mean, 40.1);
  EXPECT_DOUBLE_EQ(r.timing.intervals.max, 40.1);
  EXPECT_NEAR(r.timing.effectiveRate, 1000.0 / 40.1, 1e-9);
  EXPECT_TRUE(r.anomalies.empty());

  Thresholds strict;
  strict.maxDriftMs = 0.5;
  strict.maxIntervalMs = 40.0;
  EXPECT_EQ(Analyse(records, Container(), IdentitySource::kFrameCode, strict).anomalies.size(), 2u);
}

TEST(Analysis, SaysWhatCannotBeMeasuredInsteadOfGuessing) {
  SourceInfo y4m;
  y4m.container = "yuv4mpegpipe";
  std::vector<FrameRecord> records = Records("0 1 2");
  for (FrameRecord& r : records)
    r.hasTime = false;
  const AnalysisResult fromY4m = Analyse(records, y4m, IdentitySource::kStatusLine, Thresholds());
  EXPECT_FALSE(fromY4m.timing.intervals.measured);
  EXPECT_FALSE(fromY4m.timing.rateMeasured);
  EXPECT_FALSE(fromY4m.timing.driftMeasured);
  EXPECT_EQ(fromY4m.timing.notMeasured.size(), 1u);

  const AnalysisResult fromAvi =
      Analyse(Records("0 1 2"), Container(), IdentitySource::kStatusLine, Thresholds());
  EXPECT_TRUE(fromAvi.timing.intervals.measured);
  EXPECT_FALSE(fromAvi.timing.driftMeasured);
  ASSERT_EQ(fromAvi.timing.notMeasured.size(), 1u);
  EXPECT_NE(fromAvi.timing.notMeasured[0].find("status line"), std::string::npos);
}

TEST(Analysis, PercentilesByNearestRank) {
  std::vector<double> values;
  for (int i = 100; i >= 1; --i)
    values.push_back(i);
  EXPECT_EQ(Percentile(&values, 50), 50);
  EXPECT_EQ(Percentile(&values, 99), 99);
  EXPECT_EQ(Percentile(&values, 100), 100);
  std::vector<double> none;
  EXPECT_EQ(Percentile(&none, 50), 0);
}

}  // namespace
}  // namespace zdanalyse
