// zd-bench: a whole MJPG frame next to the library's floor. "Mjpg/<size>/q<Q>"
// is FillBuffer of an MJPG stream (the YUY2 twin's picture composed with
// both text lines, then encoded into the sample); beside it, in the same
// step, libjpeg-turbo compresses the same picture's planes (full-range Y, Cb,
// Cr, 4:2:2, made once before the timing) with its own TurboJPEG call at the
// same quality and with the same accurate DCT: the least any encoder built on
// the library can spend on the frame. "x_turbojpeg" is the frame's time over
// the library's, "turbojpeg_ms" the library's time per frame, "kb" the
// frame's mean JPEG size. Each step times both, so that other load on the
// machine weighs on both alike.
#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "bench/composition_cases.h"
#include "pattern/frame_producer.h"
#include "pattern/mjpg_encoder.h"
#include "pattern/pixel_format.h"
#include "pattern/simulated_frame_host.h"
#include "stream/stream_settings.h"

namespace {

using Clock = std::chrono::steady_clock;

struct MjpgCase {
  int32_t w, h, quality;
};

// A sample over the run's buffer that keeps its data length (the JPEG's).
class LengthSample : public zd::BorrowedSample {
 public:
  using zd::BorrowedSample::BorrowedSample;
  void SetActualDataLength(uint32_t length) override { this->length = length; }
  uint32_t length = 0;
};

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// The stream and the library's planes of its first frame.
class MjpgRun {
 public:
  explicit MjpgRun(const MjpgCase& c)
      : m_case(c), m_sample(size_t(MjpgWorstCaseBytes(c.w, c.h))), m_jpeg(m_sample.size()) {
    m_preset = PresetInfo{};
    m_preset.enable = 1;
    m_preset.w = c.w;
    m_preset.h = c.h;
    m_preset.compression = kFourccMJPG;
    m_preset.bit_count = 24;
    m_preset.frame_time = zdbench::kFrameTime;
    m_preset.scroll_x = 2;
    m_preset.scroll_y = 2;
    m_preset.jpeg_quality = c.quality;
    std::snprintf(m_preset.bmp, sizeof m_preset.bmp, "chart.bmp");
    std::snprintf(m_preset.font, sizeof m_preset.font, "font.bmp");
    std::snprintf(m_preset.comment, sizeof m_preset.comment, "benchmark");
    m_prepared =
        m_producer.OnThreadCreate(m_host, m_preset, m_settings, zdbench::BitmapFolder()) == kS_OK;
    m_start = m_host.now;
    m_tj = tjInitCompress();
    m_prepared = m_prepared && m_tj && Frame(0) && MakePlanes();
  }
  ~MjpgRun() {
    if (m_tj)
      tjDestroy(m_tj);
  }
  MjpgRun(const MjpgRun&) = delete;
  MjpgRun& operator=(const MjpgRun&) = delete;

  bool Prepared() const { return m_prepared; }
  uint32_t Length() const { return m_length; }

  // Frame k whole: FillBuffer into the sample.
  bool Frame(uint64_t k) {
    m_host.now = m_start + int64_t(k) * zdbench::kFrameTime;  // on time: no waiting
    LengthSample sample(m_sample.data(), uint32_t(m_sample.size()));
    const bool ok = m_producer.FillBuffer(m_host, &sample, m_preset, 0) == kS_OK;
    m_length = ok ? sample.length : 0;
    zdbench::MemoryFence();
    return ok && m_length > 0;
  }

  // The encoder alone: frame 0's twin (YUY2, studio range) into a JPEG.
  bool Encoder() {
    const uint32_t n = m_producer.m_mjpg.Encode(m_producer.m_twinFrame.get(), size_t(m_case.w) * 2,
                                                m_jpeg.data(), m_jpeg.size());
    zdbench::MemoryFence();
    return n > 0;
  }

