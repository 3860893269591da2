#include "zn/sync/ZnAtomic.h"

ZnAtomicU64_t& ZnAtomicU64_t::operator=(const ZnAtomicU64_t& other) {
  if (this != &other) *this = other.value();
  return *this;
}

ZnAtomicU64_t& ZnAtomicU64_t::operator=(long long value) {
  ZnCriticalSectionLock lock(&m_lock);
  m_value = value;
  return *this;
}

long long ZnAtomicU64_t::value() const {
  ZnCriticalSectionLock lock(&m_lock);
  return m_value;
}

long long ZnAtomicU64_t::operator++() {
  ZnCriticalSectionLock lock(&m_lock);
  return ++m_value;
}

long long ZnAtomicU64_t::operator++(int) {
  ZnCriticalSectionLock lock(&m_lock);
  return m_value++;
}

long long ZnAtomicU64_t::operator--() {
  ZnCriticalSectionLock lock(&m_lock);
  return --m_value;
}

long long ZnAtomicU64_t::operator--(int) {
  ZnCriticalSectionLock lock(&m_lock);
  return m_value--;
}

long long ZnAtomicU64_t::operator+=(long long delta) {
  ZnCriticalSectionLock lock(&m_lock);
  return m_value += delta;
}

long long ZnAtomicU64_t::operator-=(long long delta) {
  ZnCriticalSectionLock lock(&m_lock);
  return m_value -= delta;
}

namespace {

constexpr uint32_t Bit(unsigned int n) { return 1u << (n % 32); }

}  // namespace

void ZnAtomicBitwiseOpts_t::set_bit(unsigned int n) {
  ZnCriticalSectionLock lock(&m_lock);
  m_bits |= Bit(n);
}

void ZnAtomicBitwiseOpts_t::clear_bit(unsigned int n) {
  ZnCriticalSectionLock lock(&m_lock);
  m_bits &= ~Bit(n);
}

uint32_t ZnAtomicBitwiseOpts_t::test_bit(unsigned int n) const {
  ZnCriticalSectionLock lock(&m_lock);
  return m_bits & Bit(n);
}

uint32_t ZnAtomicBitwiseOpts_t::test_and_set_bit(unsigned int n) {
  ZnCriticalSectionLock lock(&m_lock);
  const uint32_t previous = m_bits & Bit(n);
  m_bits |= Bit(n);
  return previous;
}

uint32_t ZnAtomicBitwiseOpts_t::test_and_clear_bit(unsigned int n) {
  ZnCriticalSectionLock lock(&m_lock);
  const uint32_t previous = m_bits & Bit(n);
  m_bits &= ~Bit(n);
  return previous;
}

uint32_t ZnAtomicBitwiseOpts_t::value() const {
  ZnCriticalSectionLock lock(&m_lock);
  return m_bits;
}
