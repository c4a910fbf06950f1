// The thin platform layer under the core: the log file and the clocks.
#include <gtest/gtest.h>

#include <string>

#include "platform/log_file.h"
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

}  // namespace
