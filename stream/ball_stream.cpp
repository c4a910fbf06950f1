#include "stream/ball_stream.h"

#include "platform/module_path.h"
#include "server/bouncing_ball.h"
#include "stream/filter_frame_host.h"
#include "stream/sample_adapter.h"

namespace {

// How often a removed device's worker looks for the stop command.
constexpr uint32_t kRemovedPollUs = 1000;

}  // namespace

CBallStream::CBallStream(HRESULT* hr, CBouncingBall* filter)
    : CSourceStream(nullptr, hr, filter, kPinName), m_ballFilter(filter), m_preset() {
  CAutoLock lock(&m_streamLock);
  // A missing or faulty settings file gives the defaults; a table that
  // cannot be allocated leaves FirstPreset's built-in default and no
  // capabilities.
  m_settings.LoadSettings(SettingsFilePath());
  m_preset = m_settings.FirstPreset();
}

CBallStream::~CBallStream() {
  // A filter released while still active: stop the worker before the state
  // it uses goes.
  if (ThreadExists())
    Inactive();
  {
    CAutoLock lock(&m_streamLock);
    m_producer.m_pattern.Release();
    m_producer.m_font.Release();
    m_settings.m_presetTable.reset();
    m_settings.m_presetNum = 0;
  }
  m_producer.m_latencyLog.CloseLog();
  m_producer.m_faultLog.CloseLog();
}

STDMETHODIMP CBallStream::NonDelegatingQueryInterface(REFIID iid, void** out) {
  if (!out)
    return E_POINTER;
  if (IsEqualIID(iid, IID_IKsPropertySet))
    return GetInterface(static_cast<IKsPropertySet*>(this), out);
  if (IsEqualIID(iid, IID_IAMStreamConfig))
    return GetInterface(static_cast<IAMStreamConfig*>(this), out);
  if (IsEqualIID(iid, IID_IAMDroppedFrames))
    return GetInterface(static_cast<IAMDroppedFrames*>(this), out);
  if (IsEqualIID(iid, IID_IAMPushSource))
    return GetInterface(static_cast<IAMPushSource*>(this), out);
  if (IsEqualIID(iid, IID_IAMLatency))
    return GetInterface(static_cast<IAMLatency*>(static_cast<IAMPushSource*>(this)), out);
  return CSourceStream::NonDelegatingQueryInterface(iid, out);
}

HRESULT CBallStream::FillBuffer(IMediaSample* sample) {
  CAutoLock lock(&m_streamLock);
  if (!sample)
    return E_POINTER;
  FilterFrameHost host(*m_ballFilter, *this, m_timer ? &*m_timer : nullptr);
  MediaSampleFrame frame(sample);
  const uint32_t lateBefore = m_producer.m_dropCount;
  // Another filter's stream may have unplugged the device: this one is gone too.
  const HRESULT hr = m_ballFilter->Removed()
                         ? kE_DEVICE_NOT_CONNECTED
                         : m_producer.FillBuffer(host, &frame, m_preset, m_settings.m_mouseCursol);
  if (hr == kE_DEVICE_NOT_CONNECTED) {
    m_ballFilter->ReportRemoval(m_producer.DeviceRemoved() ? m_preset.faults.replug_ms : 0);
    return AwaitStop(host);
  }
  m_deliveryPlan = m_producer.LastPlan();
  if (m_producer.m_dropCount != lateBefore)
    m_counts.RecordLate(m_deliveryPlan.frame);
  return hr;
}

// A removed device delivers nothing more, and no end of stream either: the
// worker waits for the graph to stop it, which ends the wait at once.
HRESULT CBallStream::AwaitStop(FrameHost& host) {
  while (!host.StopRequested())
    host.SleepUs(kRemovedPollUs);
  return S_FALSE;
}

HRESULT CBallStream::OnThreadCreate() {
  CAutoLock lock(&m_streamLock);
  m_timer.emplace();  // the system timer stays raised until OnThreadDestroy
  FilterFrameHost host(*m_ballFilter, *this, &*m_timer);
  m_counts.Reset();
  m_deliveryPlan = FramePlan();
  m_heldSample.Reset();
  // A sample held back for reordering needs a second one to go on with:
  // with a single buffer the stream would wait for ever, so it reorders nothing.
  PresetInfo preset = m_preset;
  ALLOCATOR_PROPERTIES granted = {};
  IMemAllocator* allocator = GetAllocator();
  if (!allocator || FAILED(allocator->GetProperties(&granted)) || granted.cBuffers < 2)
    preset.faults.reorder_every = 0;
  return m_producer.OnThreadCreate(host, preset, m_settings, ModuleDirectory(), m_presetIndex);
}

HRESULT CBallStream::OnThreadDestroy() {
  CAutoLock lock(&m_streamLock);
  m_heldSample.Reset();  // never delivered: the stream ended first
  m_timer.reset();
  return m_producer.OnThreadDestroy();
}

STDMETHODIMP CBallStream::Notify(IBaseFilter* /*sender*/, Quality /*quality*/) {
  return S_OK;  // the frame rate is never adapted to the receiver's load
}

PresetInfo CBallStream::CurrentPreset() {
  CAutoLock lock(&m_presetLock);
  return m_preset;
}

void CBallStream::ReplacePreset(int32_t index) {
  CAutoLock stream(&m_streamLock);
  CAutoLock current(&m_presetLock);
  m_preset = m_settings.m_presetTable[size_t(index)];
  m_presetIndex = index;
}
