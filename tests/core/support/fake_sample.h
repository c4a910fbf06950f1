#pragma once
// A media sample for tests: it records what the frame loop sets on it, and
// guard bytes after the sample's size reveal any write past it.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "pattern/frame_host.h"

namespace zdtest {

class FakeSample : public FrameSample {
 public:
  static constexpr uint8_t kGuardByte = 0xA5;
  static constexpr size_t kGuardSize = 4096;

  explicit FakeSample(uint32_t size, uint8_t fill = 0xCD)
      : memory(size_t(size) + kGuardSize, fill), size(size) {
    std::fill(memory.end() - kGuardSize, memory.end(), kGuardByte);
  }

  uint8_t* Pointer() override { return memory.data(); }
  uint32_t Size() override { return size; }
  void SetTime(int64_t s, int64_t e) override {
    start = s;
    stop = e;
    hasTime = true;
    ++setTimeCalls;
  }
  void ClearTime() override {
    hasTime = false;
    ++setTimeCalls;
  }
  void SetSyncPoint(bool sync) override { syncPoint = sync; }
  void SetActualDataLength(uint32_t length) override { actualLength = length; }

  bool GuardIntact() const {
    for (size_t i = size; i < memory.size(); ++i) {
      if (memory[i] != kGuardByte)
        return false;
    }
    return true;
  }
  std::vector<uint8_t> Frame() const {
    return std::vector<uint8_t>(memory.begin(), memory.begin() + size);
  }

  std::vector<uint8_t> memory;
  uint32_t size;
  int64_t start = -1;
  int64_t stop = -1;
  int setTimeCalls = 0;
  bool hasTime = false;  // the last call set stamps (not ClearTime)
  bool syncPoint = false;
  uint32_t actualLength = 0;
};

// Bytes of one frame as the media type sizes it: rows padded to 4 bytes.
inline uint32_t FrameBytes(int32_t w, int32_t h, int32_t bitCount) {
  return ((uint32_t(w) * uint32_t(bitCount) + 31u) / 32u) * 4u * uint32_t(h);
}

}  // namespace zdtest
