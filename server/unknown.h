// COM object identity shared by every object of the module: the live-object
// count that decides unloading, the non-delegating identity with its
// reference count, and aggregation support.
//
// An object derived from CUnknown has one non-delegating face
// (INonDelegatingUnknown) that acts on the object itself, and any number of
// interface faces whose QueryInterface/AddRef/Release forward to the owner
// (ZD_DECLARE_IUNKNOWN). Without an outer object the owner is the object's own
// non-delegating face, so every face ends in the object's own methods.
#pragma once

#include <windows.h>
#include <unknwn.h>

// Number of live CBaseObject instances (filters, pins, property pages, class
// factories). Changed only with interlocked operations; read by
// DllCanUnloadNow.
extern volatile LONG g_activeObjects;

// Counts itself in g_activeObjects for its whole life.
class CBaseObject {
 public:
  CBaseObject();
  ~CBaseObject();
  CBaseObject(const CBaseObject&) = delete;
  CBaseObject& operator=(const CBaseObject&) = delete;
};

// The non-delegating identity. Its three slots have IUnknown's shapes, so a
// pointer to this face can stand in as an IUnknown (the owner of an object
// that is not aggregated).
struct INonDelegatingUnknown {
  virtual HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** out) = 0;
  virtual ULONG STDMETHODCALLTYPE NonDelegatingAddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE NonDelegatingRelease() = 0;
};

class CUnknown : public INonDelegatingUnknown, public CBaseObject {
 public:
  // outer: the controlling unknown when aggregated, else null.
  explicit CUnknown(IUnknown* outer);
  virtual ~CUnknown();

  // End of every object's interface map: IID_IUnknown gives the
  // non-delegating face, anything else E_NOINTERFACE.
  STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) NonDelegatingAddRef() override;
  // Deletes the object when the count returns to 0.
  STDMETHODIMP_(ULONG) NonDelegatingRelease() override;

  // The controlling unknown: the outer object, or this object's own
  // non-delegating face. Fixed for the object's life; no reference held.
  IUnknown* GetOwner() const { return m_owner; }

 protected:
  IUnknown* const m_owner;
  volatile LONG m_refCount = 0;
};

// The non-delegating face of an object as an IUnknown (the three slots match).
inline IUnknown* AsUnknown(INonDelegatingUnknown* face) {
  return reinterpret_cast<IUnknown*>(face);
}

// Hands out one face of an object: stores it in *out and adds a reference
// through it (which reaches the owner). Null out: E_POINTER, no reference.
HRESULT GetInterface(IUnknown* face, void** out);

// IUnknown of every interface face of a CUnknown-derived class: forwards to
// the owner. Place it in the public part of the class.
#define ZD_DECLARE_IUNKNOWN                                      \
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override { \
    return GetOwner()->QueryInterface(iid, out);                 \
  }                                                              \
  STDMETHODIMP_(ULONG) AddRef() override {                       \
    return GetOwner()->AddRef();                                 \
  }                                                              \
  STDMETHODIMP_(ULONG) Release() override {                      \
    return GetOwner()->Release();                                \
  }
