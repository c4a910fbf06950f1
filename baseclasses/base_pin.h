// CBasePin: IPin and IQualityControl. Connection to a peer pin, agreement of
// the media type, pin information and the pin's part in the filter's state
// changes.
//
// A pin has no lifetime of its own: its AddRef/Release go to the owning
// filter, so a pin lives exactly as long as its filter.
//
// Locking: m_lock is the pin lock; for a source stream it is the filter's
// state lock. Connect, ReceiveConnection, Disconnect, ConnectionMediaType
// and SetSink hold it for their whole duration, including the calls into the
// peer pin; the overridables called from there (CheckConnect, CheckMediaType,
// SetMediaType, CompleteConnect, BreakConnect, DecideAllocator ...) run with
// it held. The connection fields change only while the filter is stopped.
#pragma once

#include <dshow.h>

#include <memory>

#include "baseclasses/com_ptr.h"
#include "baseclasses/crit_sec.h"
#include "baseclasses/media_type.h"
#include "server/unknown.h"

class CBaseFilter;

class CBasePin : public CUnknown, public IPin, public IQualityControl {
 public:
  // Interface map: IID_IPin, IID_IQualityControl; else CUnknown.
  STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override;
  // Both forward to the owning filter and return the filter's count.
  STDMETHODIMP_(ULONG) NonDelegatingAddRef() override;
  STDMETHODIMP_(ULONG) NonDelegatingRelease() override;
  ZD_DECLARE_IUNKNOWN

  // objectName is not used; the name is copied (no copy: the pin has no
  // name; hr is not touched). lock is the pin lock.
  CBasePin(const wchar_t* objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* hr,
           const wchar_t* name, PIN_DIRECTION direction);
  // Frees the name and the connection type; does not disconnect.
  ~CBasePin() override;

  // --- Overridables (after the identity slots) ---
  // Compared by CEnumMediaTypes; 1, never changed here.
  virtual LONG GetMediaTypeVersion();
  // Filter leaves / returns to the stopped state (filter lock held).
  virtual HRESULT Active();
  virtual HRESULT Inactive();
  // Filter starts running; does nothing here.
  virtual HRESULT Run(REFERENCE_TIME start);
  // S_OK accepts the type; anything else rejects it. Pin lock held during
  // connection; QueryAccept calls it without a lock.
  virtual HRESULT CheckMediaType(const CMediaType* mt) = 0;
  // Records the agreed type in m_mt (E_OUTOFMEMORY when it cannot be copied).
  virtual HRESULT SetMediaType(const CMediaType* mt);
  // The peer's direction must differ from this pin's (VFW_E_INVALID_DIRECTION).
  virtual HRESULT CheckConnect(IPin* peer);
  // Undoes whatever CheckConnect/CompleteConnect set up.
  virtual HRESULT BreakConnect();
  // Last step of a connection, after the peer accepted it.
  virtual HRESULT CompleteConnect(IPin* peer);
  // The pin's preferred types by position, from 0: S_OK with the type,
  // VFW_S_NO_MORE_ITEMS past the end. Base: E_UNEXPECTED.
  virtual HRESULT GetMediaType(int position, CMediaType* mt);

  // --- IPin ---
  STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* mt) override;
  STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) override;
  STDMETHODIMP Disconnect() override;
  STDMETHODIMP ConnectedTo(IPin** pin) override;
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* mt) override;
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
  STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
  // Base: E_NOTIMPL (CSourceStream answers "1", "2", ...).
  STDMETHODIMP QueryId(LPWSTR* id) override;
  // S_OK or S_FALSE; never a failure for a rejected type.
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* mt) override;
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;
  STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
  // Input-pin calls: E_UNEXPECTED on an output pin.
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
  // Records the segment; nothing is passed on.
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

  // --- IQualityControl ---
  // Base: E_NOTIMPL.
  STDMETHODIMP Notify(IBaseFilter* sender, Quality quality) override;
  // Stores the sink without a reference (pin lock).
  STDMETHODIMP SetSink(IQualityControl* sink) override;

  // --- Helpers (no lock) ---
  bool IsConnected() const { return static_cast<bool>(m_connected); }
  IPin* GetConnected() const { return m_connected.Get(); }
  // The owning filter is stopped (plain read of its state).
  bool IsStopped() const;
  CBaseFilter* GetFilter() const { return m_filter; }

 protected:
  // Connection steps; the pin lock is held by the caller.
  HRESULT AgreeMediaType(IPin* receivePin, const CMediaType* mt);
  HRESULT TryMediaTypes(IPin* receivePin, const CMediaType* mt, IEnumMediaTypes* types);
  HRESULT AttemptConnection(IPin* receivePin, const CMediaType* mt);

  std::unique_ptr<wchar_t[]> m_name;  // null when the pin has no name
  ComPtr<IPin> m_connected;           // the peer; one reference
  PIN_DIRECTION m_direction;
  CCritSec* m_lock;                          // the pin lock
  CBaseFilter* m_filter;                     // no reference
  IQualityControl* m_qualitySink = nullptr;  // no reference
  LONG m_typeVersion = 1;
  CMediaType m_mt;  // the connection type
  REFERENCE_TIME m_segmentStart = 0;
  REFERENCE_TIME m_segmentStop = 0x7FFFFFFFFFFFFFFFLL;
  double m_segmentRate = 1.0;
};
