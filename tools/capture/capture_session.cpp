#include "tools/capture/capture_session.h"

#include <control.h>
#include <amvideo.h>
#include <dvdmedia.h>
#include <evcode.h>
#include <qedit.h>
#include <uuids.h>

#include <algorithm>
#include <cmath>
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include "tools/capture/devices.h"
#include "tools/capture/frame_image.h"
#include "tools/capture/utf8_files.h"

namespace zdcap {
namespace {

// The sample grabber and the null renderer of the editing services
// (qedit.dll); the headers declare their interfaces but not the classes.
const CLSID kSampleGrabberClsid = {
    0xC1F400A0, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
const CLSID kNullRendererClsid = {
    0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

constexpr long kSampleCallback = 0;  // ISampleGrabber::SetCallback: call SampleCB
// How long a run waits, after its last collected sample, for the next one
// (SettleDelivery): this many frame intervals, and at least this long.
constexpr double kSettleIntervals = 4.0;
constexpr double kSettleMinMs = 1000.0;
// How long IMediaControl::GetState may wait for the outcome of a Run that
// answered S_FALSE.
constexpr LONG kRunOutcomeWaitMs = 5000;

double NowMs() {
  static const double frequency = [] {
    LARGE_INTEGER value;
    QueryPerformanceFrequency(&value);
    return static_cast<double>(value.QuadPart);
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * 1000.0 / frequency;
}

double ProcessCpuSeconds() {
  FILETIME creation, exit, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user))
    return 0.0;
  auto ticks = [](const FILETIME& t) {
    return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
  };
  return (ticks(kernel) + ticks(user)) / 1.0e7;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Receives every sample on the graph's streaming thread: stamps its arrival,
// keeps its times and length, and copies or writes its bytes when asked to.
class GrabberSink final : public ISampleGrabberCB {
 public:
  struct Settings {
    int64_t max_frames = 0;    // 0: no limit
    int snapshot_frame = -2;   // -2: none, -1: the last frame
    std::string dump_dir;      // one file per frame when not empty
    std::FILE* raw = nullptr;  // all frames into one file when set (not owned)
    bool verify = false;       // read every sample's frame code
  };

  // done is set when the frame count is reached; followed when a sample
  // arrives after the collection ended.
  GrabberSink(const Settings& settings, HANDLE done, HANDLE followed)
      : m_settings(settings), m_done(done), m_followed(followed) {
    if (settings.max_frames > 0)
      m_frames.reserve(static_cast<size_t>(settings.max_frames));
  }

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out)
      return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISampleGrabberCB)) {
      *out = static_cast<ISampleGrabberCB*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG refs = --m_refs;
    if (refs == 0)
      delete this;
    return refs;
  }

  // ISampleGrabberCB: runs on the streaming thread. No exception leaves it:
  // running out of memory stops the collection and is reported.
  STDMETHODIMP SampleCB(double, IMediaSample* sample) override {
    const double arrival = NowMs();
    if (!sample)
      return S_OK;
    std::lock_guard<std::mutex> lock(m_lock);
    try {
      Collect(sample, arrival);
    } catch (...) {
      m_collecting = false;
      m_outOfMemory = true;
      SetEvent(m_done);
    }
    return S_OK;
  }
  STDMETHODIMP BufferCB(double, BYTE*, long) override { return E_NOTIMPL; }

  // The connected type, before the graph runs: what --verify reads samples as.
  void SetFormat(const Capability& format) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_format = format;
    if (m_settings.verify && m_settings.max_frames > 0)
      m_codes.reserve(static_cast<size_t>(m_settings.max_frames));
  }

