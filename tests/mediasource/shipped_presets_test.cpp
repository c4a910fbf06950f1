// The shipped settings file on the Media Foundation face: every preset
// enabled alone, and all of them at once, gives a source whose presentation
// descriptor is made and whose native types are the presets as
// docs/media-foundation.md lists them, MJPG compressed, NV12 twins after.
#include <cstdlib>
#include <fstream>

#include "mediasource/mf_declarations.h"
#include "tests/mediasource/mf_fixture.h"

namespace {

// The source's own type attributes (mediasource/mf_media_types.h).
const GUID kPresetIndexAttribute = {
    0x15db5497, 0x1ba7, 0x4012, {0x99, 0x8a, 0x1f, 0x01, 0xe6, 0x20, 0xc9, 0x21}};
const GUID kCodePresetAttribute = {
    0x26d60840, 0x9026, 0x49d9, {0xb7, 0xe7, 0xfd, 0x85, 0xc6, 0xa3, 0xdd, 0x8f}};

constexpr UINT32 P = MFVideoInterlace_Progressive;
constexpr UINT32 U = MFVideoInterlace_FieldInterleavedUpperFirst;  // interlaced=1
constexpr UINT32 L = MFVideoInterlace_FieldInterleavedLowerFirst;  // interlaced=2

// assets/ZintuDobrel.ini's presets. The rate is 10^7 / frame_time in lowest
// terms, frame_time being 10^7 / rate cut to whole 100-ns units: 30 gives
// 333333, 29.97 333667, 60 166666 (5000000/83333), 59.94 166833, and 1000
// is a duration (10000/1).
struct Shipped {
  int number;
  const char* fcc;
  UINT32 w, h, rateNum, rateDen, interlace;
};
const Shipped kShipped[] = {
    {1, "RG32", 640, 480, 10000000, 333333, P},
    {2, "RG32", 320, 240, 10000000, 333667, P},
    {3, "YUY2", 320, 240, 25, 1, P},
    {4, "RG24", 640, 480, 10000000, 333333, P},
    {5, "YUY2", 640, 480, 10000000, 333333, P},
    {6, "YVYU", 640, 480, 5000000, 83333, P},
    {7, "UYVY", 640, 480, 10000000, 166833, P},
    {8, "YUY2", 720, 480, 10000000, 333667, L},
    {9, "UYVY", 720, 480, 10000000, 166833, P},
    {10, "YUY2", 720, 576, 25, 1, U},
    {11, "UYVY", 720, 576, 50, 1, P},
    {12, "RG32", 1280, 720, 5000000, 83333, P},
    {13, "HDYC", 1280, 720, 10000000, 166833, P},
    {14, "YUY2", 1280, 720, 50, 1, P},
    {15, "RG24", 1280, 720, 25, 1, P},
    {16, "YUY2", 1920, 1080, 5000000, 83333, P},
    {17, "RG32", 1920, 1080, 5000000, 83333, P},
    {18, "HDYC", 1920, 1080, 10000000, 333667, U},
    {19, "UYVY", 1920, 1080, 25, 1, L},
    {20, "YVYU", 1920, 1080, 10000000, 333333, P},
    {21, "RG24", 1920, 1080, 50, 1, P},
    {22, "HDYC", 1920, 1080, 10000000, 166833, P},
    {23, "UYVY", 3840, 2160, 10000000, 333333, P},
    {24, "RG32", 3840, 2160, 25, 1, P},
    {25, "YUY2", 3840, 2160, 10000000, 166833, P},
    {26, "RG32", 1920, 1080, 10000, 1, P},
    {27, "YUY2", 640, 360, 10000000, 333333, P},
    {28, "UYVY", 640, 360, 10000000, 333333, P},
    {29, "RG32", 640, 360, 10000000, 333333, P},
    {30, "NV12", 1280, 720, 10000000, 333333, P},
    {31, "NV12", 1920, 1080, 10000000, 333333, P},
    {32, "I420", 1280, 720, 10000000, 333333, P},
    {33, "I420", 1920, 1080, 25, 1, U},
    {34, "MJPG", 1920, 1080, 10000000, 333333, P},
    {35, "MJPG", 1280, 720, 5000000, 83333, P},
    {36, "MJPG", 3840, 2160, 10000000, 333333, P},
};
constexpr int kShippedCount = int(sizeof kShipped / sizeof kShipped[0]);

GUID SubtypeOf(const std::string& fcc) {
  if (fcc == "RG32")
    return MFVideoFormat_RGB32;
  if (fcc == "RG24")
    return MFVideoFormat_RGB24;
  return MfSubtypeOfFourcc(DWORD(uint8_t(fcc[0])) | DWORD(uint8_t(fcc[1])) << 8 |
                           DWORD(uint8_t(fcc[2])) << 16 | DWORD(uint8_t(fcc[3])) << 24);
}

// One native type as expected: a preset in its own format, or its NV12 twin.
struct Expected {
  const Shipped* preset;
  bool twin;
  UINT32 tableIndex;  // kPresetIndexAttribute
  UINT32 codeIndex;   // kCodePresetAttribute: the preset's own position
};

// The shipped file with exactly the presets whose numbers pass enabled.
template <class Enabled>
std::string ShippedSettings(Enabled enabled) {
  std::ifstream file(std::string(ZD_ASSETS_DIR) + "/ZintuDobrel.ini", std::ios::binary);
  std::string line, out;
  int section = 0;
  while (std::getline(file, line)) {
    if (line.rfind("[PRESET_", 0) == 0)
      section = std::atoi(line.c_str() + 8);
    else if (line.rfind("[", 0) == 0)
      section = 0;
    else if (section > 0 && line.rfind("enable=", 0) == 0)
      line = enabled(section) ? "enable=1" : "enable=0";
    out += line + "\n";
  }
  return out;
}

void ExpectNativeTypes(IMFMediaSource* source, const std::vector<Expected>& want) {
  ComPtr<IMFPresentationDescriptor> presentation;
  ASSERT_EQ(source->CreatePresentationDescriptor(presentation.Put()), S_OK);
  BOOL selected = FALSE;
  ComPtr<IMFStreamDescriptor> stream;
  ASSERT_EQ(presentation->GetStreamDescriptorByIndex(0, &selected, stream.Put()), S_OK);
  ComPtr<IMFMediaTypeHandler> handler;
  ASSERT_EQ(stream->GetMediaTypeHandler(handler.Put()), S_OK);
  DWORD count = 0;
  ASSERT_EQ(handler->GetMediaTypeCount(&count), S_OK);
  ASSERT_EQ(count, DWORD(want.size()));
  for (DWORD i = 0; i < count; ++i) {
    const Expected& e = want[i];
    const Shipped& p = *e.preset;
    SCOPED_TRACE("type " + std::to_string(i) + ": preset " + std::to_string(p.number) +
                 (e.twin ? " NV12 twin" : ""));
    ComPtr<IMFMediaType> type;
    ASSERT_EQ(handler->GetMediaTypeByIndex(i, type.Put()), S_OK);
    GUID subtype = GUID_NULL;
    UINT32 w = 0, h = 0, num = 0, den = 0;
    EXPECT_EQ(type->GetGUID(MF_MT_SUBTYPE, &subtype), S_OK);
    EXPECT_TRUE(IsEqualGUID(subtype, e.twin ? MFVideoFormat_NV12 : SubtypeOf(p.fcc)));
    EXPECT_EQ(MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, &w, &h), S_OK);
    EXPECT_EQ(w, p.w);
    EXPECT_EQ(h, p.h);
    EXPECT_EQ(MFGetAttributeRatio(type.Get(), MF_MT_FRAME_RATE, &num, &den), S_OK);
    EXPECT_EQ(num, p.rateNum);
    EXPECT_EQ(den, p.rateDen);
    EXPECT_EQ(MFGetAttributeUINT32(type.Get(), MF_MT_INTERLACE_MODE, 0), p.interlace);
    EXPECT_EQ(MFGetAttributeUINT32(type.Get(), kPresetIndexAttribute, 999), e.tableIndex);
    EXPECT_EQ(MFGetAttributeUINT32(type.Get(), kCodePresetAttribute, 999), e.codeIndex);
    const bool mjpg = !e.twin && std::string(p.fcc) == "MJPG";
    UINT32 value = 0;
    EXPECT_EQ(MFGetAttributeUINT32(type.Get(), MF_MT_COMPRESSED, FALSE), UINT32(mjpg));
    EXPECT_EQ(MFGetAttributeUINT32(type.Get(), MF_MT_FIXED_SIZE_SAMPLES, 2), UINT32(!mjpg));
    EXPECT_EQ(MFGetAttributeUINT32(type.Get(), MF_MT_ALL_SAMPLES_INDEPENDENT, 0), UINT32(TRUE));
    // A JPEG has no stride and no fixed size.
    EXPECT_EQ(SUCCEEDED(type->GetUINT32(MF_MT_DEFAULT_STRIDE, &value)), !mjpg);
    EXPECT_EQ(SUCCEEDED(type->GetUINT32(MF_MT_SAMPLE_SIZE, &value)), !mjpg);
  }
}

}  // namespace

