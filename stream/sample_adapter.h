// The media sample as the frame loop fills it. Worker thread only.
#pragma once

#include <dshow.h>

#include "pattern/frame_host.h"

class MediaSampleFrame : public FrameSample {
 public:
  explicit MediaSampleFrame(IMediaSample* sample) : m_sample(sample) {}

  // Null when the sample has no buffer.
  uint8_t* Pointer() override {
    BYTE* data = nullptr;
    return SUCCEEDED(m_sample->GetPointer(&data)) ? data : nullptr;
  }
  uint32_t Size() override {
    const long size = m_sample->GetSize();
    return size > 0 ? static_cast<uint32_t>(size) : 0u;
  }
  void SetTime(int64_t start, int64_t stop) override {
    REFERENCE_TIME startTime = start;
    REFERENCE_TIME stopTime = stop;
    m_sample->SetTime(&startTime, &stopTime);
  }
  void ClearTime() override { m_sample->SetTime(nullptr, nullptr); }
  void SetSyncPoint(bool sync) override { m_sample->SetSyncPoint(sync ? TRUE : FALSE); }
  void SetActualDataLength(uint32_t length) override {
    m_sample->SetActualDataLength(static_cast<long>(length));
  }

 private:
  IMediaSample* m_sample;  // the caller's reference
};
