// zd-bench: what one frame costs next to copying it, and what a stream start
// costs next to one plain pass over the same pixels. The cases themselves are
// in composition_cases.h, shared with zd-bench-win.
//
// Composition: FillBuffer with a host whose clock reads exactly one frame
// interval later at every call (it never waits), drawing the scrolled
// background, both text lines and the time stamps, into one of several frame
// buffers in turn, as an allocator hands them out. Every frame is made beside
// a memcpy of the same size within the same rotation of buffers; "x_memcpy"
// is the composition's time over the memcpy's, "x_cold_memcpy" over a memcpy
// within a rotation larger than any cache. "Blit" is the background copy
// alone, measured the same way.
//
// Frame code: "ComposeCode" makes every frame twice in the same step, by a
// stream without the code and by one with it; "x_compose" is the coded
// frames' time over the plain ones', "code_us" the difference per frame.
// "DrawFrameCode" is the block alone, drawn into the rotation of buffers.
// "ReadFrameCode" decodes the frame slot of a coded 1920 x 1080 YUY2 frame.
//
// Stream start: OnThreadCreate at 3840 x 2160 YUY2 (loading and converting the
// background tile and the font sheet), the tile conversion alone from an image
// already in memory, and a plain pass over the tile's pixels for comparison.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/composition_cases.h"
#include "pattern/frame_code_reader.h"

