// IUnknown for small COM objects with one interface besides IUnknown (the
// framework's enumerators, test doubles): a reference count of their own (1 on
// creation, the object deleted at 0), no aggregation. Derived is the object's
// class, Interface its interface.
#pragma once

#include <dshow.h>

template <class Derived, class Interface, const IID& kInterfaceId>
class CSingleInterfaceObject : public Interface {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out)
      return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, kInterfaceId)) {
      *out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&m_refCount));
  }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG count = InterlockedDecrement(&m_refCount);
    if (count == 0)
      delete static_cast<Derived*>(this);
    return static_cast<ULONG>(count);
  }

 protected:
  CSingleInterfaceObject() = default;
  ~CSingleInterfaceObject() = default;

 private:
  volatile LONG m_refCount = 1;
};