  // Stops collecting: samples after this are ignored.
  void Close() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_collecting = false;
  }
  // Results, read after Close().
  std::vector<FrameRecord> Frames() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_frames;
  }
  std::vector<SampleCode> Codes() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_codes;
  }
  std::vector<uint8_t> Snapshot() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_snapshot;
  }
  // Samples collected so far.
  int64_t Count() {
    std::lock_guard<std::mutex> lock(m_lock);
    return static_cast<int64_t>(m_frames.size());
  }
  std::string WriteError() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_outOfMemory ? "out of memory while keeping the frames" : m_writeError;
  }

 private:
  ~GrabberSink() = default;

  // Holds m_lock. A sample after the collection is not kept; its arrival
  // tells that the source's delivery of every collected sample returned.
  void Collect(IMediaSample* sample, double arrival) {
    if (!m_collecting) {
      SetEvent(m_followed);
      return;
    }
    FrameRecord record;
    record.arrival_ms = arrival;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    const HRESULT times = sample->GetTime(&start, &stop);
    record.has_start = SUCCEEDED(times);
    record.has_stop = times == S_OK;
    record.start = start;
    record.stop = stop;
    record.length = sample->GetActualDataLength();
    const int64_t index = static_cast<int64_t>(m_frames.size());
    m_frames.push_back(record);
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || record.length <= 0)
      data = nullptr;
    if (m_settings.verify) {
      SampleCode code =
          data ? ReadSampleCode(data, static_cast<size_t>(record.length), m_format) : SampleCode();
      code.partial = code.partial || record.length == 0;
      code.has_start = record.has_start;
      code.start = record.start;
      m_codes.push_back(code);
    }
    if (data)
      Keep(index, data, record.length);
    if (m_settings.max_frames > 0 && index + 1 >= m_settings.max_frames) {
      m_collecting = false;
      SetEvent(m_done);
    }
  }

  // Holds m_lock.
  void Keep(int64_t index, const BYTE* data, int64_t length) {
    const size_t size = static_cast<size_t>(length);
    if (m_settings.snapshot_frame == -1 || m_settings.snapshot_frame == index)
      m_snapshot.assign(data, data + size);
    if (!m_settings.dump_dir.empty()) {
      char name[32];
      std::snprintf(name, sizeof name, "/frame_%05lld.raw", static_cast<long long>(index));
      const std::string path = m_settings.dump_dir + name;
      if (!WriteFileBytes(path, data, size) && m_writeError.empty())
        m_writeError = "cannot write " + path;
    }
    if (m_settings.raw && std::fwrite(data, 1, size, m_settings.raw) != size &&
        m_writeError.empty())
      m_writeError = "cannot write the raw frame file";
  }

  std::atomic<ULONG> m_refs{1};
  const Settings m_settings;
  const HANDLE m_done;
  const HANDLE m_followed;
  std::mutex m_lock;
  bool m_collecting = true;
  bool m_outOfMemory = false;
  std::vector<FrameRecord> m_frames;
  Capability m_format;
  std::vector<SampleCode> m_codes;
  std::vector<uint8_t> m_snapshot;
  std::string m_writeError;
};

HRESULT FindStreamConfig(ICaptureGraphBuilder2* builder, IBaseFilter* source,
                         ComPtr<IAMStreamConfig>* config) {
  return builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source,
                                IID_IAMStreamConfig, config->PutVoid());
}

// The capture pin's own counts, after the run (they stay readable after Stop).
SourceCounts ReadSourceCounts(ICaptureGraphBuilder2* builder, IBaseFilter* source) {
  SourceCounts counts;
  ComPtr<IAMDroppedFrames> dropped;
  if (FAILED(builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source,
                                    IID_IAMDroppedFrames, dropped.PutVoid())) ||
      !dropped)
    return counts;
  long value = 0;
  if (FAILED(dropped->GetNumDropped(&value)))
    return counts;
  counts.available = true;
  counts.dropped = value;
  if (SUCCEEDED(dropped->GetNumNotDropped(&value)))
    counts.not_dropped = value;
  if (SUCCEEDED(dropped->GetAverageFrameSize(&value)))
    counts.average_frame_size = value;
  std::vector<long> frames(kDroppedFramesAsked, 0);
  long copied = 0;
  if (SUCCEEDED(dropped->GetDroppedInfo(kDroppedFramesAsked, frames.data(), &copied))) {
    for (long i = 0; i < copied && i < kDroppedFramesAsked; ++i)
      counts.dropped_frames.push_back(frames[size_t(i)]);
  }
  return counts;
}

// The samples whose frame code was read, with their arrival (codes and
// frames were kept together, one of each per sample).
std::vector<CodedArrival> CodedArrivals(const std::vector<SampleCode>& codes,
                                        const std::vector<FrameRecord>& frames) {
  std::vector<CodedArrival> out;
  for (size_t i = 0; i < codes.size() && i < frames.size(); ++i) {
    const SampleCode& code = codes[i];
    if (code.partial) {
      CodedArrival a;
      a.partial = true;
      a.arrival_ms = frames[i].arrival_ms;
      out.push_back(a);
      continue;
    }
    if (code.frame.status != FrameCodeStatus::kDecoded)
      continue;
    CodedArrival a;
    a.frame = code.frame.payload.frame_number;
    a.drops = code.frame.payload.drop_count;
    a.code_time = code.frame.payload.sample_time;
    a.has_start = code.has_start;
    a.start = code.start;
    a.arrival_ms = frames[i].arrival_ms;
    out.push_back(a);
  }
  return out;
}

struct Graph {
  ComPtr<IGraphBuilder> graph;
  ComPtr<ICaptureGraphBuilder2> builder;
};

HRESULT MakeGraph(IBaseFilter* source, Graph* g) {
  HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                g->graph.PutVoid());
  if (FAILED(hr))
    return hr;
  hr = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                        IID_ICaptureGraphBuilder2, g->builder.PutVoid());
  if (FAILED(hr))
    return hr;
  hr = g->builder->SetFiltergraph(g->graph.Get());
  if (FAILED(hr))
    return hr;
  return g->graph->AddFilter(source, L"Video capture source");
}

