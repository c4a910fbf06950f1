#include "server/unknown.h"

volatile LONG g_activeObjects = 0;

CBaseObject::CBaseObject() {
  InterlockedIncrement(&g_activeObjects);
}

CBaseObject::~CBaseObject() {
  InterlockedDecrement(&g_activeObjects);
}

CUnknown::CUnknown(IUnknown* outer)
    : m_owner(outer ? outer : AsUnknown(static_cast<INonDelegatingUnknown*>(this))) {}

CUnknown::~CUnknown() = default;

STDMETHODIMP CUnknown::NonDelegatingQueryInterface(REFIID iid, void** out) {
  if (!out)
    return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown)) {
    INonDelegatingUnknown* self = this;
    *out = self;
    self->NonDelegatingAddRef();  // virtual: a subclass's counting applies
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CUnknown::NonDelegatingAddRef() {
  InterlockedIncrement(&m_refCount);
  // A second, plain read: may already include other threads' changes.
  const LONG count = m_refCount;
  return count > 1 ? static_cast<ULONG>(count) : 1u;
}

STDMETHODIMP_(ULONG) CUnknown::NonDelegatingRelease() {
  const LONG count = InterlockedDecrement(&m_refCount);
  if (count == 0) {
    // Keeps AddRef/Release pairs made during tear-down from reaching 0 again.
    m_refCount = 1;
    delete this;
    return 0;
  }
  const ULONG value = static_cast<ULONG>(count);
  return value > 1 ? value : 1u;
}

HRESULT GetInterface(IUnknown* face, void** out) {
  if (!out)
    return E_POINTER;
  *out = face;
  face->AddRef();
  return S_OK;
}
