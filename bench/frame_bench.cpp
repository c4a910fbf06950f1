// zd-bench: what one frame costs next to copying it, and what a stream start
// costs next to one plain pass over the same pixels.
//
// Composition: FillBuffer with a host whose clock reads exactly one frame
// interval later at every call (it never waits), drawing the scrolled
// background, both text lines and the time stamps, into one of several frame
// buffers in turn, as an allocator hands them out. Every frame is made beside
// a memcpy of the same size within the same rotation of buffers; "x_memcpy"
// is the composition's time over the memcpy's. "Blit" is the background copy
// alone, measured the same way.
//
// Stream start: OnThreadCreate at 3840 x 2160 YUY2 (loading and converting the
// background tile and the font sheet), the tile conversion alone from an image
// already in memory, and a plain pass over the tile's pixels for comparison.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "pattern/frame_producer.h"
#include "pattern/pixel_format.h"
#include "platform/source_bitmap.h"
#include "stream/stream_settings.h"
#include "tests/core/support/bmp_writer.h"
#include "tests/core/support/fake_frame_host.h"

namespace {

using Clock = std::chrono::steady_clock;

// More frame buffers than the cache holds at 4K, as an allocator rotates them.
constexpr int kBufferCount = 6;
constexpr int64_t kFrameTime = 333667;

// The folder that holds chart.bmp and font.bmp: the shipped assets when they
// are there, else synthetic bitmaps of the same sizes in a temporary folder.
const std::string& BitmapFolder() {
  static std::unique_ptr<zdtest::TempDir> temp;
  static std::string folder = [] {
    const std::string assets = ZD_ASSETS_DIR;
    std::error_code ec;
    if (std::filesystem::exists(assets + "/chart.bmp", ec) &&
        std::filesystem::exists(assets + "/font.bmp", ec)) {
      return assets;
    }
    temp = std::make_unique<zdtest::TempDir>("bench");
    zdtest::WriteChartImage(temp->File("chart.bmp"), 640, 480);
    zdtest::WriteSyntheticFont(temp->File("font.bmp"), 10, 20);
    return temp->Path();
  }();
  return folder;
}

struct Format {
  const char* name;
  uint32_t compression;
  int32_t bitCount;
};
struct Size {
  const char* name;
  int32_t w, h;
};

constexpr Format kFormats[] = {{"RGB32", kCompressionRgb, 32},
                               {"RGB24", kCompressionRgb, 24},
                               {"YUY2", kFourccYUY2, 16}};
constexpr Size kSizes[] = {{"1280x720", 1280, 720}, {"1920x1080", 1920, 1080},
                           {"3840x2160", 3840, 2160}};

PresetInfo MakePreset(const Size& s, const Format& f) {
  PresetInfo p{};
  p.enable = 1;
  p.w = s.w;
  p.h = s.h;
  p.compression = f.compression;
  p.bit_count = f.bitCount;
  p.frame_time = kFrameTime;
  p.scroll_x = 2;
  p.scroll_y = 2;
  std::snprintf(p.bmp, sizeof p.bmp, "chart.bmp");
  std::snprintf(p.font, sizeof p.font, "font.bmp");
  std::snprintf(p.comment, sizeof p.comment, "benchmark");
  return p;
}

// Frame buffers, page-aligned as an allocator gives them, touched once so
// that the first pass does not pay for page faults.
struct FrameBuffers {
  explicit FrameBuffers(uint32_t size) : size(size) {
    for (auto& b : blocks) {
      b.reset(new uint8_t[size + 4096]);
      uint8_t* p = b.get();
      p += (4096 - reinterpret_cast<uintptr_t>(p) % 4096) % 4096;
      std::memset(p, 0x10, size);
      frames.push_back(p);
    }
  }
  uint32_t size;
  std::unique_ptr<uint8_t[]> blocks[kBufferCount];
  std::vector<uint8_t*> frames;
};

// Runs fill() into the frame buffers in turn, each time beside a memcpy of a
// frame into another buffer of the rotation, timing both. The benchmark's time
// is fill()'s alone; "x_memcpy" is its total over the memcpy's, measured side
// by side so that other load on the machine weighs on both alike.
template <typename Fill>
void RunBesideMemcpy(benchmark::State& state, uint32_t size, FrameBuffers& buffers, Fill fill) {
  double fillSeconds = 0.0, copySeconds = 0.0;
  uint64_t k = 0;
  for (auto _ : state) {
    uint8_t* copyDst = buffers.frames[(k + 1) % kBufferCount];
    const uint8_t* copySrc = buffers.frames[(k + kBufferCount / 2 + 1) % kBufferCount];
    const auto t0 = Clock::now();
    std::memcpy(copyDst, copySrc, size);
    benchmark::ClobberMemory();
    const auto t1 = Clock::now();
    if (!fill(buffers.frames[k % kBufferCount], k)) {
      state.SkipWithError("frame not made");
      break;
    }
    benchmark::ClobberMemory();
    const auto t2 = Clock::now();
    const double fillTime = std::chrono::duration<double>(t2 - t1).count();
    state.SetIterationTime(fillTime);
    fillSeconds += fillTime;
    copySeconds += std::chrono::duration<double>(t1 - t0).count();
    ++k;
  }
  state.counters["x_memcpy"] = copySeconds > 0.0 ? fillSeconds / copySeconds : 0.0;
  state.counters["memcpy_us"] = benchmark::Counter(
      copySeconds * 1e6 / double(k ? k : 1));
  state.SetBytesProcessed(int64_t(state.iterations()) * size);
}

// A plain copy of one frame, into the buffers in turn, from the frame written
// half a rotation before: like the tile that the composition reads, the
// source is out of the cache at the larger sizes.
void BM_Memcpy(benchmark::State& state, Size s, Format f) {
  const uint32_t size = zdtest::FrameBytes(s.w, s.h, f.bitCount);
  FrameBuffers buffers(size);
  uint64_t k = 0;
  for (auto _ : state) {
    uint8_t* dst = buffers.frames[k % kBufferCount];
    const uint8_t* src = buffers.frames[(k + kBufferCount / 2) % kBufferCount];
    ++k;
    std::memcpy(dst, src, size);
    benchmark::DoNotOptimize(dst);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * size);
}

void BM_Compose(benchmark::State& state, Size s, Format f) {
  const PresetInfo preset = MakePreset(s, f);
  StreamSettings settings;
  zdtest::FakeFrameHost host;
  FrameProducer producer;
  SourceBitmap chart;
  if (!LoadSourceBitmap(BitmapFolder() + "/chart.bmp", &chart) ||
      producer.OnThreadCreate(host, preset, settings, BitmapFolder()) != kS_OK) {
    state.SkipWithError("stream could not be prepared (bitmaps missing?)");
    return;
  }
  const uint32_t size = zdtest::FrameBytes(s.w, s.h, f.bitCount);
  FrameBuffers buffers(size);
  const int64_t start = host.now;
  RunBesideMemcpy(state, size, buffers, [&](uint8_t* frame, uint64_t k) {
    host.now = start + int64_t(k) * kFrameTime;  // exactly on time: no waiting
    zdtest::BorrowedSample sample(frame, size);
    return producer.FillBuffer(host, &sample, preset, 0) == kS_OK;
  });
  state.counters["drops"] = producer.m_dropCount;
}

// The background alone: the tile copy that composition starts with, to tell
// its cost from that of the text and the pacing.
void BM_Blit(benchmark::State& state, Size s, Format f) {
  const PresetInfo preset = MakePreset(s, f);
  StreamSettings settings;
  zdtest::FakeFrameHost host;
  FrameProducer producer;
  if (producer.OnThreadCreate(host, preset, settings, BitmapFolder()) != kS_OK) {
    state.SkipWithError("stream could not be prepared");
    return;
  }
  const uint32_t size = zdtest::FrameBytes(s.w, s.h, f.bitCount);
  const uint32_t pitch = size / uint32_t(s.h);
  const uint32_t rowLen = pitch / uint32_t(f.bitCount / 8);
  FrameBuffers buffers(size);
  RunBesideMemcpy(state, size, buffers, [&](uint8_t* frame, uint64_t k) {
    const int32_t offset = int32_t(2 * k);
    return producer.m_pattern.BlitScrolled(frame, pitch, rowLen, uint32_t(s.h), offset, offset,
                                           offset, offset);
  });
}

const Size k4K = kSizes[2];
const Format kYuy2 = kFormats[2];

void BM_StreamStart(benchmark::State& state) {
  const PresetInfo preset = MakePreset(k4K, kYuy2);
  StreamSettings settings;
  zdtest::FakeFrameHost host;
  FrameProducer producer;
  for (auto _ : state) {
    if (producer.OnThreadCreate(host, preset, settings, BitmapFolder()) != kS_OK) {
      state.SkipWithError("stream could not be prepared");
      break;
    }
    producer.OnThreadDestroy();
  }
  state.counters["tile_w"] = producer.m_pattern.width;
  state.counters["tile_h"] = producer.m_pattern.height;
}

void BM_TileConversion(benchmark::State& state) {
  SourceBitmap image;
  if (!LoadSourceBitmap(BitmapFolder() + "/chart.bmp", &image)) {
    state.SkipWithError("chart.bmp could not be loaded");
    return;
  }
  PixelSurface tile;
  for (auto _ : state) {
    if (!tile.BuildTile(image, k4K.w, k4K.h, kYuy2.compression, kYuy2.bitCount)) {
      state.SkipWithError("tile not built");
      break;
    }
    benchmark::DoNotOptimize(tile.pixels.get());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * tile.width * tile.height);
}

// The floor for building a tile: allocate it and write each of its bytes once
// (the conversion reads only the much smaller source image).
void BM_PlainPass(benchmark::State& state) {
  SourceBitmap image;
  if (!LoadSourceBitmap(BitmapFolder() + "/chart.bmp", &image)) {
    state.SkipWithError("chart.bmp could not be loaded");
    return;
  }
  const int32_t tileW = image.width * ((k4K.w + image.width - 1) / image.width);
  const int32_t tileH = image.height * ((k4K.h + image.height - 1) / image.height);
  const size_t bytes = size_t(tileW) * size_t(tileH) * 2;
  for (auto _ : state) {
    std::unique_ptr<uint8_t[]> tile(new uint8_t[bytes]);
    std::memset(tile.get(), 0x80, bytes);
    benchmark::DoNotOptimize(tile.get());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * tileW * tileH);
}

const bool kRegistered = [] {
  for (const Size& s : kSizes) {
    for (const Format& f : kFormats) {
      const std::string suffix = std::string(s.name) + "/" + f.name;
      benchmark::RegisterBenchmark(("Memcpy/" + suffix).c_str(), BM_Memcpy, s, f)->UseRealTime();
      benchmark::RegisterBenchmark(("Blit/" + suffix).c_str(), BM_Blit, s, f)->UseManualTime();
      benchmark::RegisterBenchmark(("Compose/" + suffix).c_str(), BM_Compose, s, f)->UseManualTime();
    }
  }
  benchmark::RegisterBenchmark("StreamStart/3840x2160/YUY2", BM_StreamStart)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("TileConversion/3840x2160/YUY2", BM_TileConversion)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("PlainPass/3840x2160/YUY2", BM_PlainPass)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
