// A COM reference for the graph tests: releases on destruction, hands its
// address out for out-parameters, and makes transfers of ownership explicit.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <utility>

template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ComRef(std::nullptr_t) {}
  // Takes a new reference on p.
  explicit ComRef(T* p) : m_p(p) {
    if (m_p)
      m_p->AddRef();
  }
  ComRef(const ComRef& other) : ComRef(other.m_p) {}
  ComRef(ComRef&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
  ComRef& operator=(ComRef other) noexcept {
    std::swap(m_p, other.m_p);
    return *this;
  }
  ~ComRef() { Reset(); }

  // Adopts a reference the caller already owns.
  static ComRef Attach(T* p) {
    ComRef r;
    r.m_p = p;
    return r;
  }
  T* Detach() { return std::exchange(m_p, nullptr); }

  void Reset() {
    if (T* p = std::exchange(m_p, nullptr))
      p->Release();
  }
  // Releases the current reference and returns the slot for an out-parameter.
  T** Put() {
    Reset();
    return &m_p;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

  T* Get() const { return m_p; }
  T* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }

  template <typename U>
  HRESULT As(ComRef<U>& out) const {
    if (!m_p)
      return E_POINTER;
    return m_p->QueryInterface(__uuidof(U), out.PutVoid());
  }

 private:
  T* m_p = nullptr;
};

// The reference count of an object as the next AddRef/Release pair reports it.
inline ULONG RefCountOf(IUnknown* p) {
  p->AddRef();
  return p->Release();
}
