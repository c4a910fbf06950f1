// What zd-capture concludes from the samples it receives, how it reads its
// command line, and the pictures it saves.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/bitness_names.h"
#include "tools/capture/capability.h"
#include "tools/capture/capture_options.h"
#include "tools/capture/capture_report.h"
#include "tools/capture/frame_findings.h"
#include "tools/capture/frame_code_check.h"
#include "tools/capture/frame_image.h"
#include "tools/capture/frame_stats.h"

namespace zdcap {
namespace {

constexpr int64_t kFt = 333667;  // 29.97 frames per second

FrameRecord Stamped(int64_t start, int64_t stop, double arrival = 0.0) {
  FrameRecord r;
  r.has_start = r.has_stop = true;
  r.start = start;
  r.stop = stop;
  r.arrival_ms = arrival;
  return r;
}

std::vector<FrameRecord> Consecutive(std::vector<int64_t> slots) {
  std::vector<FrameRecord> frames;
  for (int64_t slot : slots)
    frames.push_back(Stamped(slot * kFt, (slot + 1) * kFt));
  return frames;
}

TEST(CaptureReport, TimeStampsMustRunFromZeroOneFrameApart) {
  struct Case {
    const char* what;
    std::vector<FrameRecord> frames;
    bool ok;
    int64_t first_bad, gaps, missing_frames, out_of_order, bad_stop;
  };
  std::vector<FrameRecord> no_time = Consecutive({0, 1, 2});
  no_time[1].has_start = no_time[1].has_stop = false;
  std::vector<FrameRecord> short_stop = Consecutive({0, 1, 2});
  short_stop[2].stop -= 1;
  std::vector<FrameRecord> late_start = Consecutive({0, 1});
  for (FrameRecord& r : late_start) {
    r.start += 5000000;
    r.stop += 5000000;
  }
  const std::vector<Case> cases = {
      {"0, ft, 2ft, 3ft", Consecutive({0, 1, 2, 3}), true, -1, 0, 0, 0, 0},
      {"one slot skipped", Consecutive({0, 1, 3, 4}), false, 2, 1, 1, 0, 0},
      {"three slots skipped", Consecutive({0, 4}), false, 1, 1, 3, 0, 0},
      {"two frames swapped", Consecutive({0, 2, 1, 3}), false, 1, 1, 1, 1, 0},
      {"a frame repeated", Consecutive({0, 1, 1, 2}), false, 2, 0, 0, 1, 0},
      {"a sample without time", no_time, false, 1, 0, 0, 0, 0},
      {"stop time short of the next start", short_stop, false, 2, 0, 0, 0, 1},
      {"not starting at zero", late_start, false, 0, 0, 0, 0, 0},
      {"nothing received", {}, false, -1, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TimestampCheck check = CheckTimestamps(c.frames, kFt);
    EXPECT_EQ(check.ok(), c.ok);
    EXPECT_EQ(check.first_bad_index, c.first_bad);
    EXPECT_EQ(check.gaps, c.gaps);
    EXPECT_EQ(check.missing_frames, c.missing_frames);
    EXPECT_EQ(check.out_of_order, c.out_of_order);
    EXPECT_EQ(check.bad_stop, c.bad_stop);
  }
}

TEST(CaptureReport, ArrivalSpacingRateAndLateness) {
  // A 10 ms stream whose fourth frame comes 40 ms after the third.
  std::vector<FrameRecord> frames;
  for (double t : {100.0, 110.0, 120.0, 130.0, 170.0})
    frames.push_back(Stamped(0, 0, t));
  const IntervalStats stats = ArrivalIntervals(frames);
  EXPECT_EQ(stats.count, 4);
  EXPECT_DOUBLE_EQ(stats.mean_ms, 17.5);
  EXPECT_DOUBLE_EQ(stats.p50_ms, 10.0);  // nearest rank: the 2nd of 4
  EXPECT_DOUBLE_EQ(stats.p99_ms, 40.0);
  EXPECT_DOUBLE_EQ(stats.min_ms, 10.0);
  EXPECT_DOUBLE_EQ(stats.max_ms, 40.0);
  EXPECT_NEAR(MeasuredRate(frames), 4 * 1000.0 / 70.0, 1e-9);

  // Slots at 100, 110, 120, 130, 140: only the last frame is more than one
  // interval (10 ms) behind its slot, by 30 ms.
  const Lateness late = ArrivalLateness(frames, 100000);
  EXPECT_EQ(late.late_frames, 1);
  EXPECT_DOUBLE_EQ(late.max_late_ms, 30.0);

  // Exactly one interval behind is not late yet.
  frames.back().arrival_ms = 150.0;
  EXPECT_EQ(ArrivalLateness(frames, 100000).late_frames, 0);

  const std::vector<FrameRecord> one(1, Stamped(0, kFt, 5.0));
  EXPECT_EQ(ArrivalIntervals(one).count, 0);
  EXPECT_EQ(MeasuredRate(one), 0.0);
}

// MJPG samples differ in length: min, nearest-rank median and max of the
// lengths, in any order of arrival.
TEST(CaptureReport, SampleSizesOfVariableLengthSamples) {
  const struct {
    std::vector<int64_t> lengths;
    int64_t min, p50, max;
  } cases[] = {
      {{500}, 500, 500, 500},
      {{900, 100, 500, 700}, 100, 500, 900},  // 2nd of 4
      {{30, 10, 20}, 10, 20, 30},
      {{8, 8, 8, 8, 9}, 8, 8, 9},
  };
  for (const auto& c : cases) {
    std::vector<FrameRecord> frames;
    for (int64_t length : c.lengths) {
      frames.push_back(Stamped(0, kFt, 0.0));
      frames.back().length = length;
    }
    const SampleSizeStats sizes = SampleSizes(frames);
    EXPECT_EQ(sizes.count, int64_t(c.lengths.size()));
    EXPECT_EQ(sizes.min, c.min);
    EXPECT_EQ(sizes.p50, c.p50);
    EXPECT_EQ(sizes.max, c.max);
  }
  EXPECT_EQ(SampleSizes({}).count, 0);
}

TEST(CaptureReport, VerdictNamesEveryProblem) {
  CaptureReport report;
  report.frames = 3;
  report.requested_frames = 3;
  report.sample_bytes = 100;
  report.timestamps = CheckTimestamps(Consecutive({0, 1, 2}), kFt);
  EXPECT_TRUE(report.ok());

  report.requested_frames = 5;
  report.wrong_size = 1;
  report.stream_error = "EC_ERRORABORT (0x80004005)";
  EXPECT_FALSE(report.ok());
  EXPECT_EQ(report.problems().size(), 3u);
  const std::string json = FormatReportJson(report);
  EXPECT_NE(json.find("\"ok\": false"), std::string::npos);
  EXPECT_NE(json.find("\"frames\": 3"), std::string::npos);

  CaptureReport empty;
  EXPECT_FALSE(empty.ok());
  EXPECT_EQ(JsonString("a\"b\\c\n"), "\"a\\\"b\\\\c\\n\"");
}

// A removal without a graph built anew after it is a problem of its own; each
// graph built anew after a return accounts for one new stream in the codes.
TEST(CaptureReport, ARemovalFailsTheRunUnlessAGraphWasBuiltAnewAfterIt) {
  struct Case {
    std::vector<bool> events;  // available (true) or removed (false), in order
    int64_t reconnects;
    int64_t restarts;  // changes of stream id in the frame codes
    bool lost;
    size_t problems;
  };
  const Case cases[] = {
      {{}, 0, 0, false, 0},
      {{false}, 0, 0, true, 1},
      {{false, true}, 0, 0, true, 1},
      {{false, true}, 1, 1, false, 0},
      {{false, true, false}, 1, 1, true, 1},
      {{false, true, false, true}, 2, 3, false, 1},  // one restart more than rebuilt graphs
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reconnects);
    CaptureReport report;
    report.frames = 3;
    report.sample_bytes = 100;
    report.timestamps = CheckTimestamps(Consecutive({0, 1, 2}), kFt);
    report.verify = true;
    report.codes.frames = report.codes.decoded = 3;
    report.codes.restarts = c.restarts;
    for (bool available : c.events)
      report.device_events.push_back({available, 3, 1.0});
    report.reconnects = c.reconnects;
    EXPECT_EQ(report.device_lost(), c.lost);
    EXPECT_EQ(report.problems().size(), c.problems);
  }
}

// Upright B, G, R of one pixel of a converted picture.
std::vector<int> PixelAt(const RgbImage& image, int x, int y) {
  const uint8_t* p = image.bgr.data() + (static_cast<size_t>(y) * image.width + x) * 3;
  return {p[0], p[1], p[2]};
}

void ExpectNear(const std::vector<int>& got, const std::vector<int>& want, int tolerance) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i)
    EXPECT_NEAR(got[i], want[i], tolerance) << "byte " << i;
}

