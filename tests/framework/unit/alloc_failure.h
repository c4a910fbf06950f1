// Makes the COM task allocator fail while armed, through an IMallocSpy, so
// that out-of-memory paths can be exercised.
#pragma once

#include <objbase.h>
#include <objidl.h>

class TaskAllocFailure : public IMallocSpy {
public:
    // Registers the spy; every allocation fails from the (skip + 1)-th on.
    explicit TaskAllocFailure(int skip = 0) : m_skip(skip) { m_registered = SUCCEEDED(CoRegisterMallocSpy(this)); }
    ~TaskAllocFailure() { Disarm(); }
    TaskAllocFailure(const TaskAllocFailure&) = delete;
    TaskAllocFailure& operator=(const TaskAllocFailure&) = delete;

    bool Armed() const { return m_registered; }
    void Disarm()
    {
        if (m_registered)
            CoRevokeMallocSpy();
        m_registered = false;
    }
    int Failures() const { return m_failures; }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMallocSpy)) {
            *out = static_cast<IMallocSpy*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T request) override
    {
        m_failNext = m_skip-- <= 0;
        if (m_failNext)
            ++m_failures;
        return m_failNext ? 0 : request;
    }
    void* STDMETHODCALLTYPE PostAlloc(void* actual) override { return m_failNext ? nullptr : actual; }
    void* STDMETHODCALLTYPE PreFree(void* request, BOOL) override { return request; }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* request, SIZE_T size, void** newRequest, BOOL) override
    {
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
    int m_skip;
    bool m_failNext = false;
    bool m_registered = false;
    int m_failures = 0;
};

// Counts references, for checking who holds pUnk.
class CountingUnknown : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&count)); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(InterlockedDecrement(&count)); }
    volatile LONG count = 1;
};
