// CSourceStream: an output pin of a CSource with its own worker thread that
// produces the samples.
//
// When the filter leaves the stopped state, Active starts the worker, which
// runs OnThreadCreate and then loops: GetDeliveryBuffer, FillBuffer, Deliver,
// checking for a pending command between samples. When the filter stops,
// Inactive decommits the allocator (freeing a worker blocked on a sample),
// sends CMD_STOP and CMD_EXIT and waits for the worker to end after
// OnThreadDestroy.
//
// Threads: FillBuffer, OnThreadCreate, OnThreadDestroy, OnThreadStartPlay and
// DoBufferProcessingLoop run only on the worker thread. The worker never takes
// the filter's state lock (the stopping thread holds it while it waits for
// the worker); it may call only lock-free filter operations (GetState,
// StreamTime, NotifyEvent) and CheckRequest.
// Lock order on the controlling side: the state lock, then the thread's
// access lock.
#pragma once

#include "baseclasses/am_thread.h"
#include "baseclasses/base_output_pin.h"

class CSource;

class CSourceStream : public CAMThread, public CBaseOutputPin {
 public:
  enum Command : DWORD { CMD_INIT = 0, CMD_PAUSE = 1, CMD_RUN = 2, CMD_STOP = 3, CMD_EXIT = 4 };

  // objectName is not used. *hr is set to the filter's AddPin result; the
  // creator deletes the stream when it is a failure.
  CSourceStream(const wchar_t* objectName, HRESULT* hr, CSource* filter, const wchar_t* pinName);
  // Removes the pin from the filter; a running worker is waited for.
  ~CSourceStream() override;

  // --- Thread part ---
  // The command loop (worker thread).
  DWORD ThreadProc() override;
  // Fills one sample (worker thread). S_OK: deliver it; S_FALSE: end of
  // stream; anything else: end of stream and EC_ERRORABORT.
  virtual HRESULT FillBuffer(IMediaSample* sample) = 0;
  // Stream start / end preparation (worker thread). A failure of
  // OnThreadCreate fails the filter's Pause with that code.
  virtual HRESULT OnThreadCreate();
  virtual HRESULT OnThreadDestroy();
  // Start of each sample loop (worker thread).
  virtual HRESULT OnThreadStartPlay();
  // The sample loop (worker thread); returns when a command is pending
  // (S_FALSE for CMD_STOP) or pushing has ended.
  virtual HRESULT DoBufferProcessingLoop();
  // The single offered type. Base: E_UNEXPECTED.
  virtual HRESULT GetMediaType(CMediaType* mt);

  // --- Pin part (state lock) ---
  // Commit the allocator, start the worker, CMD_INIT, CMD_PAUSE. On a
  // failure after the commit the worker is closed and the allocator
  // decommitted again, so that a later Pause can try anew.
  HRESULT Active() override;
  // Decommit, CMD_STOP, CMD_EXIT, wait for the worker.
  HRESULT Inactive() override;
  // Default: equal to the single offered type (S_OK), else E_FAIL.
  HRESULT CheckMediaType(const CMediaType* mt) override;
  // Default: position 0 is the single offered type, E_INVALIDARG below 0,
  // VFW_S_NO_MORE_ITEMS above.
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  // "1" for the first pin of the filter, "2" for the second, ...
  STDMETHODIMP QueryId(LPWSTR* id) override;
  using CBaseOutputPin::Run;

  // --- Commands (controlling thread, state lock held) ---
  HRESULT Init() { return static_cast<HRESULT>(CallWorker(CMD_INIT)); }
  HRESULT Exit() { return static_cast<HRESULT>(CallWorker(CMD_EXIT)); }
  HRESULT Run() { return static_cast<HRESULT>(CallWorker(CMD_RUN)); }
  HRESULT Pause() { return static_cast<HRESULT>(CallWorker(CMD_PAUSE)); }
  HRESULT Stop() { return static_cast<HRESULT>(CallWorker(CMD_STOP)); }

 protected:
  CSource* m_filter;  // the owner; no reference
};
