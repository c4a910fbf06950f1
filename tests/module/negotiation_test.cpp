// What a downstream pin sees: the offered types, which types the pin
// accepts, the buffers it asks for, format changes while connected, and the
// stream of samples with their time stamps.
#include <windows.h>
#include <dshow.h>
#include <dvdmedia.h>

#include "baseclasses/media_type.h"
#include "fake_input_pin.h"
#include "module_fixture.h"
#include "stream/video_subtypes.h"

namespace {

constexpr DWORD kYuy2 = MAKEFOURCC('Y', 'U', 'Y', '2');

class NegotiationTest : public StreamTest {
 protected:
  void CreateWithLayout(int useVideoInfoHeader2) {
    WriteSettings(useVideoInfoHeader2);
    CreateStream();
    if (HasFatalFailure())
      return;
    config = Query<IAMStreamConfig>(pin.Get(), IID_IAMStreamConfig);
  }
  void TearDown() override {
    config.Reset();
    StreamTest::TearDown();
  }

  // Selects table entry `index` as the current preset.
  void Select(int index) {
    VIDEO_STREAM_CONFIG_CAPS caps = {};
    AM_MEDIA_TYPE* mt = nullptr;
    ASSERT_EQ(config->GetStreamCaps(index, &mt, reinterpret_cast<BYTE*>(&caps)), S_OK);
    MediaTypePtr owner(mt);
    ASSERT_EQ(config->SetFormat(mt), S_OK);
  }

  // The offered types until the enumerator ends.
  std::vector<CMediaType> Offered() {
    std::vector<CMediaType> types;
    ComPtr<IEnumMediaTypes> list;
    EXPECT_EQ(pin->EnumMediaTypes(list.Put()), S_OK);
    for (int i = 0; i < 10; ++i) {
      AM_MEDIA_TYPE* mt = nullptr;
      ULONG fetched = 0;
      const HRESULT hr = list->Next(1, &mt, &fetched);
      if (hr != S_OK) {
        EXPECT_EQ(hr, S_FALSE);
        break;
      }
      MediaTypePtr owner(mt);
      types.emplace_back(*mt);
    }
    return types;
  }

  // Runs the graph until `wanted` samples have arrived, then stops it.
  void RunUntil(size_t wanted) {
    downstream->wanted = wanted;
    ASSERT_EQ(filter->Pause(), S_OK);
    ASSERT_EQ(filter->Run(0), S_OK);
    // A generous guard against a hang, not a measurement.
    EXPECT_EQ(WaitForSingleObject(downstream->samplesArrived, 20000), WAIT_OBJECT_0);
    ASSERT_EQ(filter->Stop(), S_OK);
  }

  ComPtr<IAMStreamConfig> config;
};

const BITMAPINFOHEADER& Header(const AM_MEDIA_TYPE& mt) {
  if (IsEqualGUID(mt.formattype, FORMAT_VideoInfo2))
    return reinterpret_cast<const VIDEOINFOHEADER2*>(mt.pbFormat)->bmiHeader;
  return reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader;
}

BITMAPINFOHEADER& MutableHeader(AM_MEDIA_TYPE& mt) {
  return const_cast<BITMAPINFOHEADER&>(Header(mt));
}

}  // namespace

