#include "bench/composition_cases.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "pattern/pixel_format.h"
#include "tools/common/synthetic_images.h"

namespace zdbench {

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

}  // namespace

const Format kFormats[5] = {
    *FindPixelFormat(PixelFormatId::kRgb32), *FindPixelFormat(PixelFormatId::kRgb24),
    *FindPixelFormat(PixelFormatId::kYuy2), *FindPixelFormat(PixelFormatId::kNv12),
    *FindPixelFormat(PixelFormatId::kI420)};
const Size kSizes[3] = {
    {"1280x720", 1280, 720}, {"1920x1080", 1920, 1080}, {"3840x2160", 3840, 2160}};

std::string Case::Name() const {
  return std::string(size.name) + "/" + format.subtypeName;
}

std::vector<Case> AllCases() {
  std::vector<Case> cases;
  for (const Size& s : kSizes) {
    for (const Format& f : kFormats)
      cases.push_back({s, f});
  }
  return cases;
}

const Case& StreamStartCase() {
  static const Case c{kSizes[2], kFormats[2]};
  return c;
}

const std::string& BitmapFolder() {
  static const std::string folder = [] {
    const std::string assets = ZD_ASSETS_DIR;
    std::error_code ec;
    if (std::filesystem::exists(assets + "/chart.bmp", ec) &&
        std::filesystem::exists(assets + "/font.bmp", ec)) {
      return assets;
    }
    // Without the shipped bitmaps: synthetic ones in the build folder.
    const std::string work = ZD_BENCH_WORK_DIR;
    std::filesystem::create_directories(work, ec);
    zdtools::WriteChartImage(work + "/chart.bmp", 640, 480);
    zdtools::WriteSyntheticFont(work + "/font.bmp", 10, 20);
    return work;
  }();
  return folder;
}

PresetInfo MakePreset(const Case& c) {
  PresetInfo p{};
  p.enable = 1;
  p.w = c.size.w;
  p.h = c.size.h;
  p.compression = c.format.compression;
  p.bit_count = c.format.bitCount;
  p.frame_time = kFrameTime;
  p.scroll_x = 2;
  p.scroll_y = 2;
  std::snprintf(p.bmp, sizeof p.bmp, "chart.bmp");
  std::snprintf(p.font, sizeof p.font, "font.bmp");
  std::snprintf(p.comment, sizeof p.comment, "benchmark");
  return p;
}

uint32_t FrameBytes(const Case& c) {
  if (IsPlanarFormat(c.format.compression))
    return uint32_t(PlanarFrameBytes(c.size.w, c.size.h));
  return zd::FrameSizeBytes(c.size.w, c.size.h, c.format.bitCount);
}

FrameBuffers::FrameBuffers(uint32_t size, int count) : m_size(size) {
  for (int i = 0; i < std::max(count, 2); ++i) {
    m_blocks.emplace_back(new uint8_t[size + 4096]);
    uint8_t* p = m_blocks.back().get();
    p += (4096 - reinterpret_cast<uintptr_t>(p) % 4096) % 4096;
    std::memset(p, 0x10, size);
    m_frames.push_back(p);
  }
}

int FrameBuffers::ColdCount(uint32_t size) {
  const uint64_t frames = (kColdRotationBytes + size - 1) / std::max<uint32_t>(size, 1);
  return int(std::max<uint64_t>(frames, kBufferCount));
}

void FrameBuffers::CopyFrame(uint64_t k) {
  std::memcpy(Frame(k), Frame(k + m_frames.size() / 2), m_size);
  MemoryFence();
}

CompositionRun::CompositionRun(const Case& c, bool frameCode)
    : m_case(c),
      m_preset(MakePreset(c)),
      m_buffers(FrameBytes(c)),
      m_coldBuffers(FrameBytes(c), FrameBuffers::ColdCount(FrameBytes(c))) {
  m_settings.m_frameCode = frameCode ? 1 : 0;
  m_prepared = m_producer.OnThreadCreate(m_host, m_preset, m_settings, BitmapFolder()) == kS_OK;
  m_start = m_host.now;
}

bool CompositionRun::Compose(uint64_t k) {
  if (!m_prepared)
    return false;
  m_host.now = m_start + int64_t(k) * kFrameTime;  // exactly on time: no waiting
  zd::BorrowedSample sample(m_buffers.Frame(k), m_buffers.Size());
  const bool ok = m_producer.FillBuffer(m_host, &sample, m_preset, 0) == kS_OK;
  MemoryFence();
  return ok;
}

