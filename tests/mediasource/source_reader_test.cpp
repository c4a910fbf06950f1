// The media source read the way Media Foundation applications read cameras:
// through the source reader, every native type in turn.
#include <mferror.h>

#include <future>
#include <memory>
#include <thread>

#include "tests/mediasource/mf_fixture.h"

namespace {

constexpr int kFramesPerType = 4;
constexpr auto kReleaseWatchdog = std::chrono::seconds(20);

ComPtr<IMFSourceReader> ReaderOf(IMFMediaSource* source) {
  ComPtr<IMFAttributes> attributes;
  ComPtr<IMFSourceReader> reader;
  if (FAILED(MFCreateAttributes(attributes.Put(), 1)))
    return reader;
  attributes->SetUINT32(MF_SOURCE_READER_DISCONNECT_MEDIASOURCE_ON_SHUTDOWN, TRUE);
  MFCreateSourceReaderFromMediaSource(source, attributes.Get(), reader.Put());
  return reader;
}

// Releases the reader and the source on another thread: a source that never
// answers the reader's stop would hang the release, and the test must fail
// instead (the stuck thread is left behind).
bool ReleasedInTime(ComPtr<IMFSourceReader> reader, ComPtr<IMFMediaSource> source) {
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> finished = done->get_future();
  std::thread release([done, r = std::move(reader), s = std::move(source)]() mutable {
    r.Reset();
    if (s)
      s->Shutdown();
    s.Reset();
    done->set_value();
  });
  if (finished.wait_for(kReleaseWatchdog) != std::future_status::ready) {
    release.detach();
    return false;
  }
  release.join();
  return true;
}

}  // namespace

TEST_F(MediaSourceTest, NativeTypesAreThePresetsInOrder) {
  ComPtr<IMFMediaSource> source = CreateSource();
  ASSERT_TRUE(source);
  ComPtr<IMFSourceReader> reader = ReaderOf(source.Get());
  ASSERT_TRUE(reader);
  for (DWORD i = 0; i <= kExpectedTypeCount; ++i) {
    ComPtr<IMFMediaType> type;
    const HRESULT hr = reader->GetNativeMediaType(0, i, type.Put());
    if (i == kExpectedTypeCount) {
      EXPECT_EQ(hr, MF_E_NO_MORE_TYPES);
      break;
    }
    ASSERT_EQ(hr, S_OK) << i;
    const ExpectedType& want = kExpectedTypes[i];
    SCOPED_TRACE(want.name);
    GUID subtype = GUID_NULL;
    UINT32 w = 0, h = 0, num = 0, den = 0, interlace = 0, stride = 0, matrix = 0, range = 0;
    EXPECT_EQ(type->GetGUID(MF_MT_SUBTYPE, &subtype), S_OK);
    EXPECT_TRUE(IsEqualGUID(subtype, want.subtype));
    EXPECT_EQ(MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, &w, &h), S_OK);
    EXPECT_EQ(w, want.width);
    EXPECT_EQ(h, want.height);
    EXPECT_EQ(MFGetAttributeRatio(type.Get(), MF_MT_FRAME_RATE, &num, &den), S_OK);
    EXPECT_EQ(num, want.rateNum);
    EXPECT_EQ(den, want.rateDen);
    EXPECT_EQ(type->GetUINT32(MF_MT_INTERLACE_MODE, &interlace), S_OK);
    EXPECT_EQ(interlace, want.interlace);
    EXPECT_EQ(type->GetUINT32(MF_MT_DEFAULT_STRIDE, &stride), S_OK);
    EXPECT_EQ(stride, want.stride);
    EXPECT_EQ(type->GetUINT32(MF_MT_VIDEO_NOMINAL_RANGE, &range), S_OK);
    EXPECT_EQ(range, want.range);
    if (want.matrix) {
      EXPECT_EQ(type->GetUINT32(MF_MT_YUV_MATRIX, &matrix), S_OK);
      EXPECT_EQ(matrix, want.matrix);
    } else {
      EXPECT_TRUE(FAILED(type->GetUINT32(MF_MT_YUV_MATRIX, &matrix)));
    }
  }
  EXPECT_TRUE(ReleasedInTime(std::move(reader), std::move(source)));
}

