// The counts and the latency a capture application reads from the pin:
// IAMDroppedFrames over the worker's published counts, IAMPushSource with
// IAMLatency. None of these takes m_streamLock or the state lock: they answer
// at once, whatever the stream is doing.
#include <climits>

#include "pattern/pixel_format.h"
#include "stream/ball_stream.h"
#include "stream/media_types.h"

namespace {

long ToLong(uint32_t value) {
  return value > uint32_t(LONG_MAX) ? LONG_MAX : long(value);
}

}  // namespace

// Frames made late (the status line's drop count) and frames lost on purpose.
STDMETHODIMP CBallStream::GetNumDropped(long* dropped) {
  if (!dropped)
    return E_POINTER;
  *dropped = ToLong(m_counts.Totals().Dropped());
  return S_OK;
}

// Samples delivered downstream.
STDMETHODIMP CBallStream::GetNumNotDropped(long* notDropped) {
  if (!notDropped)
    return E_POINTER;
  *notDropped = ToLong(m_counts.Totals().delivered);
  return S_OK;
}

// The frame numbers of the first dropped frames, at most `size` of them.
STDMETHODIMP CBallStream::GetDroppedInfo(long size, long* frames, long* copied) {
  if (!frames || !copied)
    return E_POINTER;
  if (size <= 0)
    return E_INVALIDARG;
  int32_t numbers[kDroppedFramesKept];
  const uint32_t wanted = uint32_t(size) < kDroppedFramesKept ? uint32_t(size) : kDroppedFramesKept;
  const uint32_t count = m_counts.DroppedFrames(numbers, wanted);
  for (uint32_t i = 0; i < count; ++i)
    frames[i] = numbers[i];
  *copied = long(count);
  return S_OK;
}

// An uncompressed frame has the size of the current format's image; an MJPG
// frame's is the mean data length of the samples delivered in this (or the
// last) stream, and before the first one the largest a JPEG may take.
STDMETHODIMP CBallStream::GetAverageFrameSize(long* averageSize) {
  if (!averageSize)
    return E_POINTER;
  const PresetInfo preset = CurrentPreset();
  uint64_t bytes = PresetImageBytes(preset);
  const DeliveryTotals totals = m_counts.Totals();
  if (IsMjpgFormat(preset.compression) && totals.delivered > 0)
    bytes = (totals.deliveredBytes + totals.delivered / 2) / totals.delivered;
  *averageSize = bytes > uint64_t(LONG_MAX) ? LONG_MAX : long(bytes);
  return S_OK;
}

// A frame is finished one frame time after its start time.
STDMETHODIMP CBallStream::GetLatency(REFERENCE_TIME* latency) {
  if (!latency)
    return E_POINTER;
  *latency = CurrentPreset().frame_time;
  return S_OK;
}

STDMETHODIMP CBallStream::GetPushSourceFlags(ULONG* flags) {
  if (!flags)
    return E_POINTER;
  *flags = 0;
  return S_OK;
}

// The time stamps are fixed: 0, frame_time, 2 * frame_time, ...
STDMETHODIMP CBallStream::SetPushSourceFlags(ULONG /*flags*/) {
  return E_NOTIMPL;
}

STDMETHODIMP CBallStream::SetStreamOffset(REFERENCE_TIME /*offset*/) {
  return E_NOTIMPL;
}

STDMETHODIMP CBallStream::GetStreamOffset(REFERENCE_TIME* offset) {
  if (!offset)
    return E_POINTER;
  *offset = 0;
  return S_OK;
}

STDMETHODIMP CBallStream::GetMaxStreamOffset(REFERENCE_TIME* offset) {
  if (!offset)
    return E_POINTER;
  *offset = 0;
  return S_OK;
}

STDMETHODIMP CBallStream::SetMaxStreamOffset(REFERENCE_TIME /*offset*/) {
  return E_NOTIMPL;
}