TEST_F(NegotiationTest, PinOffersTheCurrentPresetTwiceThenEnds) {
  CreateWithLayout(0);
  std::vector<CMediaType> types = Offered();
  ASSERT_EQ(types.size(), 2u);
  EXPECT_TRUE(types[0] == types[1]);
  // 320 x 240 YUY2: 2 bytes a pixel, rows of 640 bytes, top-down by convention.
  const CMediaType& mt = types[0];
  EXPECT_TRUE(IsEqualGUID(mt.majortype, MEDIATYPE_Video));
  EXPECT_TRUE(IsEqualGUID(mt.subtype, MEDIASUBTYPE_YUY2));
  EXPECT_TRUE(IsEqualGUID(mt.formattype, FORMAT_VideoInfo));
  EXPECT_EQ(mt.cbFormat, sizeof(VIDEOINFO));
  EXPECT_TRUE(mt.bFixedSizeSamples);
  EXPECT_FALSE(mt.bTemporalCompression);
  EXPECT_EQ(mt.lSampleSize, 153600u);
  EXPECT_EQ(Header(mt).biSize, 40u);
  EXPECT_EQ(Header(mt).biWidth, 320);
  EXPECT_EQ(Header(mt).biHeight, 240);
  EXPECT_EQ(Header(mt).biPlanes, 1);
  EXPECT_EQ(Header(mt).biBitCount, 16);
  EXPECT_EQ(Header(mt).biCompression, kYuy2);
  EXPECT_EQ(Header(mt).biSizeImage, 153600u);
  EXPECT_EQ(reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat)->AvgTimePerFrame, 333667);

  // 642 x 480 RGB24: rows of 1926 bytes padded to 1928.
  Select(1);
  types = Offered();
  ASSERT_EQ(types.size(), 2u);
  EXPECT_TRUE(IsEqualGUID(types[0].subtype, MEDIASUBTYPE_RGB24));
  EXPECT_EQ(Header(types[0]).biSizeImage, 925440u);
  EXPECT_EQ(Header(types[0]).biHeight, 480);
}

TEST_F(NegotiationTest, VideoInfoHeader2CarriesInterlaceFlagsAndSquarePixels) {
  CreateWithLayout(1);
  struct Case {
    int index;
    int interlaced;
    DWORD flags;
    LONG w, h;
  };
  const Case cases[] = {
      {0, 1, 0x5, 320, 240},
      {1, 2, 0x1, 642, 480},
      {2, 0, 0x0, 320, 240},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    Select(c.index);
    std::vector<CMediaType> types = Offered();
    ASSERT_EQ(types.size(), 2u);
    const CMediaType& mt = types[0];
    EXPECT_TRUE(IsEqualGUID(mt.formattype, FORMAT_VideoInfo2));
    ASSERT_EQ(mt.cbFormat, sizeof(VIDEOINFOHEADER2));
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER2*>(mt.pbFormat);
    EXPECT_EQ(vih->dwInterlaceFlags, c.flags);
    EXPECT_EQ(vih->dwPictAspectRatioX, static_cast<DWORD>(c.w));
    EXPECT_EQ(vih->dwPictAspectRatioY, static_cast<DWORD>(c.h));
    EXPECT_EQ(vih->bmiHeader.biWidth, c.w);

    VIDEO_STREAM_CONFIG_CAPS caps = {};
    AM_MEDIA_TYPE* capsType = nullptr;
    ASSERT_EQ(config->GetStreamCaps(c.index, &capsType, reinterpret_cast<BYTE*>(&caps)), S_OK);
    MediaTypePtr owner(capsType);
    EXPECT_TRUE(IsEqualGUID(caps.guid, FORMAT_VideoInfo2));
    EXPECT_EQ(capsType->cbFormat, sizeof(VIDEOINFOHEADER2));
  }
}

