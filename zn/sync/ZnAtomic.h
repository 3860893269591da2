// A 64-bit value and a 32-bit bit set, each guarded by a critical section.
#pragma once

#include <cstdint>

#include "zn/base/ZnCriticalSection.h"
#include "zn/base/ZnExport.h"

class ZN_EXPORT ZnAtomicU64_t {
 public:
  explicit ZnAtomicU64_t(long long value = 0) : m_value(value) {}
  ZnAtomicU64_t(const ZnAtomicU64_t& other) : m_value(other.value()) {}
  ZnAtomicU64_t& operator=(const ZnAtomicU64_t& other);
  ZnAtomicU64_t& operator=(long long value);

  long long value() const;
  // Prefix forms give the new value, postfix forms the old one.
  long long operator++();
  long long operator++(int);
  long long operator--();
  long long operator--(int);
  long long operator+=(long long delta);
  long long operator-=(long long delta);
  long long operator+=(const ZnAtomicU64_t& other) { return *this += other.value(); }
  long long operator-=(const ZnAtomicU64_t& other) { return *this -= other.value(); }

 private:
  mutable ZnCriticalSection m_lock;
  long long m_value;
};

class ZN_EXPORT ZnAtomicBitwiseOpts_t {
 public:
  explicit ZnAtomicBitwiseOpts_t(uint32_t bits = 0) : m_bits(bits) {}

  // Bit n mod 32. The test forms return the previous bit in place
  // (0 or 1 << n).
  void set_bit(unsigned int n);
  void clear_bit(unsigned int n);
  uint32_t test_bit(unsigned int n) const;
  uint32_t test_and_set_bit(unsigned int n);
  uint32_t test_and_clear_bit(unsigned int n);
  uint32_t value() const;

 private:
  mutable ZnCriticalSection m_lock;
  uint32_t m_bits;
};
