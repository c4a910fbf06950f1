#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "baseclasses/media_type.h"
#include "tests/framework/unit/alloc_failure.h"

namespace {

constexpr DWORD FourCC(char a, char b, char c, char d) {
  return static_cast<DWORD>(static_cast<unsigned char>(a)) |
         (static_cast<DWORD>(static_cast<unsigned char>(b)) << 8) |
         (static_cast<DWORD>(static_cast<unsigned char>(c)) << 16) |
         (static_cast<DWORD>(static_cast<unsigned char>(d)) << 24);
}

// A header followed by the three colour masks of a BI_BITFIELDS image.
struct HeaderWithMasks {
  BITMAPINFOHEADER header;
  DWORD masks[3];
};

HeaderWithMasks MakeHeader(LONG width, LONG height, WORD bits, DWORD compression, DWORD r = 0,
                           DWORD g = 0, DWORD b = 0) {
  HeaderWithMasks h = {};
  h.header.biSize = sizeof(BITMAPINFOHEADER);
  h.header.biWidth = width;
  h.header.biHeight = height;
  h.header.biPlanes = 1;
  h.header.biBitCount = bits;
  h.header.biCompression = compression;
  h.masks[0] = r;
  h.masks[1] = g;
  h.masks[2] = b;
  return h;
}

CMediaType VideoType(const GUID& subtype, const std::vector<BYTE>& format) {
  CMediaType mt;
  mt.SetType(&MEDIATYPE_Video);
  mt.SetSubtype(&subtype);
  mt.SetFormatType(&FORMAT_VideoInfo);
  EXPECT_TRUE(mt.SetFormat(format.data(), static_cast<ULONG>(format.size())));
  return mt;
}

TEST(BitmapRules, SizeIsPaddedRowsTimesAbsoluteHeight) {
  struct Case {
    LONG width, height;
    WORD bits;
    DWORD size;
  } cases[] = {
      {640, -480, 24, 921600},  // top-down gives the same size
      {640, 480, 24, 921600},
      {3, 2, 24, 24},      // rows of 9 bytes padded to 12
      {1, 1, 1, 4},        // one bit still takes a whole word
      {641, 1, 24, 1924},  // 1923 bytes padded to 1924
      {1920, 1080, 16, 4147200},
      {1280, 720, 32, 3686400},
      {0, 480, 24, 0},
  };
  for (const Case& c : cases) {
    const HeaderWithMasks h = MakeHeader(c.width, c.height, c.bits, BI_RGB);
    EXPECT_EQ(GetBitmapSize(&h.header), c.size) << c.width << "x" << c.height << "x" << c.bits;
  }
}

TEST(BitmapRules, SubtypeFollowsCompressionThenBitCount) {
  const GUID hdyc = {
      FourCC('H', 'D', 'Y', 'C'), 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
  struct Case {
    const char* name;
    HeaderWithMasks header;
    GUID subtype;
  } cases[] = {
      {"YUY2", MakeHeader(640, 480, 16, FourCC('Y', 'U', 'Y', '2')), MEDIASUBTYPE_YUY2},
      {"UYVY", MakeHeader(640, 480, 16, FourCC('U', 'Y', 'V', 'Y')), MEDIASUBTYPE_UYVY},
      {"YVYU", MakeHeader(640, 480, 16, FourCC('Y', 'V', 'Y', 'U')), MEDIASUBTYPE_YVYU},
      {"HDYC", MakeHeader(640, 480, 16, FourCC('H', 'D', 'Y', 'C')), hdyc},
      {"RGB1", MakeHeader(8, 8, 1, BI_RGB), MEDIASUBTYPE_RGB1},
      {"RGB4", MakeHeader(8, 8, 4, BI_RGB), MEDIASUBTYPE_RGB4},
      {"RGB8", MakeHeader(8, 8, 8, BI_RGB), MEDIASUBTYPE_RGB8},
      {"RGB16 plain", MakeHeader(8, 8, 16, BI_RGB), MEDIASUBTYPE_RGB555},
      {"RGB565 masks", MakeHeader(8, 8, 16, BI_BITFIELDS, 0xF800, 0x07E0, 0x001F),
       MEDIASUBTYPE_RGB565},
      {"RGB555 masks", MakeHeader(8, 8, 16, BI_BITFIELDS, 0x7C00, 0x03E0, 0x001F),
       MEDIASUBTYPE_RGB555},
      {"odd masks", MakeHeader(8, 8, 16, BI_BITFIELDS, 0x0F00, 0x00F0, 0x000F), GUID_NULL},
      {"RGB24", MakeHeader(8, 8, 24, BI_RGB), MEDIASUBTYPE_RGB24},
      {"RGB32", MakeHeader(8, 8, 32, BI_RGB), MEDIASUBTYPE_RGB32},
      {"12 bits", MakeHeader(8, 8, 12, BI_RGB), GUID_NULL},
  };
  for (const Case& c : cases)
    EXPECT_TRUE(IsEqualGUID(GetBitmapSubtype(&c.header.header), c.subtype)) << c.name;
}

TEST(BitmapRules, Yuy2SubtypeCarriesTheFourccInItsFirstField) {
  const HeaderWithMasks h = MakeHeader(640, 480, 16, FourCC('Y', 'U', 'Y', '2'));
  const GUID subtype = GetBitmapSubtype(&h.header);
  EXPECT_EQ(subtype.Data1, 0x32595559u);
  EXPECT_EQ(subtype.Data2, 0x0000);
  EXPECT_EQ(subtype.Data3, 0x0010);
  const BYTE tail[8] = {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  EXPECT_EQ(std::memcmp(subtype.Data4, tail, 8), 0);
}

TEST(MediaType, NewTypeIsEmptyWithFixedSizeSamplesOfOneByte) {
  CMediaType mt;
  EXPECT_TRUE(IsEqualGUID(mt.majortype, GUID_NULL));
  EXPECT_TRUE(IsEqualGUID(mt.subtype, GUID_NULL));
  EXPECT_TRUE(IsEqualGUID(mt.formattype, GUID_NULL));
  EXPECT_TRUE(mt.bFixedSizeSamples);
  EXPECT_FALSE(mt.bTemporalCompression);
  EXPECT_EQ(mt.lSampleSize, 1u);
  EXPECT_EQ(mt.cbFormat, 0u);
  EXPECT_EQ(mt.pbFormat, nullptr);
  EXPECT_EQ(mt.pUnk, nullptr);
}

TEST(MediaType, EqualityLooksAtTypesAndFormatBytesOnly) {
  const std::vector<BYTE> format = {1, 2, 3, 4, 5, 6, 7, 8};
  const CMediaType base = VideoType(MEDIASUBTYPE_RGB24, format);

  CMediaType sampleSize = base;
  sampleSize.SetSampleSize(12345);
  CMediaType flags = base;
  flags.SetTemporalCompression(TRUE);
  flags.SetSampleSize(0);
  CMediaType otherSubtype = base;
  otherSubtype.SetSubtype(&MEDIASUBTYPE_RGB32);
  CMediaType otherMajor = base;
  otherMajor.SetType(&MEDIATYPE_Audio);
  CMediaType otherFormatType = base;
  otherFormatType.SetFormatType(&FORMAT_VideoInfo2);
  const CMediaType otherBytes = VideoType(MEDIASUBTYPE_RGB24, {1, 2, 3, 4, 5, 6, 7, 9});
  const CMediaType shorter = VideoType(MEDIASUBTYPE_RGB24, {1, 2, 3, 4});

  struct Case {
    const char* name;
    const CMediaType& other;
    bool equal;
  } cases[] = {
      {"only lSampleSize differs", sampleSize, true},  {"only sample flags differ", flags, true},
      {"subtype differs", otherSubtype, false},        {"major type differs", otherMajor, false},
      {"format type differs", otherFormatType, false}, {"format bytes differ", otherBytes, false},
      {"format length differs", shorter, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(base == c.other, c.equal) << c.name;
    EXPECT_EQ(c.other == base, c.equal) << c.name;
  }
}

TEST(MediaType, PartiallySpecifiedWhenMajorOrFormatTypeIsMissing) {
  CMediaType full = VideoType(MEDIASUBTYPE_RGB24, {1});
  EXPECT_FALSE(full.IsPartiallySpecified());

  CMediaType noFormatType;
  noFormatType.SetType(&MEDIATYPE_Video);
  noFormatType.SetSubtype(&MEDIASUBTYPE_RGB24);  // a subtype does not make it complete
  EXPECT_TRUE(noFormatType.IsPartiallySpecified());

  CMediaType noMajor;
  noMajor.SetFormatType(&FORMAT_VideoInfo);
  EXPECT_TRUE(noMajor.IsPartiallySpecified());

  CMediaType subtypeMissing;
  subtypeMissing.SetType(&MEDIATYPE_Video);
  subtypeMissing.SetFormatType(&FORMAT_VideoInfo);
  EXPECT_FALSE(subtypeMissing.IsPartiallySpecified());
}

TEST(MediaType, MatchesPartialComparesOnlyWhatTheTemplateNames) {
  const CMediaType rgb24 = VideoType(MEDIASUBTYPE_RGB24, {1, 2, 3});

  CMediaType majorOnly;
  majorOnly.SetType(&MEDIATYPE_Video);
  CMediaType audioOnly;
  audioOnly.SetType(&MEDIATYPE_Audio);
  CMediaType subtypeOnly;
  subtypeOnly.SetSubtype(&MEDIASUBTYPE_RGB32);
  CMediaType sameFormat;
  sameFormat.SetFormatType(&FORMAT_VideoInfo);
  const BYTE bytes[] = {1, 2, 3};
  sameFormat.SetFormat(bytes, 3);
  CMediaType otherFormat = sameFormat;
  const BYTE other[] = {1, 2, 4};
  otherFormat.SetFormat(other, 3);
  const CMediaType empty;

  EXPECT_TRUE(rgb24.MatchesPartial(&majorOnly));
  EXPECT_FALSE(rgb24.MatchesPartial(&audioOnly));
  EXPECT_FALSE(rgb24.MatchesPartial(&subtypeOnly));
  EXPECT_TRUE(rgb24.MatchesPartial(&sameFormat));
  EXPECT_FALSE(rgb24.MatchesPartial(&otherFormat));
  EXPECT_TRUE(rgb24.MatchesPartial(&empty));
}

TEST(MediaType, AllocFormatBufferKeepsASameSizedBlockAndReplacesOthers) {
  CMediaType mt;
  BYTE* first = mt.AllocFormatBuffer(16);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(mt.cbFormat, 16u);
  std::memset(first, 0xAB, 16);

  EXPECT_EQ(mt.AllocFormatBuffer(16), first);  // same length: same block, same bytes
  EXPECT_EQ(first[15], 0xAB);

  BYTE* second = mt.AllocFormatBuffer(32);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(mt.cbFormat, 32u);
  EXPECT_EQ(mt.pbFormat, second);

  EXPECT_EQ(mt.AllocFormatBuffer(0), nullptr);  // no block at all, nothing left to leak
  EXPECT_EQ(mt.cbFormat, 0u);
  EXPECT_EQ(mt.pbFormat, nullptr);
}

TEST(MediaType, AllocFormatBufferOutOfMemoryKeepsTheOldBlockOnlyWhenItIsLargeEnough) {
  CMediaType mt;
  BYTE* block = mt.AllocFormatBuffer(16);
  ASSERT_NE(block, nullptr);

  TaskAllocFailure failure;
  ASSERT_TRUE(failure.Armed());
  EXPECT_EQ(mt.AllocFormatBuffer(8), block);  // shrink request: the old block will do
  EXPECT_EQ(mt.cbFormat, 16u);
  EXPECT_EQ(mt.AllocFormatBuffer(64), nullptr);  // growth request: nothing
  EXPECT_EQ(mt.cbFormat, 16u);
  EXPECT_EQ(mt.pbFormat, block);
  const BYTE bytes[64] = {};
  EXPECT_FALSE(mt.SetFormat(bytes, 64));
  failure.Disarm();
}

TEST(MediaType, CopyIsDeepAndHoldsItsOwnPUnkReference) {
  CountingUnknown unk;
  CMediaType source = VideoType(MEDIASUBTYPE_RGB24, {9, 8, 7});
  source.pUnk = &unk;
  unk.AddRef();  // the source's own reference
  {
    CMediaType copy(source);
    EXPECT_NE(copy.pbFormat, source.pbFormat);
    EXPECT_EQ(copy.cbFormat, 3u);
    EXPECT_EQ(copy.pbFormat[2], 7);
    EXPECT_EQ(copy.pUnk, &unk);
    EXPECT_EQ(unk.count, 3);
    EXPECT_EQ(copy.Set(copy), S_OK);  // self-assignment changes nothing
    EXPECT_EQ(unk.count, 3);
  }
  EXPECT_EQ(unk.count, 2);
  FreeMediaType(source);
  EXPECT_EQ(unk.count, 1);
  EXPECT_EQ(source.pUnk, nullptr);
  EXPECT_EQ(source.pbFormat, nullptr);
}

TEST(MediaType, FailedCopyLeavesTargetWithNoBlockAndNoBorrowedPUnk) {
  CountingUnknown unk;
  CMediaType source = VideoType(MEDIASUBTYPE_RGB24, {1, 2, 3, 4});
  source.pUnk = &unk;
  unk.AddRef();

  AM_MEDIA_TYPE target;
  std::memset(&target, 0x5A, sizeof(target));
  {
    TaskAllocFailure failure;
    ASSERT_TRUE(failure.Armed());
    EXPECT_EQ(CopyMediaType(&target, &source), E_OUTOFMEMORY);
  }
  EXPECT_EQ(target.pbFormat, nullptr);
  EXPECT_EQ(target.cbFormat, 0u);
  EXPECT_EQ(target.pUnk, nullptr);  // it would hold no reference of its own
  EXPECT_EQ(unk.count, 2);
  EXPECT_TRUE(IsEqualGUID(target.subtype, MEDIASUBTYPE_RGB24));
  FreeMediaType(target);  // safe: nothing to free
  EXPECT_EQ(unk.count, 2);

  CMediaType assigned;
  {
    TaskAllocFailure failure;
    EXPECT_EQ(assigned.Set(source), E_OUTOFMEMORY);
  }
  EXPECT_EQ(assigned.pUnk, nullptr);
  FreeMediaType(source);
  EXPECT_EQ(unk.count, 1);
}

TEST(MediaType, CreateAndDeleteRoundTripThroughTaskMemory) {
  const CMediaType source = VideoType(MEDIASUBTYPE_YUY2, {1, 2, 3, 4, 5});
  MediaTypePtr created(CreateMediaType(&source));
  ASSERT_TRUE(created);
  EXPECT_TRUE(source == *created);
  EXPECT_NE(created->pbFormat, source.pbFormat);
  DeleteMediaType(nullptr);  // nothing happens

  CMediaType moved = VideoType(MEDIASUBTYPE_UYVY, {6, 7});
  BYTE* block = moved.pbFormat;
  AM_MEDIA_TYPE target;
  moved.MoveTo(&target);
  EXPECT_EQ(target.pbFormat, block);
  EXPECT_EQ(moved.pbFormat, nullptr);
  EXPECT_EQ(moved.cbFormat, 0u);
  FreeMediaType(target);
}

TEST(MediaType, SetSampleSizeZeroMeansVariableSizedSamples) {
  CMediaType mt;
  mt.SetSampleSize(921600);
  EXPECT_TRUE(mt.bFixedSizeSamples);
  EXPECT_EQ(mt.lSampleSize, 921600u);
  mt.SetSampleSize(0);
  EXPECT_FALSE(mt.bFixedSizeSamples);
  EXPECT_EQ(mt.lSampleSize, 921600u);
}

}  // namespace
