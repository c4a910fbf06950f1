#include <gtest/gtest.h>

#include <vector>

#include "baseclasses/com_ptr.h"
#include "tests/framework/unit/alloc_failure.h"
#include "tests/framework/unit/test_source.h"

namespace {

// A test source with the pin enumerator it hands out.
class PinEnumerator : public ::testing::Test {
 protected:
  bool Open(int pinCount) {
    filter.Attach(CTestSource::Create(pinCount, &log));
    return filter->EnumPins(pins.Put()) == S_OK;
  }

  StreamLog log;
  ComPtr<IBaseFilter> filter;
  ComPtr<IEnumPins> pins;
};

// A one-pin test source offering the given types, with its pin's type enumerator.
class TypeEnumerator : public ::testing::Test {
 protected:
  bool Open(const std::vector<GUID>& subtypes) {
    log.subtypes = subtypes;
    filter.Attach(CTestSource::Create(1, &log));
    ComPtr<IEnumPins> pins;
    if (filter->EnumPins(pins.Put()) != S_OK || pins->Next(1, pin.Put(), nullptr) != S_OK)
      return false;
    return pin->EnumMediaTypes(types.Put()) == S_OK;
  }

  StreamLog log;
  ComPtr<IBaseFilter> filter;
  ComPtr<IPin> pin;
  ComPtr<IEnumMediaTypes> types;
};

TEST_F(PinEnumerator, HandsOutThePinOnceUntilReset) {
  ASSERT_TRUE(Open(1));

  ComPtr<IPin> first;
  ASSERT_EQ(pins->Next(1, first.Put(), nullptr), S_OK);
  ASSERT_TRUE(first);
  PIN_DIRECTION direction = PINDIR_INPUT;
  EXPECT_EQ(first->QueryDirection(&direction), S_OK);
  EXPECT_EQ(direction, PINDIR_OUTPUT);

  IPin* none = nullptr;
  EXPECT_EQ(pins->Next(1, &none, nullptr), S_FALSE);
  EXPECT_EQ(none, nullptr);

  EXPECT_EQ(pins->Reset(), S_OK);
  ComPtr<IPin> again;
  EXPECT_EQ(pins->Next(1, again.Put(), nullptr), S_OK);
  EXPECT_EQ(again.Get(), first.Get());
}

TEST_F(PinEnumerator, CountAboveOneNeedsAFetchedPointer) {
  ASSERT_TRUE(Open(1));

  IPin* array[2] = {};
  EXPECT_EQ(pins->Next(2, array, nullptr), E_INVALIDARG);
  EXPECT_EQ(pins->Next(1, nullptr, nullptr), E_POINTER);
  ULONG fetched = 99;
  EXPECT_EQ(pins->Next(2, array, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 1u);
  ASSERT_NE(array[0], nullptr);
  EXPECT_EQ(array[1], nullptr);
  array[0]->Release();
}

TEST_F(PinEnumerator, CloneRemembersWhatWasHandedOutUntilItsOwnReset) {
  ASSERT_TRUE(Open(2));
  ComPtr<IPin> first;
  ASSERT_EQ(pins->Next(1, first.Put(), nullptr), S_OK);

  ComPtr<IEnumPins> clone;
  ASSERT_EQ(pins->Clone(clone.Put()), S_OK);
  ComPtr<IPin> second;
  ASSERT_EQ(clone->Next(1, second.Put(), nullptr), S_OK);
  EXPECT_NE(second.Get(), first.Get());
  IPin* none = nullptr;
  EXPECT_EQ(clone->Next(1, &none, nullptr), S_FALSE);

  EXPECT_EQ(clone->Reset(), S_OK);
  ComPtr<IPin> fromStart;
  ASSERT_EQ(clone->Next(1, fromStart.Put(), nullptr), S_OK);
  EXPECT_EQ(fromStart.Get(), first.Get());
  EXPECT_EQ(pins->Clone(nullptr), E_POINTER);
}

TEST_F(PinEnumerator, SkipPastTheLastPinFailsWithoutMoving) {
  ASSERT_TRUE(Open(1));

  EXPECT_EQ(pins->Skip(2), S_FALSE);
  ComPtr<IPin> pin;
  EXPECT_EQ(pins->Next(1, pin.Put(), nullptr), S_OK);  // still at position 0
  EXPECT_EQ(pins->Reset(), S_OK);
  EXPECT_EQ(pins->Skip(1), S_OK);
  IPin* none = nullptr;
  EXPECT_EQ(pins->Next(1, &none, nullptr), S_FALSE);
}

TEST_F(PinEnumerator, KeepsTheFilterAlive) {
  const LONG liveBefore = g_activeObjects;
  ASSERT_TRUE(Open(1));
  EXPECT_EQ(g_activeObjects, liveBefore + 2);  // the filter and its pin
  EXPECT_EQ(filter.Detach()->Release(), 1u);
  EXPECT_EQ(g_activeObjects, liveBefore + 2);
  EXPECT_EQ(pins.Detach()->Release(), 0u);
  EXPECT_EQ(g_activeObjects, liveBefore);
}

TEST_F(PinEnumerator, PinsVanishingMidCallAreTakenBackNotLeaked) {
  ASSERT_TRUE(Open(2));

  auto* source = static_cast<CTestSource*>(filter.Get());
  delete static_cast<CSourceStream*>(source->GetPin(1));  // the second pin goes away
  const ULONG countBefore = filter->AddRef();
  filter->Release();

  IPin* array[2] = {};
  ULONG fetched = 7;
  EXPECT_EQ(pins->Next(2, array, &fetched), VFW_E_ENUM_OUT_OF_SYNC);
  EXPECT_EQ(array[0], nullptr);
  EXPECT_EQ(fetched, 0u);
  const ULONG countAfter = filter->AddRef();
  filter->Release();
  EXPECT_EQ(countAfter, countBefore);

  EXPECT_EQ(pins->Reset(), S_OK);
  ComPtr<IPin> first;
  EXPECT_EQ(pins->Next(1, first.Put(), nullptr), S_OK);
  IPin* none = nullptr;
  EXPECT_EQ(pins->Next(1, &none, nullptr), S_FALSE);
}

TEST_F(TypeEnumerator, ListsThePinsTypesInOrderAsTaskMemory) {
  ASSERT_TRUE(Open({MEDIASUBTYPE_RGB24, MEDIASUBTYPE_RGB32, MEDIASUBTYPE_YUY2}));

  AM_MEDIA_TYPE* got[4] = {};
  ULONG fetched = 0;
  EXPECT_EQ(types->Next(4, got, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 3u);
  for (ULONG i = 0; i < fetched; ++i) {
    MediaTypePtr owned(got[i]);
    EXPECT_TRUE(IsEqualGUID(owned->subtype, log.subtypes[i])) << i;
    EXPECT_TRUE(IsEqualGUID(owned->formattype, FORMAT_VideoInfo));
    EXPECT_EQ(owned->cbFormat, sizeof(VIDEOINFOHEADER));
  }
  fetched = 7;
  EXPECT_EQ(types->Next(1, got, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(types->Next(2, got, nullptr), E_INVALIDARG);
  EXPECT_EQ(types->Next(1, nullptr, nullptr), E_POINTER);
}

TEST_F(TypeEnumerator, SkipStopsBeingSuccessfulPastTheLastType) {
  ASSERT_TRUE(Open({MEDIASUBTYPE_RGB24, MEDIASUBTYPE_RGB32, MEDIASUBTYPE_YUY2}));

  EXPECT_EQ(types->Skip(0), S_OK);
  EXPECT_EQ(types->Skip(3), S_OK);  // exactly onto the last type
  EXPECT_EQ(types->Skip(1), S_FALSE);
  AM_MEDIA_TYPE* got = nullptr;
  EXPECT_EQ(types->Next(1, &got, nullptr), S_FALSE);  // stays past the end

  ComPtr<IEnumMediaTypes> clone;
  ASSERT_EQ(types->Clone(clone.Put()), S_OK);
  EXPECT_EQ(clone->Next(1, &got, nullptr), S_FALSE);  // the clone shares the position

  EXPECT_EQ(types->Reset(), S_OK);
  ASSERT_EQ(types->Next(1, &got, nullptr), S_OK);
  MediaTypePtr owned(got);
  EXPECT_TRUE(IsEqualGUID(owned->subtype, MEDIASUBTYPE_RGB24));
}

TEST_F(TypeEnumerator, OutOfMemoryEndsTheListEarly) {
  ASSERT_TRUE(Open({MEDIASUBTYPE_RGB24, MEDIASUBTYPE_RGB32}));

  AM_MEDIA_TYPE* got[2] = {};
  ULONG fetched = 5;
  {
    // The first type's format block and structure succeed, then memory runs out.
    TaskAllocFailure failure(2);
    ASSERT_TRUE(failure.Armed());
    EXPECT_EQ(types->Next(2, got, &fetched), S_FALSE);
  }
  EXPECT_EQ(fetched, 1u);
  DeleteMediaType(got[0]);
}

}  // namespace
