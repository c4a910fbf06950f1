// CBaseOutputPin: an output pin that holds the downstream IMemInputPin and
// the sample allocator, and hands samples and stream events downstream.
//
// Connection (pin lock held): CheckConnect gets the peer's IMemInputPin,
// CompleteConnect decides the allocator (the peer's first, else the standard
// memory allocator) sized by DecideBufferSize, BreakConnect decommits and
// drops both.
//
// The delivery calls (GetDeliveryBuffer, Deliver, Deliver*) take no lock: the
// streaming thread uses them, and the fields they read change only while the
// filter is stopped, when no streaming thread exists.
#pragma once

#include "baseclasses/base_pin.h"

class CBaseOutputPin : public CBasePin {
 public:
  CBaseOutputPin(const wchar_t* objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* hr,
                 const wchar_t* name);

  // Commits / decommits the allocator; VFW_E_NO_ALLOCATOR without one.
  HRESULT Active() override;
  HRESULT Inactive() override;
  // Direction check, then the peer's IMemInputPin.
  HRESULT CheckConnect(IPin* peer) override;
  // Decommits and releases the allocator (a failed Decommit is returned and
  // the allocator and input pin are kept), releases the input pin.
  HRESULT BreakConnect() override;
  // DecideAllocator(m_inputPin, m_allocator).
  HRESULT CompleteConnect(IPin* peer) override;

  // --- Overridables (after CBasePin's) ---
  virtual HRESULT DecideAllocator(IMemInputPin* inputPin, IMemAllocator** allocator);
  // Sets the allocator's properties from the request (pin lock held).
  virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
  // An empty sample; blocks until one is free; fails once decommitted.
  // E_NOINTERFACE without an allocator.
  virtual HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                    REFERENCE_TIME* stop, DWORD flags);
  // The peer's Receive result; the caller keeps its own sample reference.
  virtual HRESULT Deliver(IMediaSample* sample);
  // The standard memory allocator (CLSID_MemoryAllocator).
  virtual HRESULT InitAllocator(IMemAllocator** allocator);
  virtual HRESULT DeliverEndOfStream();
  virtual HRESULT DeliverBeginFlush();
  virtual HRESULT DeliverEndFlush();
  virtual HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

  IMemAllocator* GetAllocator() const { return m_allocator.Get(); }

 protected:
  ComPtr<IMemAllocator> m_allocator;  // chosen at connection; one reference
  ComPtr<IMemInputPin> m_inputPin;    // the peer's IMemInputPin; one reference

 private:
  // Sizes the buffers of a candidate allocator and offers it to the peer.
  HRESULT AgreeAllocator(IMemInputPin* inputPin, IMemAllocator* allocator,
                         ALLOCATOR_PROPERTIES* request);
};