TEST_F(MediaSourceTest, EveryShippedPresetAloneIsOfferedWithItsNv12Twin) {
  for (const Shipped& p : kShipped) {
    SCOPED_TRACE("preset " + std::to_string(p.number) + " alone");
    WriteSettings(ShippedSettings([&](int n) { return n == p.number; }));
    // An NV12 preset is its own size's NV12 type; any other gets a twin.
    std::vector<Expected> want = {{&p, false, 0, 0}};
    if (std::string(p.fcc) != "NV12")
      want.push_back({&p, true, 1, 0});
    ComPtr<IMFMediaSource> source = CreateSource();
    ASSERT_TRUE(source);
    ExpectNativeTypes(source.Get(), want);
    source->Shutdown();
  }
}

TEST_F(MediaSourceTest, AllShippedPresetsAreOfferedInOrderThenTheTwins) {
  WriteSettings(ShippedSettings([](int) { return true; }));
  std::vector<Expected> want;
  for (int i = 0; i < kShippedCount; ++i)
    want.push_back({&kShipped[i], false, UINT32(i), UINT32(i)});
  // The first preset of every size without an NV12 preset (1280x720 and
  // 1920x1080 have presets 30 and 31): 640x480, 320x240, 720x480 (field 2
  // first), 720x576 (field 1 first), 3840x2160, 640x360.
  const int twinOf[] = {1, 2, 8, 10, 23, 27};
  for (int number : twinOf)
    want.push_back({&kShipped[number - 1], true, UINT32(want.size()), UINT32(number - 1)});
  ComPtr<IMFMediaSource> source = CreateSource();
  ASSERT_TRUE(source);
  ExpectNativeTypes(source.Get(), want);
  source->Shutdown();
}