// Size of one frame of the connected type: the sample size, or the bitmap's.
int64_t FrameBytes(const AM_MEDIA_TYPE& type) {
  if (type.lSampleSize > 0)
    return type.lSampleSize;
  const BITMAPINFOHEADER* header = nullptr;
  if (IsEqualGUID(type.formattype, FORMAT_VideoInfo) && type.cbFormat >= sizeof(VIDEOINFOHEADER))
    header = &reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader;
  if (IsEqualGUID(type.formattype, FORMAT_VideoInfo2) && type.cbFormat >= sizeof(VIDEOINFOHEADER2))
    header = &reinterpret_cast<const VIDEOINFOHEADER2*>(type.pbFormat)->bmiHeader;
  return header ? header->biSizeImage : 0;
}

std::string EventName(long code) {
  switch (code) {
    case EC_ERRORABORT:
      return "EC_ERRORABORT";
    case EC_STREAM_ERROR_STOPPED:
      return "EC_STREAM_ERROR_STOPPED";
    case EC_ERROR_STILLPLAYING:
      return "EC_ERROR_STILLPLAYING";
    case EC_DEVICE_LOST:
      return "EC_DEVICE_LOST";
    default:
      return "event " + std::to_string(code);
  }
}

// What a step of the session ends with: kExitOk, or the exit code and what failed.
struct StepResult {
  int code = kExitOk;
  std::string error;
  bool ok() const { return code == kExitOk; }
};

StepResult Done() {
  return {};
}

StepResult Failure(int code, const std::string& error) {
  return {code, error};
}

StepResult Failure(int code, const std::string& what, HRESULT hr) {
  return {code, what + " (" + HresultText(hr) + ")"};
}

// Everything one capture holds, released in reverse order.
struct Session {
  ComPtr<IBaseFilter> source;  // the device's filter; a new one after each return
  Graph g;
  ComPtr<IBaseFilter> grabber_filter;
  ComPtr<IBaseFilter> null_renderer;
  ComPtr<ISampleGrabber> grabber;
  UniqueHandle done;      // the event that ends a run by frame count
  UniqueHandle followed;  // a sample arrived after the collection ended
  FilePtr raw;
  ComPtr<GrabberSink> sink;
  int selected = -1;                      // the capability chosen, when one was
  double started_ms = 0.0;                // when the graph first ran
  std::vector<size_t> segment_starts{0};  // the first sample of each graph's stream
};

bool WantsFormat(const CaptureOptions& options) {
  return options.cap >= 0 || options.width > 0 || !options.format.empty() || options.fps > 0.0;
}

// The capability asked for by number, or else the first that matches the
// requested size, format and rate.
StepResult ChooseCapability(const std::vector<Capability>& caps, const CaptureOptions& options,
                            int* index) {
  *index = options.cap;
  if (*index >= static_cast<int>(caps.size())) {
    return Failure(kExitFormat, "there is no capability " + std::to_string(*index) +
                                    ": the device has " + std::to_string(caps.size()) +
                                    " (see --list-caps)");
  }
  if (*index < 0) {
    *index = MatchCapability(caps, options.width, options.height, options.format, options.fps);
    if (*index < 0) {
      return Failure(kExitFormat,
                     "no capability matches the requested size, format and rate (see --list-caps)");
    }
  }
  return Done();
}

// Format selection, before anything is connected; nothing when none is asked for.
StepResult SelectFormat(Session& s, IBaseFilter* source, const CaptureOptions& options) {
  if (!WantsFormat(options))
    return Done();
  ComPtr<IAMStreamConfig> config;
  HRESULT hr = FindStreamConfig(s.g.builder.Get(), source, &config);
  if (FAILED(hr))
    return Failure(kExitFormat, "the capture pin has no IAMStreamConfig", hr);
  std::vector<Capability> caps;
  hr = ReadCapabilities(config.Get(), &caps);
  if (FAILED(hr))
    return Failure(kExitFormat, "cannot read the capabilities", hr);
  int index = -1;
  const StepResult chosen = ChooseCapability(caps, options, &index);
  if (!chosen.ok())
    return chosen;
  s.selected = index;
  hr = SelectCapability(config.Get(), index);
  if (FAILED(hr))
    return Failure(kExitFormat, "SetFormat of capability " + std::to_string(index) + " failed", hr);
  return Done();
}

