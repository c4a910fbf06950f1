#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "baseclasses/com_ptr.h"
#include "baseclasses/task_mem.h"
#include "tests/framework/unit/test_source.h"

namespace {

ComPtr<IBaseFilter> NewFilter(int pins, StreamLog* log) {
  ComPtr<IBaseFilter> filter;
  filter.Attach(CTestSource::Create(pins, log));
  return filter;
}

TEST(SourceFilter, FindPinReadsTheIdAsADecimalPinNumber) {
  StreamLog log;
  ComPtr<IBaseFilter> filter = NewFilter(1, &log);
  ComPtr<IEnumPins> pins;
  ASSERT_EQ(filter->EnumPins(pins.Put()), S_OK);
  ComPtr<IPin> first;
  ASSERT_EQ(pins->Next(1, first.Put(), nullptr), S_OK);

  struct Case {
    const wchar_t* id;
    bool found;
  } cases[] = {
      {L"1", true},   {L" 1", true},
      {L"+1", true},  {L"1abc", true},
      {L"0", false},  {L"2", false},
      {L"-1", false}, {L"abc", false},
      {L"", false},   {L"99999999999999999999", false},
  };
  for (const Case& c : cases) {
    IPin* pin = reinterpret_cast<IPin*>(1);
    const HRESULT hr = filter->FindPin(c.id, &pin);
    if (c.found) {
      EXPECT_EQ(hr, S_OK) << "\"" << std::wstring(c.id).size() << "\"";
      EXPECT_EQ(pin, first.Get());
      if (pin)
        pin->Release();
    } else {
      EXPECT_EQ(hr, VFW_E_NOT_FOUND);
      EXPECT_EQ(pin, nullptr);
    }
  }
  IPin* pin = nullptr;
  EXPECT_EQ(filter->FindPin(nullptr, &pin), E_POINTER);
  EXPECT_EQ(pin, nullptr);
  EXPECT_EQ(filter->FindPin(L"1", nullptr), E_POINTER);
}

TEST(SourceFilter, PinIdsAreOneBasedPositionsThatFindPinMapsBack) {
  StreamLog log;
  ComPtr<IBaseFilter> filter = NewFilter(2, &log);
  ComPtr<IEnumPins> pins;
  ASSERT_EQ(filter->EnumPins(pins.Put()), S_OK);
  for (const wchar_t* expected : {L"1", L"2"}) {
    ComPtr<IPin> pin;
    ASSERT_EQ(pins->Next(1, pin.Put(), nullptr), S_OK);
    LPWSTR raw = nullptr;
    ASSERT_EQ(pin->QueryId(&raw), S_OK);
    TaskMemPtr<wchar_t> id(raw);
    EXPECT_EQ(std::wstring(id.Get()), expected);
    ComPtr<IPin> found;
    ASSERT_EQ(filter->FindPin(id.Get(), found.Put()), S_OK);
    EXPECT_EQ(found.Get(), pin.Get());
  }
}

TEST(SourceFilter, FilterInfoCarriesTheNameCutTo127Characters) {
  StreamLog log;
  ComPtr<IBaseFilter> filter = NewFilter(1, &log);
  FILTER_INFO info;
  ASSERT_EQ(filter->QueryFilterInfo(&info), S_OK);
  EXPECT_EQ(info.achName[0], L'\0');
  EXPECT_EQ(info.pGraph, nullptr);

  const std::wstring longName(200, L'x');
  ASSERT_EQ(filter->JoinFilterGraph(nullptr, longName.c_str()), S_OK);
  ASSERT_EQ(filter->QueryFilterInfo(&info), S_OK);
  EXPECT_EQ(std::wstring(info.achName), longName.substr(0, 127));

  ASSERT_EQ(filter->JoinFilterGraph(nullptr, nullptr), S_OK);
  ASSERT_EQ(filter->QueryFilterInfo(&info), S_OK);
  EXPECT_EQ(info.achName[0], L'\0');
  EXPECT_EQ(filter->QueryFilterInfo(nullptr), E_POINTER);
}

TEST(SourceFilter, OutsideAGraphThereIsNoClockNoEventSinkAndNoSetupData) {
  StreamLog log;
  ComPtr<IBaseFilter> filter = NewFilter(1, &log);
  auto* source = static_cast<CTestSource*>(filter.Get());
  REFERENCE_TIME now = 0;
  EXPECT_EQ(source->StreamTime(&now), VFW_E_NO_CLOCK);
  EXPECT_EQ(source->NotifyEvent(EC_COMPLETE, 0, 0), E_NOTIMPL);
  IReferenceClock* clock = reinterpret_cast<IReferenceClock*>(1);
  EXPECT_EQ(filter->GetSyncSource(&clock), S_OK);
  EXPECT_EQ(clock, nullptr);

  ComPtr<IAMovieSetup> setup;
  ASSERT_EQ(filter->QueryInterface(IID_IAMovieSetup, setup.PutVoid()), S_OK);
  EXPECT_EQ(setup->Register(), S_FALSE);
  EXPECT_EQ(setup->Unregister(), S_FALSE);

  CLSID clsid = GUID_NULL;
  EXPECT_EQ(filter->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualGUID(clsid, kClsidTestSource));
  EXPECT_EQ(filter->GetClassID(nullptr), E_POINTER);
  EXPECT_EQ(filter->QueryVendorInfo(nullptr), E_NOTIMPL);
}

TEST(SourceFilter, StateFollowsPauseRunAndStopWithUnconnectedPins) {
  StreamLog log;
  ComPtr<IBaseFilter> filter = NewFilter(1, &log);
  struct Step {
    const char* call;
    FILTER_STATE after;
  } steps[] = {
      {"Stop", State_Stopped}, {"Pause", State_Paused}, {"Pause", State_Paused},
      {"Run", State_Running},  {"Run", State_Running},  {"Pause", State_Paused},
      {"Stop", State_Stopped}, {"Run", State_Running},  {"Stop", State_Stopped},
  };
  for (const Step& step : steps) {
    const std::string call = step.call;
    const HRESULT hr = call == "Stop"    ? filter->Stop()
                       : call == "Pause" ? filter->Pause()
                                         : filter->Run(0);
    EXPECT_EQ(hr, S_OK) << call;
    FILTER_STATE state = State_Stopped;
    EXPECT_EQ(filter->GetState(0, &state), S_OK);
    EXPECT_EQ(state, step.after) << call;
  }
  EXPECT_EQ(log.threadCreates, 0);  // an unconnected pin gets no worker
  EXPECT_EQ(filter->GetState(0, nullptr), E_POINTER);
}

TEST(SourceFilter, FacesShareOneIdentity) {
  StreamLog log;
  ComPtr<IBaseFilter> filter = NewFilter(1, &log);
  ComPtr<IUnknown> fromFilter;
  ASSERT_EQ(filter->QueryInterface(IID_IUnknown, fromFilter.PutVoid()), S_OK);
  for (const IID* iid : {&IID_IMediaFilter, &IID_IPersist, &IID_IAMovieSetup}) {
    ComPtr<IUnknown> face;
    ASSERT_EQ(filter->QueryInterface(*iid, face.PutVoid()), S_OK);
    ComPtr<IUnknown> identity;
    ASSERT_EQ(face->QueryInterface(IID_IUnknown, identity.PutVoid()), S_OK);
    EXPECT_EQ(identity.Get(), fromFilter.Get());
  }
  ComPtr<IUnknown> none;
  EXPECT_EQ(filter->QueryInterface(IID_IPin, none.PutVoid()), E_NOINTERFACE);
}

// A one-pin test source and its output pin.
class OutputPin : public ::testing::Test {
 protected:
  void SetUp() override {
    filter = NewFilter(1, &log);
    ASSERT_EQ(filter->FindPin(L"1", pin.Put()), S_OK);
  }

