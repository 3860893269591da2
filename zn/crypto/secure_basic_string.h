// A string that behaves like std::basic_string and zeroes its memory before
// it lets it go: heap blocks are wiped whole when they are released (on
// destruction, growth or shrink_to_fit), and the string's own short-string
// buffer is wiped when the string is destroyed, cleared or made shorter.
// Plain-text passwords and hexadecimal keys are held in it.
#pragma once

#include <string.h>

#include <cstddef>
#include <memory>
#include <string>

namespace zn {

// An allocator that wipes every block before freeing it.
template <class T>
struct SecureAllocator {
  using value_type = T;
  SecureAllocator() noexcept = default;
  template <class U>
  SecureAllocator(const SecureAllocator<U>&) noexcept {}  // NOLINT

  T* allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
  void deallocate(T* p, std::size_t n) noexcept {
    ::explicit_bzero(p, n * sizeof(T));
    std::allocator<T>().deallocate(p, n);
  }
  template <class U>
  bool operator==(const SecureAllocator<U>&) const noexcept {
    return true;
  }
};

}  // namespace zn

template <class CharT>
class secure_basic_string : public std::basic_string<CharT, std::char_traits<CharT>, zn::SecureAllocator<CharT>> {
  using Base = std::basic_string<CharT, std::char_traits<CharT>, zn::SecureAllocator<CharT>>;

 public:
  using Base::Base;
  secure_basic_string() = default;
  secure_basic_string(const Base& other) : Base(other) {}  // NOLINT
  secure_basic_string(Base&& other) noexcept : Base(std::move(other)) {}  // NOLINT
  secure_basic_string(const secure_basic_string& other) = default;
  // A moved-from string keeps nothing readable in its own buffer.
  secure_basic_string(secure_basic_string&& other) noexcept : Base(std::move(other)) { other.wipeSpare(); }
  secure_basic_string& operator=(const secure_basic_string& other) {
    if (this != &other) {
      wipeAll();
      Base::operator=(other);
    }
    return *this;
  }
  secure_basic_string& operator=(secure_basic_string&& other) noexcept {
    if (this != &other) {
      wipeAll();
      Base::operator=(std::move(other));
      other.wipeSpare();
    }
    return *this;
  }
  using Base::operator=;
  ~secure_basic_string() { wipeAll(); }

  void clear() noexcept {
    wipeAll();
    Base::clear();
  }
  void resize(typename Base::size_type n) {
    Base::resize(n);
    wipeSpare();
  }
  void resize(typename Base::size_type n, CharT c) {
    Base::resize(n, c);
    wipeSpare();
  }
  secure_basic_string& erase(typename Base::size_type pos = 0, typename Base::size_type n = Base::npos) {
    Base::erase(pos, n);
    wipeSpare();
    return *this;
  }
  void pop_back() {
    Base::pop_back();
    wipeSpare();
  }

 private:
  // The whole buffer, terminator slot included.
  void wipeAll() noexcept { ::explicit_bzero(this->data(), (this->capacity() + 1) * sizeof(CharT)); }
  // What lies beyond the terminator.
  void wipeSpare() noexcept {
    const auto used = this->size() + 1;
    const auto total = this->capacity() + 1;
    if (total > used) ::explicit_bzero(this->data() + used, (total - used) * sizeof(CharT));
  }
};
