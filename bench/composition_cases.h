#pragma once
// The benchmark cases shared by zd-bench (Google Benchmark, native) and
// zd-bench-win (self-timed, the Windows build): frame sizes and formats, the
// rotation of frame buffers, one composed frame beside one plain memcpy of a
// frame, and the steps of a stream start. Both programs drive these same steps,
// so that their figures measure the same thing.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pattern/frame_producer.h"
#include "pattern/pixel_format.h"
#include "platform/source_bitmap.h"
#include "stream/preset_info.h"
#include "stream/stream_settings.h"
#include "pattern/simulated_frame_host.h"

namespace zdbench {

// More frame buffers than the cache holds at 4K, as an allocator rotates them.
constexpr int kBufferCount = 6;
constexpr int64_t kFrameTime = 333667;

// A row of the pixel-format table; cases are named by its subtype name.
using Format = PixelFormatInfo;
struct Size {
  const char* name;
  int32_t w, h;
};

extern const Format kFormats[5];  // RGB32, RGB24, YUY2, NV12, I420
extern const Size kSizes[3];      // 1280x720, 1920x1080, 3840x2160

// One composition case; sizes outer, formats inner, as both programs list them.
struct Case {
  Size size;
  Format format;
  std::string Name() const;  // "1280x720/RGB32"
};
std::vector<Case> AllCases();

// The stream-start cases run at 3840 x 2160 YUY2.
const Case& StreamStartCase();

// The folder that holds chart.bmp and font.bmp: the shipped assets when they
// are there, else synthetic bitmaps of the same sizes in a temporary folder.
const std::string& BitmapFolder();

PresetInfo MakePreset(const Case& c);
uint32_t FrameBytes(const Case& c);

// Keeps the compiler from moving memory accesses across a timing point.
inline void MemoryFence() {
  asm volatile("" : : : "memory");
}
// Makes the memory p points to count as read, so that writes to it stay.
inline void Escape(const void* p) {
  asm volatile("" : : "g"(p) : "memory");
}

// The cold memcpy's rotation spans at least this much memory, more than any
// last-level cache of the machines we measure on, so that neither its source
// nor its destination is still in a cache when it is copied again.
constexpr uint64_t kColdRotationBytes = uint64_t(64) << 20;

// Frame buffers, page-aligned as an allocator gives them, touched once so
// that the first pass does not pay for page faults.
class FrameBuffers {
 public:
  explicit FrameBuffers(uint32_t size, int count = kBufferCount);
  // A rotation of at least kColdRotationBytes (and kBufferCount frames).
  static int ColdCount(uint32_t size);
  uint32_t Size() const { return m_size; }
  uint8_t* Frame(uint64_t k) const { return m_frames[k % m_frames.size()]; }

  // The memcpy baseline for frame k: a plain copy of one frame into buffer k
  // of the rotation from the frame written half a rotation before. With six
  // buffers the source is out of the cache at 4K; at 1080p part of it may
  // still be in the last-level cache (see ColdCount for a rotation where it
  // never is).
  void CopyFrame(uint64_t k);

 private:
  uint32_t m_size;
  std::vector<std::unique_ptr<uint8_t[]>> m_blocks;
  std::vector<uint8_t*> m_frames;
};

// Times of one frame step: the memcpy baseline and the work beside it.
struct PairedTimes {
  bool ok = false;
  double copySeconds = 0.0;
  double workSeconds = 0.0;
  double coldCopySeconds = 0.0;  // the cold memcpy of the step (0: none made)
};

// A stream prepared for one case, making frames into a rotation of buffers
// with a host whose clock reads exactly one frame interval later at every
// frame, so that FillBuffer never waits.
class CompositionRun {
 public:
  // frameCode: the stream draws the frame code into every frame.
  explicit CompositionRun(const Case& c, bool frameCode = false);
  // False when the stream could not be prepared (bitmaps missing?).
  bool Prepared() const { return m_prepared; }
  uint32_t FrameSize() const { return m_buffers.Size(); }
  uint32_t Drops() const { return m_producer.m_dropCount; }

  // Frame k whole (FillBuffer: background, both text lines, time stamps).
  bool Compose(uint64_t k);
  // The background copy alone (BlitScrolled), to tell its cost from the text's.
  bool Blit(uint64_t k);
  // The frame code alone, into frame k's buffer (a run made with frameCode).
  bool DrawCode(uint64_t k);

  // The memcpy baseline into the next buffer of the rotation, then the frame,
  // then a cold memcpy (a rotation of kColdRotationBytes of its own), each
  // timed on its own: pairing them in one step makes other load on the
  // machine weigh on all alike.
  PairedTimes ComposeBesideMemcpy(uint64_t k);
  PairedTimes BlitBesideMemcpy(uint64_t k);

  FrameBuffers& Buffers() { return m_buffers; }

 private:
  template <typename Work>
  PairedTimes Paired(uint64_t k, Work work);

  Case m_case;
  PresetInfo m_preset;
  StreamSettings m_settings;
  zd::SimulatedFrameHost m_host;
  FrameProducer m_producer;
  FrameBuffers m_buffers;
  FrameBuffers m_coldBuffers;
  int64_t m_start = 0;
  bool m_prepared = false;
};

// Frame k made by a stream without the frame code and by one with it, in the
// same step and each timed on its own: copySeconds is the plain frame's time,
// workSeconds the coded frame's. Pairing them makes other load on the
// machine weigh on both alike.
PairedTimes CodedBesidePlain(CompositionRun& plain, CompositionRun& coded, uint64_t k);

// Stream start: OnThreadCreate of the stream-start case (loading chart.bmp and
// font.bmp, converting the tile and the font sheet), then OnThreadDestroy.
class StreamStartRun {
 public:
  StreamStartRun();
  bool Start();
  int32_t TileWidth() const { return m_producer.m_pattern.width; }
  int32_t TileHeight() const { return m_producer.m_pattern.height; }

 private:
  PresetInfo m_preset;
  StreamSettings m_settings;
  zd::SimulatedFrameHost m_host;
  FrameProducer m_producer;
};

// The tile of the stream-start case built from an image already in memory,
// and the floor for it: allocating the tile and writing each byte once.
class TileRun {
 public:
  TileRun();
  bool Loaded() const { return m_loaded; }
  bool Convert();
  bool PlainPass();
  int64_t TilePixels() const { return int64_t(m_tileW) * m_tileH; }

 private:
  SourceBitmap m_image;
  PixelSurface m_tile;
  bool m_loaded = false;
  int32_t m_tileW = 0, m_tileH = 0;
};

}  // namespace zdbench
