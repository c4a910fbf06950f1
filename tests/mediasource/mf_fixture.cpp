#include "tests/mediasource/mf_fixture.h"

#include <mferror.h>

#include <cstdio>

#include "tests/bitness_names.h"

HMODULE MediaSourceTest::s_module = nullptr;

namespace {

// The subtype of a FOURCC.
GUID Fourcc(const char (&code)[5]) {
  GUID g = MFVideoFormat_YUY2;
  g.Data1 = DWORD(uint8_t(code[0])) | DWORD(uint8_t(code[1])) << 8 | DWORD(uint8_t(code[2])) << 16 |
            DWORD(uint8_t(code[3])) << 24;
  return g;
}

std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path);
  return folder.substr(0, folder.find_last_of("\\/"));
}

}  // namespace

// In the order of StandardSettings' presets.
const ExpectedType kExpectedTypes[] = {
    {"YUY2 320x240 i1", MFVideoFormat_YUY2, 320, 240, 640, 10000000, 333667, 333667,
     MFVideoInterlace_FieldInterleavedUpperFirst, MFVideoTransferMatrix_BT601,
     MFNominalRange_16_235},
    {"RGB24 642x480 i2", MFVideoFormat_RGB24, 642, 480, 1928, 10000000, 333667, 333667,
     MFVideoInterlace_FieldInterleavedUpperFirst, 0, MFNominalRange_0_255},
    {"RGB32 320x240", MFVideoFormat_RGB32, 320, 240, 1280, 25, 1, 400000,
     MFVideoInterlace_Progressive, 0, MFNominalRange_0_255},
    {"UYVY 642x240", Fourcc("UYVY"), 642, 240, 1284, 10000000, 333667, 333667,
     MFVideoInterlace_Progressive, MFVideoTransferMatrix_BT601, MFNominalRange_16_235},
    {"HDYC 320x240", Fourcc("HDYC"), 320, 240, 640, 10000000, 166833, 166833,
     MFVideoInterlace_Progressive, MFVideoTransferMatrix_BT709, MFNominalRange_16_235},
    {"YVYU 320x240 i1", Fourcc("YVYU"), 320, 240, 640, 10000000, 333333, 333333,
     MFVideoInterlace_FieldInterleavedUpperFirst, MFVideoTransferMatrix_BT601,
     MFNominalRange_16_235},
    // NV12 twins of the first preset of each size that no preset offers in
    // NV12 (of presets 01, 02 and 05), after the presets.
    {"NV12 twin 320x240 i1", MFVideoFormat_NV12, 320, 240, 320, 10000000, 333667, 333667,
     MFVideoInterlace_FieldInterleavedUpperFirst, MFVideoTransferMatrix_BT601,
     MFNominalRange_16_235},
    {"NV12 twin 642x480 i2", MFVideoFormat_NV12, 642, 480, 642, 10000000, 333667, 333667,
     MFVideoInterlace_FieldInterleavedLowerFirst, MFVideoTransferMatrix_BT601,
     MFNominalRange_16_235},
    {"NV12 twin 642x240", MFVideoFormat_NV12, 642, 240, 642, 10000000, 333667, 333667,
     MFVideoInterlace_Progressive, MFVideoTransferMatrix_BT601, MFNominalRange_16_235},
};
const size_t kExpectedTypeCount = sizeof kExpectedTypes / sizeof kExpectedTypes[0];

std::string MediaSourceTest::StandardSettings() {
  return "[MAIN]\r\npreset_num=7\r\nauto_clock=1\r\nframe_code=1\r\n"
         "[PRESET_DEF]\r\nbmp=chart.bmp\r\nfont=font.bmp\r\nscroll_x=2\r\nscroll_y=2\r\n"
         "[PRESET_01]\r\nenable=1\r\nw=320\r\nh=240\r\nfcc=YUY2\r\nframe_time=333667\r\n"
         "interlaced=1\r\n"
         "[PRESET_02]\r\nenable=1\r\nw=642\r\nh=480\r\nfcc=RG24\r\nframe_time=333667\r\n"
         "interlaced=2\r\n"
         "[PRESET_03]\r\nenable=1\r\nw=320\r\nh=240\r\nfcc=RG32\r\nframe_time=400000\r\n"
         "[PRESET_04]\r\nenable=0\r\nw=800\r\nh=600\r\nfcc=RG32\r\n"
         "[PRESET_05]\r\nenable=1\r\nw=642\r\nh=240\r\nfcc=UYVY\r\nframe_time=333667\r\n"
         "[PRESET_06]\r\nenable=1\r\nw=320\r\nh=240\r\nfcc=HDYC\r\nframe_time=166833\r\n"
         "[PRESET_07]\r\nenable=1\r\nw=320\r\nh=240\r\nfcc=YVYU\r\nframe_time=333333\r\n"
         "interlaced=1\r\n";
}

std::string MediaSourceTest::ModuleFolder() {
  return ProgramFolder() + "\\mf_module";
}

void MediaSourceTest::WriteSettings(const std::string& text) {
  const std::string path = ModuleFolder() + "\\ZintuDobrel.ini";
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr) << path;
  std::fputs(text.c_str(), file);
  std::fclose(file);
}

void MediaSourceTest::SetUpTestSuite() {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  MFStartup(MF_VERSION, MFSTARTUP_FULL);
  s_module = LoadLibraryA((ModuleFolder() + "\\" + kExpectedModuleFile).c_str());
}