// Every native type selected in turn: whole frames of the type's size, the
// frame code in order and naming the preset, times one frame apart on the
// stream's own clock, durations set.
TEST_F(MediaSourceTest, SourceReaderReadsEveryNativeType) {
  ComPtr<IMFMediaSource> source = CreateSource();
  ASSERT_TRUE(source);
  ComPtr<IMFSourceReader> reader = ReaderOf(source.Get());
  ASSERT_TRUE(reader);
  // The disabled section is not in the table; a twin names its preset.
  const int presetIndex[] = {0, 1, 2, 3, 4, 5, 0, 1, 3};
  static_assert(sizeof presetIndex / sizeof presetIndex[0] == 9, "one per expected type");
  for (size_t t = 0; t < kExpectedTypeCount; ++t) {
    const ExpectedType& want = kExpectedTypes[t];
    SCOPED_TRACE(want.name);
    ComPtr<IMFMediaType> type;
    ASSERT_EQ(reader->GetNativeMediaType(0, DWORD(t), type.Put()), S_OK);
    ASSERT_EQ(reader->SetCurrentMediaType(0, nullptr, type.Get()), S_OK);
    LONGLONG firstTime = 0;
    uint32_t streamId = 0;
    for (int n = 0; n < kFramesPerType; ++n) {
      DWORD flags = 0;
      LONGLONG timestamp = 0;
      ComPtr<IMFSample> sample;
      ASSERT_EQ(reader->ReadSample(0, 0, nullptr, &flags, &timestamp, sample.Put()), S_OK);
      ASSERT_TRUE(sample) << "frame " << n << " flags " << flags;
      const std::vector<uint8_t> bytes = SampleBytes(sample.Get());
      const bool planar = IsEqualGUID(want.subtype, MFVideoFormat_NV12);
      EXPECT_EQ(bytes.size(), size_t(want.stride) * want.height * (planar ? 3 : 2) / 2)
          << "frame " << n;
      LONGLONG duration = 0;
      EXPECT_EQ(sample->GetSampleDuration(&duration), S_OK);
      EXPECT_EQ(duration, want.frameTime);
      const zdcap::SampleCode code = ReadCode(bytes.data(), bytes.size(), want);
      ASSERT_EQ(code.frame.status, FrameCodeStatus::kDecoded) << "frame " << n;
      EXPECT_EQ(code.frame.payload.frame_number, uint32_t(n));
      EXPECT_EQ(code.frame.payload.capability, presetIndex[t]);
      if (n == 0) {
        firstTime = timestamp;
        streamId = code.frame.payload.stream_id;
      }
      EXPECT_EQ(code.frame.payload.stream_id, streamId);
      // Frame n starts n frame times after frame 0: the code's own time.
      EXPECT_EQ(timestamp - firstTime, n * want.frameTime);
      EXPECT_EQ(int64_t(code.frame.payload.sample_time), n * want.frameTime);
    }
  }
  EXPECT_TRUE(ReleasedInTime(std::move(reader), std::move(source)));
}

// The 2-D buffers' pitch as Media Foundation hands it out is honoured: the
// rows of a sample's buffer start every pitch bytes and the picture is whole.
TEST_F(MediaSourceTest, SamplesUseTheBufferPitch) {
  ComPtr<IMFMediaSource> source = CreateSource();
  ASSERT_TRUE(source);
  ComPtr<IMFSourceReader> reader = ReaderOf(source.Get());
  ASSERT_TRUE(reader);
  const ExpectedType& want = kExpectedTypes[3];  // 642 pixels of UYVY
  ComPtr<IMFMediaType> type;
  ASSERT_EQ(reader->GetNativeMediaType(0, 3, type.Put()), S_OK);
  ASSERT_EQ(reader->SetCurrentMediaType(0, nullptr, type.Get()), S_OK);
  DWORD flags = 0;
  LONGLONG timestamp = 0;
  ComPtr<IMFSample> sample;
  ASSERT_EQ(reader->ReadSample(0, 0, nullptr, &flags, &timestamp, sample.Put()), S_OK);
  ASSERT_TRUE(sample);
  ComPtr<IMFMediaBuffer> buffer;
  ASSERT_EQ(sample->GetBufferByIndex(0, buffer.Put()), S_OK);
  ComPtr<IMF2DBuffer> buffer2d;
  ASSERT_EQ(buffer.As(IID_IMF2DBuffer, &buffer2d), S_OK);
  BYTE* scanline0 = nullptr;
  LONG pitch = 0;
  ASSERT_EQ(buffer2d->Lock2D(&scanline0, &pitch), S_OK);
  EXPECT_GE(pitch, LONG(want.stride));
  // The rows at the buffer's own pitch, packed to the default stride.
  std::vector<uint8_t> packed(size_t(want.stride) * want.height);
  for (UINT32 r = 0; r < want.height; ++r)
    std::copy(scanline0 + size_t(r) * size_t(pitch),
              scanline0 + size_t(r) * size_t(pitch) + want.stride,
              packed.begin() + ptrdiff_t(size_t(r) * want.stride));
  buffer2d->Unlock2D();
  const zdcap::SampleCode code = ReadCode(packed.data(), packed.size(), want);
  EXPECT_EQ(code.frame.status, FrameCodeStatus::kDecoded);
  EXPECT_EQ(code.frame.payload.frame_number, 0u);
  EXPECT_TRUE(ReleasedInTime(std::move(reader), std::move(source)));
}

