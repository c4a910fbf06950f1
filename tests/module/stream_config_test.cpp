// Choosing a format the way capture applications do: capabilities, SetFormat
// and GetFormat on IAMStreamConfig, and the capture pin category.
#include <windows.h>
#include <dshow.h>
#include <dvdmedia.h>

#include <cstring>
#include <memory>

#include "baseclasses/media_type.h"
#include "module_fixture.h"

namespace {

constexpr HRESULT kNoMatch = static_cast<HRESULT>(0x80070491);
constexpr DWORD kYuy2 = MAKEFOURCC('Y', 'U', 'Y', '2');

const VIDEOINFOHEADER* Vih(const AM_MEDIA_TYPE* mt) {
  return reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat);
}

class StreamConfigTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    filter = CreateFilter();
    ASSERT_TRUE(filter);
    pin = OutputPin(filter.Get());
    config = Query<IAMStreamConfig>(pin.Get(), IID_IAMStreamConfig);
    ASSERT_TRUE(config);
  }
  void TearDown() override {
    config.Reset();
    pin.Reset();
    filter.Reset();
    ModuleTest::TearDown();
  }

  MediaTypePtr Caps(int index, VIDEO_STREAM_CONFIG_CAPS* caps) {
    AM_MEDIA_TYPE* mt = nullptr;
    EXPECT_EQ(config->GetStreamCaps(index, &mt, reinterpret_cast<BYTE*>(caps)), S_OK);
    return MediaTypePtr(mt);
  }
  MediaTypePtr Format() {
    AM_MEDIA_TYPE* mt = nullptr;
    EXPECT_EQ(config->GetFormat(&mt), S_OK);
    return MediaTypePtr(mt);
  }

  ComPtr<IBaseFilter> filter;
  ComPtr<IPin> pin;
  ComPtr<IAMStreamConfig> config;
};

}  // namespace

TEST_F(StreamConfigTest, EveryEnabledPresetIsOneCapability) {
  int count = 0;
  int size = 0;
  ASSERT_EQ(config->GetNumberOfCapabilities(&count, &size), S_OK);
  EXPECT_EQ(count, kTestPresetCount);
  EXPECT_EQ(size, 128);
  EXPECT_EQ(config->GetNumberOfCapabilities(nullptr, &size), E_POINTER);
  EXPECT_EQ(config->GetNumberOfCapabilities(&count, nullptr), E_POINTER);
}

