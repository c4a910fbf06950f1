// The one owner of Win32 handles: UniqueAny<Policy> closes what it holds when
// it goes, and each kind of handle is a one-line name over it.
//   UniqueHandle event(CreateEventW(...));   // owns the new handle
//   RegOpenKeyExA(..., key.Put());           // closes the old one, hands out the slot
//   return thread.Detach();                  // gives the handle away
#pragma once

#include <windows.h>

#include <utility>

template <class Policy>
class UniqueAny {
 public:
  using Pointer = typename Policy::Pointer;

  UniqueAny() = default;
  explicit UniqueAny(Pointer value) : m_value(value) {}
  UniqueAny(UniqueAny&& other) noexcept : m_value(other.Detach()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other)
      Reset(other.Detach());
    return *this;
  }
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;
  ~UniqueAny() { Reset(); }

  Pointer Get() const { return m_value; }
  explicit operator bool() const { return m_value != Policy::Invalid(); }

  // Closes the held handle and returns the empty slot for an out-parameter.
  Pointer* Put() {
    Reset();
    return &m_value;
  }
  // The slot itself, for an atomic exchange; ownership stays with this object.
  Pointer* AddressOf() { return &m_value; }
  // Gives up the handle without closing it.
  Pointer Detach() { return std::exchange(m_value, Policy::Invalid()); }
  void Reset(Pointer value = Policy::Invalid()) {
    const Pointer old = std::exchange(m_value, value);
    if (old != Policy::Invalid())
      Policy::Close(old);
  }

 private:
  Pointer m_value = Policy::Invalid();
};

// Handles whose empty value is null, closed by CloseFn.
template <class T, auto CloseFn>
struct NullHandlePolicy {
  using Pointer = T;
  static Pointer Invalid() { return nullptr; }
  static void Close(T value) { CloseFn(value); }
};

// File handles, whose empty value is INVALID_HANDLE_VALUE.
struct FileHandlePolicy {
  using Pointer = HANDLE;
  static Pointer Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE value) { CloseHandle(value); }
};

using UniqueHandle =
    UniqueAny<NullHandlePolicy<HANDLE, &CloseHandle>>;  // events, threads, processes
using UniqueFile = UniqueAny<FileHandlePolicy>;
using UniqueHkey = UniqueAny<NullHandlePolicy<HKEY, &RegCloseKey>>;
using UniqueBitmap = UniqueAny<NullHandlePolicy<HBITMAP, &DeleteObject>>;
