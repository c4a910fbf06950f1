#include "stream/ball_stream.h"

#include "platform/module_path.h"
#include "server/bouncing_ball.h"
#include "stream/filter_frame_host.h"
#include "stream/sample_adapter.h"

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
}

STDMETHODIMP CBallStream::NonDelegatingQueryInterface(REFIID iid, void** out) {
  if (!out)
    return E_POINTER;
  if (IsEqualIID(iid, IID_IKsPropertySet))
    return GetInterface(static_cast<IKsPropertySet*>(this), out);
  if (IsEqualIID(iid, IID_IAMStreamConfig))
    return GetInterface(static_cast<IAMStreamConfig*>(this), out);
  return CSourceStream::NonDelegatingQueryInterface(iid, out);
}

HRESULT CBallStream::FillBuffer(IMediaSample* sample) {
  CAutoLock lock(&m_streamLock);
  if (!sample)
    return E_POINTER;
  FilterFrameHost host(*m_ballFilter, *this);
  MediaSampleFrame frame(sample);
  return m_producer.FillBuffer(host, &frame, m_preset, m_settings.m_mouseCursol);
}

HRESULT CBallStream::OnThreadCreate() {
  CAutoLock lock(&m_streamLock);
  FilterFrameHost host(*m_ballFilter, *this);
  return m_producer.OnThreadCreate(host, m_preset, m_settings, ModuleDirectory(), m_presetIndex);
}

HRESULT CBallStream::OnThreadDestroy() {
  CAutoLock lock(&m_streamLock);
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