namespace {

using zdbench::Case;
using zdbench::CompositionRun;
using zdbench::PairedTimes;

// Runs one paired step per iteration. The benchmark's time is the work's
// alone; "x_memcpy" is its total over the memcpy's.
template <typename Step>
void RunBesideMemcpy(benchmark::State& state, CompositionRun& run, Step step) {
  if (!run.Prepared()) {
    state.SkipWithError("stream could not be prepared (bitmaps missing?)");
    return;
  }
  double workSeconds = 0.0, copySeconds = 0.0, coldSeconds = 0.0;
  uint64_t k = 0;
  for (auto _ : state) {
    const PairedTimes t = step(k);
    if (!t.ok) {
      state.SkipWithError("frame not made");
      break;
    }
    state.SetIterationTime(t.workSeconds);
    workSeconds += t.workSeconds;
    copySeconds += t.copySeconds;
    coldSeconds += t.coldCopySeconds;
    ++k;
  }
  state.counters["x_memcpy"] = copySeconds > 0.0 ? workSeconds / copySeconds : 0.0;
  state.counters["memcpy_us"] = benchmark::Counter(copySeconds * 1e6 / double(k ? k : 1));
  state.counters["x_cold_memcpy"] = coldSeconds > 0.0 ? workSeconds / coldSeconds : 0.0;
  state.SetBytesProcessed(int64_t(state.iterations()) * run.FrameSize());
}

void BM_Memcpy(benchmark::State& state, Case c) {
  zdbench::FrameBuffers buffers(zdbench::FrameBytes(c));
  uint64_t k = 0;
  for (auto _ : state)
    buffers.CopyFrame(k++);
  state.SetBytesProcessed(int64_t(state.iterations()) * buffers.Size());
}

void BM_Compose(benchmark::State& state, Case c) {
  CompositionRun run(c);
  RunBesideMemcpy(state, run, [&](uint64_t k) { return run.ComposeBesideMemcpy(k); });
  state.counters["drops"] = run.Drops();
}

void BM_Blit(benchmark::State& state, Case c) {
  CompositionRun run(c);
  RunBesideMemcpy(state, run, [&](uint64_t k) { return run.BlitBesideMemcpy(k); });
}

void BM_ComposeCode(benchmark::State& state, Case c) {
  CompositionRun plain(c), coded(c, true);
  if (!plain.Prepared() || !coded.Prepared()) {
    state.SkipWithError("stream could not be prepared (bitmaps missing?)");
    return;
  }
  double codedSeconds = 0.0, plainSeconds = 0.0;
  uint64_t k = 0;
  for (auto _ : state) {
    const PairedTimes t = zdbench::CodedBesidePlain(plain, coded, k);
    if (!t.ok) {
      state.SkipWithError("frame not made");
      break;
    }
    state.SetIterationTime(t.workSeconds);
    codedSeconds += t.workSeconds;
    plainSeconds += t.copySeconds;
    ++k;
  }
  const double frames = double(k ? k : 1);
  state.counters["x_compose"] = plainSeconds > 0.0 ? codedSeconds / plainSeconds : 0.0;
  state.counters["compose_us"] = plainSeconds * 1e6 / frames;
  state.counters["code_us"] = (codedSeconds - plainSeconds) * 1e6 / frames;
}

void BM_DrawFrameCode(benchmark::State& state, Case c) {
  CompositionRun run(c, true);
  uint64_t k = 0;
  for (auto _ : state) {
    if (!run.DrawCode(k++)) {
      state.SkipWithError("code not drawn");
      break;
    }
  }
}

void BM_ReadFrameCode(benchmark::State& state, Case c) {
  CompositionRun run(c, true);
  if (!run.Prepared() || !run.Compose(0)) {
    state.SkipWithError("frame not made");
    return;
  }
  const LumaPlane luma =
      LumaOfFrame(run.Buffers().Frame(0), run.FrameSize(), run.FrameSize() / uint32_t(c.size.h),
                  c.size.w, c.size.h, c.format.compression, c.format.bitCount);
  for (auto _ : state) {
    const FrameCodeReading r = ReadFrameCode(luma);
    if (r.status != FrameCodeStatus::kDecoded) {
      state.SkipWithError("code not read");
      break;
    }
    benchmark::DoNotOptimize(r);
  }
}

void BM_StreamStart(benchmark::State& state) {
  zdbench::StreamStartRun run;
  for (auto _ : state) {
    if (!run.Start()) {
      state.SkipWithError("stream could not be prepared");
      break;
    }
  }
  state.counters["tile_w"] = run.TileWidth();
  state.counters["tile_h"] = run.TileHeight();
}

void BM_TileConversion(benchmark::State& state) {
  zdbench::TileRun run;
  if (!run.Loaded()) {
    state.SkipWithError("chart.bmp could not be loaded");
    return;
  }
  for (auto _ : state) {
    if (!run.Convert()) {
      state.SkipWithError("tile not built");
      break;
    }
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * run.TilePixels());
}

void BM_PlainPass(benchmark::State& state) {
  zdbench::TileRun run;
  if (!run.Loaded()) {
    state.SkipWithError("chart.bmp could not be loaded");
    return;
  }
  for (auto _ : state)
    run.PlainPass();
  state.SetItemsProcessed(int64_t(state.iterations()) * run.TilePixels());
}

const bool kRegistered = [] {
  for (const Case& c : zdbench::AllCases()) {
    const std::string name = c.Name();
    benchmark::RegisterBenchmark(("Memcpy/" + name).c_str(), BM_Memcpy, c)->UseRealTime();
    benchmark::RegisterBenchmark(("Blit/" + name).c_str(), BM_Blit, c)->UseManualTime();
    benchmark::RegisterBenchmark(("Compose/" + name).c_str(), BM_Compose, c)->UseManualTime();
  }
  for (const Case& c : zdbench::AllCases()) {
    if (c.size.h != 1080)
      continue;
    benchmark::RegisterBenchmark(("ComposeCode/" + c.Name()).c_str(), BM_ComposeCode, c)
        ->UseManualTime();
    if (!IsPlanarFormat(c.format.compression)) {
      benchmark::RegisterBenchmark(("DrawFrameCode/" + c.Name()).c_str(), BM_DrawFrameCode, c)
          ->Unit(benchmark::kMicrosecond);
    }
    if (c.format.bitCount == 16 || c.format.bitCount == 12) {
      benchmark::RegisterBenchmark(("ReadFrameCode/" + c.Name()).c_str(), BM_ReadFrameCode, c)
          ->Unit(benchmark::kMicrosecond);
    }
  }
  const std::string start = zdbench::StreamStartCase().Name();
  benchmark::RegisterBenchmark(("StreamStart/" + start).c_str(), BM_StreamStart)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark(("TileConversion/" + start).c_str(), BM_TileConversion)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark(("PlainPass/" + start).c_str(), BM_PlainPass)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