TEST_F(NegotiationTest, PinAcceptsOnlyTheCurrentPresetsExactFormat) {
  CreateWithLayout(0);
  Select(2);  // 320 x 240 RGB32
  const CMediaType offered = Offered().at(0);
  struct Case {
    const char* what;
    void (*change)(CMediaType&);
    HRESULT expected;
  };
  const Case cases[] = {
      {"the offered type", [](CMediaType&) {}, S_OK},
      {"a different subtype is not compared",
       [](CMediaType& mt) { mt.subtype = MEDIASUBTYPE_RGB565; }, S_OK},
      {"a top-down RGB height", [](CMediaType& mt) { MutableHeader(mt).biHeight = -240; }, S_FALSE},
      {"one line more", [](CMediaType& mt) { MutableHeader(mt).biHeight = 241; }, S_FALSE},
      {"another width", [](CMediaType& mt) { MutableHeader(mt).biWidth = 322; }, S_FALSE},
      {"another bit count", [](CMediaType& mt) { MutableHeader(mt).biBitCount = 24; }, S_FALSE},
      {"another compression", [](CMediaType& mt) { MutableHeader(mt).biCompression = kYuy2; },
       S_FALSE},
      {"variable-size samples", [](CMediaType& mt) { mt.bFixedSizeSamples = FALSE; }, S_FALSE},
      {"an audio type", [](CMediaType& mt) { mt.majortype = MEDIATYPE_Audio; }, S_FALSE},
      {"the other layout", [](CMediaType& mt) { mt.formattype = FORMAT_VideoInfo2; }, S_FALSE},
      {"a short block", [](CMediaType& mt) { mt.cbFormat = sizeof(VIDEOINFOHEADER) - 4; }, S_FALSE},
  };
  for (const Case& c : cases) {
    CMediaType mt(offered);
    c.change(mt);
    const ULONG realLength = offered.cbFormat;
    EXPECT_EQ(pin->QueryAccept(&mt), c.expected) << c.what;
    mt.cbFormat = realLength;  // the block is freed with its real length
  }
  EXPECT_EQ(pin->QueryAccept(nullptr), E_POINTER);
}

TEST_F(NegotiationTest, FourTwoTwoTypesAreAcceptedOnlyWithThePositiveHeight) {
  CreateWithLayout(1);
  const CMediaType offered = Offered().at(0);  // 320 x 240 YUY2, VIDEOINFOHEADER2
  EXPECT_EQ(pin->QueryAccept(&offered), S_OK);
  CMediaType topDown(offered);
  MutableHeader(topDown).biHeight = -240;
  EXPECT_EQ(pin->QueryAccept(&topDown), S_FALSE);
  CMediaType wider(offered);
  MutableHeader(wider).biWidth = 384;
  EXPECT_EQ(pin->QueryAccept(&wider), S_FALSE);
  CMediaType oldLayout(offered);
  oldLayout.formattype = FORMAT_VideoInfo;
  EXPECT_EQ(pin->QueryAccept(&oldLayout), S_FALSE);
}

