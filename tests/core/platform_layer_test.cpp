// The thin platform layer under the core: the log file, the clocks and the
// stream's precise timer.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/log_file.h"
#include "platform/precise_timer.h"
#include "platform/system_clock.h"
#include "tests/core/data/temp_files.h"

namespace {

TEST(LogFile, WritesReachTheFileAndReopeningStartsItAfresh) {
  TempFolder folder;
  const std::string path = folder.PathOf("latency.txt");
  LogFile log;
  EXPECT_FALSE(log.IsOpen());
  EXPECT_EQ(log.Write("lost", 4), 0u);

  ASSERT_TRUE(log.Open(path));
  EXPECT_TRUE(log.IsOpen());
  EXPECT_EQ(log.Write("first line\r\n", 12), 12u);
  EXPECT_EQ(log.Write("second\r\n", 8), 8u);
  log.Close();
  EXPECT_FALSE(log.IsOpen());
  EXPECT_EQ(ReadWholeFile(path), "first line\r\nsecond\r\n");

  ASSERT_TRUE(log.Open(path));
  EXPECT_EQ(log.Write("new", 3), 3u);
  log.Close();
  log.Close();  // closing twice is harmless
  EXPECT_EQ(ReadWholeFile(path), "new");
}

TEST(LogFile, AFileThatCannotBeCreatedLeavesTheLogClosed) {
  TempFolder folder;
  LogFile log;
  EXPECT_FALSE(log.Open(folder.PathOf("no such folder/latency.txt")));
  EXPECT_FALSE(log.IsOpen());
  EXPECT_EQ(log.Write("x", 1), 0u);
}

TEST(LogFile, DestroyingAnOpenLogClosesItWithItsContents) {
  TempFolder folder;
  const std::string path = folder.PathOf("latency.txt");
  {
    LogFile log;
    ASSERT_TRUE(log.Open(path));
    log.Write("kept", 4);
  }
  EXPECT_EQ(ReadWholeFile(path), "kept");
}

TEST(SystemClock, ThePerformanceCounterRunsForwardAtAPositiveRate) {
  EXPECT_GT(PerformanceFrequency(), 0);
  const int64_t before = PerformanceCounter();
  SleepMs(1);
  const int64_t after = PerformanceCounter();
  EXPECT_GE(after, before);
}

TEST(SystemClock, TheCursorIsReportedOnlyWhereThereIsOne) {
  EXPECT_FALSE(CursorPosition(nullptr, nullptr));
#ifndef _WIN32
  int32_t x = -1;
  int32_t y = -1;
  EXPECT_FALSE(CursorPosition(&x, &y));
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
#endif
}

TEST(PreciseTimer, TheHighResolutionTimerComesFirstThenTheRaisedPeriodThenTheSystemTimer) {
  struct Case {
    bool highResolutionTimer;
    bool periodRaised;
    WaitPath expected;
  };
  const Case cases[] = {
      {true, true, WaitPath::kHighResolutionTimer},
      {true, false, WaitPath::kHighResolutionTimer},
      {false, true, WaitPath::kRaisedPeriod},
      {false, false, WaitPath::kSystemPeriod},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChooseWaitPath(c.highResolutionTimer, c.periodRaised), c.expected)
        << c.highResolutionTimer << c.periodRaised;
  }
  // The system timer as it is: Windows' 64 Hz tick; the other paths finer.
  EXPECT_EQ(WaitGranularityUs(WaitPath::kSystemPeriod), 1000000u / 64u);
  EXPECT_LE(WaitGranularityUs(WaitPath::kRaisedPeriod), 1000u);
  EXPECT_LT(WaitGranularityUs(WaitPath::kHighResolutionTimer),
            WaitGranularityUs(WaitPath::kRaisedPeriod));
}

// Both paths sleep where the system has them. Which one a stream takes here
// is printed (docs/testing.md names Wine's).
TEST(PreciseTimer, EachPathSleepsAndNamesItself) {
  PreciseTimer best;
  std::printf("wait path: %s\n", WaitPathName(best.Path()));
  RecordProperty("wait_path", WaitPathName(best.Path()));
  PreciseTimer raised(PreciseTimer::Choice::kWithoutHighResolution);
#ifdef _WIN32
  EXPECT_EQ(raised.Path(), WaitPath::kRaisedPeriod);
  // The environment asks the stream's timer for the raised period.
  ASSERT_EQ(_putenv("ZD_WAIT_PATH=raised-period"), 0);
  PreciseTimer asked;
  ASSERT_EQ(_putenv("ZD_WAIT_PATH="), 0);
  EXPECT_EQ(asked.Path(), WaitPath::kRaisedPeriod);
#else
  EXPECT_EQ(best.Path(), WaitPath::kHighResolutionTimer);
  EXPECT_EQ(raised.Path(), WaitPath::kHighResolutionTimer);  // nothing to raise natively
#endif
  // What 1 ms sleeps take on each path here, for the record; never asserted.
  constexpr int kSleeps = 20;
  for (PreciseTimer* timer : {&best, &raised}) {
    const int64_t before = PerformanceCounter();
    for (int i = 0; i < kSleeps; ++i)
      timer->SleepUs(1000);
    const int64_t after = PerformanceCounter();
    EXPECT_GT(after, before) << WaitPathName(timer->Path());
    std::printf("%s: a 1 ms sleep takes %.3f ms on average\n", WaitPathName(timer->Path()),
                double(after - before) * 1000.0 / double(PerformanceFrequency()) / kSleeps);
  }
}

}  // namespace