  // The library alone: the planes of frame 0 into a JPEG.
  bool Library() {
    const unsigned char* planes[3] = {m_y.data(), m_cb.data(), m_cr.data()};
    const int strides[3] = {m_case.w, m_case.w / 2, m_case.w / 2};
    unsigned char* out = m_jpeg.data();
    unsigned long size = static_cast<unsigned long>(m_jpeg.size());
    const bool ok =
        tjCompressFromYUVPlanes(m_tj, planes, m_case.w, strides, m_case.h, TJSAMP_422, &out, &size,
                                m_case.quality, TJFLAG_ACCURATEDCT | TJFLAG_NOREALLOC) == 0;
    zdbench::Escape(out);
    zdbench::MemoryFence();
    return ok;
  }

 private:
  // Full-range planes of the twin's frame (the encoder's input, made once).
  bool MakePlanes() {
    const uint8_t* twin = m_producer.m_twinFrame.get();
    if (!twin)
      return false;
    const size_t w = size_t(m_case.w), h = size_t(m_case.h);
    m_y.resize(w * h);
    m_cb.resize(w / 2 * h);
    m_cr.resize(w / 2 * h);
    auto luma = [](int v) {
      return uint8_t(std::lround(std::fmin(255, std::fmax(0, (v - 16) * 255.0 / 219))));
    };
    auto chroma = [](int v) {
      return uint8_t(std::lround(std::fmin(255, std::fmax(0, 128 + (v - 128) * 255.0 / 224))));
    };
    for (size_t i = 0; i < w * h / 2; ++i) {
      m_y[2 * i] = luma(twin[4 * i]);
      m_cb[i] = chroma(twin[4 * i + 1]);
      m_y[2 * i + 1] = luma(twin[4 * i + 2]);
      m_cr[i] = chroma(twin[4 * i + 3]);
    }
    return true;
  }

  MjpgCase m_case;
  PresetInfo m_preset;
  StreamSettings m_settings;
  zd::SimulatedFrameHost m_host;
  FrameProducer m_producer;
  std::vector<uint8_t> m_sample;
  std::vector<uint8_t> m_jpeg;
  std::vector<uint8_t> m_y, m_cb, m_cr;
  tjhandle m_tj = nullptr;
  int64_t m_start = 0;
  uint32_t m_length = 0;
  bool m_prepared = false;
};

template <bool kWholeFrame>
void BM_Mjpg(benchmark::State& state, MjpgCase c) {
  MjpgRun run(c);
  if (!run.Prepared()) {
    state.SkipWithError("stream or library could not be prepared (bitmaps missing?)");
    return;
  }
  double frameSeconds = 0.0, librarySeconds = 0.0, bytes = 0.0;
  uint64_t k = 1;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    const bool library = run.Library();
    const auto t1 = Clock::now();
    const bool frame = kWholeFrame ? run.Frame(k) : run.Encoder();
    const auto t2 = Clock::now();
    if (!library || !frame) {
      state.SkipWithError("frame not made");
      break;
    }
    state.SetIterationTime(Seconds(t1, t2));
    librarySeconds += Seconds(t0, t1);
    frameSeconds += Seconds(t1, t2);
    bytes += kWholeFrame ? run.Length() : 0;
    ++k;
  }
  const double n = double(k > 1 ? k - 1 : 1);
  state.counters["x_turbojpeg"] = librarySeconds > 0.0 ? frameSeconds / librarySeconds : 0.0;
  state.counters["turbojpeg_ms"] = librarySeconds * 1e3 / n;
  state.counters["kb"] = bytes / n / 1024.0;
}

const bool kRegistered = [] {
  const MjpgCase cases[] = {{1920, 1080, 85}, {1280, 720, 85}, {3840, 2160, 85}, {640, 360, 50}};
  for (const MjpgCase& c : cases) {
    const std::string name = "Mjpg/" + std::to_string(c.w) + "x" + std::to_string(c.h) + "/q" +
                             std::to_string(c.quality);
    benchmark::RegisterBenchmark(name.c_str(), BM_Mjpg<true>, c)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    if (c.w == 1920) {
      benchmark::RegisterBenchmark(("MjpgEncode/" + name.substr(5)).c_str(), BM_Mjpg<false>, c)
          ->UseManualTime()
          ->Unit(benchmark::kMillisecond);
    }
  }
  return true;
}();

}  // namespace
