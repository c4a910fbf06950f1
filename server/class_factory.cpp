#include "server/class_factory.h"

#include "server/module_globals.h"

CClassFactory::CClassFactory(const CFactoryTemplate* factoryTemplate)
    : m_template(factoryTemplate) {}

STDMETHODIMP CClassFactory::QueryInterface(REFIID iid, void** out) {
  if (!out)
    return E_POINTER;
  *out = nullptr;
  if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory))
    return E_NOINTERFACE;
  *out = static_cast<IClassFactory*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CClassFactory::AddRef() {
  // Interlocked like Release: hosts may share a factory between threads.
  return static_cast<ULONG>(InterlockedIncrement(&m_refCount));
}

STDMETHODIMP_(ULONG) CClassFactory::Release() {
  const LONG count = InterlockedDecrement(&m_refCount);
  if (count == 0) {
    delete this;
    return 0;
  }
  return static_cast<ULONG>(count);
}

STDMETHODIMP CClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  if (!out)
    return E_POINTER;
  *out = nullptr;
  // An aggregating caller must ask for the inner unknown.
  if (outer && !IsEqualIID(iid, IID_IUnknown))
    return E_NOINTERFACE;

  HRESULT result = S_OK;
  CUnknown* object = m_template->m_createInstance(outer, &result);
  if (!object)
    return FAILED(result) ? result : E_OUTOFMEMORY;
  if (FAILED(result)) {
    delete object;
    return result;
  }

  // Count 1 while asking; a failed query brings it back to 0 and the object
  // deletes itself, a successful one leaves the caller the only reference.
  object->NonDelegatingAddRef();
  const HRESULT query = object->NonDelegatingQueryInterface(iid, out);
  object->NonDelegatingRelease();
  return query;
}

STDMETHODIMP CClassFactory::LockServer(BOOL lock) {
  if (lock)
    InterlockedIncrement(&g_serverLocks);
  else
    InterlockedDecrement(&g_serverLocks);
  return S_OK;
}
