// Owning COM interface pointer, the one for the module, the tools and the
// tests: releases its reference when it goes.
//   ComPtr<IPin> pin(raw);     // adds a reference
//   pin.Attach(raw);           // takes over a reference already held
//   Query(..., pin.Put());     // releases the old pointer, hands out the slot
//   pin.As(&other);            // QueryInterface into another pointer
//   *out = pin.Detach();       // gives the reference to the caller
#pragma once

#include <unknwn.h>

#include <cstddef>

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  explicit ComPtr(T* ptr) : m_ptr(ptr) {
    if (m_ptr)
      m_ptr->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.m_ptr) {}
  ComPtr(ComPtr&& other) noexcept : m_ptr(other.m_ptr) { other.m_ptr = nullptr; }
  ~ComPtr() { Reset(); }

  ComPtr& operator=(const ComPtr& other) {
    if (this != &other) {
      T* old = m_ptr;
      m_ptr = other.m_ptr;
      if (m_ptr)
        m_ptr->AddRef();
      if (old)
        old->Release();
    }
    return *this;
  }
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      m_ptr = other.m_ptr;
      other.m_ptr = nullptr;
    }
    return *this;
  }

  T* Get() const { return m_ptr; }
  T* operator->() const { return m_ptr; }
  explicit operator bool() const { return m_ptr != nullptr; }

  // Releases the held pointer and returns the empty slot for an out-parameter.
  T** Put() {
    Reset();
    return &m_ptr;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

  // Takes over a reference that the caller already holds.
  void Attach(T* ptr) {
    Reset();
    m_ptr = ptr;
  }
  // Gives up the reference without releasing it.
  T* Detach() {
    T* ptr = m_ptr;
    m_ptr = nullptr;
    return ptr;
  }
  void Reset() {
    T* old = m_ptr;
    m_ptr = nullptr;
    if (old)
      old->Release();
  }
  // QueryInterface for iid into *out (which drops what it held); E_POINTER
  // when this pointer is empty.
  template <class U>
  HRESULT As(REFIID iid, ComPtr<U>* out) const {
    if (!m_ptr)
      return E_POINTER;
    return m_ptr->QueryInterface(iid, out->PutVoid());
  }
  template <class U>
  HRESULT As(ComPtr<U>* out) const {
    return As(__uuidof(U), out);
  }

  // Hands out a new reference; the out-pointer may receive null.
  HRESULT CopyTo(T** out) const {
    if (!out)
      return E_POINTER;
    *out = m_ptr;
    if (m_ptr)
      m_ptr->AddRef();
    return S_OK;
  }

 private:
  T* m_ptr = nullptr;
};
