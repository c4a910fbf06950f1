// Makes the COM task allocator fail while armed, through an IMallocSpy, so
// that out-of-memory paths can be exercised.
#pragma once

#include <objbase.h>
#include <objidl.h>

// The spy itself lives for the whole process: COM keeps calling it for
// blocks allocated while it was registered, so it is never revoked. While no
// TaskAllocFailure is alive it passes everything through.
class FailingMallocSpy : public IMallocSpy {
 public:
  static FailingMallocSpy& Instance() {
    static FailingMallocSpy* spy = [] {
      auto* created = new FailingMallocSpy;
      created->m_registered = SUCCEEDED(CoRegisterMallocSpy(created));
      return created;
    }();
    return *spy;
  }

  bool Registered() const { return m_registered; }
  // From now on, every allocation after the first `skip` fails (skip < 0: none fails).
  void FailAfter(int skip) { m_skip = skip; }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMallocSpy)) {
      *out = static_cast<IMallocSpy*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T request) override {
    m_failNext = m_skip == 0;
    if (m_skip > 0)
      --m_skip;
    return m_failNext ? 0 : request;
  }
  void* STDMETHODCALLTYPE PostAlloc(void* actual) override { return m_failNext ? nullptr : actual; }
  void* STDMETHODCALLTYPE PreFree(void* request, BOOL) override { return request; }
  void STDMETHODCALLTYPE PostFree(BOOL) override {}
  SIZE_T STDMETHODCALLTYPE PreRealloc(void* request, SIZE_T size, void** newRequest,
                                      BOOL) override {
    *newRequest = request;
    return size;
  }
  void* STDMETHODCALLTYPE PostRealloc(void* actual, BOOL) override { return actual; }
  void* STDMETHODCALLTYPE PreGetSize(void* request, BOOL) override { return request; }
  SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T actual, BOOL) override { return actual; }
  void* STDMETHODCALLTYPE PreDidAlloc(void* request, BOOL) override { return request; }
  int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
  void STDMETHODCALLTYPE PreHeapMinimize() override {}
  void STDMETHODCALLTYPE PostHeapMinimize() override {}

 private:
  FailingMallocSpy() = default;
  volatile int m_skip = -1;
  bool m_failNext = false;
  bool m_registered = false;
};

// While alive, task-memory allocations fail after the first `skip` ones.
class TaskAllocFailure {
 public:
  explicit TaskAllocFailure(int skip = 0) { FailingMallocSpy::Instance().FailAfter(skip); }
  ~TaskAllocFailure() { Disarm(); }
  TaskAllocFailure(const TaskAllocFailure&) = delete;
  TaskAllocFailure& operator=(const TaskAllocFailure&) = delete;

  bool Armed() const { return FailingMallocSpy::Instance().Registered(); }
  void Disarm() { FailingMallocSpy::Instance().FailAfter(-1); }
};

// Counts references, for checking who holds pUnk.
class CountingUnknown : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&count));
  }
  STDMETHODIMP_(ULONG) Release() override {
    return static_cast<ULONG>(InterlockedDecrement(&count));
  }
  volatile LONG count = 1;
};