TEST(CaptureReport, SourceCountsAsTheCapturePinReportsThem) {
  struct Case {
    const char* name;
    SourceCounts counts;
    const char* text;
    const char* json;
  };
  SourceCounts lost;
  lost.available = true;
  lost.dropped = 3;
  lost.not_dropped = 297;
  lost.average_frame_size = 614400;
  lost.dropped_frames = {30, 60, 90};
  SourceCounts more = lost;
  more.dropped = 4;  // more dropped than the pin listed
  const Case cases[] = {
      {"no interface", SourceCounts(), "not reported (no IAMDroppedFrames)",
       "{\"available\": false, \"dropped\": 0, \"not_dropped\": 0, \"average_frame_size\": 0, "
       "\"dropped_frames\": []}"},
      {"three lost", lost,
       "3 dropped (frames 30, 60, 90), 297 delivered, average frame 614400 bytes",
       "{\"available\": true, \"dropped\": 3, \"not_dropped\": 297, "
       "\"average_frame_size\": 614400, \"dropped_frames\": [30, 60, 90]}"},
      {"more than listed", more,
       "4 dropped (frames 30, 60, 90, ...), 297 delivered, average frame 614400 bytes", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SourceCountsText(c.counts), c.text);
    if (c.json) {
      EXPECT_EQ(SourceCountsJson(c.counts), c.json);
    }
  }
  CaptureReport report;
  report.source = lost;
  EXPECT_NE(FormatReportText(report).find("source counts: 3 dropped"), std::string::npos);
  EXPECT_NE(FormatReportJson(report).find("\"source_counts\": {\"available\": true"),
            std::string::npos);
}

