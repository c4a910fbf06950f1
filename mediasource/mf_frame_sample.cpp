#include "mediasource/mf_frame_sample.h"

#include <algorithm>

MfFrameSample::MfFrameSample(IMFSample* sample, uint32_t rows) : m_rows(rows) {
  if (!sample || rows == 0 || FAILED(sample->GetBufferByIndex(0, m_buffer.Put())))
    return;
  if (SUCCEEDED(m_buffer.As(IID_IMF2DBuffer, &m_buffer2d))) {
    BYTE* scanline0 = nullptr;
    LONG pitch = 0;
    if (FAILED(m_buffer2d->Lock2D(&scanline0, &pitch)))
      return;
    if (pitch <= 0) {  // bottom-up buffers are not made here
      m_buffer2d->Unlock2D();
      return;
    }
    m_data = scanline0;
    m_pitch = uint32_t(pitch);
    m_size = m_pitch * rows;
    return;
  }
  m_buffer2d.Reset();
  BYTE* data = nullptr;
  DWORD maxLength = 0;
  if (FAILED(m_buffer->Lock(&data, &maxLength, nullptr)))
    return;
  m_data = data;
  m_pitch = maxLength / rows;
  m_size = m_pitch * rows;
}

MfFrameSample::~MfFrameSample() {
  Unlock();
}

void MfFrameSample::FlipRows(uint32_t rowBytes, std::vector<uint8_t>* spare) {
  if (!m_data || m_rows < 2)
    return;
  const uint32_t bytes = std::min(rowBytes, m_pitch);
  if (spare->size() < bytes)
    spare->resize(bytes);
  for (uint32_t top = 0, bottom = m_rows - 1; top < bottom; ++top, --bottom) {
    uint8_t* a = m_data + size_t(top) * m_pitch;
    uint8_t* b = m_data + size_t(bottom) * m_pitch;
    std::copy(a, a + bytes, spare->data());
    std::copy(b, b + bytes, a);
    std::copy(spare->data(), spare->data() + bytes, b);
  }
}

void MfFrameSample::Unlock() {
  if (!m_data)
    return;
  m_data = nullptr;
  if (m_buffer2d) {
    m_buffer2d->Unlock2D();
    DWORD contiguous = 0;
    if (SUCCEEDED(m_buffer2d->GetContiguousLength(&contiguous)))
      m_buffer->SetCurrentLength(contiguous);
  } else {
    m_buffer->Unlock();
    m_buffer->SetCurrentLength(m_size);
  }
}