TEST_F(StreamConfigTest, CapabilityDescribesOneFixedSizeAndRate) {
  // bits per second = biSizeImage x 8 x 10^7 / frame_time, in exact fractions:
  //   320 x 240 YUY2: 153600 x 8 x 10^7 / 333667 = 36827136.04
  //   642 x 480 RGB24: 925440 x 8 x 10^7 / 333667 = 221883494.62
  //   320 x 240 RGB32: 307200 x 8 x 10^7 / 333667 = 73654272.07 (9206784 bytes
  //   per second, times 8)
  //   4096 x 2160 RGB32 at 166833: 16969995144.9, beyond 32 bits: saturated.
  struct Case {
    int index;
    LONG w, h;
    GUID subtype;
    DWORD imageSize;
    LONGLONG frameTime;
    LONG bits;
  };
  const Case cases[] = {
      {0, 320, 240, MEDIASUBTYPE_YUY2, 153600, 333667, 36827136},
      {1, 642, 480, MEDIASUBTYPE_RGB24, 925440, 333667, 221883494},
      {2, 320, 240, MEDIASUBTYPE_RGB32, 307200, 333667, 73654272},
      {4, 4096, 2160, MEDIASUBTYPE_RGB32, 35389440, 166833, 0x7FFFFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    VIDEO_STREAM_CONFIG_CAPS caps;
    std::memset(&caps, 0xCD, sizeof(caps));
    MediaTypePtr mt = Caps(c.index, &caps);
    ASSERT_TRUE(mt);
    EXPECT_TRUE(IsEqualGUID(mt->majortype, MEDIATYPE_Video));
    EXPECT_TRUE(IsEqualGUID(mt->subtype, c.subtype));
    EXPECT_TRUE(IsEqualGUID(mt->formattype, FORMAT_VideoInfo));
    ASSERT_EQ(mt->cbFormat, sizeof(VIDEOINFOHEADER));  // a bare header, not a VIDEOINFO
    EXPECT_EQ(Vih(mt.get())->bmiHeader.biWidth, c.w);
    EXPECT_EQ(Vih(mt.get())->bmiHeader.biHeight, c.h);
    EXPECT_EQ(Vih(mt.get())->bmiHeader.biSizeImage, c.imageSize);
    EXPECT_EQ(mt->lSampleSize, c.imageSize);
    EXPECT_EQ(Vih(mt.get())->AvgTimePerFrame, c.frameTime);

    EXPECT_TRUE(IsEqualGUID(caps.guid, FORMAT_VideoInfo));
    EXPECT_EQ(caps.VideoStandard, 0u);
    EXPECT_EQ(caps.InputSize.cx, c.w);
    EXPECT_EQ(caps.InputSize.cy, c.h);
    EXPECT_EQ(caps.MinOutputSize.cx, c.w);
    EXPECT_EQ(caps.MaxOutputSize.cy, c.h);
    EXPECT_EQ(caps.MaxCroppingSize.cx, c.w);
    EXPECT_EQ(caps.CropGranularityX, 1);
    EXPECT_EQ(caps.OutputGranularityY, 1);
    EXPECT_EQ(caps.StretchTapsX, 0);
    EXPECT_EQ(caps.MinFrameInterval, c.frameTime);
    EXPECT_EQ(caps.MaxFrameInterval, c.frameTime);
    EXPECT_EQ(caps.MinBitsPerSecond, c.bits);
    EXPECT_EQ(caps.MaxBitsPerSecond, c.bits);
  }
}

TEST_F(StreamConfigTest, CapabilityOutsideTheTableOrWithoutPlacesIsRefused) {
  VIDEO_STREAM_CONFIG_CAPS caps = {};
  for (int index : {-1, kTestPresetCount, 1000}) {
    AM_MEDIA_TYPE* mt = reinterpret_cast<AM_MEDIA_TYPE*>(1);
    EXPECT_EQ(config->GetStreamCaps(index, &mt, reinterpret_cast<BYTE*>(&caps)), S_FALSE);
    EXPECT_EQ(mt, nullptr);
  }
  AM_MEDIA_TYPE* mt = nullptr;
  EXPECT_EQ(config->GetStreamCaps(0, nullptr, reinterpret_cast<BYTE*>(&caps)), E_POINTER);
  EXPECT_EQ(config->GetStreamCaps(0, &mt, nullptr), E_POINTER);
  EXPECT_EQ(config->GetFormat(nullptr), E_POINTER);
}

TEST_F(StreamConfigTest, SetFormatSelectsTheFirstMatchingPreset) {
  // The first enabled preset is current at first.
  MediaTypePtr initial = Format();
  ASSERT_TRUE(initial);
  EXPECT_EQ(Vih(initial.get())->bmiHeader.biCompression, kYuy2);

  VIDEO_STREAM_CONFIG_CAPS caps = {};
  MediaTypePtr third = Caps(2, &caps);
  ASSERT_EQ(config->SetFormat(third.get()), S_OK);
  MediaTypePtr now = Format();
  EXPECT_EQ(Vih(now.get())->bmiHeader.biBitCount, 32);
  EXPECT_EQ(Vih(now.get())->bmiHeader.biWidth, 320);

  // The pin now offers the new preset.
  ComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(pin->EnumMediaTypes(types.Put()), S_OK);
  AM_MEDIA_TYPE* offered = nullptr;
  ASSERT_EQ(types->Next(1, &offered, nullptr), S_OK);
  MediaTypePtr offeredOwner(offered);
  EXPECT_TRUE(IsEqualGUID(offered->subtype, MEDIASUBTYPE_RGB32));

  // Frame time within 50 units either way matches; 51 does not.
  struct Case {
    LONGLONG frameTime;
    HRESULT expected;
  };
  for (const Case& c :
       {Case{333717, S_OK}, Case{333617, S_OK}, Case{333718, kNoMatch}, Case{333616, kNoMatch}}) {
    MediaTypePtr request = Caps(2, &caps);
    reinterpret_cast<VIDEOINFOHEADER*>(request->pbFormat)->AvgTimePerFrame = c.frameTime;
    EXPECT_EQ(config->SetFormat(request.get()), c.expected) << c.frameTime;
  }

  // Presets 0 and 3 differ only in interlacing: the earlier one is chosen,
  // which the VIDEOINFOHEADER2 flags would show; here the table order shows
  // in that the type of index 3 selects a preset equal to index 0.
  MediaTypePtr fourth = Caps(3, &caps);
  ASSERT_EQ(config->SetFormat(fourth.get()), S_OK);
  MediaTypePtr selected = Format();
  EXPECT_EQ(Vih(selected.get())->bmiHeader.biCompression, kYuy2);
}

TEST_F(StreamConfigTest, SetFormatRefusesTypesThatMatchNoPreset) {
  VIDEO_STREAM_CONFIG_CAPS caps = {};
  EXPECT_EQ(config->SetFormat(nullptr), kNoMatch);

  MediaTypePtr topDown = Caps(2, &caps);
  reinterpret_cast<VIDEOINFOHEADER*>(topDown->pbFormat)->bmiHeader.biHeight = -240;
  EXPECT_EQ(config->SetFormat(topDown.get()), kNoMatch);

  MediaTypePtr wrongLayout = Caps(2, &caps);
  wrongLayout->formattype = FORMAT_VideoInfo2;
  EXPECT_EQ(config->SetFormat(wrongLayout.get()), kNoMatch);

  MediaTypePtr shortBlock = Caps(2, &caps);
  shortBlock->cbFormat = sizeof(VIDEOINFOHEADER) - 1;
  EXPECT_EQ(config->SetFormat(shortBlock.get()), kNoMatch);

  MediaTypePtr audio = Caps(2, &caps);
  audio->majortype = MEDIATYPE_Audio;
  EXPECT_EQ(config->SetFormat(audio.get()), kNoMatch);

  MediaTypePtr disabled = Caps(2, &caps);
  reinterpret_cast<VIDEOINFOHEADER*>(disabled->pbFormat)->bmiHeader.biWidth = 800;
  reinterpret_cast<VIDEOINFOHEADER*>(disabled->pbFormat)->bmiHeader.biHeight = 600;
  EXPECT_EQ(config->SetFormat(disabled.get()), kNoMatch);

  // Nothing changed the current preset.
  MediaTypePtr current = Format();
  EXPECT_EQ(Vih(current.get())->bmiHeader.biCompression, kYuy2);
}

TEST_F(StreamConfigTest, SetFormatIsRefusedWhileTheFilterIsNotStopped) {
  VIDEO_STREAM_CONFIG_CAPS caps = {};
  MediaTypePtr third = Caps(2, &caps);
  ASSERT_EQ(filter->Pause(), S_OK);
  EXPECT_EQ(config->SetFormat(third.get()), VFW_E_NOT_STOPPED);
  ASSERT_EQ(filter->Run(0), S_OK);
  EXPECT_EQ(config->SetFormat(third.get()), VFW_E_NOT_STOPPED);
  ASSERT_EQ(filter->Stop(), S_OK);
  EXPECT_EQ(config->SetFormat(third.get()), S_OK);
}

TEST_F(StreamConfigTest, PinDeclaresItselfACapturePin) {
  auto properties = Query<IKsPropertySet>(pin.Get(), IID_IKsPropertySet);
  ASSERT_TRUE(properties);
  GUID category = GUID_NULL;
  DWORD returned = 0;
  EXPECT_EQ(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                            sizeof(category), &returned),
            S_OK);
  EXPECT_TRUE(IsEqualGUID(category, PIN_CATEGORY_CAPTURE));
  EXPECT_EQ(returned, 16u);

  returned = 0;
  EXPECT_EQ(
      properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, nullptr, 0, &returned),
      S_OK);
  EXPECT_EQ(returned, 16u);
  BYTE small[8] = {};
  EXPECT_EQ(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, small,
                            sizeof(small), &returned),
            E_UNEXPECTED);
  EXPECT_EQ(
      properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, nullptr, 0, nullptr),
      E_POINTER);
  EXPECT_EQ(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_MEDIUM, nullptr, 0, &category,
                            sizeof(category), &returned),
            E_PROP_ID_UNSUPPORTED);
  EXPECT_EQ(properties->Get(PIN_CATEGORY_CAPTURE, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                            sizeof(category), &returned),
            E_PROP_SET_UNSUPPORTED);

  DWORD support = 0;
  EXPECT_EQ(properties->QuerySupported(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, &support), S_OK);
  EXPECT_EQ(support, static_cast<DWORD>(KSPROPERTY_SUPPORT_GET));
  EXPECT_EQ(properties->QuerySupported(AMPROPSETID_Pin, AMPROPERTY_PIN_MEDIUM, &support),
            E_PROP_ID_UNSUPPORTED);
  EXPECT_EQ(properties->QuerySupported(GUID_NULL, AMPROPERTY_PIN_CATEGORY, &support),
            E_PROP_SET_UNSUPPORTED);
  EXPECT_EQ(properties->Set(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                            sizeof(category)),
            E_NOTIMPL);
}
