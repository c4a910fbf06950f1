// A Media Foundation sample as the frame loop fills it: its one buffer locked
// as rows of the pitch the buffer hands out, the stamps kept for the sample.
#pragma once

#include <windows.h>
#include <mfobjects.h>

#include <cstdint>
#include <vector>

#include "baseclasses/com_ptr.h"
#include "pattern/frame_host.h"

class MfFrameSample : public FrameSample {
 public:
  // Locks the sample's first buffer (2-D when it can be) for rows rows; the
  // buffer stays locked until Unlock or destruction. Pointer() is null when
  // the lock failed.
  MfFrameSample(IMFSample* sample, uint32_t rows);
  ~MfFrameSample() override;
  MfFrameSample(const MfFrameSample&) = delete;
  MfFrameSample& operator=(const MfFrameSample&) = delete;

  uint8_t* Pointer() override { return m_data; }
  uint32_t Size() override { return m_size; }
  void SetTime(int64_t start, int64_t stop) override {
    m_hasTime = true;
    m_start = start;
    m_stop = stop;
  }
  void ClearTime() override { m_hasTime = false; }
  void SetSyncPoint(bool sync) override { m_sync = sync; }
  void SetActualDataLength(uint32_t) override {}

  uint32_t Pitch() const { return m_pitch; }
  // Reverses the order of the rows (the RGB formats are made bottom-up),
  // through spare, a row the caller keeps between frames.
  void FlipRows(uint32_t rowBytes, std::vector<uint8_t>* spare);
  // Unlocks the buffer and sets its current length: the contiguous length of
  // a 2-D buffer, or rows * pitch.
  void Unlock();

  bool m_hasTime = false;
  int64_t m_start = 0;
  int64_t m_stop = 0;
  bool m_sync = false;

 private:
  ComPtr<IMFMediaBuffer> m_buffer;
  ComPtr<IMF2DBuffer> m_buffer2d;
  uint8_t* m_data = nullptr;
  uint32_t m_size = 0;
  uint32_t m_pitch = 0;
  uint32_t m_rows = 0;
};