// Arrivals of the given frame numbers, 10 ms apart, stamped as their codes say.
std::vector<CodedArrival> Arrivals(const std::vector<int64_t>& frames) {
  std::vector<CodedArrival> out;
  for (int64_t n : frames) {
    CodedArrival a;
    a.frame = n;
    a.code_time = n * 100000;
    a.has_start = true;
    a.start = a.code_time;
    a.arrival_ms = 10.0 * double(out.size());
    out.push_back(a);
  }
  return out;
}

TEST(FrameFindings, EachFaultIsFoundWithItsFrameNumbers) {
  using Frames = std::vector<int64_t>;
  // Frame 3 lost; 5 repeated; 7 and 8 swapped.
  std::vector<CodedArrival> run = Arrivals({0, 1, 2, 4, 5, 5, 6, 8, 7, 9, 10});
  run[1].has_start = false;                // frame 1 without stamps
  run[9].start = run[8].start;             // frame 9 with frame 7's stamps
  for (size_t i = 6; i < run.size(); ++i)  // a 500 ms stall before frame 6
    run[i].arrival_ms += 500.0;
  run.back().drops = 2;
  const FrameFindings f = FindFrameFaults(run, 100000);
  EXPECT_EQ(f.missing, Frames({3}));
  EXPECT_EQ(f.repeated, Frames({5}));
  EXPECT_EQ(f.out_of_order, Frames({7}));
  EXPECT_EQ(f.without_time, Frames({1}));
  EXPECT_EQ(f.wrong_time, Frames({9}));
  EXPECT_EQ(f.stalled, Frames({6}));
  EXPECT_EQ(f.last_frame, 10);
  EXPECT_EQ(f.last_drops, 2);

  const FrameFindings clean = FindFrameFaults(Arrivals({0, 1, 2, 3}), 100000);
  EXPECT_TRUE(clean.missing.empty() && clean.repeated.empty() && clean.out_of_order.empty() &&
              clean.without_time.empty() && clean.wrong_time.empty() && clean.stalled.empty());
  // Empty or short samples (-1 here) take the numbers after the code before
  // them: 2 and 3 are not missing, 5 is; one before any code is not numbered.
  std::vector<CodedArrival> cut = Arrivals({-1, 0, 1, -1, -1, 4, 6});
  for (CodedArrival& a : cut)
    a.partial = a.frame < 0;
  const FrameFindings partial = FindFrameFaults(cut, 100000);
  EXPECT_EQ(partial.partial, Frames({2, 3}));
  EXPECT_EQ(partial.missing, Frames({5}));
  EXPECT_EQ(JsonNumberList({30, 60}), "[30, 60]");
  EXPECT_EQ(JsonNumberList({}), "[]");
}