// NV12 and I420: the planes packed, w x h x 3 / 2 bytes a sample with the
// width as the default stride, and the frame code read from the luma plane.
TEST_F(MediaSourceTest, PlanarTypesCarryPackedPlanes) {
  WriteSettings(
      "[MAIN]\r\npreset_num=2\r\nframe_code=1\r\n"
      "[PRESET_DEF]\r\nbmp=chart.bmp\r\nfont=font.bmp\r\nscroll_x=2\r\nscroll_y=2\r\n"
      "[PRESET_01]\r\nenable=1\r\nw=322\r\nh=240\r\nfcc=NV12\r\n"
      "[PRESET_02]\r\nenable=1\r\nw=320\r\nh=242\r\nfcc=I420\r\ninterlaced=1\r\n");
  ComPtr<IMFMediaSource> source = CreateSource();
  ASSERT_TRUE(source);
  ComPtr<IMFSourceReader> reader = ReaderOf(source.Get());
  ASSERT_TRUE(reader);
  const ExpectedType planar[] = {
      {"NV12 322x240", MFVideoFormat_NV12, 322, 240, 322, 10000000, 333667, 333667,
       MFVideoInterlace_Progressive, MFVideoTransferMatrix_BT601, MFNominalRange_16_235},
      {"I420 320x244 i1", MFVideoFormat_I420, 320, 244, 320, 10000000, 333667, 333667,
       MFVideoInterlace_FieldInterleavedUpperFirst, MFVideoTransferMatrix_BT601,
       MFNominalRange_16_235},
  };
  for (DWORD t = 0; t < 2; ++t) {
    const ExpectedType& want = planar[t];
    SCOPED_TRACE(want.name);
    ComPtr<IMFMediaType> type;
    ASSERT_EQ(reader->GetNativeMediaType(0, t, type.Put()), S_OK);
    GUID subtype = GUID_NULL;
    UINT32 w = 0, h = 0, stride = 0, size = 0;
    EXPECT_EQ(type->GetGUID(MF_MT_SUBTYPE, &subtype), S_OK);
    EXPECT_TRUE(IsEqualGUID(subtype, want.subtype));
    EXPECT_EQ(MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, &w, &h), S_OK);
    EXPECT_EQ(h, want.height);
    EXPECT_EQ(type->GetUINT32(MF_MT_DEFAULT_STRIDE, &stride), S_OK);
    EXPECT_EQ(stride, want.stride);
    EXPECT_EQ(type->GetUINT32(MF_MT_SAMPLE_SIZE, &size), S_OK);
    EXPECT_EQ(size, want.width * want.height * 3 / 2);
    ASSERT_EQ(reader->SetCurrentMediaType(0, nullptr, type.Get()), S_OK);
    for (int n = 0; n < 3; ++n) {
      DWORD flags = 0;
      LONGLONG timestamp = 0;
      ComPtr<IMFSample> sample;
      ASSERT_EQ(reader->ReadSample(0, 0, nullptr, &flags, &timestamp, sample.Put()), S_OK);
      ASSERT_TRUE(sample) << "frame " << n << " flags " << flags;
      const std::vector<uint8_t> bytes = SampleBytes(sample.Get());
      EXPECT_EQ(bytes.size(), size_t(want.width) * want.height * 3 / 2) << "frame " << n;
      const zdcap::SampleCode code = ReadCode(bytes.data(), bytes.size(), want);
      ASSERT_EQ(code.frame.status, FrameCodeStatus::kDecoded) << "frame " << n;
      EXPECT_EQ(code.frame.payload.frame_number, uint32_t(n));
      EXPECT_EQ(code.frame.payload.capability, t);
    }
  }
  EXPECT_TRUE(ReleasedInTime(std::move(reader), std::move(source)));
}
