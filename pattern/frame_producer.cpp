// The frame loop: one frame per media sample, paced against the chosen clock.
// Worker thread only, under the pin's m_streamLock (see frame_producer.h).
// Nothing here allocates: text is formatted into local buffers.
#include "pattern/frame_producer.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "pattern/text_overlay.h"

namespace {

constexpr double kSpinMs = 2.0;           // within this of the due time the wait spins
constexpr uint32_t kFrameGuardMs = 1000;  // grace after the due time before the stream ends
// Longest wait the guard allows for; keeps deadlines within half the range of
// the 32-bit millisecond counter, so that they compare correctly across its wrap.
constexpr double kMaxWaitMs = 0x3FFFFFFF;
constexpr size_t kStatusLineSize = 256;
constexpr size_t kRecordSize = 96;

// True once the millisecond counter has passed the deadline, also when the
// counter has wrapped around in between.
bool TickPast(uint32_t now, uint32_t deadline) {
  return int32_t(now - deadline) > 0;
}

// A surface is drawn only into frames of its own format: the preset could have
// been replaced since the stream started, and a surface with wider pixels than
// the frame's would write past the rows.
bool SurfaceFits(const PixelSurface& surface, const PresetInfo& preset) {
  return !surface.empty() && surface.compression == preset.compression && preset.bit_count > 0 &&
         surface.bytes_per_pixel == preset.bit_count / 8;
}

int32_t ClampToInt32(int64_t v) {
  return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : int32_t(v);
}

struct ScrollOffsets {
  int32_t xEven, xOdd, yEven, yOdd;
};

// Scroll position of frame n. Interlaced frames move one step per field: the
// earlier field (even memory rows in mode 1, odd ones in mode 2) is one step
// behind the later one. Products wrap around in 32 bits.
ScrollOffsets ScrollFor(uint32_t n, const PresetInfo& preset, int32_t originX, int32_t originY) {
  const uint32_t sx = uint32_t(preset.scroll_x);
  const uint32_t sy = uint32_t(preset.scroll_y);
  const uint32_t ox = uint32_t(originX);
  const uint32_t oy = uint32_t(originY);
  ScrollOffsets s;
  if (preset.interlaced == 1 || preset.interlaced == 2) {
    const uint32_t earlyX = 2u * n * sx + ox;
    const uint32_t earlyY = 2u * n * sy + oy;
    const int32_t x1 = int32_t(earlyX), y1 = int32_t(earlyY);
    const int32_t x2 = int32_t(earlyX + sx), y2 = int32_t(earlyY + sy);
    if (preset.interlaced == 1) {
      s = {x1, x2, y1, y2};
    } else {
      s = {x2, x1, y2, y1};
    }
  } else {
    const int32_t x = int32_t(n * sx + ox), y = int32_t(n * sy + oy);
    s = {x, x, y, y};
  }
  return s;
}

}  // namespace

void FormatStatusLine(char* out, size_t size, int32_t w, uint32_t frameCount, uint32_t dropCount,
                      uint32_t timeMs, double fps) {
  const uint32_t t = timeMs;
  if (w > 480) {
    std::snprintf(
        out, size,
        "#yFrame#w%-4d#y #yDrop#w%-2d#y Time#w%d#yh#w%02d#ym#w%02d#ys#w%03d#yms FPS#w%5.2f",
        int(frameCount), int(dropCount), int(t / 3600000u), int((t / 60000u) % 60u),
        int((t / 1000u) % 60u), int(t % 1000u), fps);
  } else {
    std::snprintf(out, size, "#yFR#w%4d#y(#w%d#y) TM#w%3d.%03d#ys FPS#w%4.2f", int(frameCount),
                  int(dropCount), int(t / 1000u), int(t % 1000u), fps);
  }
}

double FrameProducer::GetCurrentMs(FrameHost& host) const {
  if (m_useCpuClock) {
    return double(host.PerformanceCounter()) * 1000.0 / double(m_perfFrequency) - m_perfBaseMs;
  }
  // A failed call reads as 0; the graph clock has whole milliseconds only.
  int64_t streamTime = 0;
  host.StreamTime(&streamTime);
  return double(int32_t(streamTime / 10000));
}