TEST(FrameFindings, SourceCountsMustBeTheCodesDropsPlusTheMissingFrames) {
  // Frames 0..10 arrived but 3 and 6; the last code counts 1 late frame.
  FrameFindings f = FindFrameFaults(Arrivals({0, 1, 2, 4, 5, 7, 8, 9, 10}), 100000);
  f.last_drops = 1;
  struct Case {
    const char* name;
    bool available;
    int64_t dropped, notDropped;
    std::vector<int64_t> frames;
    int64_t inFlight;
    bool checked, agrees;
  };
  const Case cases[] = {
      {"late 8, lost 3 and 6; 12 lost after the last frame",
       true,
       4,
       9,
       {3, 6, 8, 12},
       0,
       true,
       true},
      {"a lost frame unreported", true, 2, 9, {3, 8}, 0, true, false},
      {"fewer delivered than arrived", true, 3, 8, {3, 6, 8}, 0, true, false},
      {"the last one refused by the stopping renderer", true, 3, 8, {3, 6, 8}, 1, true, true},
      {"two fewer, one of them on its way", true, 3, 7, {3, 6, 8}, 1, true, false},
      {"not every dropped frame listed", true, 5, 9, {3, 6, 8}, 0, false, false},
      {"no interface", false, 0, 0, {}, 0, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SourceCounts counts;
    counts.available = c.available;
    counts.dropped = c.dropped;
    counts.not_dropped = c.notDropped;
    counts.dropped_frames = c.frames;
    const CountsCheck check = CheckSourceCounts(f, counts, 9, c.inFlight);
    EXPECT_EQ(check.checked, c.checked);
    EXPECT_EQ(check.agrees, c.agrees) << check.note;
    if (c.checked) {
      EXPECT_EQ(check.expected, 3);
    }
  }
}

// Samples whose frame codes say frame n of stream id, at n frame times
// (-1: the code could not be read; -2: an empty or short sample).
std::vector<SampleCode> CodedRun(const std::vector<int>& numbers, uint32_t restartAt = ~0u) {
  constexpr int64_t kFrameTime = 400000;
  std::vector<SampleCode> run;
  for (size_t i = 0; i < numbers.size(); ++i) {
    SampleCode s;
    s.has_start = true;
    s.start = int64_t(i) * kFrameTime;
    if (numbers[i] >= 0) {
      s.frame.status = FrameCodeStatus::kDecoded;
      s.frame.payload.frame_number = uint32_t(numbers[i]);
      s.frame.payload.stream_id = i >= restartAt ? 2 : 1;
      s.frame.payload.capability = 3;
      s.frame.payload.sample_time = int64_t(numbers[i]) * kFrameTime;
    } else {
      s.frame.status = FrameCodeStatus::kUnreadable;
      s.partial = numbers[i] == -2;
    }
    run.push_back(s);
  }
  return run;
}

TEST(FrameCodeCheck, MissingRepeatedAndReorderedFramesAreCountedByTheirCodes) {
  struct Case {
    std::vector<int> numbers;
    uint32_t restartAt;
    int64_t missing, repeated, outOfOrder, unreadable, restarts, timeMismatch;
  };
  const std::vector<Case> cases = {
      {{0, 1, 2, 3}, ~0u, 0, 0, 0, 0, 0, 0},  {{5, 6, 9, 10}, ~0u, 2, 0, 0, 0, 0, 4},
      {{0, 1, 1, 2}, ~0u, 0, 1, 0, 0, 0, 2},  {{0, 2, 1, 3}, ~0u, 0, 0, 1, 0, 0, 2},
      {{0, -1, 2, 3}, ~0u, 1, 0, 0, 1, 0, 0}, {{0, 1, 0, 1}, 2, 0, 0, 0, 0, 1, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases.data()));
    const FrameCodeCheck check =
        CheckFrameCodes(CodedRun(c.numbers, c.restartAt), 3, 400000, false);
    EXPECT_EQ(check.frames, int64_t(c.numbers.size()));
    EXPECT_EQ(check.missing, c.missing);
    EXPECT_EQ(check.repeated, c.repeated);
    EXPECT_EQ(check.out_of_order, c.outOfOrder);
    EXPECT_EQ(check.unreadable, c.unreadable);
    EXPECT_EQ(check.restarts, c.restarts);
    EXPECT_EQ(check.time_mismatch, c.timeMismatch);
    const bool clean =
        c.missing + c.repeated + c.outOfOrder + c.unreadable + c.restarts + c.timeMismatch == 0;
    EXPECT_EQ(check.ok(), clean);
  }
  // Empty and short samples are counted apart, not as unreadable codes; each
  // stands for a number in the gap it leaves.
  const struct {
    std::vector<int> numbers;
    int64_t partial, missing;
  } partialCases[] = {{{0, -2, 2, 3}, 1, 0}, {{0, -2, 3}, 1, 1}, {{0, -2, -2, 3, -2}, 3, 0}};
  for (const auto& c : partialCases) {
    const FrameCodeCheck check = CheckFrameCodes(CodedRun(c.numbers), 3, 400000, false);
    EXPECT_EQ(check.partial, c.partial);
    EXPECT_EQ(check.missing, c.missing);
    EXPECT_EQ(check.unreadable, 0);
    EXPECT_FALSE(check.ok());
  }
  // A YUY2 sample a byte short of its 8 x 2 frame: no code looked for.
  Capability yuy2;
  yuy2.width = 8;
  yuy2.height = 2;
  yuy2.format = PixelFormat::kYuy2;
  const std::vector<uint8_t> bytes(32, 0x80);
  EXPECT_TRUE(ReadSampleCode(bytes.data(), 31, yuy2).partial);
  EXPECT_FALSE(ReadSampleCode(bytes.data(), 32, yuy2).partial);
  // Another capability than the one selected is a mismatch; none selected, no check.
  EXPECT_EQ(CheckFrameCodes(CodedRun({0, 1}), 4, 400000, false).capability_mismatch, 2);
  EXPECT_TRUE(CheckFrameCodes(CodedRun({0, 1}), -1, 400000, false).ok());
  // A type that says interlaced wants both fields' codes of every frame.
  const FrameCodeCheck interlaced = CheckFrameCodes(CodedRun({0, 1}), 3, 400000, true);
  EXPECT_EQ(interlaced.fields_unreadable, 4);
  EXPECT_FALSE(interlaced.ok());
}