// The sample grabber, accepting any video, and the null renderer behind it.
StepResult CreateRenderers(Session& s) {
  HRESULT hr = CoCreateInstance(kSampleGrabberClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                s.grabber_filter.PutVoid());
  if (FAILED(hr))
    return Failure(kExitGraph, "cannot create the sample grabber", hr);
  hr = CoCreateInstance(kNullRendererClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                        s.null_renderer.PutVoid());
  if (FAILED(hr))
    return Failure(kExitGraph, "cannot create the null renderer", hr);
  hr = s.grabber_filter.As(IID_ISampleGrabber, &s.grabber);
  if (FAILED(hr))
    return Failure(kExitGraph, "the sample grabber has no ISampleGrabber", hr);
  AM_MEDIA_TYPE accept{};
  accept.majortype = MEDIATYPE_Video;  // any video subtype and layout
  s.grabber->SetMediaType(&accept);
  s.grabber->SetBufferSamples(FALSE);
  s.grabber->SetOneShot(FALSE);
  return Done();
}

// The events that end a run by frame count and that tell a sample followed
// it, the raw file and the dump folder.
StepResult OpenOutputs(Session& s, const CaptureOptions& options) {
  s.done.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  s.followed.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!s.done.Get() || !s.followed.Get())
    return Failure(kExitStream, "cannot create an event");
  if (!options.raw_path.empty()) {
    s.raw.reset(OpenFileUtf8(options.raw_path, "wb"));
    if (!s.raw)
      return Failure(kExitOutput, "cannot create " + options.raw_path);
  }
  if (!options.dump_dir.empty() && !CreateFolderUtf8(options.dump_dir))
    return Failure(kExitOutput, "cannot create the folder " + options.dump_dir);
  return Done();
}

// The callback that collects every sample, installed in the grabber (made
// once, for every graph of the run).
StepResult AttachSink(Session& s, const CaptureOptions& options) {
  if (!s.sink) {
    GrabberSink::Settings settings;
    settings.max_frames = options.frames;
    settings.snapshot_frame = options.snapshot.empty() ? -2 : options.snapshot_frame;
    settings.dump_dir = options.dump_dir;
    settings.raw = s.raw.get();
    settings.verify = options.verify;
    s.sink.Attach(new GrabberSink(settings, s.done.Get(), s.followed.Get()));
  }
  const HRESULT hr = s.grabber->SetCallback(s.sink.Get(), kSampleCallback);
  if (FAILED(hr))
    return Failure(kExitGraph, "ISampleGrabber::SetCallback failed", hr);
  return Done();
}

// Renders the capture pin through the grabber into the null renderer and
// records the connected format.
StepResult Connect(Session& s, IBaseFilter* source, CaptureReport* report) {
  HRESULT hr = s.g.graph->AddFilter(s.grabber_filter.Get(), L"Sample grabber");
  if (SUCCEEDED(hr))
    hr = s.g.graph->AddFilter(s.null_renderer.Get(), L"Null renderer");
  if (FAILED(hr))
    return Failure(kExitGraph, "cannot add the sample grabber and null renderer", hr);
  hr = s.g.builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source,
                                 s.grabber_filter.Get(), s.null_renderer.Get());
  if (FAILED(hr))
    return Failure(kExitGraph, "ICaptureGraphBuilder2::RenderStream failed", hr);
  CMediaType connected;
  hr = s.grabber->GetConnectedMediaType(&connected);
  if (FAILED(hr) || !DescribeMediaType(connected, &report->format))
    return Failure(kExitGraph, "the connected media type is not a video type", hr);
  report->sample_bytes = FrameBytes(connected);
  report->variable_size = !connected.bFixedSizeSamples;
  s.sink->SetFormat(report->format);
  return Done();
}

// With --no-clock the graph runs without a reference clock.
StepResult ChooseClock(Session& s, const CaptureOptions& options, CaptureReport* report) {
  if (options.no_clock) {
    ComPtr<IMediaFilter> graph_filter;
    HRESULT hr = s.g.graph.As(IID_IMediaFilter, &graph_filter);
    if (SUCCEEDED(hr))
      hr = graph_filter->SetSyncSource(nullptr);
    if (FAILED(hr))
      return Failure(kExitGraph, "cannot run the graph without a clock", hr);
  }
  report->graph_clock = !options.no_clock;
  return Done();
}

// The run's time limit in seconds. A frame count without a time gets a
// generous limit so that a stalled source cannot hang the host.
double TimeLimitSeconds(const CaptureOptions& options, const CaptureReport& report) {
  if (options.seconds > 0.0)
    return options.seconds;
  const double frame_ms = static_cast<double>(report.format.frame_time) / 10000.0;
  return std::max(10.0, 3.0 * static_cast<double>(options.frames) * frame_ms / 1000.0 + 10.0);
}

enum class WaitEnd { kSignalled, kTimeUp, kGraphEvent, kDeviceRemoved, kDeviceAvailable };

