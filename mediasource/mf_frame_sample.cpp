#include "mediasource/mf_frame_sample.h"

#include <mferror.h>

#include <cstring>

#include "baseclasses/com_ptr.h"

namespace {

void CopyRows(uint8_t* to, size_t pitch, const uint8_t* frame, uint32_t stride, uint32_t rows,
              bool flip) {
  for (uint32_t r = 0; r < rows; ++r) {
    const uint32_t from = flip ? rows - 1 - r : r;
    std::memcpy(to + size_t(r) * pitch, frame + size_t(from) * stride, stride);
  }
}

}  // namespace

HRESULT CopyFrameToBuffer(IMFMediaBuffer* buffer, const uint8_t* frame, uint32_t stride,
                          uint32_t rows, bool flip) {
  if (!buffer || !frame)
    return E_POINTER;
  ComPtr<IMF2DBuffer> buffer2d;
  if (SUCCEEDED(buffer->QueryInterface(IID_IMF2DBuffer, buffer2d.PutVoid()))) {
    BYTE* scanline0 = nullptr;
    LONG pitch = 0;
    HRESULT hr = buffer2d->Lock2D(&scanline0, &pitch);
    if (FAILED(hr))
      return hr;
    if (pitch < LONG(stride)) {  // bottom-up or too narrow: not a buffer made for this type
      buffer2d->Unlock2D();
      return MF_E_BUFFERTOOSMALL;
    }
    CopyRows(scanline0, size_t(pitch), frame, stride, rows, flip);
    buffer2d->Unlock2D();
    DWORD contiguous = 0;
    hr = buffer2d->GetContiguousLength(&contiguous);
    return SUCCEEDED(hr) ? buffer->SetCurrentLength(contiguous) : hr;
  }
  BYTE* data = nullptr;
  DWORD maxLength = 0;
  HRESULT hr = buffer->Lock(&data, &maxLength, nullptr);
  if (FAILED(hr))
    return hr;
  const DWORD bytes = stride * rows;
  if (maxLength < bytes) {
    buffer->Unlock();
    return MF_E_BUFFERTOOSMALL;
  }
  CopyRows(data, stride, frame, stride, rows, flip);
  buffer->Unlock();
  return buffer->SetCurrentLength(bytes);
}

HRESULT CopyBytesToBuffer(IMFMediaBuffer* buffer, const uint8_t* data, uint32_t length) {
  if (!buffer || !data)
    return E_POINTER;
  BYTE* to = nullptr;
  DWORD maxLength = 0;
  const HRESULT hr = buffer->Lock(&to, &maxLength, nullptr);
  if (FAILED(hr))
    return hr;
  if (maxLength < length) {
    buffer->Unlock();
    return MF_E_BUFFERTOOSMALL;
  }
  std::memcpy(to, data, length);
  buffer->Unlock();
  return buffer->SetCurrentLength(length);
}
