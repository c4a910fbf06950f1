// The frame loop: one frame per media sample, paced against the chosen clock.
// Worker thread only, under the pin's m_streamLock (see frame_producer.h).
// Nothing here allocates: text is formatted into local buffers.
#include "pattern/frame_producer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "pattern/device_presence.h"
#include "pattern/pixel_format.h"
#include "pattern/text_overlay.h"
#include "pattern/yuv420_convert.h"

namespace {

// The wait sleeps on the stream's timer until it is within the timer's
// granularity and this margin of the due time, then spins.
constexpr double kSpinMarginMs = 0.2;
// Longest single sleep: a stop is answered within about this and the timer's granularity.
constexpr double kSliceMs = 1.0;
constexpr uint32_t kFrameGuardMs = 1000;  // grace after the due time before the stream ends
// Longest wait the guard allows for; keeps deadlines within half the range of
// the 32-bit millisecond counter, so that they compare correctly across its wrap.
constexpr double kMaxWaitMs = 0x3FFFFFFF;
constexpr size_t kStatusLineSize = 256;
constexpr size_t kRecordSize = 96;
constexpr uint32_t kFaultRecordSize = 256;

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

// Waits ms milliseconds in 1 ms steps on the stream's timer, answering a stop at once. False when
// a stop ended the wait.
bool HoldBack(FrameHost& host, uint32_t ms) {
  const uint32_t deadline = host.TickCountMs() + ms;
  while (int32_t(host.TickCountMs() - deadline) < 0) {
    if (host.StopRequested())
      return false;
    host.SleepUs(1000);
  }
  return true;
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
  if (m_removed || (m_unplugAfter > 0 && m_frameCount >= uint32_t(m_unplugAfter)))
    return Unplug(host);
  const FrameLayout frame = LayoutOf(*sample, preset);
  if (m_skipOverdue)
    SkipOverdue(GetCurrentMs(host), preset);
  if (IsMjpgFormat(preset.compression))
    return FillMjpg(host, sample, frame, preset, mouseCursol);
  const DueTime due = WaitUntil(host, m_nextDueMs);
  if (!due.reached)
    return kS_FALSE;
  CountFrame(due.nowMs, preset);
  m_plan = m_faults.PlanFor(m_frameCount);
  if (IsPlanarFormat(preset.compression)) {
    ComposePlanar(host, frame, preset, due.nowMs, mouseCursol);  // the code included
  } else {
    Compose(host, frame, preset, due.nowMs, mouseCursol);
    m_frameCode.Draw(frame.buffer, frame.pitch, frame.rowLen, frame.rows, preset, m_frameCount,
                     m_dropCount, m_sampleTime);
  }
  const int64_t start = Stamp(sample, DamageSample(frame, frame.size), preset);
  Record(host, start, preset.frame_time);
  return Finish(host);
}

// The device goes when the frame after the last one it delivers is asked
// for: once, with its fault-log lines; every call after that fails alike.
HResultCode FrameProducer::Unplug(FrameHost& host) {
  if (!m_removed) {
    m_removed = true;
    DevicePresence::Process().Unplug(host.TickCountMs(), m_replugMs);
    if (m_faultLog.IsOpen()) {
      char records[kFaultRecordSize];
      m_faultLog.Append(records,
                        FormatDeviceRecords(records, sizeof records, m_frameCount, m_replugMs));
      m_faultLog.Flush();
    }
  }
  return kE_DEVICE_NOT_CONNECTED;
}

// The frame is finished: counted, and held back by stall and jitter faults (a
// stop ends that wait).
HResultCode FrameProducer::Finish(FrameHost& host) {
  ++m_frameCount;
  if (m_plan.DelayMs() > 0 && !HoldBack(host, m_plan.DelayMs()))
    return kS_FALSE;
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
    host.SleepUs(1000);
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

// Waits until the frame is due: sleeps on the stream's timer in slices of at
// most a millisecond (a stop ends the wait at once) until a sleep could end
// past the due time, then spins. The guard ends the stream when the clock
// fails to reach the due time within a second of when it should have: a
// stalled clock ends the stream, a frame interval of several seconds does not.
FrameProducer::DueTime FrameProducer::WaitUntil(FrameHost& host, double dueMs) const {
  double now = GetCurrentMs(host);
  const double ahead = dueMs - now;
  const uint32_t waitMs = ahead > 0.0 ? uint32_t(std::ceil(std::fmin(ahead, kMaxWaitMs))) : 0u;
  const uint32_t deadline = host.TickCountMs() + kFrameGuardMs + waitMs;
  const double spinMs = double(host.TimerGranularityUs()) / 1000.0 + kSpinMarginMs;
  while (now < dueMs) {
    const double sleepMs = std::fmin(dueMs - now - spinMs, kSliceMs);
    if (sleepMs > 0.0) {
      if (host.StopRequested())
        return {false, now};
      host.SleepUs(uint32_t(std::ceil(sleepMs * 1000.0)));
    }
    if (TickPast(host.TickCountMs(), deadline))
      return {false, now};
    now = GetCurrentMs(host);
  }
  return {true, now};
}

// Skips the frames due more than one interval before now: each takes its
// number, its time stamp and its place in the schedule, and is a drop.
void FrameProducer::SkipOverdue(double now, const PresetInfo& preset) {
  const double intervalMs = double(preset.frame_time) / 10000.0;
  if (m_nextDueMs == 0.0 || intervalMs <= 0.0)
    return;  // frame 0 is made at once
  while (now - m_nextDueMs > intervalMs) {
    m_nextDueMs += intervalMs;
    m_sampleTime += preset.frame_time;
    ++m_frameCount;
    ++m_dropCount;
    ++m_skipCount;
  }
}

int64_t FrameProducer::CounterTime(double ms) const {
  return std::llround((m_perfBaseMs + ms) * 10000.0);
}

// Advances the schedule, counts a late frame as a drop and updates the frame
// rate. The schedule advances one interval per frame and is never re-based,
// so after a stall frames follow back to back until they have caught up.
void FrameProducer::CountFrame(double now, const PresetInfo& preset) {
  const double intervalMs = double(preset.frame_time) / 10000.0;
  m_madeMs = now;
  if (m_nextDueMs == 0.0) {
    m_nextDueMs = now + intervalMs;  // the first frame is never a drop
    m_firstFrameMs = now;
  } else {
    m_nextDueMs += intervalMs;
    if (now >= m_nextDueMs)
      ++m_dropCount;
  }

  // The rate of frames made (skipped ones left out) over the last second or
  // so, updated once a second.
  const uint32_t made = m_frameCount - m_skipCount;
  if (now >= m_fpsNextMs) {
    m_fps = 0.0;
    const double elapsed = now - m_fpsNextMs + 1000.0;
    if (elapsed > 0.0) {
      m_fps = double(int32_t(made - uint32_t(m_fpsFrameMark))) * 1000.0 / elapsed;
    }
    m_fpsNextMs = now + 1000.0;
    m_fpsFrameMark = int32_t(made);
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
  TextPlacement text;
  PlaceText(host, preset, now, mouseCursol, &text);
  DrawPlacedText(text, frame.buffer, frame.pitch, frame.rowLen, frame.rows);
}

void FrameProducer::PlaceText(FrameHost& host, const PresetInfo& preset, double now,
                              int32_t mouseCursol, TextPlacement* text) const {
  static_assert(sizeof text->status == kStatusLineSize, "the status line's buffer");
  const uint32_t timeMs = uint32_t(int64_t(now));  // wraps after 2^32 ms
  FormatStatusLine(text->status, sizeof text->status, preset.w, m_frameCount, m_dropCount, timeMs,
                   m_fps);
  // Positions in 64 bits, held to the 32-bit range: a preset or sheet of
  // absurd size puts the text off the frame instead of overflowing.
  text->infoY = ClampToInt32(int64_t(preset.h) - m_font.glyph_h);
  text->statusX = ClampToInt32(int64_t(preset.w) - MeasureString(m_font, text->status));
  int32_t cursorX = 0, cursorY = 0;
  text->marker = mouseCursol == 1 && host.CursorPosition(&cursorX, &cursorY);
  if (text->marker) {
    text->markerX = int32_t(2u * uint32_t(cursorX));
    text->markerY = int32_t(2u * uint32_t(cursorY));
  }
}

void FrameProducer::DrawPlacedText(const TextPlacement& text, uint8_t* buffer, uint32_t pitch,
                                   uint32_t rowLen, uint32_t rows) const {
  DrawString(m_font, buffer, pitch, rowLen, rows, 0, text.infoY, m_infoLine);
  DrawString(m_font, buffer, pitch, rowLen, rows, text.statusX, 0, text.status);
  if (text.marker)
    DrawCursorMarker(m_font, buffer, pitch, rowLen, rows, text.markerX, text.markerY);
}

namespace {

// A rectangle of picture pixels, [x0, x1) x [y0, y1), in 64 bits.
struct Band {
  int64_t x0, y0, x1, y1;
  bool Empty() const { return x1 <= x0 || y1 <= y0; }
  bool Overlaps(const Band& o) const { return x0 < o.x1 && o.x0 < x1 && y0 < o.y1 && o.y0 < y1; }
};

// Clipped to the frame and widened to whole chroma samples: even columns,
// rows in whole row pairs (fields: groups of four rows, a pair of each field).
Band AlignBand(Band b, int64_t w, int64_t h, int64_t rowGroup) {
  b.x0 = std::max<int64_t>(b.x0, 0) & ~int64_t(1);
  b.y0 = std::max<int64_t>(b.y0, 0);
  b.y0 -= b.y0 % rowGroup;
  b.x1 = std::min<int64_t>((std::min<int64_t>(b.x1, w) + 1) & ~int64_t(1), w);
  b.y1 = std::min(b.y1, h);
  if (b.y1 % rowGroup != 0)
    b.y1 = std::min(b.y1 + rowGroup - b.y1 % rowGroup, h);
  return b;
}

// The lines a text covers: one per line break more.
int64_t TextLines(const char* text) {
  int64_t lines = 1;
  for (const char* p = text; *p != '\0'; ++p)
    lines += *p == '\n';
  return lines;
}

// The band offset of an offset normalised into 0 ... m - 1, moved by d >= 0.
int32_t Moved(int32_t v, int64_t m, int64_t d) {
  int64_t n = v % m;
  if (n < 0)
    n += m;
  return int32_t(n + d);
}

}  // namespace

void FrameProducer::ComposePlanar(FrameHost& host, const FrameLayout& frame,
                                  const PresetInfo& preset, double now, int32_t mouseCursol) {
  if (!frame.buffer)
    return;
  const bool fields = preset.interlaced != 0;
  const int64_t rowGroup = fields ? 4 : 2;
  const uint64_t frameBytes = PlanarFrameBytes(preset.w, preset.h);
  if (frameBytes == 0 || frameBytes > frame.size || preset.w % 2 != 0 || preset.h % rowGroup != 0) {
    std::memset(frame.buffer, 0, frame.size);
    return;
  }
  // A sample longer than the frame gets zero bytes after it.
  std::memset(frame.buffer + frameBytes, 0, frame.size - size_t(frameBytes));

  const int32_t w = preset.w;
  const int32_t h = preset.h;
  const PresetInfo twin = TwinPreset(preset);
  const ScrollOffsets s = ScrollFor(m_frameCount, preset, m_scrollOriginX, m_scrollOriginY);
  const bool tiled =
      SurfaceFits(m_pattern, twin) && m_planarPattern.compression == preset.compression &&
      m_planarPattern.fields == fields &&
      m_planarPattern.BlitScrolled(frame.buffer, w, h, s.xEven, s.xOdd, s.yEven, s.yOdd);
  if (!tiled)
    std::memset(frame.buffer, 0, size_t(frameBytes));

  // The overlays: drawn into the twin's frame, in the bands they cover only.
  const size_t twinPitch = size_t(w) * 2;
  if (!m_twinFrame || m_twinFrameBytes < twinPitch * size_t(h))
    return;
  Band bands[5];
  int count = 0;
  TextPlacement text;
  const bool drawText = SurfaceFits(m_font, twin);
  if (drawText) {
    PlaceText(host, preset, now, mouseCursol, &text);
    const int64_t gh = m_font.glyph_h;
    bands[count++] = {0, text.infoY, MeasureString(m_font, m_infoLine),
                      int64_t(text.infoY) + gh * TextLines(m_infoLine)};
    bands[count++] = {text.statusX, 0, int64_t(text.statusX) + MeasureString(m_font, text.status),
                      gh * TextLines(text.status)};
    if (text.marker) {
      bands[count++] = {text.markerX, text.markerY, int64_t(text.markerX) + kMarkerSize,
                        int64_t(text.markerY) + kMarkerSize};
    }
  }
  FrameCodeArea code[2];
  const int codeAreas = m_frameCode.Areas(code);
  for (int i = 0; i < codeAreas; ++i)
    bands[count++] = {code[i].x0, code[i].y0, code[i].x1, code[i].y1};
  // Aligned bands that overlap become one, until none do: each band is then
  // converted once, and no chroma sample belongs to two bands.
  int kept = 0;
  for (int i = 0; i < count; ++i) {
    const Band b = AlignBand(bands[i], w, h, rowGroup);
    if (!b.Empty())
      bands[kept++] = b;
  }
  count = kept;
  for (bool merged = true; merged;) {
    merged = false;
    for (int i = 0; i < count && !merged; ++i) {
      for (int j = i + 1; j < count && !merged; ++j) {
        if (bands[i].Overlaps(bands[j])) {
          bands[i] = {std::min(bands[i].x0, bands[j].x0), std::min(bands[i].y0, bands[j].y0),
                      std::max(bands[i].x1, bands[j].x1), std::max(bands[i].y1, bands[j].y1)};
          bands[j] = bands[--count];
          merged = true;
        }
      }
    }
  }
  if (count == 0)
    return;

  uint8_t* twinFrame = m_twinFrame.get();
  for (int i = 0; i < count; ++i) {
    const Band& b = bands[i];
    uint8_t* at = twinFrame + size_t(b.y0) * twinPitch + size_t(b.x0) * 2;
    const uint32_t bandW = uint32_t(b.x1 - b.x0);
    const uint32_t bandH = uint32_t(b.y1 - b.y0);
    // b.y0 is even: the band's rows keep their parity, and so their field's offsets.
    if (!tiled || !m_pattern.BlitScrolled(
                      at, uint32_t(twinPitch), bandW, bandH, Moved(s.xEven, m_pattern.width, b.x0),
                      Moved(s.xOdd, m_pattern.width, b.x0), Moved(s.yEven, m_pattern.height, b.y0),
                      Moved(s.yOdd, m_pattern.height, b.y0))) {
      for (uint32_t r = 0; r < bandH; ++r)
        std::memset(at + size_t(r) * twinPitch, 0, size_t(bandW) * 2);
    }
  }
  if (drawText)
    DrawPlacedText(text, twinFrame, uint32_t(twinPitch), uint32_t(w), uint32_t(h));
  m_frameCode.Draw(twinFrame, uint32_t(twinPitch), uint32_t(w), uint32_t(h), twin, m_frameCount,
                   m_dropCount, m_sampleTime);
  const PlanarFrame planes = PlanarFrameAt(frame.buffer, preset.compression, w, h);
  for (int i = 0; i < count; ++i) {
    const Band& b = bands[i];
    Yuy2BandTo420(twinFrame, twinPitch, planes, preset.compression, fields, int32_t(b.x0),
                  int32_t(b.x1), int32_t(b.y0), int32_t(b.y1));
  }
}

PresetInfo TwinPreset(const PresetInfo& preset) {
  PresetInfo twin = preset;
  if (IsPlanarFormat(preset.compression) || IsMjpgFormat(preset.compression)) {
    twin.compression = kFourccYUY2;
    twin.bit_count = 16;
  }
  return twin;
}

// Time stamps run 0, frame_time, 2 * frame_time, ... whatever the clock
// says, unless a fault of this frame leaves them out or holds them where they
// were. Returns the sample's true start time.
int64_t FrameProducer::Stamp(FrameSample* sample, uint32_t length, const PresetInfo& preset) {
  const int64_t start = m_sampleTime;
  m_sampleTime += preset.frame_time;
  if (m_plan.stamp == StampFault::kNoTime) {
    sample->ClearTime();
  } else if (m_plan.stamp == StampFault::kFrozen) {
    const int64_t back = int64_t(m_plan.frozenBack) * preset.frame_time;
    sample->SetTime(start - back, m_sampleTime - back);
  } else {
    sample->SetTime(start, m_sampleTime);
  }
  sample->SetSyncPoint(true);
  sample->SetActualDataLength(length);
  return start;
}

// The frame's sample fault, when it has one: the data length afterwards. A
// fault that cannot be applied to this sample leaves it whole and unlogged.
uint32_t FrameProducer::DamageSample(const FrameLayout& frame, uint32_t length) {
  if (m_plan.sample == SampleFault::kNone)
    return length;
  const Damage damage =
      ::DamageSample(m_plan.sample, frame.buffer, length, frame.size, m_plan.samplePercent);
  if (!damage.applied) {
    m_plan.sample = SampleFault::kNone;
    return length;
  }
  m_plan.sampleBytes = damage.length;
  m_plan.sampleOf = length;
  m_plan.sampleAt = damage.at;
  return damage.length;
}

void FrameProducer::DropLastFrame(const char* reason) {
  ++m_dropCount;
  if (!m_faultLog.IsOpen() || !reason)
    return;
  char record[kFaultRecordSize];
  const int n = std::snprintf(record, sizeof record, "%u %s\r\n", unsigned(m_plan.frame), reason);
  if (n > 0)
    m_faultLog.Append(record, uint32_t(n) < sizeof record ? uint32_t(n) : sizeof record - 1);
}

// One latency record per frame, and one fault record per fault of the frame,
// when the logs are open.
void FrameProducer::Record(FrameHost& host, int64_t start, int64_t frameTime) {
  const int32_t finishedMs = int32_t(int64_t(GetCurrentMs(host)));
  if (m_latencyLog.IsOpen()) {
    char record[kRecordSize];
    const uint32_t len =
        FormatLatencyRecord(record, sizeof record, finishedMs, m_lastLogMs, int32_t(start / 10000));
    m_latencyLog.Append(record, len);
  }
  m_lastLogMs = finishedMs;
  if (m_faultLog.IsOpen()) {
    char records[kFaultRecordSize];
    const uint32_t len = FormatFaultRecords(records, sizeof records, m_plan, start, frameTime);
    m_faultLog.Append(records, len);
  }
}
