// Owning pointer to memory from the COM task allocator (CoTaskMemAlloc):
// freed with CoTaskMemFree unless given away with Detach().
#pragma once

#include <objbase.h>

#include <cstddef>

template <class T>
class TaskMemPtr {
 public:
  TaskMemPtr() = default;
  explicit TaskMemPtr(T* ptr) : m_ptr(ptr) {}
  TaskMemPtr(const TaskMemPtr&) = delete;
  TaskMemPtr& operator=(const TaskMemPtr&) = delete;
  TaskMemPtr(TaskMemPtr&& other) noexcept : m_ptr(other.Detach()) {}
  TaskMemPtr& operator=(TaskMemPtr&& other) noexcept {
    if (this != &other)
      Reset(other.Detach());
    return *this;
  }
  ~TaskMemPtr() { Reset(); }

  // Allocates bytes (at least one T's worth is the caller's business); null on failure.
  static TaskMemPtr Alloc(std::size_t bytes) {
    return TaskMemPtr(static_cast<T*>(CoTaskMemAlloc(bytes)));
  }

  T* Get() const { return m_ptr; }
  T* operator->() const { return m_ptr; }
  T& operator*() const { return *m_ptr; }
  explicit operator bool() const { return m_ptr != nullptr; }

  T* Detach() {
    T* ptr = m_ptr;
    m_ptr = nullptr;
    return ptr;
  }
  void Reset(T* ptr = nullptr) {
    T* old = m_ptr;
    m_ptr = ptr;
    if (old)
      CoTaskMemFree(old);
  }

 private:
  T* m_ptr = nullptr;
};
