// MJPG frames: the picture is composed in the frame of the preset's YUY2
// twin, as a YUY2 stream would show it (background, text lines, marker,
// frame code) but in full range, and that frame is encoded into the sample
// as one JPEG. Worker thread only, under the pin's m_streamLock (see
// frame_producer.h). The twin's frame and the encoder are made once per
// stream start; per frame only the library's own working memory is taken
// and given back inside the encoder.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "pattern/frame_producer.h"
#include "pattern/pixel_format.h"

namespace {

constexpr uint32_t kEncodeRecordSize = 320;
// How far ahead of its due time an MJPG frame is begun: as long as the
// slowest recent frame took (the figure decays by this share each frame) and
// a margin, but never more than this share of the interval.
constexpr double kLeadDecay = 0.98;
constexpr double kLeadMarginMs = 2.0;
constexpr double kMaxLeadShare = 0.75;

}  // namespace

bool FrameProducer::PrepareMjpg(const PresetInfo& preset) {
  const uint64_t twinBytes =
      uint64_t(preset.w > 0 ? preset.w : 0) * 2 * uint64_t(preset.h > 0 ? preset.h : 0);
  if (twinBytes == 0 || twinBytes > (uint64_t(1) << 30))
    return false;
  m_twinFrame.reset(new (std::nothrow) uint8_t[size_t(twinBytes)]);
  if (!m_twinFrame)
    return false;
  m_twinFrameBytes = size_t(twinBytes);
  // The picture is composed in full range: the surfaces and the code's
  // levels are scaled once here, so that each frame only needs its planes
  // taken apart (the same bytes as scaling each composed frame).
  if (m_pattern.pixels && m_pattern.compression == kFourccYUY2)
    Yuy2ToFullRange(m_pattern.pixels.get(), size_t(m_pattern.stride) * size_t(m_pattern.height));
  if (m_font.pixels && m_font.compression == kFourccYUY2)
    Yuy2ToFullRange(m_font.pixels.get(), size_t(m_font.stride) * size_t(m_font.height));
  m_frameCode.ToFullRange();
  if (!m_mjpg.Prepare(preset.w, preset.h, preset.jpeg_quality)) {
    m_twinFrame.reset();
    m_twinFrameBytes = 0;
    return false;
  }
  return true;
}

// An MJPG frame takes long to make and how long varies, so it is begun
// ahead of its due time and handed on at that time: frames arrive as evenly
// as uncompressed ones. Its picture shows the due time (a late frame the time
// it was begun), and lateness is judged as for any frame.
HResultCode FrameProducer::FillMjpg(FrameHost& host, FrameSample* sample, const FrameLayout& frame,
                                    const PresetInfo& preset, int32_t mouseCursol) {
  const double dueMs = m_nextDueMs;  // 0.0: the first frame, made at once
  const double intervalMs = double(preset.frame_time) / 10000.0;
  const double leadMs =
      dueMs > 0.0 ? std::min(m_encodeLeadMs + kLeadMarginMs, intervalMs * kMaxLeadShare) : 0.0;
  const DueTime begun = WaitUntil(host, dueMs - leadMs);
  if (!begun.reached)
    return kS_FALSE;
  const double pictureMs = std::max(begun.nowMs, dueMs);
  CountFrame(pictureMs, preset);
  m_plan = m_faults.PlanFor(m_frameCount);
  uint32_t length = ComposeMjpg(host, frame, preset, pictureMs, mouseCursol);
  const bool unencoded = length == 0;
  if (!unencoded)
    length = DamageSample(frame, length);
  m_encodeLeadMs = std::max(GetCurrentMs(host) - begun.nowMs, m_encodeLeadMs * kLeadDecay);
  if (!WaitUntil(host, dueMs).reached)
    return kS_FALSE;
  const int64_t start = Stamp(sample, length, preset);
  Record(host, start, preset.frame_time);
  if (unencoded)
    DropUnencoded();
  return Finish(host);
}

uint32_t FrameProducer::ComposeMjpg(FrameHost& host, const FrameLayout& frame,
                                    const PresetInfo& preset, double now, int32_t mouseCursol) {
  if (!frame.buffer || frame.size == 0)
    return 0;
  // The twin's frame: YUY2 rows of w pixels, packed.
  const PresetInfo twin = TwinPreset(preset);
  const uint32_t pitch = uint32_t(preset.w > 0 ? preset.w : 0) * 2;
  if (!m_twinFrame || !m_mjpg.ready() || pitch == 0 ||
      m_twinFrameBytes < size_t(pitch) * size_t(preset.h > 0 ? preset.h : 0))
    return 0;
  FrameLayout picture;
  picture.buffer = m_twinFrame.get();
  picture.rows = uint32_t(preset.h);
  picture.pitch = pitch;
  picture.size = pitch * picture.rows;
  picture.rowLen = uint32_t(preset.w);
  picture.drawable = true;
  Compose(host, picture, twin, now, mouseCursol);
  m_frameCode.Draw(picture.buffer, picture.pitch, picture.rowLen, picture.rows, twin, m_frameCount,
                   m_dropCount, m_sampleTime);
  return m_mjpg.Encode(picture.buffer, picture.pitch, frame.buffer, frame.size,
                       MjpgInputRange::kFull);
}

void FrameProducer::DropUnencoded() {
  m_plan.delivery = DeliveryFault::kLoss;
  ++m_encodeFailures;
  if (m_faultLog.IsOpen()) {
    char record[kEncodeRecordSize];
    const int n = std::snprintf(record, sizeof record, "%u mjpg-encode-failed %s\r\n",
                                unsigned(m_plan.frame), m_mjpg.LastError());
    if (n > 0)
      m_faultLog.Append(record, uint32_t(n) < sizeof record ? uint32_t(n) : sizeof record - 1);
  }
}