HResultCode FrameProducer::FillBuffer(FrameHost& host, FrameSample* sample,
                                      const PresetInfo& preset, int32_t mouseCursol) {
  if (!sample)
    return kE_POINTER;
  const HResultCode running = WaitForRunning(host);
  if (running != kS_OK)
    return running;
  const FrameLayout frame = LayoutOf(*sample, preset);
  const DueTime due = WaitUntilDue(host);
  if (!due.reached)
    return kS_FALSE;
  CountFrame(due.nowMs, preset);
  Compose(host, frame, preset, due.nowMs, mouseCursol);
  m_frameCode.Draw(frame.buffer, frame.pitch, frame.rowLen, frame.rows, preset, m_frameCount,
                   m_dropCount, m_sampleTime);
  const int64_t start = Stamp(sample, frame, preset);
  Record(host, start);
  ++m_frameCount;
  return kS_OK;
}

// Holds the sample until the graph runs, or gives it back on a stop.
HResultCode FrameProducer::WaitForRunning(FrameHost& host) const {
  int32_t state = kStateStopped;
  HResultCode hr = host.GetState(&state);
  if (Failed(hr))
    return hr;
  while (state != kStateRunning) {
    if (host.StopRequested())
      return kS_FALSE;
    host.SleepMs(1);
    hr = host.GetState(&state);
    if (Failed(hr))
      return hr;
  }
  return kS_OK;
}

// Rows start every size / h bytes and hold pitch / bytes-per-pixel pixels,
// so nothing drawn reaches past the sample's size, whatever that is.
FrameProducer::FrameLayout FrameProducer::LayoutOf(FrameSample& sample, const PresetInfo& preset) {
  FrameLayout frame;
  frame.buffer = sample.Pointer();
  frame.size = sample.Size();
  frame.rows = preset.h > 0 ? uint32_t(preset.h) : 0;
  const uint32_t bytesPerPixel = preset.bit_count > 0 ? uint32_t(preset.bit_count) / 8 : 0;
  frame.pitch = frame.rows ? frame.size / frame.rows : 0;
  frame.rowLen = bytesPerPixel ? frame.pitch / bytesPerPixel : 0;
  frame.drawable = frame.buffer && frame.rowLen > 0;
  return frame;
}

// Waits until the frame is due. The guard ends the stream when the clock
// fails to reach the due time within a second of when it should have: a
// stalled clock ends the stream, a frame interval of several seconds does not.
FrameProducer::DueTime FrameProducer::WaitUntilDue(FrameHost& host) const {
  double now = GetCurrentMs(host);
  const double ahead = m_nextDueMs - now;
  const uint32_t waitMs = ahead > 0.0 ? uint32_t(std::ceil(std::fmin(ahead, kMaxWaitMs))) : 0u;
  const uint32_t deadline = host.TickCountMs() + kFrameGuardMs + waitMs;
  while (now < m_nextDueMs) {
    if (m_nextDueMs > now + kSpinMs) {
      // A long wait still answers a stop at once.
      if (host.StopRequested())
        return {false, now};
      host.SleepMs(1);
    }
    if (TickPast(host.TickCountMs(), deadline))
      return {false, now};
    now = GetCurrentMs(host);
  }
  return {true, now};
}

// Advances the schedule, counts a late frame as a drop and updates the frame
// rate. The schedule advances one interval per frame and is never re-based,
// so after a stall frames follow back to back until they have caught up.
void FrameProducer::CountFrame(double now, const PresetInfo& preset) {
  const double intervalMs = double(preset.frame_time) / 10000.0;
  if (m_nextDueMs == 0.0) {
    m_nextDueMs = now + intervalMs;  // the first frame is never a drop
  } else {
    m_nextDueMs += intervalMs;
    if (now >= m_nextDueMs)
      ++m_dropCount;
  }

  // The frame rate over the last second or so, updated once a second.
  if (now >= m_fpsNextMs) {
    m_fps = 0.0;
    const double elapsed = now - m_fpsNextMs + 1000.0;
    if (elapsed > 0.0) {
      m_fps = double(int32_t(m_frameCount - uint32_t(m_fpsFrameMark))) * 1000.0 / elapsed;
    }
    m_fpsNextMs = now + 1000.0;
    m_fpsFrameMark = int32_t(m_frameCount);
  }
}