// EC_DEVICE_LOST as it arrives: told on the error stream at once (the report
// on standard output comes at the end) and kept for the report.
WaitEnd TakeDeviceEvent(Session& s, LONG_PTR available, CaptureReport* report) {
  DeviceEvent event;
  event.available = available != 0;
  event.frames = s.sink->Count();
  event.seconds = (NowMs() - s.started_ms) / 1000.0;
  report->device_events.push_back(event);
  std::fprintf(stderr, "zd-capture: EC_DEVICE_LOST: the device was %s (%lld frames, %.3f s)\n",
               event.available ? "plugged in again" : "removed",
               static_cast<long long>(event.frames), event.seconds);
  std::fflush(stderr);
  return event.available ? WaitEnd::kDeviceAvailable : WaitEnd::kDeviceRemoved;
}

// Takes the graph's pending events, up to the first that ends the wait: the
// source ended the stream, the graph reports an error, or the device was
// removed or came back. kSignalled when none did.
WaitEnd TakeEvents(Session& s, IMediaEventEx* events, CaptureReport* report) {
  long code = 0;
  LONG_PTR param1 = 0;
  LONG_PTR param2 = 0;
  while (events->GetEvent(&code, &param1, &param2, 0) == S_OK) {
    events->FreeEventParams(code, param1, param2);
    if (code == EC_COMPLETE) {
      report->ended_early = true;
      return WaitEnd::kGraphEvent;
    }
    if (code == EC_DEVICE_LOST)
      return TakeDeviceEvent(s, param2, report);
    if (code == EC_ERRORABORT || code == EC_STREAM_ERROR_STOPPED || code == EC_ERROR_STILLPLAYING) {
      report->stream_error =
          EventName(code) + " (" + HresultText(static_cast<HRESULT>(param1)) + ")";
      return WaitEnd::kGraphEvent;
    }
  }
  return WaitEnd::kSignalled;
}

// Waits, dispatching window messages and taking the graph's events, until
// the handle (when given) is set, the clock reaches until_ms or an event ends
// the wait.
WaitEnd WaitDispatching(Session& s, HANDLE handle, IMediaEventEx* events, double until_ms,
                        CaptureReport* report) {
  for (;;) {
    const double left = until_ms - NowMs();
    if (left <= 0.0)
      return WaitEnd::kTimeUp;
    const DWORD wait = static_cast<DWORD>(std::min(20.0, left) + 1.0);
    HANDLE handles[1] = {handle};
    const DWORD count = handle ? 1 : 0;  // no handle: messages and events only
    const DWORD woke = MsgWaitForMultipleObjects(count, handles, FALSE, wait, QS_ALLINPUT);
    if (handle && woke == WAIT_OBJECT_0)
      return WaitEnd::kSignalled;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
      DispatchMessageW(&message);
    const WaitEnd event = TakeEvents(s, events, report);
    if (event != WaitEnd::kSignalled)
      return event;
  }
}

// After the collection ended, waits for one more sample before the graph is
// stopped: the source delivers one sample at a time and hands on the next
// only when the renderer's Receive of the one before has returned, so its
// arrival settles every collected sample's delivery and the source's counts
// hold them all. Stopping the graph at once would catch the last collected
// sample between the grabber and the renderer, which refuses it when stopped
// (and the source rightly counts a refused sample as not delivered). Returns
// how many collected samples may still have been on their way when the graph
// stopped: 0, or 1 when neither a sample nor the end of the stream came in
// time (the grabber hands each sample straight to the renderer, so at most
// one is between them).
int64_t SettleDelivery(Session& s, IMediaEventEx* events, WaitEnd run_end, CaptureReport* report) {
  if (run_end != WaitEnd::kSignalled && run_end != WaitEnd::kTimeUp)
    return 0;  // the stream ended: nothing is being delivered
  const double frame_ms = static_cast<double>(report->format.frame_time) / 10000.0;
  const double limit_ms = std::max(kSettleMinMs, kSettleIntervals * frame_ms);
  const WaitEnd end = WaitDispatching(s, s.followed.Get(), events, NowMs() + limit_ms, report);
  return end == WaitEnd::kTimeUp ? 1 : 0;
}

// IMediaControl::Run and its outcome: a graph that answers S_FALSE (its
// filters still changing state, as Wine's graph answers) tells through
// GetState whether the change succeeded, within a few seconds.
// When the graph could not run and the source stayed stopped, the source's
// own answer to Pause is the reason (Wine's graph, having gone on without
// waiting for it, tells only E_FAIL); the source is stopped again at once.
HRESULT RunControl(IMediaControl* control, IBaseFilter* source) {
  HRESULT hr = control->Run();
  if (hr == S_FALSE) {
    OAFilterState state = State_Stopped;
    hr = control->GetState(kRunOutcomeWaitMs, &state);
  }
  FILTER_STATE source_state = State_Running;
  if (SUCCEEDED(hr) || FAILED(source->GetState(0, &source_state)) || source_state != State_Stopped)
    return hr;
  const HRESULT reason = source->Pause();
  source->Stop();
  return FAILED(reason) ? reason : hr;
}

