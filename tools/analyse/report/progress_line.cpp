#include "tools/analyse/report/progress_line.h"

#include <cmath>

#ifdef _WIN32
#include <io.h>
#define ZD_ISATTY(f) _isatty(_fileno(f))
#else
#include <unistd.h>
#define ZD_ISATTY(f) isatty(fileno(f))
#endif

namespace zdanalyse {
namespace {

// Redraw interval, and how long a run must last before the line appears at
// all (short recordings finish without one).
constexpr std::chrono::milliseconds kRedraw{250};
constexpr std::chrono::milliseconds kFirstDraw{500};

}  // namespace

int64_t ExpectedFrames(const SourceInfo& info) {
  if (info.expectedFrames > 0)
    return info.expectedFrames;
  if (info.durationSeconds > 0 && info.nominalRate > 0)
    return int64_t(std::llround(info.durationSeconds * info.nominalRate));
  return 0;
}

std::string ProgressText(int64_t frames, int64_t expected, double seconds) {
  char text[120];
  int n = std::snprintf(text, sizeof text, "%lld frames", static_cast<long long>(frames));
  if (expected > 0) {
    int percent = int(double(frames) * 100.0 / double(expected));
    percent = percent < 0 ? 0 : percent > 99 ? 99 : percent;
    n += std::snprintf(text + n, sizeof text - size_t(n), ", %d %%", percent);
  }
  if (seconds > 0)
    std::snprintf(text + n, sizeof text - size_t(n), ", %.1f fps", double(frames) / seconds);
  return text;
}

ProgressLine::ProgressLine(std::FILE* terminal, int64_t expectedFrames, bool enabled)
    : m_expected(expectedFrames), m_start(Clock::now()), m_lastDrawn(m_start) {
  if (enabled && terminal && ZD_ISATTY(terminal))
    m_out = terminal;
}

ProgressLine::~ProgressLine() {
  if (m_out && m_drawnWidth > 0) {
    std::fprintf(m_out, "\r%*s\r", int(m_drawnWidth), "");
    std::fflush(m_out);
  }
}

void ProgressLine::Update(int64_t frames) {
  if (!m_out)
    return;
  const Clock::time_point now = Clock::now();
  if (now - m_start < kFirstDraw || now - m_lastDrawn < kRedraw)
    return;
  m_lastDrawn = now;
  const double seconds = std::chrono::duration<double>(now - m_start).count();
  const std::string text = "zd-analyse: " + ProgressText(frames, m_expected, seconds);
  // Padded to the widest line drawn so far, so that no tail of it remains.
  std::fprintf(m_out, "\r%-*s", int(m_drawnWidth), text.c_str());
  std::fflush(m_out);
  m_drawnWidth = text.size() > m_drawnWidth ? text.size() : m_drawnWidth;
}

}  // namespace zdanalyse
