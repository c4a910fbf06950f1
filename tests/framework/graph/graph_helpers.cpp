#include "tests/framework/graph/graph_helpers.h"

#include <psapi.h>

#include <chrono>
#include <cstdio>

#include <gtest/gtest.h>

const CLSID kClsidSampleGrabber = {
    0xc1f400a0, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};
const CLSID kClsidNullRenderer = {
    0xc1f400a4, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};

namespace {

// Every test program initialises COM once for its main thread, in the
// multithreaded apartment (the graph tests wait on events from the test
// thread while the platform's and our worker threads call in).
class ComEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { EnsureComInitialised(); }
  void TearDown() override {
    if (m_initialised)
      CoUninitialize();
  }
  bool m_initialised = false;
};

ComEnvironment* g_comEnvironment =
    static_cast<ComEnvironment*>(::testing::AddGlobalTestEnvironment(new ComEnvironment));

}  // namespace

void EnsureComInitialised() {
  if (g_comEnvironment->m_initialised)
    return;
  g_comEnvironment->m_initialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
}

Watchdog::Watchdog(const char* what, unsigned seconds, std::function<std::string()> describe)
    : m_what(what), m_describe(std::move(describe)) {
  m_thread = std::thread([this, seconds] {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_done.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_disarmed; }))
      return;
    std::fprintf(stderr, "\nFAILED: '%s' did not finish within %u s (hang)\n", m_what.c_str(),
                 seconds);
    if (m_describe)
      std::fprintf(stderr, "state: %s\n", m_describe().c_str());
    std::fflush(stderr);
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 3);
  });
}

Watchdog::~Watchdog() {
  Disarm();
  m_thread.join();
}

void Watchdog::Disarm() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_disarmed = true;
  m_done.notify_all();
}

GraphEvent WaitForGraphEvent(IMediaEvent* events, long code, DWORD timeoutMs, std::string* others) {
  GraphEvent result;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline)
      return result;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
    long got = 0;
    LONG_PTR p1 = 0;
    LONG_PTR p2 = 0;
    const HRESULT hr = events->GetEvent(&got, &p1, &p2, static_cast<long>(left));
    if (FAILED(hr)) {
      if (hr != E_ABORT && others)
        *others += "GetEvent failed " + std::to_string(hr);
      if (hr != E_ABORT)
        return result;
      continue;  // time-out: the loop ends at the deadline
    }
    if (got == code) {
      result.found = true;
      result.param1 = p1;
      result.param2 = p2;
      events->FreeEventParams(got, p1, p2);
      return result;
    }
    if (others)
      *others += std::to_string(got) + " ";
    events->FreeEventParams(got, p1, p2);
  }
}

void DrainGraphEvents(IMediaEvent* events) {
  long code = 0;
  LONG_PTR p1 = 0;
  LONG_PTR p2 = 0;
  while (events->GetEvent(&code, &p1, &p2, 0) == S_OK)
    events->FreeEventParams(code, p1, p2);
}

namespace {

// Counts the process's open handles by probing every handle value in use.
// Wine answers GetProcessHandleCount with 0; its handle values are small
// multiples of 4, handed out lowest first.
DWORD ProbeOpenHandles() {
  DWORD count = 0;
  for (uintptr_t value = 4; value < 0x40000; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
      ++count;
  }
  return count;
}

}  // namespace

ProcessResources ProcessResources::Now() {
  ProcessResources r;
  if (!GetProcessHandleCount(GetCurrentProcess(), &r.handles) || r.handles == 0)
    r.handles = ProbeOpenHandles();
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof(counters);
  if (GetProcessMemoryInfo(GetCurrentProcess(),
                           reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                           sizeof(counters))) {
    r.privateBytes = counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
  }
  return r;
}

bool Graph::Create() {
  if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                              builder.PutVoid())))
    return false;
  // (the control.h interfaces carry no __uuidof in every SDK)
  return SUCCEEDED(builder->QueryInterface(IID_IMediaControl, control.PutVoid())) &&
         SUCCEEDED(builder->QueryInterface(IID_IMediaEvent, events.PutVoid())) &&
         SUCCEEDED(builder->QueryInterface(IID_IMediaFilter, mediaFilter.PutVoid()));
}

HRESULT CreateFilter(const CLSID& clsid, ComPtr<IBaseFilter>& out) {
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, out.PutVoid());
}

HRESULT ConnectToNullRenderer(Graph& graph, IBaseFilter* source, IPin* sourcePin,
                              ComPtr<IBaseFilter>& renderer) {
  auto step = [](HRESULT hr) { return hr == S_OK ? S_OK : (FAILED(hr) ? hr : E_FAIL); };
  HRESULT hr = step(CreateFilter(kClsidNullRenderer, renderer));
  if (hr != S_OK)
    return hr;
  if ((hr = step(graph.builder->AddFilter(source, L"source"))) != S_OK)
    return hr;
  if ((hr = step(graph.builder->AddFilter(renderer.Get(), L"renderer"))) != S_OK)
    return hr;
  ComPtr<IPin> rendererIn = FindPinByDirection(renderer.Get(), PINDIR_INPUT);
  if (!rendererIn)
    return E_FAIL;
  return step(graph.builder->ConnectDirect(sourcePin, rendererIn.Get(), nullptr));
}

ComPtr<IPin> FindPinByDirection(IBaseFilter* filter, PIN_DIRECTION dir) {
  ComPtr<IEnumPins> pins;
  if (FAILED(filter->EnumPins(pins.Put())))
    return {};
  for (;;) {
    ComPtr<IPin> pin;
    if (pins->Next(1, pin.Put(), nullptr) != S_OK)
      return {};
    PIN_DIRECTION d;
    if (SUCCEEDED(pin->QueryDirection(&d)) && d == dir)
      return pin;
  }
}

HRESULT ChangeGraphState(IMediaControl* control, FILTER_STATE target) {
  // Running is reached through a completed pause. Wine 8's graph, asked to
  // run straight from stopped, finishes the run in the background; a stop
  // soon after and the graph's final release then sometimes never return
  // (seen with the platform's own null renderer after every filter had
  // stopped). Applications that pause first do not meet it.
  if (target == State_Running) {
    OAFilterState current = State_Stopped;
    if (FAILED(control->GetState(0, &current)) || current == State_Stopped) {
      const HRESULT paused = ChangeGraphState(control, State_Paused);
      if (FAILED(paused))
        return paused;
    }
  }
  HRESULT hr = E_INVALIDARG;
  switch (target) {
    case State_Stopped:
      hr = control->Stop();
      break;
    case State_Paused:
      hr = control->Pause();
      break;
    case State_Running:
      hr = control->Run();
      break;
  }
  if (hr == S_FALSE) {
    OAFilterState state;
    hr = control->GetState(static_cast<LONG>(kEventWaitMs), &state);
  }
  return hr;
}
