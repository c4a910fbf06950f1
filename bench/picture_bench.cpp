// zd-analyse's pixel comparison, per frame: the original made again from the
// shipped settings (FrameProducer, the module's frame loop) and compared with
// a recorded frame at 1920 x 1080, as PictureChecker does it for every coded
// frame. The recorded frame stands still while the frame number advances, so
// each frame's original is made anew (a scrolling preset), as in a recording.
// The one diagnosis a checker makes is done before the timing starts.
//
//   PictureCheck/<preset>: YUY2 (preset 16) against a 4:2:0 frame as H.264
//   recordings decode, RGB32 (preset 17) against B, G, R as RGB recordings
//   give, HDYC (preset 22) against 4:2:2. "x_memcpy" is the time over that of
//   copying the recorded frame's bytes once.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "tools/analyse/pixels/picture_check.h"

namespace {

using zdanalyse::ColourLayout;
using zdanalyse::FrameRecord;
using zdanalyse::LumaFrame;

struct PictureCase {
  const char* name;
  int capability;  // the shipped preset's capability index (preset number - 1)
  ColourLayout layout;
  int chromaRowsDiv;  // 2: 4:2:0, 1: 4:2:2
};

// A recorded 1920 x 1080 frame of the layout, filled with a fixed ramp.
LumaFrame RecordedFrame(const PictureCase& c) {
  LumaFrame f;
  f.width = 1920;
  f.height = 1080;
  f.luma.resize(size_t(f.width) * size_t(f.height));
  for (size_t i = 0; i < f.luma.size(); ++i)
    f.luma[i] = uint8_t(16 + (i * 7) % 220);
  f.colour = c.layout;
  if (c.layout == ColourLayout::kBgr) {
    f.bgr.resize(f.luma.size() * 3);
    for (size_t i = 0; i < f.bgr.size(); ++i)
      f.bgr[i] = uint8_t((i * 13) % 256);
    return f;
  }
  f.chromaWidth = f.width / 2;
  f.chromaHeight = f.height / c.chromaRowsDiv;
  f.cb.assign(size_t(f.chromaWidth) * size_t(f.chromaHeight), 100);
  f.cr.assign(f.cb.size(), 150);
  return f;
}

size_t FrameBytes(const LumaFrame& f) {
  return f.luma.size() + f.cb.size() + f.cr.size() + f.bgr.size();
}

void BM_PictureCheck(benchmark::State& state, PictureCase c) {
  zdanalyse::PictureChecker checker;
  std::string error;
  if (!checker.Open(ZD_ASSETS_DIR "/ZintuDobrel.ini", int64_t(1) << 40, 0, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  const LumaFrame frame = RecordedFrame(c);
  FrameRecord r;
  r.readable = r.hasCapability = true;
  r.capability = uint16_t(c.capability);
  checker.Frame(frame, &r, 1);  // opens the stream and makes the one diagnosis
  std::vector<uint8_t> copy(FrameBytes(frame));
  double copySeconds = 0;
  for (auto _ : state) {
    ++r.frame;
    ++r.index;
    checker.Frame(frame, &r, 1);
    state.PauseTiming();
    const auto t0 = std::chrono::steady_clock::now();
    std::memcpy(copy.data(), frame.luma.data(), frame.luma.size());
    benchmark::DoNotOptimize(copy.data());
    copySeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    state.ResumeTiming();
  }
  const zdanalyse::PictureCheck result = checker.Finish();
  if (result.frames < 2)
    state.SkipWithError(("nothing compared: " + result.note).c_str());
  state.counters["copy_us"] = copySeconds * 1e6 / double(state.iterations());
}

const bool kRegistered = [] {
  const PictureCase cases[] = {
      {"1920x1080/YUY2_vs_420", 15, ColourLayout::kYuv, 2},
      {"1920x1080/RGB32_vs_BGR", 16, ColourLayout::kBgr, 1},
      {"1920x1080/HDYC_vs_422", 21, ColourLayout::kYuv, 1},
  };
  for (const PictureCase& c : cases)
    benchmark::RegisterBenchmark((std::string("PictureCheck/") + c.name).c_str(), BM_PictureCheck,
                                 c)
        ->Unit(benchmark::kMillisecond);
  return true;
}();

}  // namespace