// The picture: the scrolled background, then the text lines and the marker.
void FrameProducer::Compose(FrameHost& host, const FrameLayout& frame, const PresetInfo& preset,
                            double now, int32_t mouseCursol) const {
  DrawBackground(frame, preset);
  DrawText(host, frame, preset, now, mouseCursol);
}

void FrameProducer::DrawBackground(const FrameLayout& frame, const PresetInfo& preset) const {
  if (!frame.buffer)
    return;
  if (frame.drawable && SurfaceFits(m_pattern, preset)) {
    const ScrollOffsets s = ScrollFor(m_frameCount, preset, m_scrollOriginX, m_scrollOriginY);
    m_pattern.BlitScrolled(frame.buffer, frame.pitch, frame.rowLen, frame.rows, s.xEven, s.xOdd,
                           s.yEven, s.yOdd);
  } else {
    std::memset(frame.buffer, 0, frame.size);
  }
}

// The information line at the bottom left, the status line at the top right
// and, when enabled, the mouse marker.
void FrameProducer::DrawText(FrameHost& host, const FrameLayout& frame, const PresetInfo& preset,
                             double now, int32_t mouseCursol) const {
  if (!frame.drawable || !SurfaceFits(m_font, preset))
    return;
  char status[kStatusLineSize];
  const uint32_t timeMs = uint32_t(int64_t(now));  // wraps after 2^32 ms
  FormatStatusLine(status, sizeof status, preset.w, m_frameCount, m_dropCount, timeMs, m_fps);
  // Positions in 64 bits, held to the 32-bit range: a preset or sheet of
  // absurd size puts the text off the frame instead of overflowing.
  const int32_t infoY = ClampToInt32(int64_t(preset.h) - m_font.glyph_h);
  const int32_t statusX = ClampToInt32(int64_t(preset.w) - MeasureString(m_font, status));
  DrawString(m_font, frame.buffer, frame.pitch, frame.rowLen, frame.rows, 0, infoY, m_infoLine);
  DrawString(m_font, frame.buffer, frame.pitch, frame.rowLen, frame.rows, statusX, 0, status);
  int32_t cursorX = 0, cursorY = 0;
  if (mouseCursol == 1 && host.CursorPosition(&cursorX, &cursorY)) {
    DrawCursorMarker(m_font, frame.buffer, frame.pitch, frame.rowLen, frame.rows,
                     int32_t(2u * uint32_t(cursorX)), int32_t(2u * uint32_t(cursorY)));
  }
}

// Time stamps run 0, frame_time, 2 * frame_time, ... whatever the clock says.
// Returns the sample's start time.
int64_t FrameProducer::Stamp(FrameSample* sample, const FrameLayout& frame,
                             const PresetInfo& preset) {
  const int64_t start = m_sampleTime;
  m_sampleTime += preset.frame_time;
  sample->SetTime(start, m_sampleTime);
  sample->SetSyncPoint(true);
  sample->SetActualDataLength(frame.size);
  return start;
}

// One latency record per frame when the log is open.
void FrameProducer::Record(FrameHost& host, int64_t start) {
  const int32_t finishedMs = int32_t(int64_t(GetCurrentMs(host)));
  if (m_latencyLog.IsOpen()) {
    char record[kRecordSize];
    const uint32_t len =
        FormatLatencyRecord(record, sizeof record, finishedMs, m_lastLogMs, int32_t(start / 10000));
    m_latencyLog.Append(record, len);
  }
  m_lastLogMs = finishedMs;
}