  StreamLog log;
  ComPtr<IBaseFilter> filter;
  ComPtr<IPin> pin;
};

TEST_F(OutputPin, UnconnectedPinAnswersWithoutAPeer) {
  AM_MEDIA_TYPE mt;
  std::memset(&mt, 0x77, sizeof(mt));
  EXPECT_EQ(pin->ConnectionMediaType(&mt), VFW_E_NOT_CONNECTED);
  EXPECT_TRUE(mt.bFixedSizeSamples);
  EXPECT_EQ(mt.lSampleSize, 1u);
  EXPECT_EQ(mt.pbFormat, nullptr);
  EXPECT_EQ(mt.pUnk, nullptr);

  IPin* peer = reinterpret_cast<IPin*>(1);
  EXPECT_EQ(pin->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(peer, nullptr);
  EXPECT_EQ(pin->Disconnect(), S_FALSE);
  EXPECT_EQ(pin->EndOfStream(), E_UNEXPECTED);
  EXPECT_EQ(pin->BeginFlush(), E_UNEXPECTED);
  EXPECT_EQ(pin->EndFlush(), E_UNEXPECTED);
  EXPECT_EQ(pin->NewSegment(0, 10, 1.0), S_OK);
  EXPECT_EQ(pin->QueryInternalConnections(nullptr, nullptr), E_NOTIMPL);

  ASSERT_EQ(filter->Pause(), S_OK);
  EXPECT_EQ(pin->Disconnect(), VFW_E_NOT_STOPPED);  // tested before the connection
  ASSERT_EQ(filter->Stop(), S_OK);
}

TEST_F(OutputPin, QueryAcceptNeverFails) {
  CMediaType offered;
  MakeTestVideoType(&offered, MEDIASUBTYPE_RGB24);
  CMediaType other;
  MakeTestVideoType(&other, MEDIASUBTYPE_RGB32);
  EXPECT_EQ(pin->QueryAccept(&offered), S_OK);
  EXPECT_EQ(pin->QueryAccept(&other), S_FALSE);
  EXPECT_EQ(pin->QueryAccept(nullptr), E_POINTER);
}

TEST_F(OutputPin, InfoNamesThePinAndItsFilterAndCountsOnTheFilter) {
  PIN_INFO info;
  ASSERT_EQ(pin->QueryPinInfo(&info), S_OK);
  EXPECT_EQ(std::wstring(info.achName), L"Test output");
  EXPECT_EQ(info.dir, PINDIR_OUTPUT);
  EXPECT_EQ(info.pFilter, filter.Get());
  info.pFilter->Release();

  // The pin's references are the filter's.
  const ULONG filterCount = filter->AddRef();
  filter->Release();
  EXPECT_EQ(pin->AddRef(), filterCount);
  EXPECT_EQ(filter->Release(), filterCount - 1);
}

}  // namespace
