// The class factory handed out by DllGetClassObject: one per call, serving one
// row of the template table. Counts as a live object of the module while it
// exists, so a host holding a factory keeps the module loaded.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "server/factory_template.h"
#include "server/unknown.h"

class CClassFactory : public IClassFactory, public CBaseObject {
 public:
  explicit CClassFactory(const CFactoryTemplate* factoryTemplate);
  virtual ~CClassFactory() = default;

  // IUnknown: the factory's own count; IID_IUnknown and IID_IClassFactory.
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IClassFactory
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
  STDMETHODIMP LockServer(BOOL lock) override;

 private:
  const CFactoryTemplate* const m_template;  // not owned
  volatile LONG m_refCount = 0;
};
