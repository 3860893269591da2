// A string that behaves like std::basic_string and zeroes its memory before
// it lets it go. Its characters always live in a heap block of the wiping
// allocator, never in the string object's own short-string buffer: a short
// password held there would be left behind, outside any block, when the
// string grows. Heap blocks are wiped whole when they are released (on
// destruction, growth or shrink_to_fit), and what lies beyond the end is
// wiped whenever the string gets shorter.
// Plain-text passwords and hexadecimal keys are held in it.
#pragma once

#include <string.h>

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

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
  using size_type = typename Base::size_type;

  secure_basic_string() { leaveLocalBuffer(); }
  // Every constructor of the standard string: the block is taken first,
  // then the characters go into it.
  template <class... Args>
    requires std::is_constructible_v<Base, Args...>
  secure_basic_string(Args&&... args) {  // NOLINT: converts like the standard string
    leaveLocalBuffer();
    Base::assign(std::forward<Args>(args)...);
  }
  secure_basic_string(std::initializer_list<CharT> chars) {
    leaveLocalBuffer();
    Base::assign(chars);
  }
  secure_basic_string(const secure_basic_string& other) : secure_basic_string() { Base::assign(other); }
  // The block moves over; the source takes a fresh one.
  secure_basic_string(secure_basic_string&& other) noexcept : Base(std::move(other)) {
    leaveLocalBuffer();
    other.leaveLocalBuffer();
  }
  ~secure_basic_string() { wipeAll(); }

  secure_basic_string& operator=(const secure_basic_string& other) {
    if (this != &other) assign(other);
    return *this;
  }
  secure_basic_string& operator=(secure_basic_string&& other) noexcept {
    if (this != &other) {
      wipeAll();
      Base::swap(other);  // the old block goes with the source
      other.clear();
    }
    return *this;
  }
  template <class T>
    requires std::is_assignable_v<Base&, T>
  secure_basic_string& operator=(T&& value) {
    Base::operator=(std::forward<T>(value));
    wipeSpare();
    return *this;
  }
  secure_basic_string& operator=(std::initializer_list<CharT> chars) { return assign(chars); }

  template <class... Args>
  secure_basic_string& assign(Args&&... args) {
    Base::assign(std::forward<Args>(args)...);
    wipeSpare();
    return *this;
  }
  secure_basic_string& assign(std::initializer_list<CharT> chars) {
    Base::assign(chars);
    wipeSpare();
    return *this;
  }
  template <class... Args>
  secure_basic_string& replace(Args&&... args) {
    Base::replace(std::forward<Args>(args)...);
    wipeSpare();
    return *this;
  }

  void clear() noexcept {
    wipeAll();
    Base::clear();
  }
  void resize(size_type n) {
    Base::resize(n);
    wipeSpare();
  }
  void resize(size_type n, CharT c) {
    Base::resize(n, c);
    wipeSpare();
  }
  secure_basic_string& erase(size_type pos = 0, size_type n = Base::npos) {
    Base::erase(pos, n);
    wipeSpare();
    return *this;
  }
  void pop_back() {
    Base::pop_back();
    wipeSpare();
  }
  // Stays in a heap block (the standard call may move back into the
  // object's own buffer).
  void shrink_to_fit() {}

 private:
  // libstdc++ keeps up to 15 bytes of characters inside the object; a
  // capacity above that means a heap block.
  static constexpr size_type kLocalCapacity = 15 / sizeof(CharT);

  void leaveLocalBuffer() noexcept {
    if (this->capacity() > kLocalCapacity) return;
    try {
      Base::reserve(kLocalCapacity + 1);
    } catch (...) {
      // Out of memory: the string still works, in its own buffer.
    }
  }
  // The whole buffer, terminator slot included.
  void wipeAll() noexcept { ::explicit_bzero(this->data(), (this->capacity() + 1) * sizeof(CharT)); }
  // What lies beyond the terminator.
  void wipeSpare() noexcept {
    const auto used = this->size() + 1;
    const auto total = this->capacity() + 1;
    if (total > used) ::explicit_bzero(this->data() + used, (total - used) * sizeof(CharT));
  }
};