// The graph's control and event faces.
StepResult GraphControls(Session& s, ComPtr<IMediaControl>* control,
                         ComPtr<IMediaEventEx>* events) {
  HRESULT hr = s.g.graph.As(IID_IMediaControl, control);
  if (SUCCEEDED(hr))
    hr = s.g.graph.As(IID_IMediaEventEx, events);
  if (FAILED(hr))
    return Failure(kExitGraph, "the filter graph lacks IMediaControl or IMediaEventEx", hr);
  return Done();
}

StepResult BuildGraph(Session& s, const CaptureOptions& options, CaptureReport* report);

// --reconnect, after the device was removed: the old graph stopped, the
// wait for its return (on the old graph's events, where it comes), then a
// new filter in a new graph, run. kExitOk with end kDeviceRemoved when the
// time ran out first.
StepResult Reconnect(Session& s, const CaptureOptions& options, double until_ms,
                     ComPtr<IMediaControl>* control, ComPtr<IMediaEventEx>* events,
                     CaptureReport* report, WaitEnd* end) {
  (*control)->Stop();
  // Other events of the stopped graph (an end of stream the stop let
  // through) do not end the wait.
  do {
    *end = WaitDispatching(s, nullptr, events->Get(), until_ms, report);
    if (*end == WaitEnd::kTimeUp) {
      *end = WaitEnd::kDeviceRemoved;  // still gone when the run ended
      return Done();
    }
  } while (*end != WaitEnd::kDeviceAvailable);
  s.grabber->SetCallback(nullptr, kSampleCallback);
  control->Reset();
  events->Reset();
  s.grabber.Reset();
  s.null_renderer.Reset();
  s.grabber_filter.Reset();
  s.g = Graph();
  s.source.Reset();
  HRESULT hr = OpenVideoDevice(options.device, &s.source);
  if (FAILED(hr) || !s.source)
    return Failure(kExitNoDevice, "cannot open '" + options.device + "' again", hr);
  StepResult step = BuildGraph(s, options, report);
  if (!step.ok())
    return step;
  step = GraphControls(s, control, events);
  if (!step.ok())
    return step;
  s.segment_starts.push_back(static_cast<size_t>(s.sink->Count()));
  ++report->reconnects;
  hr = RunControl(control->Get(), s.source.Get());
  if (FAILED(hr)) {
    (*control)->Stop();
    return Failure(kExitStream, "IMediaControl::Run of the rebuilt graph failed", hr);
  }
  *end = WaitEnd::kSignalled;
  return Done();
}

// Runs the graph until the run ends, stops it and measures the run's wall
// and processor time. With --reconnect a removed device's return builds the
// graph anew, and the run goes on.
StepResult RunGraph(Session& s, const CaptureOptions& options, CaptureReport* report) {
  ComPtr<IMediaControl> control;
  ComPtr<IMediaEventEx> events;
  StepResult step = GraphControls(s, &control, &events);
  if (!step.ok())
    return step;

  const double limit_s = TimeLimitSeconds(options, *report);
  const double cpu_before = ProcessCpuSeconds();
  const double started = NowMs();
  const double until_ms = started + limit_s * 1000.0;
  s.started_ms = started;
  HRESULT hr = RunControl(control.Get(), s.source.Get());
  if (FAILED(hr)) {
    control->Stop();
    return Failure(kExitStream, "IMediaControl::Run failed", hr);
  }
  WaitEnd end = WaitDispatching(s, s.done.Get(), events.Get(), until_ms, report);
  while (end == WaitEnd::kDeviceRemoved && options.reconnect) {
    step = Reconnect(s, options, until_ms, &control, &events, report, &end);
    if (!step.ok())
      return step;
    if (end == WaitEnd::kSignalled)
      end = WaitDispatching(s, s.done.Get(), events.Get(), until_ms, report);
  }
  s.sink->Close();
  report->wall_seconds = (NowMs() - started) / 1000.0;
  report->cpu_seconds = ProcessCpuSeconds() - cpu_before;
  report->in_flight = SettleDelivery(s, events.Get(), end, report);
  control->Stop();
  s.grabber->SetCallback(nullptr, kSampleCallback);
  return Done();
}

// The report's checks and figures over the frames that arrived.
void Summarise(const std::vector<FrameRecord>& frames, CaptureReport* report) {
  SYSTEM_INFO system{};
  GetSystemInfo(&system);
  report->processors = static_cast<int>(system.dwNumberOfProcessors);
  report->frames = static_cast<int64_t>(frames.size());
  for (const FrameRecord& frame : frames) {
    const bool wrong = report->variable_size
                           ? frame.length <= 0 || frame.length > report->sample_bytes
                           : frame.length != report->sample_bytes;
    if (wrong)
      ++report->wrong_size;
    if (frame.length == 0)
      ++report->empty_samples;
    else if (!report->variable_size && frame.length < report->sample_bytes)
      ++report->short_samples;
  }
  report->sizes = SampleSizes(frames);
  report->timestamps = CheckTimestamps(frames, report->format.frame_time);
  report->intervals = ArrivalIntervals(frames);
  report->lateness = ArrivalLateness(frames, report->format.frame_time);
  report->measured_fps = MeasuredRate(frames);
}

