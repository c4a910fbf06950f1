// The frame loop draws each frame into the stream's own frame memory, rows of
// the type's default stride (so that the frame's layout is the one the loop
// knows from the filter); the finished frame is then copied into the Media
// Foundation buffer at the pitch that buffer hands out, the rows turned
// upright where the loop makes them bottom-up (RGB).
#pragma once

#include <windows.h>
#include <mfobjects.h>

#include <cstdint>

#include "pattern/frame_host.h"

// The frame memory as the frame loop fills it; keeps the stamps it is given.
class MfFrameSample : public FrameSample {
 public:
  MfFrameSample(uint8_t* data, uint32_t size) : m_data(data), m_size(size) {}

  uint8_t* Pointer() override { return m_data; }
  uint32_t Size() override { return m_size; }
  void SetTime(int64_t start, int64_t stop) override {
    m_hasTime = true;
    m_start = start;
    m_stop = stop;
  }
  void ClearTime() override { m_hasTime = false; }
  void SetSyncPoint(bool sync) override { m_sync = sync; }
  void SetActualDataLength(uint32_t length) override { m_length = length; }

  bool m_hasTime = false;
  int64_t m_start = 0;
  int64_t m_stop = 0;
  bool m_sync = false;
  uint32_t m_length = 0;  // the data length the frame loop gave (shorter for a sample fault)

 private:
  uint8_t* m_data;
  uint32_t m_size;
};

// Copies rows rows of stride bytes into buffer: a 2-D buffer at its own
// pitch (its current length then the contiguous length), any other buffer
// packed (current length rows * stride). flip reverses the row order.
// MF_E_BUFFERTOOSMALL when the buffer cannot hold the frame.
HRESULT CopyFrameToBuffer(IMFMediaBuffer* buffer, const uint8_t* frame, uint32_t stride,
                          uint32_t rows, bool flip);

// Copies length bytes (one JPEG) into buffer, packed, and makes them its
// current length. MF_E_BUFFERTOOSMALL when the buffer cannot hold them.
HRESULT CopyBytesToBuffer(IMFMediaBuffer* buffer, const uint8_t* data, uint32_t length);
