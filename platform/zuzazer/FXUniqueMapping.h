// Owner of a memory mapping: unmaps it when it goes out of scope.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <utility>

namespace yq {

class UniqueMapping {
 public:
  UniqueMapping() = default;
  // Takes `address` as mmap(2) returned it (MAP_FAILED or null: nothing).
  UniqueMapping(void* address, std::size_t size)
      : m_address(address == MAP_FAILED ? nullptr : address), m_size(m_address != nullptr ? size : 0) {}
  UniqueMapping(UniqueMapping&& other) noexcept
      : m_address(std::exchange(other.m_address, nullptr)), m_size(std::exchange(other.m_size, 0)) {}
  UniqueMapping& operator=(UniqueMapping&& other) noexcept {
    if (this != &other) {
      reset();
      m_address = std::exchange(other.m_address, nullptr);
      m_size = std::exchange(other.m_size, 0);
    }
    return *this;
  }
  UniqueMapping(const UniqueMapping&) = delete;
  UniqueMapping& operator=(const UniqueMapping&) = delete;
  ~UniqueMapping() { reset(); }

  // Maps `size` bytes of `fd` shared for reading and writing.
  static UniqueMapping MapShared(int fd, std::size_t size) {
    return UniqueMapping(::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0), size);
  }

  void* get() const { return m_address; }
  template <typename T>
  T* as() const {
    return static_cast<T*>(m_address);
  }
  std::size_t size() const { return m_size; }
  explicit operator bool() const { return m_address != nullptr; }

  void reset() {
    if (m_address != nullptr) ::munmap(m_address, m_size);
    m_address = nullptr;
    m_size = 0;
  }

 private:
  void* m_address = nullptr;
  std::size_t m_size = 0;
};

}  // namespace yq
