// The progress line: what it says, and that it says nothing where no person
// watches a terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "tools/analyse/report/progress_line.h"

namespace zdanalyse {
namespace {

TEST(ProgressLine, SaysFramesShareAndRate) {
  struct Case {
    int64_t frames, expected;
    double seconds;
    const char* text;
  } cases[] = {
      {150, 300, 2.0, "150 frames, 50 %, 75.0 fps"},
      {10, 0, 0.0, "10 frames"},                       // length unknown, no time yet
      {3, 0, 0.5, "3 frames, 6.0 fps"},                // length unknown
      {400, 300, 1.0, "400 frames, 99 %, 400.0 fps"},  // the header said too few
  };
  for (const Case& c : cases)
    EXPECT_EQ(ProgressText(c.frames, c.expected, c.seconds), c.text);
}

TEST(ProgressLine, ExpectsTheAnnouncedCountElseTheLengthAtTheNominalRate) {
  SourceInfo info;
  EXPECT_EQ(ExpectedFrames(info), 0);
  info.durationSeconds = 60;
  info.nominalRate = 59.94;
  EXPECT_EQ(ExpectedFrames(info), 3596);  // 3596.4
  info.expectedFrames = 1200;
  EXPECT_EQ(ExpectedFrames(info), 1200);
}

TEST(ProgressLine, WritesNothingWhereStandardErrorIsNoTerminal) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  {
    ProgressLine line(file, 100, true);
    line.Update(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    for (int64_t k = 2; k <= 100; ++k)
      line.Update(k);
  }
  EXPECT_EQ(std::ftell(file), 0L);
  std::fclose(file);
}

}  // namespace
}  // namespace zdanalyse