TEST_F(NegotiationTest, ConnectionAsksForBuffNumBuffersOfOneFrame) {
  CreateWithLayout(0);
  struct Case {
    const char* what;
    long grantBuffers;
    long grantBytes;
    bool downstreamAllocatorKept;
  };
  const Case cases[] = {
      {"granted in full", -1, -1, true},
      {"fewer buffers still work", 1, -1, true},
      {"smaller buffers are refused", -1, 153599, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto* allocator = new FakeAllocator;
    allocator->grantBuffers = c.grantBuffers;
    allocator->grantBytes = c.grantBytes;
    downstream->offeredAllocator.Attach(allocator);
    downstream->notifiedAllocator = nullptr;

    ASSERT_EQ(pin->Connect(downstream.Get(), nullptr), S_OK);
    EXPECT_EQ(allocator->requested.cBuffers, 4);
    EXPECT_EQ(allocator->requested.cbBuffer, 153600);
    // A refused allocator makes the pin fall back to the standard one.
    EXPECT_EQ(downstream->notifiedAllocator == allocator, c.downstreamAllocatorKept);
    EXPECT_NE(downstream->notifiedAllocator, nullptr);
    EXPECT_EQ(pin->Disconnect(), S_OK);
    downstream->Disconnect();
    downstream->offeredAllocator.Reset();
  }
}

TEST_F(NegotiationTest, SetFormatWhileConnectedRemakesTheConnectionOrLeavesItAlone) {
  CreateWithLayout(0);
  ASSERT_EQ(pin->Connect(downstream.Get(), nullptr), S_OK);
  EXPECT_EQ(Header(downstream->connectionType).biCompression, kYuy2);

  VIDEO_STREAM_CONFIG_CAPS caps = {};
  AM_MEDIA_TYPE* rgb = nullptr;
  ASSERT_EQ(config->GetStreamCaps(2, &rgb, reinterpret_cast<BYTE*>(&caps)), S_OK);
  MediaTypePtr rgbOwner(rgb);

  // Downstream refuses the new format: nothing changes.
  downstream->acceptTypes = false;
  EXPECT_EQ(config->SetFormat(rgb), VFW_E_INVALIDMEDIATYPE);
  AM_MEDIA_TYPE* current = nullptr;
  ASSERT_EQ(config->GetFormat(&current), S_OK);
  EXPECT_EQ(Header(*current).biCompression, kYuy2);
  DeleteMediaType(current);
  ComPtr<IPin> peer;
  EXPECT_EQ(pin->ConnectedTo(peer.Put()), S_OK);

  // Downstream accepts: the pin is connected again with the new type.
  downstream->acceptTypes = true;
  EXPECT_EQ(config->SetFormat(rgb), S_OK);
  EXPECT_EQ(pin->ConnectedTo(peer.Put()), S_OK);
  EXPECT_EQ(Header(downstream->connectionType).biBitCount, 32);
  AM_MEDIA_TYPE agreed = {};
  ASSERT_EQ(pin->ConnectionMediaType(&agreed), S_OK);
  EXPECT_EQ(Header(agreed).biBitCount, 32);
  EXPECT_EQ(Header(agreed).biSizeImage, 307200u);
  FreeMediaType(agreed);
}

TEST_F(NegotiationTest, StreamingDeliversConsecutiveTimeStampsOneFrameApart) {
  CreateWithLayout(0);
  ASSERT_EQ(pin->Connect(downstream.Get(), nullptr), S_OK);  // the standard allocator
  RunUntil(3);
  if (HasFatalFailure())
    return;

  const std::vector<ReceivedSample> samples = downstream->Samples();
  ASSERT_GE(samples.size(), 3u);
  const REFERENCE_TIME frameTime = 333667;
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(samples[i].timeResult, S_OK);
    EXPECT_EQ(samples[i].start, static_cast<REFERENCE_TIME>(i) * frameTime);
    EXPECT_EQ(samples[i].stop, static_cast<REFERENCE_TIME>(i + 1) * frameTime);
    EXPECT_EQ(samples[i].length, 153600);
    EXPECT_TRUE(samples[i].sync);
  }
}