void MediaSourceTest::TearDownTestSuite() {
  if (s_module)
    FreeLibrary(s_module);
  s_module = nullptr;
  MFShutdown();
  CoUninitialize();
}

void MediaSourceTest::SetUp() {
  ASSERT_NE(s_module, nullptr) << "the module could not be loaded from " << ModuleFolder();
  WriteSettings(StandardSettings());
}

void MediaSourceTest::TearDown() {
  // Everything the test made is gone: the module may be unloaded again.
  // Media Foundation's own threads may still hold the source for a moment
  // after the test let go of it; a leak holds it for good.
  HRESULT canUnload = CanUnloadNow();
  for (int i = 0; i < 500 && canUnload != S_OK; ++i) {
    Sleep(10);
    canUnload = CanUnloadNow();
  }
  EXPECT_EQ(canUnload, S_OK);
}

HRESULT MediaSourceTest::CanUnloadNow() {
  using Fn = HRESULT(STDAPICALLTYPE*)();
  auto fn =
      reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(s_module, "DllCanUnloadNow")));
  return fn ? fn() : E_FAIL;
}

ComPtr<IMFMediaSource> MediaSourceTest::CreateSource() {
  using Fn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  auto getClassObject =
      reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(s_module, "DllGetClassObject")));
  ComPtr<IClassFactory> factory;
  ComPtr<IMFMediaSource> source;
  if (getClassObject &&
      SUCCEEDED(getClassObject(kMediaSourceClass, IID_IClassFactory, factory.PutVoid())))
    factory->CreateInstance(nullptr, IID_IMFMediaSource, source.PutVoid());
  return source;
}

zdcap::SampleCode ReadCode(const uint8_t* data, size_t length, const ExpectedType& type) {
  zdcap::Capability format;
  format.width = int(type.width);
  format.height = int(type.height);
  const bool rgb = IsEqualGUID(type.subtype, MFVideoFormat_RGB24) ||
                   IsEqualGUID(type.subtype, MFVideoFormat_RGB32);
  format.format = IsEqualGUID(type.subtype, MFVideoFormat_RGB24)   ? zdcap::PixelFormat::kRgb24
                  : IsEqualGUID(type.subtype, MFVideoFormat_RGB32) ? zdcap::PixelFormat::kRgb32
                  : IsEqualGUID(type.subtype, MFVideoFormat_YUY2)  ? zdcap::PixelFormat::kYuy2
                  : type.subtype.Data1 == MFVideoFormat_UYVY.Data1 ? zdcap::PixelFormat::kUyvy
                  : type.subtype.Data1 == MFVideoFormat_YVYU.Data1 ? zdcap::PixelFormat::kYvyu
                  : type.subtype.Data1 == MFVideoFormat_NV12.Data1 ? zdcap::PixelFormat::kNv12
                  : type.subtype.Data1 == MFVideoFormat_I420.Data1 ? zdcap::PixelFormat::kI420
                                                                   : zdcap::PixelFormat::kHdyc;
  if (!rgb)
    return zdcap::ReadSampleCode(data, length, format);
  std::vector<uint8_t> bottomUp(data, data + length);
  const size_t pitch = length / type.height;
  for (size_t r = 0; r < type.height; ++r)
    std::copy(data + r * pitch, data + (r + 1) * pitch,
              bottomUp.begin() + ptrdiff_t((type.height - 1 - r) * pitch));
  return zdcap::ReadSampleCode(bottomUp.data(), length, format);
}

std::vector<uint8_t> SampleBytes(IMFSample* sample) {
  std::vector<uint8_t> bytes;
  ComPtr<IMFMediaBuffer> buffer;
  if (!sample || FAILED(sample->ConvertToContiguousBuffer(buffer.Put())))
    return bytes;
  BYTE* data = nullptr;
  DWORD length = 0;
  if (SUCCEEDED(buffer->Lock(&data, nullptr, &length))) {
    bytes.assign(data, data + length);
    buffer->Unlock();
  }
  return bytes;
}

ComPtr<IMFMediaEvent> NextEvent(IMFMediaEventGenerator* generator) {
  ComPtr<IMFMediaEvent> event;
  for (int i = 0; i < 1000; ++i) {
    const HRESULT hr = generator->GetEvent(MF_EVENT_FLAG_NO_WAIT, event.Put());
    if (hr != MF_E_NO_EVENTS_AVAILABLE)
      break;
    Sleep(10);
  }
  return event;
}

MediaEventType TypeOf(IMFMediaEvent* event) {
  MediaEventType type = MEUnknown;
  if (event)
    event->GetType(&type);
  return type;
}

ComPtr<IUnknown> EventObject(IMFMediaEvent* event, REFIID iid) {
  ComPtr<IUnknown> object;
  PROPVARIANT value;
  PropVariantInit(&value);
  if (event && SUCCEEDED(event->GetValue(&value)) && value.vt == VT_UNKNOWN && value.punkVal)
    value.punkVal->QueryInterface(iid, object.PutVoid());
  PropVariantClear(&value);
  return object;
}

ComPtr<IMFSample> SampleOf(IMFMediaEvent* event) {
  ComPtr<IMFSample> sample;
  EventObject(event, IID_IMFSample).As(IID_IMFSample, &sample);
  return sample;
}
