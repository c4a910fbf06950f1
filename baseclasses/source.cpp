#include "baseclasses/source.h"

#include <algorithm>
#include <new>

#include "baseclasses/source_stream.h"

CSource::CSource(const wchar_t* objectName, IUnknown* outer, REFCLSID clsid)
    : CBaseFilter(objectName, outer, &m_stateLock, clsid) {}

CSource::~CSource() {
  // A filter released while paused or running still has streaming threads
  // working on its pins: stop them before the pins go.
  if (m_state != State_Stopped)
    CBaseFilter::Stop();
  while (!m_streams.empty()) {
    CSourceStream* last = m_streams.back();
    delete last;  // its destructor calls RemovePin
    if (!m_streams.empty() && m_streams.back() == last)
      m_streams.pop_back();  // a stream that did not remove itself
  }
}

int CSource::GetPinCount() {
  CAutoLock guard(&m_stateLock);
  return static_cast<int>(m_streams.size());
}

CBasePin* CSource::GetPin(int n) {
  CAutoLock guard(&m_stateLock);
  if (n < 0 || n >= static_cast<int>(m_streams.size()))
    return nullptr;
  return m_streams[static_cast<size_t>(n)];
}

HRESULT CSource::AddPin(CSourceStream* stream) {
  CAutoLock guard(&m_stateLock);
  try {
    m_streams.push_back(stream);  // on failure the array stays as it was
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT CSource::RemovePin(CSourceStream* stream) {
  const auto found = std::find(m_streams.begin(), m_streams.end(), stream);
  if (found == m_streams.end())
    return S_FALSE;
  m_streams.erase(found);
  return S_OK;
}

int CSource::FindPinNumber(IPin* pin) {
  for (size_t i = 0; i < m_streams.size(); ++i) {
    if (static_cast<IPin*>(m_streams[i]) == pin)
      return static_cast<int>(i);
  }
  return -1;
}