bool CompositionRun::Blit(uint64_t k) {
  if (!m_prepared)
    return false;
  const int32_t offset = int32_t(2 * k);
  if (IsPlanarFormat(m_case.format.compression)) {
    const bool ok = m_producer.m_planarPattern.BlitScrolled(
        m_buffers.Frame(k), m_case.size.w, m_case.size.h, offset, offset, offset, offset);
    MemoryFence();
    return ok;
  }
  const uint32_t pitch = m_buffers.Size() / uint32_t(m_case.size.h);
  const uint32_t rowLen = pitch / uint32_t(m_case.format.bitCount / 8);
  const bool ok = m_producer.m_pattern.BlitScrolled(
      m_buffers.Frame(k), pitch, rowLen, uint32_t(m_case.size.h), offset, offset, offset, offset);
  MemoryFence();
  return ok;
}

bool CompositionRun::DrawCode(uint64_t k) {
  // The code of a planar frame is drawn into its twin's frame: see Compose.
  if (!m_prepared || !m_producer.m_frameCode.enabled() || IsPlanarFormat(m_case.format.compression))
    return false;
  const uint32_t pitch = m_buffers.Size() / uint32_t(m_case.size.h);
  const uint32_t rowLen = pitch / uint32_t(m_case.format.bitCount / 8);
  m_producer.m_frameCode.Draw(m_buffers.Frame(k), pitch, rowLen, uint32_t(m_case.size.h), m_preset,
                              uint32_t(k), 0, int64_t(k) * kFrameTime);
  MemoryFence();
  return true;
}

template <typename Work>
PairedTimes CompositionRun::Paired(uint64_t k, Work work) {
  PairedTimes t;
  const auto t0 = Clock::now();
  m_buffers.CopyFrame(k + 1);
  const auto t1 = Clock::now();
  t.ok = work(k);
  const auto t2 = Clock::now();
  m_coldBuffers.CopyFrame(k);
  const auto t3 = Clock::now();
  t.copySeconds = Seconds(t0, t1);
  t.workSeconds = Seconds(t1, t2);
  t.coldCopySeconds = Seconds(t2, t3);
  return t;
}

PairedTimes CompositionRun::ComposeBesideMemcpy(uint64_t k) {
  return Paired(k, [this](uint64_t n) { return Compose(n); });
}

PairedTimes CompositionRun::BlitBesideMemcpy(uint64_t k) {
  return Paired(k, [this](uint64_t n) { return Blit(n); });
}

PairedTimes CodedBesidePlain(CompositionRun& plain, CompositionRun& coded, uint64_t k) {
  PairedTimes t;
  const auto t0 = Clock::now();
  const bool plainOk = plain.Compose(k);
  const auto t1 = Clock::now();
  t.ok = coded.Compose(k) && plainOk;
  const auto t2 = Clock::now();
  t.copySeconds = Seconds(t0, t1);
  t.workSeconds = Seconds(t1, t2);
  return t;
}

StreamStartRun::StreamStartRun() : m_preset(MakePreset(StreamStartCase())) {}

bool StreamStartRun::Start() {
  const bool ok = m_producer.OnThreadCreate(m_host, m_preset, m_settings, BitmapFolder()) == kS_OK;
  m_producer.OnThreadDestroy();
  return ok;
}

TileRun::TileRun() {
  m_loaded = LoadSourceBitmap(BitmapFolder() + "/chart.bmp", &m_image);
  if (!m_loaded)
    return;
  const Size& s = StreamStartCase().size;
  m_tileW = m_image.width * ((s.w + m_image.width - 1) / m_image.width);
  m_tileH = m_image.height * ((s.h + m_image.height - 1) / m_image.height);
}

bool TileRun::Convert() {
  const Case& c = StreamStartCase();
  const bool ok = m_loaded && m_tile.BuildTile(m_image, c.size.w, c.size.h, c.format.compression,
                                               c.format.bitCount);
  Escape(m_tile.pixels.get());
  return ok;
}

bool TileRun::PlainPass() {
  if (!m_loaded)
    return false;
  const size_t bytes = size_t(m_tileW) * size_t(m_tileH) * 2;
  std::unique_ptr<uint8_t[]> tile(new uint8_t[bytes]);
  std::memset(tile.get(), 0x80, bytes);
  Escape(tile.get());
  return true;
}

}  // namespace zdbench
