// The counts and the latency a capture application reads from the pin:
// IAMDroppedFrames over the worker's published counts, IAMPushSource with
// IAMLatency. None of these takes m_streamLock or the state lock: they answer
// at once, whatever the stream is doing.
#include <climits>

#include "stream/ball_stream.h"

namespace {

long ToLong(uint32_t value) {
  return value > uint32_t(LONG_MAX) ? LONG_MAX : long(value);
}

// Bytes of one frame of a preset: rows padded to 4 bytes, as the media type
// sizes its image.
long FrameSizeOf(const PresetInfo& preset) {
  const uint64_t row = ((uint64_t(uint32_t(preset.w)) * uint32_t(preset.bit_count) + 31) / 32) * 4;
  const uint64_t size = row * uint32_t(preset.h);
  return size > uint64_t(LONG_MAX) ? LONG_MAX : long(size);
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

// Every frame has the same size: the current format's.
STDMETHODIMP CBallStream::GetAverageFrameSize(long* averageSize) {
  if (!averageSize)
    return E_POINTER;
  *averageSize = FrameSizeOf(CurrentPreset());
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
