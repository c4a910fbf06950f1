// Status lines as they appear in rendered frames (typed from the pictures),
// and texts the filter would never draw.
#include <gtest/gtest.h>

#include "tools/analyse/identity/status_line_reader.h"

namespace zdanalyse {
namespace {

TEST(StatusText, ReadsBothFormsAsTheFramesShowThem) {
  struct Case {
    const char* text;
    int32_t width;
    uint32_t frame, drops, timeMs;
    double fps;
  } const cases[] = {
      {"Frame100  Drop0  Time0h00m03s334ms FPS30.00", 640, 100, 0, 3334, 30.0},
      {"Frame0    Drop0  Time0h00m00s000ms FPS 0.00", 1920, 0, 0, 0, 0.0},
      {"Frame12345 Drop17 Time1h02m03s004ms FPS59.94", 1280, 12345, 17, 3723004, 59.94},
      {"FR 100(0) TM  4.000s FPS25.00", 320, 100, 0, 4000, 25.0},
      {"FR12345(3) TM123.456s FPS29.97", 480, 12345, 3, 123456, 29.97},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    StatusLine line;
    ASSERT_TRUE(ParseStatusText(c.text, c.width, &line));
    EXPECT_EQ(line.frame, c.frame);
    EXPECT_EQ(line.drops, c.drops);
    EXPECT_EQ(line.timeMs, c.timeMs);
    EXPECT_DOUBLE_EQ(line.fps, c.fps);
  }
}

TEST(StatusText, RefusesTextsTheFilterWouldNotDraw) {
  const struct {
    const char* text;
    int32_t width;
  } cases[] = {
      {"Frame100 Drop0  Time0h00m03s334ms FPS30.00", 640},   // padding of the frame number
      {"Frame100  Drop0  Time0h0m03s334ms FPS30.00", 640},   // minutes without two digits
      {"Frame100  Drop0  Time0h00m03s334ms FPS30.0", 640},   // one decimal
      {"FR 100(0) TM  4.000s FPS25.00", 640},                // short form on a wide frame
      {"Frame100  Drop0  Time0h00m03s334ms FPS30.00", 480},  // long form on a narrow one
      {"FR100(0) TM  4.000s FPS25.00", 320},                 // frame number not four wide
      {"FR 100(0) TM  4.000s FPS25.00 ", 320},               // anything after the rate
      {"FR 1-0(0) TM  4.000s FPS25.00", 320},
      {"", 320},
  };
  for (const auto& c : cases) {
    StatusLine line;
    EXPECT_FALSE(ParseStatusText(c.text, c.width, &line)) << c.text;
  }
}

}  // namespace
}  // namespace zdanalyse
