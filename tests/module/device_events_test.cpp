// Device events as a graph's event sink and its control calls see them: the
// unplug's EC_DEVICE_LOST with the filter's identity, a removed filter that
// can no longer run, the replug's EC_DEVICE_LOST and a new filter that
// streams; an exclusive device refused to a second filter until the first
// stops.
#include <windows.h>
#include <dshow.h>

#include <mutex>
#include <string>
#include <vector>

#include "fake_input_pin.h"
#include "module_fixture.h"

namespace {

constexpr HRESULT kDeviceNotConnected = static_cast<HRESULT>(0x8007048F);
constexpr HRESULT kDeviceInUse = static_cast<HRESULT>(0x8007001F);
// A guard against a hang, not a measurement.
constexpr DWORD kEventGuardMs = 20000;

std::string Settings(const std::string& main, const std::string& preset) {
  return "[MAIN]\r\nbuff_num=2\r\n" + main +
         "[PRESET_01]\r\nenable=1\r\nw=320\r\nh=240\r\nfcc=YUY2\r\nbmp=chart.bmp\r\n"
         "font=font.bmp\r\nframe_time=333333\r\n" +
         preset;
}

// A graph as far as a filter sees it when it joins: its event sink, which
// keeps every EC_DEVICE_LOST.
class EventGraph final : public IFilterGraph, public IMediaEventSink {
 public:
  struct Event {
    LONG_PTR param1;
    LONG_PTR param2;
  };
  EventGraph() : m_arrived(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
  ~EventGraph() { CloseHandle(m_arrived); }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IFilterGraph))
      *out = static_cast<IFilterGraph*>(this);
    else if (IsEqualIID(iid, IID_IMediaEventSink))
      *out = static_cast<IMediaEventSink*>(this);
    else
      return (*out = nullptr), E_NOINTERFACE;
    return S_OK;  // lives on the test's stack: no counting
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP AddFilter(IBaseFilter*, LPCWSTR) override { return E_NOTIMPL; }
  STDMETHODIMP RemoveFilter(IBaseFilter*) override { return E_NOTIMPL; }
  STDMETHODIMP EnumFilters(IEnumFilters**) override { return E_NOTIMPL; }
  STDMETHODIMP FindFilterByName(LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }
  STDMETHODIMP ConnectDirect(IPin*, IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  STDMETHODIMP Reconnect(IPin*) override { return E_NOTIMPL; }
  STDMETHODIMP Disconnect(IPin*) override { return E_NOTIMPL; }
  STDMETHODIMP SetDefaultSyncSource() override { return E_NOTIMPL; }
  STDMETHODIMP Notify(long code, LONG_PTR param1, LONG_PTR param2) override {
    if (code != EC_DEVICE_LOST)
      return S_OK;
    std::lock_guard<std::mutex> lock(m_lock);
    m_events.push_back({param1, param2});
    SetEvent(m_arrived);
    return S_OK;
  }

  // Waits for the count-th EC_DEVICE_LOST; false when it never came.
  bool WaitFor(size_t count) {
    for (;;) {
      {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_events.size() >= count)
          return true;
      }
      if (WaitForSingleObject(m_arrived, kEventGuardMs) != WAIT_OBJECT_0)
        return false;
    }
  }
  std::vector<Event> Events() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_events;
  }

 private:
  HANDLE m_arrived;
  std::mutex m_lock;
  std::vector<Event> m_events;
};

class DeviceEventsTest : public StreamTest {};

TEST_F(DeviceEventsTest, AnUnplugRemovesTheFilterForGoodAndTheReplugLetsANewOneStream) {
  WriteSettingsText(Settings("", "fault_unplug_after=3\r\nfault_replug_ms=200\r\n"));
  CreateStream();
  ASSERT_FALSE(HasFatalFailure());
  EventGraph graph;
  ASSERT_EQ(filter->JoinFilterGraph(&graph, L"source"), S_OK);
  ASSERT_EQ(pin->Connect(downstream.Get(), nullptr), S_OK);
  downstream->wanted = 100;  // never reached: the device goes after 3
  ASSERT_EQ(filter->Pause(), S_OK);
  ASSERT_EQ(filter->Run(0), S_OK);
  ASSERT_TRUE(graph.WaitFor(1));
  ComPtr<IUnknown> identity = Query<IUnknown>(filter.Get(), IID_IUnknown);
  EXPECT_EQ(graph.Events()[0].param1, reinterpret_cast<LONG_PTR>(identity.Get()));
  EXPECT_EQ(graph.Events()[0].param2, 0);
  EXPECT_EQ(downstream->Samples().size(), 3u);

  // The removed filter stops, and cannot run again; the replug's event
  // reaches its graph all the same.
  EXPECT_EQ(filter->Stop(), S_OK);
  EXPECT_EQ(filter->Pause(), kDeviceNotConnected);
  EXPECT_EQ(filter->Run(0), kDeviceNotConnected);
  EXPECT_EQ(filter->Stop(), S_OK);
  ASSERT_TRUE(graph.WaitFor(2));
  EXPECT_EQ(graph.Events()[1].param1, reinterpret_cast<LONG_PTR>(identity.Get()));
  EXPECT_EQ(graph.Events()[1].param2, 1);
  EXPECT_EQ(filter->Pause(), kDeviceNotConnected);
  EXPECT_EQ(filter->JoinFilterGraph(nullptr, nullptr), S_OK);

  // A new filter after the replug streams.
  WriteSettingsText(Settings("", ""));
  ComPtr<IBaseFilter> next = CreateFilter();
  ASSERT_TRUE(next);
  EXPECT_EQ(next->Pause(), S_OK);
  EXPECT_EQ(next->Stop(), S_OK);
  identity.Reset();
}

TEST_F(DeviceEventsTest, AnExclusiveDeviceRefusesASecondFilterUntilTheFirstStops) {
  struct Case {
    const char* main;
    HRESULT second;  // the second filter's Pause while the first runs
  };
  const Case cases[] = {
      {"exclusive=1\r\n", kDeviceInUse},
      {"exclusive=0\r\n", S_OK},
      {"", S_OK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.main);
    WriteSettingsText(Settings(c.main, ""));
    ComPtr<IBaseFilter> first = CreateFilter();
    ComPtr<IBaseFilter> second = CreateFilter();
    ASSERT_TRUE(first && second);
    ASSERT_EQ(first->Pause(), S_OK);
    ASSERT_EQ(first->Run(0), S_OK);
    EXPECT_EQ(second->Pause(), c.second);
    EXPECT_EQ(second->Stop(), S_OK);
    EXPECT_EQ(first->Pause(), S_OK);  // paused from running: the claim stays
    EXPECT_EQ(second->Pause(), c.second);
    EXPECT_EQ(first->Stop(), S_OK);
    EXPECT_EQ(second->Pause(), S_OK);
    EXPECT_EQ(second->Stop(), S_OK);
  }
}

}  // namespace
