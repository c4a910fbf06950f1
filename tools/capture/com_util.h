#pragma once
// Small owners for the COM resources a capture host handles: interface
// references, task-memory media types, the apartment, and text conversion.
#include <windows.h>
#include <objbase.h>
#include <strmif.h>

#include <string>
#include <utility>

namespace zdcap {

// An interface reference that releases on destruction.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr& other) : m_ptr(other.m_ptr) {
    if (m_ptr)
      m_ptr->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : m_ptr(other.Detach()) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(m_ptr, other.m_ptr);
    return *this;
  }
  ~ComPtr() { Reset(); }

  // Takes over a reference the caller already owns.
  static ComPtr Attach(T* ptr) {
    ComPtr result;
    result.m_ptr = ptr;
    return result;
  }

  T* Get() const { return m_ptr; }
  T* operator->() const { return m_ptr; }
  explicit operator bool() const { return m_ptr != nullptr; }

  // The place for an out-parameter; drops what was held.
  T** Put() {
    Reset();
    return &m_ptr;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

  T* Detach() {
    T* ptr = m_ptr;
    m_ptr = nullptr;
    return ptr;
  }
  void Reset() {
    if (m_ptr) {
      T* ptr = m_ptr;
      m_ptr = nullptr;
      ptr->Release();
    }
  }

  template <class U>
  HRESULT As(REFIID iid, ComPtr<U>* out) const {
    if (!m_ptr)
      return E_POINTER;
    return m_ptr->QueryInterface(iid, out->PutVoid());
  }

 private:
  T* m_ptr = nullptr;
};

// Frees the format block and the extra interface of a media type whose record
// the caller keeps.
void FreeMediaTypeFields(AM_MEDIA_TYPE& type);

// A media type record in task memory, handed out by IAMStreamConfig.
class MediaTypePtr {
 public:
  MediaTypePtr() = default;
  MediaTypePtr(const MediaTypePtr&) = delete;
  MediaTypePtr& operator=(const MediaTypePtr&) = delete;
  ~MediaTypePtr() { Reset(); }

  AM_MEDIA_TYPE** Put() {
    Reset();
    return &m_type;
  }
  AM_MEDIA_TYPE* Get() const { return m_type; }
  AM_MEDIA_TYPE* operator->() const { return m_type; }
  explicit operator bool() const { return m_type != nullptr; }
  void Reset();

 private:
  AM_MEDIA_TYPE* m_type = nullptr;
};

// A media type record the caller owns, with a task-memory format block.
class MediaTypeValue {
 public:
  MediaTypeValue() : m_type{} {}
  MediaTypeValue(const MediaTypeValue&) = delete;
  MediaTypeValue& operator=(const MediaTypeValue&) = delete;
  ~MediaTypeValue() { FreeMediaTypeFields(m_type); }
  AM_MEDIA_TYPE* Get() { return &m_type; }
  const AM_MEDIA_TYPE& Ref() const { return m_type; }

 private:
  AM_MEDIA_TYPE m_type;
};

// A BSTR or a task-memory wide string.
class BstrValue {
 public:
  BstrValue() = default;
  BstrValue(const BstrValue&) = delete;
  BstrValue& operator=(const BstrValue&) = delete;
  ~BstrValue();
  BSTR* Put();
  const wchar_t* Get() const { return m_text; }

 private:
  BSTR m_text = nullptr;
};

// Initialises COM on this thread for the guard's lifetime.
class ComApartment {
 public:
  explicit ComApartment(DWORD model);
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment();
  HRESULT Result() const { return m_result; }

 private:
  HRESULT m_result;
};

// A Win32 handle closed on destruction.
class HandleOwner {
 public:
  explicit HandleOwner(HANDLE handle = nullptr) : m_handle(handle) {}
  HandleOwner(const HandleOwner&) = delete;
  HandleOwner& operator=(const HandleOwner&) = delete;
  ~HandleOwner() {
    if (m_handle)
      CloseHandle(m_handle);
  }
  HANDLE Get() const { return m_handle; }

 private:
  HANDLE m_handle;
};

std::string Utf8FromWide(const wchar_t* text);
std::wstring WideFromUtf8(const std::string& text);

// "0x80070491" style text of a result code.
std::string HresultText(HRESULT hr);

}  // namespace zdcap
