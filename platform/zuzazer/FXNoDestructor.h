// Holds a process-wide object that is built on first use and never
// destroyed, so threads still running at exit never see it torn down.
#pragma once

#include <new>
#include <utility>

namespace yq {

template <typename T>
class NoDestructor {
 public:
  template <typename... Args>
  explicit NoDestructor(Args&&... args) {
    ::new (static_cast<void*>(m_storage)) T(std::forward<Args>(args)...);
  }
  NoDestructor(const NoDestructor&) = delete;
  NoDestructor& operator=(const NoDestructor&) = delete;

  T& get() { return *std::launder(reinterpret_cast<T*>(m_storage)); }
  const T& get() const { return *std::launder(reinterpret_cast<const T*>(m_storage)); }
  T* operator->() { return &get(); }
  T& operator*() { return get(); }

 private:
  alignas(T) unsigned char m_storage[sizeof(T)];
};

}  // namespace yq
