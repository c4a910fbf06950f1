#include "baseclasses/source.h"

#include <new>

#include "baseclasses/source_stream.h"

CSource::CSource(const wchar_t* objectName, IUnknown* outer, REFCLSID clsid)
    : CBaseFilter(objectName, outer, &m_stateLock, clsid) {}

CSource::~CSource() {
  // A filter released while paused or running still has streaming threads
  // working on its pins: stop them before the pins go.
  if (m_state != State_Stopped)
    CBaseFilter::Stop();
  while (m_pinCount > 0) {
    const int before = m_pinCount;
    delete m_streams[m_pinCount - 1];  // its destructor calls RemovePin
    if (m_pinCount == before)
      --m_pinCount;  // a stream that did not remove itself
  }
  m_streams.reset();
}

int CSource::GetPinCount() {
  CAutoLock guard(&m_stateLock);
  return m_pinCount;
}

CBasePin* CSource::GetPin(int n) {
  CAutoLock guard(&m_stateLock);
  if (n < 0 || n >= m_pinCount)
    return nullptr;
  return m_streams[n];
}

HRESULT CSource::AddPin(CSourceStream* stream) {
  CAutoLock guard(&m_stateLock);
  std::unique_ptr<CSourceStream*[]> grown(new (std::nothrow) CSourceStream*[m_pinCount + 1]);
  if (!grown)
    return E_OUTOFMEMORY;
  for (int i = 0; i < m_pinCount; ++i)
    grown[i] = m_streams[i];
  grown[m_pinCount] = stream;
  m_streams = std::move(grown);
  ++m_pinCount;
  return S_OK;
}

HRESULT CSource::RemovePin(CSourceStream* stream) {
  for (int i = 0; i < m_pinCount; ++i) {
    if (m_streams[i] != stream)
      continue;
    if (m_pinCount == 1) {
      m_streams.reset();
      m_pinCount = 0;
    } else {
      for (int j = i + 1; j < m_pinCount; ++j)
        m_streams[j - 1] = m_streams[j];
      --m_pinCount;
    }
    return S_OK;
  }
  return S_FALSE;
}

int CSource::FindPinNumber(IPin* pin) {
  for (int i = 0; i < m_pinCount; ++i) {
    if (static_cast<IPin*>(m_streams[i]) == pin)
      return i;
  }
  return -1;
}