TEST(FrameImage, StudioRangeColoursComeBackAsTheirRgb) {
  // Y, U, V of pure colours as the source's BT.601 and BT.709 (HDYC)
  // conversions make them, and the B, G, R they stand for.
  struct Case {
    const char* what;
    PixelFormat format;
    int y, u, v;
    std::vector<int> bgr;
  };
  const std::vector<Case> cases = {
      {"white 601", PixelFormat::kYuy2, 235, 128, 128, {255, 255, 255}},
      {"black 601", PixelFormat::kUyvy, 16, 128, 128, {0, 0, 0}},
      {"red 601", PixelFormat::kYvyu, 81, 90, 239, {0, 0, 255}},
      {"green 601", PixelFormat::kYuy2, 144, 53, 34, {0, 255, 0}},
      {"blue 601", PixelFormat::kUyvy, 40, 239, 109, {255, 0, 0}},
      {"white 709", PixelFormat::kHdyc, 234, 128, 128, {255, 255, 255}},
      {"red 709", PixelFormat::kHdyc, 62, 102, 240, {0, 0, 255}},
      {"green 709", PixelFormat::kHdyc, 172, 41, 26, {0, 255, 0}},
      {"blue 709", PixelFormat::kHdyc, 31, 240, 117, {255, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // One pixel pair in the format's byte order.
    uint8_t unit[4];
    switch (c.format) {
      case PixelFormat::kYuy2:
        unit[0] = c.y, unit[1] = c.u, unit[2] = c.y, unit[3] = c.v;
        break;
      case PixelFormat::kYvyu:
        unit[0] = c.y, unit[1] = c.v, unit[2] = c.y, unit[3] = c.u;
        break;
      default:
        unit[0] = c.u, unit[1] = c.y, unit[2] = c.v, unit[3] = c.y;
        break;
    }
    RgbImage image;
    ASSERT_TRUE(FrameToRgb(unit, sizeof unit, 2, 1, c.format, &image));
    ExpectNear(PixelAt(image, 0, 0), c.bgr, 3);
    ExpectNear(PixelAt(image, 1, 0), c.bgr, 3);
  }
}

TEST(FrameImage, PicturesComeOutTheRightWayUp) {
  // 2 x 2 frames with a red top line and a blue bottom line. RGB frames are
  // stored bottom-up (RGB24 rows padded to 8 bytes), 4:2:2 frames top-down.
  const std::vector<int> red = {0, 0, 255};
  const std::vector<int> blue = {255, 0, 0};
  const std::vector<uint8_t> rgb24 = {255, 0, 0,   255, 0, 0,   9, 9,   // memory row 0: bottom
                                      0,   0, 255, 0,   0, 255, 9, 9};  // memory row 1: top
  const std::vector<uint8_t> rgb32 = {255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 0, 0, 0, 255, 0};
  const std::vector<uint8_t> yuy2 = {81, 90, 81, 239, 40, 239, 40, 109};
  struct Case {
    PixelFormat format;
    const std::vector<uint8_t>* frame;
    int height;
  };
  for (const Case& c : {Case{PixelFormat::kRgb24, &rgb24, 2}, Case{PixelFormat::kRgb32, &rgb32, 2},
                        Case{PixelFormat::kYuy2, &yuy2, 2}}) {
    SCOPED_TRACE(PixelFormatName(c.format));
    RgbImage image;
    ASSERT_TRUE(FrameToRgb(c.frame->data(), c.frame->size(), 2, c.height, c.format, &image));
    for (int x = 0; x < 2; ++x) {
      ExpectNear(PixelAt(image, x, 0), red, 3);
      ExpectNear(PixelAt(image, x, 1), blue, 3);
    }
  }
  // A negative RGB height announces a top-down frame.
  RgbImage flipped;
  ASSERT_TRUE(FrameToRgb(rgb32.data(), rgb32.size(), 2, -2, PixelFormat::kRgb32, &flipped));
  ExpectNear(PixelAt(flipped, 0, 0), blue, 0);

  RgbImage none;
  EXPECT_FALSE(FrameToRgb(yuy2.data(), yuy2.size() - 1, 2, 2, PixelFormat::kYuy2, &none));
  EXPECT_FALSE(FrameToRgb(yuy2.data(), yuy2.size(), 2, 2, PixelFormat::kUnknown, &none));
  EXPECT_FALSE(FrameToRgb(nullptr, 0, 2, 2, PixelFormat::kRgb24, &none));
}

TEST(FrameImage, BmpFilesAreBottomUpWithPaddedRows) {
  RgbImage image;
  image.width = 3;
  image.height = 2;
  image.bgr = {1,  2,  3,  4,  5,  6,  7,  8,  9,    // top line
               10, 11, 12, 13, 14, 15, 16, 17, 18};  // bottom line
  const std::vector<uint8_t> bmp = EncodeBmp24(image);
  auto le32 = [&](size_t at) {
    return static_cast<uint32_t>(bmp[at] | bmp[at + 1] << 8 | bmp[at + 2] << 16 |
                                 bmp[at + 3] << 24);
  };
  ASSERT_EQ(bmp.size(), 54u + 2 * 12u);  // 9 bytes of pixels padded to 12
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[1], 'M');
  EXPECT_EQ(le32(2), bmp.size());
  EXPECT_EQ(le32(10), 54u);
  EXPECT_EQ(le32(18), 3u);
  EXPECT_EQ(le32(22), 2u);
  EXPECT_EQ(bmp[28], 24);
  EXPECT_EQ(bmp[54], 10);      // the file's first row is the bottom line
  EXPECT_EQ(bmp[54 + 12], 1);  // then the top line
  EXPECT_EQ(bmp[54 + 9], 0);   // padding
}

TEST(CaptureOptions, CommandLines) {
  struct Case {
    std::vector<std::string> args;
    bool ok;
    const char* error_part;
  };
  const std::vector<Case> cases = {
      {{}, true, ""},
      {{"--cap", "3", "--frames", "10", "--json"}, true, ""},
      {{"--size", "640x480", "--format", "yuy2", "--fps", "29.97"}, true, ""},
      {{"--snapshot", "a.bmp", "--snapshot-frame", "4", "--seconds", "2.5"}, true, ""},
      {{"--cap", "-1"}, false, "--cap"},
      {{"--frames", "0"}, false, "--frames"},
      {{"--size", "640"}, false, "--size"},
      {{"--fps", "0"}, false, "--fps"},
      {{"--seconds"}, false, "needs a value"},
      {{"--bogus"}, false, "unknown argument"},
      {{"--cap", "1", "--format", "YUY2"}, false, "cannot be combined"},
      {{"--snapshot-frame", "2"}, false, "--snapshot"},
      {{"--verify", "--seconds", "10"}, true, ""},
      {{"--mf", "--module", "Z:/m/ZintuDobrel64.ax", "--cap", "2", "--verify"}, true, ""},
      {{"--module", "a.ax"}, false, "--module needs --mf"},
      {{"--mf", "--no-clock"}, false, "cannot be combined"},
      {{"--mf", "--device", "Other"}, false, "cannot be combined"},
      {{"--reconnect", "--frames", "30", "--verify"}, true, ""},
      {{"--mf", "--reconnect"}, false, "cannot be combined"},
  };
  for (const Case& c : cases) {
    std::string joined;
    for (const std::string& a : c.args)
      joined += a + " ";
    SCOPED_TRACE(joined);
    CaptureOptions options;
    std::string error;
    EXPECT_EQ(ParseCaptureOptions(c.args, &options, &error), c.ok);
    if (!c.ok) {
      EXPECT_NE(error.find(c.error_part), std::string::npos) << error;
    }
  }

  CaptureOptions options;
  std::string error;
  ASSERT_TRUE(ParseCaptureOptions({}, &options, &error));
  EXPECT_EQ(options.device, kExpectedDeviceName);
  EXPECT_FALSE(options.version);
  ASSERT_TRUE(ParseCaptureOptions({"--version"}, &options, &error));
  EXPECT_TRUE(options.version);
  EXPECT_EQ(options.seconds, 3.0);  // a run without a length lasts three seconds
  ASSERT_TRUE(ParseCaptureOptions({"--size", "1920X1080", "--frames", "7"}, &options, &error));
  EXPECT_EQ(options.width, 1920);
  EXPECT_EQ(options.height, 1080);
  EXPECT_EQ(options.frames, 7);
  EXPECT_EQ(options.seconds, 0.0);  // a frame count alone sets no time
}

TEST(CaptureOptions, SizeFormatAndRateSelectTheFirstMatchingCapability) {
  auto cap = [](int w, int h, PixelFormat f, int64_t ft) {
    Capability c;
    c.width = w;
    c.height = h;
    c.format = f;
    c.subtype = PixelFormatName(f);
    c.frame_time = ft;
    return c;
  };
  const std::vector<Capability> caps = {
      cap(640, 480, PixelFormat::kRgb32, 333333),  cap(320, 240, PixelFormat::kRgb32, 333667),
      cap(320, 240, PixelFormat::kYuy2, 400000),   cap(640, 480, PixelFormat::kYuy2, 333333),
      cap(1920, 1080, PixelFormat::kYuy2, 166666), cap(1920, 1080, PixelFormat::kHdyc, 166833),
  };
  struct Case {
    int w, h;
    const char* format;
    double fps;
    int index;
  };
  const std::vector<Case> cases = {
      {0, 0, "", 0.0, 0},        // nothing asked: the first
      {320, 240, "", 0.0, 1},    // size only
      {0, 0, "yuy2", 0.0, 2},    // format only, any letter case
      {0, 0, "RG32", 29.97, 1},  // settings-file name and NTSC rate
      {640, 480, "YUY2", 30.0, 3},
      {1920, 1080, "", 60.0, 4},
      {1920, 1080, "HDYC", 59.94, 5},
      {1920, 1080, "YUY2", 59.94, -1},  // 166666 is 60, not 59.94
      {1280, 720, "", 0.0, -1},
      {0, 0, "NV12", 0.0, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " " + c.format + " " +
                 std::to_string(c.fps));
    EXPECT_EQ(MatchCapability(caps, c.w, c.h, c.format, c.fps), c.index);
  }
}

// What --mf expects of a sample: the packed formats rows of the default
// stride, the planar ones their packed planes, MJPG up to the largest JPEG
// (16 x 8 blocks at 4 bytes a pixel and 2048 bytes, docs/mjpg.md). A
// subtype's FOURCC names its format whatever the bits per pixel.
TEST(MfSamples, SizesFollowTheSubtype) {
  struct Case {
    uint32_t fourcc;  // a subtype's first field; 0 with format given for RGB
    PixelFormat format;
    int w, h;
    int64_t stride;
    int64_t bytes;
    bool variable;
  };
  const std::vector<Case> cases = {
      {0, PixelFormat::kRgb32, 640, 480, 2560, 1228800, false},
      {0, PixelFormat::kRgb24, 642, 480, 1928, 925440, false},
      {0, PixelFormat::kRgb24, 642, 480, 0, 925440, false},  // no stride: 1926 padded to 1928
      {0x32595559, PixelFormat::kYuy2, 320, 240, 640, 153600, false},     // YUY2
      {0x43594448, PixelFormat::kHdyc, 1280, 720, 2560, 1843200, false},  // HDYC
      {0x3231564E, PixelFormat::kNv12, 1280, 720, 1280, 1382400, false},  // NV12
      {0x30323449, PixelFormat::kI420, 642, 480, 642, 462240, false},     // I420
      {0x47504A4D, PixelFormat::kMjpg, 1920, 1080, 0, 8296448, true},     // MJPG
      {0x47504A4D, PixelFormat::kMjpg, 322, 242, 0, 336 * 248 * 4 + 2048, true},
      {0x34363248, PixelFormat::kUnknown, 640, 480, 1280, 0, false},  // H264: not a frame format
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(PixelFormatName(c.format)) + " " + std::to_string(c.w));
    if (c.fourcc) {
      EXPECT_EQ(PixelFormatFromFourcc(c.fourcc), c.format);
    }
    Capability cap;
    cap.width = c.w;
    cap.height = c.h;
    cap.format = c.format;
    const SampleSize size = MfSampleSize(cap, c.stride);
    EXPECT_EQ(size.bytes, c.bytes);
    EXPECT_EQ(size.variable, c.variable);
  }
  EXPECT_EQ(PixelFormatFromFourcc(0), PixelFormat::kUnknown);  // RGB has no FOURCC
}

}  // namespace
}  // namespace zdcap
