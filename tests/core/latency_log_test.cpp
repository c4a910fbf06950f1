// The latency log: its records and how they reach the file.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "pattern/latency_log.h"
#include "tests/core/support/test_pictures.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f)
    return "<missing>";
  std::string text(1 << 16, '\0');
  text.resize(std::fread(&text[0], 1, text.size(), f));
  std::fclose(f);
  return text;
}

TEST(LatencyLog, RecordShowsClockIntervalLeadAndTimeStamp) {
  struct Case {
    int32_t now, previous, stamp;
    const char* record;
  };
  const Case cases[] = {
      {0, 0, 0, "       0(  0)ms: Latancy=   0ms, TimeStamp=   0ms\r\n"},
      {95, 40, 80, "      95( 55)ms: Latancy= -15ms, TimeStamp=  80ms\r\n"},
      {1234, 0, 1268, "    1234(1234)ms: Latancy=  34ms, TimeStamp=1268ms\r\n"},
      {12345678, 12345600, 12345700, "12345678( 78)ms: Latancy=  22ms, TimeStamp=12345700ms\r\n"},
      {-5, 3, 0, "      -5( -8)ms: Latancy=   5ms, TimeStamp=   0ms\r\n"},
  };
  for (const Case& c : cases) {
    char out[128];
    const uint32_t len = FormatLatencyRecord(out, sizeof out, c.now, c.previous, c.stamp);
    EXPECT_EQ(std::string(out, len), c.record);
  }
  char tiny[8];
  EXPECT_EQ(FormatLatencyRecord(tiny, sizeof tiny, 1, 0, 0), 7u);
  EXPECT_STREQ(tiny, "       ");
}

TEST(LatencyLog, ClosedLogStoresAndWritesNothing) {
  LatencyLog log;
  EXPECT_FALSE(log.IsOpen());
  log.Append("record\r\n", 8);
  EXPECT_EQ(log.used, 0u);
  EXPECT_FALSE(log.Flush());
  log.CloseLog();
  log.CloseLog();
  EXPECT_FALSE(log.IsOpen());
}

TEST(LatencyLog, RecordsReachTheFileInOrderWhenTheBufferFillsAndOnClose) {
  zdtest::TempDir dir("latency");
  const std::string path = dir.File("latency.log");
  LatencyLog log;
  ASSERT_TRUE(log.Open(path, 64));
  const std::string a(30, 'a'), b(30, 'b'), c(30, 'c'), huge(65, 'h');
  log.Append(a.data(), 30);
  log.Append(b.data(), 30);
  EXPECT_EQ(log.used, 60u);
  EXPECT_EQ(ReadFile(path), "") << "nothing written while the buffer has room";
  log.Append(c.data(), 30);  // does not fit: the first two are written out
  EXPECT_EQ(log.used, 30u);
  EXPECT_EQ(ReadFile(path), a + b);
  log.Append(huge.data(), 65);  // larger than the buffer: dropped
  EXPECT_EQ(log.used, 0u);
  EXPECT_EQ(ReadFile(path), a + b + c);
  log.Append(a.data(), 30);
  log.CloseLog();
  EXPECT_FALSE(log.IsOpen());
  EXPECT_EQ(log.capacity, 0u);
  EXPECT_EQ(ReadFile(path), a + b + c + a);

  // Opening again starts a new file.
  ASSERT_TRUE(log.Open(path));
  EXPECT_EQ(log.capacity, kLatencyLogCapacity);
  log.Append(b.data(), 30);
  log.CloseLog();
  EXPECT_EQ(ReadFile(path), b);
}

TEST(LatencyLog, LogThatCannotBeCreatedStaysClosed) {
  zdtest::TempDir dir("latency");
  LatencyLog log;
  EXPECT_FALSE(log.Open(dir.File("no-such-folder/latency.log")));
  EXPECT_FALSE(log.IsOpen());
  EXPECT_FALSE(log.Open(dir.File("latency.log"), 0));
  EXPECT_FALSE(log.IsOpen());
}

#ifndef _WIN32
TEST(LatencyLog, FailedWriteKeepsTheBufferedRecords) {
  LatencyLog log;
  ASSERT_TRUE(log.Open("/dev/full", 64));  // every write fails: no space
  const std::string a(40, 'a'), b(40, 'b');
  log.Append(a.data(), 40);
  EXPECT_FALSE(log.Flush());
  EXPECT_EQ(log.used, 40u);
  log.Append(b.data(), 40);  // the flush to make room fails: the new record is dropped
  EXPECT_EQ(log.used, 40u);
  EXPECT_EQ(std::string(log.buffer.get(), 40), a);
  log.CloseLog();
  EXPECT_FALSE(log.IsOpen());
}
#endif

}  // namespace
