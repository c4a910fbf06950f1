// Helpers of the graph tests: the platform's filters by class id, waiting for
// graph events with a time limit, a watchdog that fails the program instead of
// letting a hang run into the test runner's time-out, and process resource
// counters for leak checks.
#pragma once

#include "tests/framework/graph/ref_count.h"

#include <dshow.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// The platform's sample grabber and null renderer (qedit.dll); their class ids
// are not in every SDK's headers.
extern const CLSID kClsidSampleGrabber;
extern const CLSID kClsidNullRenderer;

// Time limits for waits that should end at once; reaching one is a failure,
// not a measurement.
constexpr DWORD kEventWaitMs = 10000;
constexpr DWORD kSampleWaitMs = 10000;

// Ends the whole program with a failure message when Disarm is not called
// within the limit. Guards calls that could otherwise hang forever (a stop
// that never returns), so a hang shows up as a failure naming the step.
class Watchdog {
 public:
  // describe, when given, adds the state of the hung parts to the message.
  Watchdog(const char* what, unsigned seconds, std::function<std::string()> describe = {});
  ~Watchdog();
  void Disarm();

 private:
  std::string m_what;
  std::function<std::string()> m_describe;
  std::mutex m_mutex;
  std::condition_variable m_done;
  bool m_disarmed = false;
  std::thread m_thread;
};

// Runs fn under a watchdog of the given limit.
template <typename Fn>
auto Bounded(const char* what, unsigned seconds, Fn&& fn) {
  Watchdog dog(what, seconds);
  return fn();
}

struct GraphEvent {
  bool found = false;
  LONG_PTR param1 = 0;
  LONG_PTR param2 = 0;
};

// Takes events off the graph's queue until one with the given code arrives or
// the time limit passes. Events of other codes are discarded (their codes are
// kept in *others when given).
GraphEvent WaitForGraphEvent(IMediaEvent* events, long code, DWORD timeoutMs,
                             std::string* others = nullptr);

// Empties the graph's event queue.
void DrainGraphEvents(IMediaEvent* events);

// Process-wide resource counts for leak checks.
struct ProcessResources {
  DWORD handles = 0;
  SIZE_T privateBytes = 0;
  static ProcessResources Now();
};

// A filter graph manager with its control and event faces.
struct Graph {
  ComPtr<IGraphBuilder> builder;
  ComPtr<IMediaControl> control;
  ComPtr<IMediaEvent> events;
  ComPtr<IMediaFilter> mediaFilter;

  // Creates CLSID_FilterGraph; false on failure.
  bool Create();
};

// Creates a platform filter by class id.
HRESULT CreateFilter(const CLSID& clsid, ComPtr<IBaseFilter>& out);

// The first pin of the given direction, with a reference.
ComPtr<IPin> FindPinByDirection(IBaseFilter* filter, PIN_DIRECTION dir);

// Adds the source filter and a new null renderer (its reference in renderer)
// to the graph and connects sourcePin straight to the renderer's input: S_OK,
// or the failure of the first step that did not give S_OK.
HRESULT ConnectToNullRenderer(Graph& graph, IBaseFilter* source, IPin* sourcePin,
                              ComPtr<IBaseFilter>& renderer);

// Runs IMediaControl state changes and waits (bounded) until the graph has
// reached the state; the state change's own result.
HRESULT ChangeGraphState(IMediaControl* control, FILTER_STATE target);

// COM apartment of the test program: initialised before any test runs.
void EnsureComInitialised();