// The chosen frame as an upright 24-bit BMP file.
StepResult WriteSnapshot(const std::vector<uint8_t>& bytes, const CaptureOptions& options,
                         CaptureReport* report) {
  if (bytes.empty()) {
    return Failure(kExitOutput, options.snapshot_frame >= 0
                                    ? "frame " + std::to_string(options.snapshot_frame) +
                                          " never arrived: no snapshot"
                                    : "no frame arrived: no snapshot");
  }
  RgbImage image;
  if (!FrameToRgb(bytes.data(), bytes.size(), report->format.width, report->format.height,
                  report->format.format, &image))
    return Failure(kExitOutput,
                   "cannot convert a " + report->format.subtype + " frame into a picture");
  const std::vector<uint8_t> bmp = EncodeBmp24(image);
  if (!WriteFileBytes(options.snapshot, bmp.data(), bmp.size()))
    return Failure(kExitOutput, "cannot write " + options.snapshot);
  report->snapshot = options.snapshot;
  return Done();
}

// Closes the raw file, and reports what could not be written and the snapshot.
StepResult FinishOutputs(Session& s, const CaptureOptions& options, CaptureReport* report) {
  if (s.raw && std::fclose(s.raw.release()) != 0)
    return Failure(kExitOutput, "cannot write " + options.raw_path);
  const std::string write_error = s.sink->WriteError();
  if (!write_error.empty())
    return Failure(kExitOutput, write_error);
  if (options.snapshot.empty())
    return Done();
  return WriteSnapshot(s.sink->Snapshot(), options, report);
}

// The graph around the session's source, in order; the first step that
// fails ends it. The outputs and the sink are made the first time only: a
// graph built anew after a return feeds the same ones.
StepResult BuildGraph(Session& s, const CaptureOptions& options, CaptureReport* report) {
  IBaseFilter* source = s.source.Get();
  const HRESULT hr = MakeGraph(source, &s.g);
  if (FAILED(hr))
    return Failure(kExitGraph, "cannot build a filter graph", hr);
  StepResult step = SelectFormat(s, source, options);
  if (!step.ok())
    return step;
  step = CreateRenderers(s);
  if (!step.ok())
    return step;
  if (!s.done) {
    step = OpenOutputs(s, options);
    if (!step.ok())
      return step;
  }
  step = AttachSink(s, options);
  if (!step.ok())
    return step;
  step = Connect(s, source, report);
  if (!step.ok())
    return step;
  return ChooseClock(s, options, report);
}

// Each graph's stream stamps its samples from 0: the time stamps are checked
// stream by stream, and their counts added up.
TimestampCheck CheckTimestampsByStream(const std::vector<FrameRecord>& frames,
                                       const std::vector<size_t>& starts, int64_t frame_time) {
  TimestampCheck all;
  for (size_t k = 0; k < starts.size(); ++k) {
    const size_t begin = std::min(starts[k], frames.size());
    const size_t end =
        k + 1 < starts.size() ? std::min(starts[k + 1], frames.size()) : frames.size();
    const std::vector<FrameRecord> part(frames.begin() + begin, frames.begin() + end);
    if (part.empty())
      continue;
    const TimestampCheck t = CheckTimestamps(part, frame_time);
    if (all.frames == 0)
      all.first_start = t.first_start;
    all.frames += t.frames;
    all.missing += t.missing;
    all.off_schedule += t.off_schedule;
    all.bad_stop += t.bad_stop;
    all.out_of_order += t.out_of_order;
    all.gaps += t.gaps;
    all.missing_frames += t.missing_frames;
    if (all.first_bad_index < 0 && t.first_bad_index >= 0)
      all.first_bad_index = static_cast<int64_t>(begin) + t.first_bad_index;
  }
  return all;
}