// A connection type's biSizeImage, however absurd, never leads to a buffer
// smaller than the frame or one the allocator cannot build: the pin refuses
// the type or streams whole frames. The sink asks for alignment 16 and a
// prefix of 32 bytes, as renderers do, from the standard allocator.
TEST_F(NegotiationTest, ConnectionTypeSizesNeverGiveBuffersSmallerThanTheFrame) {
  CreateWithLayout(0);  // 320 x 240 YUY2: 153600 bytes in rows of 640
  constexpr DWORD kFrame = 153600;
  struct Case {
    DWORD sizeImage;
    bool accepted;
  };
  const Case cases[] = {
      {0, true},
      {1, true},
      {kFrame / 2, true},
      {kFrame + 1, true},
      {240 * 641 - 1, true},  // the largest size whose rows still start every 640 bytes
      {240 * 641, false},
      {0x7FFFFFFF, false},
      {0x80000000, false},
      {0xFFFFFFFF, false},
  };
  enum Way { kProposedToConnect, kOfferedByDownstream, kSetFormatFirst };
  for (const Case& c : cases) {
    for (Way way : {kProposedToConnect, kOfferedByDownstream, kSetFormatFirst}) {
      SCOPED_TRACE(testing::Message() << "biSizeImage " << c.sizeImage << ", way " << way);
      VIDEO_STREAM_CONFIG_CAPS caps = {};
      AM_MEDIA_TYPE* raw = nullptr;
      ASSERT_EQ(config->GetStreamCaps(0, &raw, reinterpret_cast<BYTE*>(&caps)), S_OK);
      MediaTypePtr type(raw);
      MutableHeader(*type).biSizeImage = c.sizeImage;
      downstream.Attach(new FakeInputPin);
      downstream->hasRequirements = true;
      downstream->requirements = {0, 0, 16, 32};

      HRESULT hr = E_UNEXPECTED;
      if (way == kProposedToConnect) {
        hr = pin->Connect(downstream.Get(), type.get());
      } else if (way == kOfferedByDownstream) {
        downstream->offeredTypes.emplace_back(*type);
        hr = pin->Connect(downstream.Get(), nullptr);
      } else {
        EXPECT_EQ(config->SetFormat(type.get()), S_OK);  // reads no size
        hr = pin->Connect(downstream.Get(), nullptr);
      }
      // A refused proposal fails the connection; otherwise the pin's own type
      // stands in for a refused one.
      const bool refused = way == kProposedToConnect && !c.accepted;
      ASSERT_EQ(hr, refused ? VFW_E_TYPE_NOT_ACCEPTED : S_OK);
      ComPtr<IPin> peer;
      if (refused) {
        EXPECT_EQ(pin->ConnectedTo(peer.Put()), VFW_E_NOT_CONNECTED);
        continue;
      }
      const bool takenAsOffered = way != kSetFormatFirst && c.accepted;
      EXPECT_EQ(Header(downstream->connectionType).biSizeImage,
                takenAsOffered ? c.sizeImage : kFrame);

      RunUntil(3);
      if (HasFatalFailure())
        return;
      const std::vector<ReceivedSample> samples = downstream->Samples();
      ASSERT_GE(samples.size(), 3u);
      for (const ReceivedSample& sample : samples) {
        EXPECT_GE(sample.length, static_cast<long>(kFrame));
        EXPECT_LE(sample.length, sample.size);
      }
      EXPECT_EQ(pin->Disconnect(), S_OK);
      downstream->Disconnect();
    }
  }
}

// NV12 and I420: 12 bits a pixel, w x h x 3 / 2 bytes (not the DIB rule's
// rows padded to 4 bytes: 642 x 12 bits would pad 963 bytes to 964), and
// interlaced heights a multiple of 4.
TEST_F(NegotiationTest, PlanarPresetsOfferTheirSubtypesAndPackedPlanes) {
  WriteSettingsText(
      "[MAIN]\r\npreset_num=2\r\n"
      "[PRESET_DEF]\r\nbmp=chart.bmp\r\nfont=font.bmp\r\n"
      "[PRESET_01]\r\nenable=1\r\nfcc=NV12\r\nw=642\r\nh=480\r\n"
      "[PRESET_02]\r\nenable=1\r\nfcc=i420\r\nw=320\r\nh=242\r\ninterlaced=1\r\n");
  CreateStream();
  ASSERT_FALSE(HasFatalFailure());
  config = Query<IAMStreamConfig>(pin.Get(), IID_IAMStreamConfig);
  struct Case {
    GUID subtype;
    DWORD compression;
    LONG w, h;
    ULONG bytes;
  };
  const Case cases[] = {
      {MEDIASUBTYPE_NV12, MAKEFOURCC('N', 'V', '1', '2'), 642, 480, 462240},
      {MEDIASUBTYPE_I420, MAKEFOURCC('I', '4', '2', '0'), 320, 244, 117120},
  };
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    Select(i);
    const std::vector<CMediaType> types = Offered();
    ASSERT_EQ(types.size(), 2u);
    const CMediaType& mt = types[0];
    EXPECT_TRUE(IsEqualGUID(mt.subtype, cases[i].subtype));
    EXPECT_EQ(mt.lSampleSize, cases[i].bytes);
    EXPECT_EQ(Header(mt).biBitCount, 12);
    EXPECT_EQ(Header(mt).biCompression, cases[i].compression);
    EXPECT_EQ(Header(mt).biWidth, cases[i].w);
    EXPECT_EQ(Header(mt).biHeight, cases[i].h);
    EXPECT_EQ(Header(mt).biSizeImage, cases[i].bytes);
    EXPECT_EQ(pin->QueryAccept(&types[0]), S_OK);
  }
}
