// The native types of a preset table, made directly (mf_media_types.cpp
// built into the tests): a preset whose type cannot be made, for whatever
// reason, is left out with its log line, and the others keep their
// positions in the table.
#include <mferror.h>

#include <gtest/gtest.h>

#include "mediasource/mf_media_types.h"
#include "pattern/pixel_format.h"

namespace {

PresetInfo Preset(uint32_t compression, int32_t bitCount, int32_t w, int32_t h) {
  PresetInfo p{};
  p.w = w;
  p.h = h;
  p.compression = compression;
  p.bit_count = bitCount;
  p.frame_time = 333333;
  return p;
}

// MFCreateMediaType, failing with E_OUTOFMEMORY on the call numbered
// s_failOnCall (from 1; 0 never).
int s_calls = 0;
int s_failOnCall = 0;
HRESULT STDAPICALLTYPE CreateMediaTypeFailingOnce(IMFMediaType** type) {
  if (++s_calls == s_failOnCall) {
    *type = nullptr;
    return E_OUTOFMEMORY;
  }
  return MFCreateMediaType(type);
}

}  // namespace

TEST(NativeTypes, ATypeThatCannotBeMadeIsLeftOutWithItsLogLine) {
  // MF_E_INVALIDMEDIATYPE is 0xC00D36B4, E_OUTOFMEMORY 0x8007000E (winerror.h).
  const PresetInfo table[] = {
      Preset(kFourccYUY2, 16, 320, 240),
      Preset(MakeFourcc('H', '2', '6', '4'), 24, 640, 480),  // no frame format
      Preset(kFourccMJPG, 24, 1280, 720),
      Preset(kCompressionRgb, 32, 0, 240),  // no width
      Preset(kFourccNV12, 12, 320, 240),
  };
  struct Case {
    const char* what;
    int failOnCall;
    std::vector<UINT32> kept;  // table positions of the types, in order
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {"formats and sizes Media Foundation cannot carry",
       0,
       {0, 2, 4},
       {"mf-type-left-out preset=1 640x480 unknown hr=0xC00D36B4\r\n",
        "mf-type-left-out preset=3 0x240 RG32 hr=0xC00D36B4\r\n"}},
      {"Media Foundation out of memory for the MJPG type",
       2,
       {0, 4},
       {"mf-type-left-out preset=1 640x480 unknown hr=0xC00D36B4\r\n",
        "mf-type-left-out preset=2 1280x720 MJPG hr=0x8007000E\r\n",
        "mf-type-left-out preset=3 0x240 RG32 hr=0xC00D36B4\r\n"}},
  };
  ASSERT_EQ(MFStartup(MF_VERSION, MFSTARTUP_LITE), S_OK);
  MfRuntime mf;
  mf.CreateMediaType = &CreateMediaTypeFailingOnce;
  // The last entry names the first as the preset its code shows (a twin).
  const std::vector<int32_t> named = {0, 1, 2, 3, 0};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    s_calls = 0;
    s_failOnCall = c.failOnCall;
    std::vector<ComPtr<IMFMediaType>> types;
    std::vector<std::string> leftOut;
    ASSERT_EQ(CreateMfNativeTypes(mf, table, 5, named, &types, &leftOut), S_OK);
    EXPECT_EQ(leftOut, c.lines);
    ASSERT_EQ(types.size(), c.kept.size());
    for (size_t i = 0; i < types.size(); ++i) {
      EXPECT_EQ(MFGetAttributeUINT32(types[i].Get(), kZdPresetIndexAttribute, 99), c.kept[i]);
      EXPECT_EQ(MFGetAttributeUINT32(types[i].Get(), kZdCodePresetAttribute, 99),
                UINT32(named[c.kept[i]]));
    }
  }
  MFShutdown();
}