// Where the codes' stream id changed: the last frame before, the first
// after, and the frames the nominal rate would have made in the time
// between their arrivals.
std::vector<StreamChange> FindStreamChanges(const std::vector<SampleCode>& codes,
                                            const std::vector<FrameRecord>& frames,
                                            int64_t frame_time) {
  std::vector<StreamChange> changes;
  bool started = false;
  uint32_t stream = 0;
  int64_t last_frame = -1;
  double last_arrival = 0.0;
  const double interval_ms = static_cast<double>(frame_time) / 10000.0;
  for (size_t i = 0; i < codes.size() && i < frames.size(); ++i) {
    if (codes[i].partial || codes[i].frame.status != FrameCodeStatus::kDecoded)
      continue;
    const FrameCodePayload& p = codes[i].frame.payload;
    if (started && p.stream_id != stream) {
      StreamChange c;
      c.old_stream = stream;
      c.new_stream = p.stream_id;
      c.old_last_frame = last_frame;
      c.new_first_frame = p.frame_number;
      const double gap_ms = frames[i].arrival_ms - last_arrival;
      if (interval_ms > 0.0)
        c.missing_between = std::max<int64_t>(std::llround(gap_ms / interval_ms) - 1, 0);
      changes.push_back(c);
    }
    started = true;
    stream = p.stream_id;
    last_frame = p.frame_number;
    last_arrival = frames[i].arrival_ms;
  }
  return changes;
}

// The steps of a capture, in order; the first that fails ends it.
StepResult Capture(IBaseFilter* source, const CaptureOptions& options, CaptureReport* report) {
  Session s;
  s.source = ComPtr<IBaseFilter>(source);
  StepResult step = BuildGraph(s, options, report);
  if (!step.ok())
    return step;
  step = RunGraph(s, options, report);
  if (!step.ok())
    return step;
  report->source = ReadSourceCounts(s.g.builder.Get(), s.source.Get());
  const std::vector<FrameRecord> frames = s.sink->Frames();
  Summarise(frames, report);
  if (s.segment_starts.size() > 1)
    report->timestamps =
        CheckTimestampsByStream(frames, s.segment_starts, report->format.frame_time);
  if (options.verify) {
    report->verify = true;
    const bool interlaced =
        report->format.interlace_flags >= 0 && (report->format.interlace_flags & 1) != 0;
    const std::vector<SampleCode> codes = s.sink->Codes();
    report->codes = CheckFrameCodes(codes, s.selected, report->format.frame_time, interlaced);
    report->findings = FindFrameFaults(CodedArrivals(codes, frames), report->format.frame_time);
    report->stream_changes = FindStreamChanges(codes, frames, report->format.frame_time);
    // The source's counts are the last filter's alone after a rebuild.
    if (report->reconnects == 0)
      report->counts = CheckSourceCounts(report->findings, report->source, report->frames,
                                         std::min(report->in_flight, report->frames));
  }
  return FinishOutputs(s, options, report);
}

}  // namespace

double CaptureClockMs() {
  return NowMs();
}

double CaptureCpuSeconds() {
  return ProcessCpuSeconds();
}

void SummariseFrames(const std::vector<FrameRecord>& frames, CaptureReport* report) {
  Summarise(frames, report);
}

std::vector<CodedArrival> CodedArrivalsOf(const std::vector<SampleCode>& codes,
                                          const std::vector<FrameRecord>& frames) {
  return CodedArrivals(codes, frames);
}

int WriteSnapshotFile(const std::vector<uint8_t>& bytes, const CaptureOptions& options,
                      CaptureReport* report, std::string* error) {
  const StepResult result = WriteSnapshot(bytes, options, report);
  if (!result.ok())
    *error = result.error;
  return result.code;
}

int ListSourceCapabilities(IBaseFilter* source, const CaptureOptions& options) {
  Graph g;
  HRESULT hr = MakeGraph(source, &g);
  if (FAILED(hr)) {
    std::fprintf(stderr, "zd-capture: cannot build a filter graph (%s)\n", HresultText(hr).c_str());
    return kExitGraph;
  }
  ComPtr<IAMStreamConfig> config;
  hr = FindStreamConfig(g.builder.Get(), source, &config);
  if (FAILED(hr)) {
    std::fprintf(stderr, "zd-capture: '%s' has no capture pin with IAMStreamConfig (%s)\n",
                 options.device.c_str(), HresultText(hr).c_str());
    return kExitFormat;
  }
  std::vector<Capability> caps;
  hr = ReadCapabilities(config.Get(), &caps);
  if (FAILED(hr)) {
    std::fprintf(stderr, "zd-capture: cannot read the capabilities (%s)\n",
                 HresultText(hr).c_str());
    return kExitFormat;
  }
  const std::string text =
      options.json ? FormatCapabilitiesJson(options.device, caps) : FormatCapabilitiesText(caps);
  std::fputs(text.c_str(), stdout);
  return kExitOk;
}

int RunCaptureSession(IBaseFilter* source, const CaptureOptions& options, CaptureReport* report,
                      std::string* error) {
  report->device = options.device;
  report->requested_frames = options.frames;
  const StepResult result = Capture(source, options, report);
  if (!result.ok()) {
    *error = result.error;
    return result.code;
  }
  if (report->device_lost())
    return kExitDeviceLost;
  if (!report->stream_ok())
    return kExitCheck;
  return report->ok() ? kExitOk : kExitVerify;
}

}  // namespace zdcap
