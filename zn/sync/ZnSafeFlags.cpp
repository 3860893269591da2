#include "zn/sync/ZnSafeFlags.h"

ZnSafeFlags::ZnSafeFlags(const ZnSafeFlags& other) : ZnMonitor(), m_value(const_cast<ZnSafeFlags&>(other).value()) {}

ZnSafeFlags::operator int() {
  ZnMonitorLock lock(this);
  return m_value;
}

template <typename Change>
ZnSafeFlags& ZnSafeFlags::change(Change&& apply) {
  ZnMonitorLock lock(this);
  apply(m_value);
  broadcast();
  return *this;
}

ZnSafeFlags& ZnSafeFlags::operator=(int value) {
  return change([value](int& v) { v = value; });
}

ZnSafeFlags& ZnSafeFlags::operator=(const ZnSafeFlags& other) {
  if (this == &other) return *this;
  const int value = const_cast<ZnSafeFlags&>(other).value();
  return *this = value;
}

ZnSafeFlags& ZnSafeFlags::operator++() {
  return change([](int& v) { ++v; });
}

ZnSafeFlags& ZnSafeFlags::operator++(int) { return ++*this; }

ZnSafeFlags& ZnSafeFlags::operator--() {
  return change([](int& v) { --v; });
}

ZnSafeFlags& ZnSafeFlags::operator--(int) { return --*this; }

ZnSafeFlags& ZnSafeFlags::operator+=(int delta) {
  return change([delta](int& v) { v += delta; });
}

ZnSafeFlags& ZnSafeFlags::operator-=(int delta) {
  return change([delta](int& v) { v -= delta; });
}

ZnSafeFlags& ZnSafeFlags::operator&=(int mask) {
  return change([mask](int& v) { v &= mask; });
}

ZnSafeFlags& ZnSafeFlags::operator|=(int mask) {
  return change([mask](int& v) { v |= mask; });
}

ZnSafeFlagsInc::ZnSafeFlagsInc(ZnSafeFlags* flags, int delta)
    : m_value(flags != nullptr ? &flags->raw() : nullptr), m_monitor(flags), m_delta(delta) {
  apply(+1);
}

ZnSafeFlagsInc::ZnSafeFlagsInc(int* value, ZnMonitor* monitor, int delta)
    : m_value(value), m_monitor(monitor), m_delta(delta) {
  apply(+1);
}

ZnSafeFlagsInc::~ZnSafeFlagsInc() { apply(-1); }

void ZnSafeFlagsInc::reset(ZnSafeFlags* flags, int delta) {
  apply(-1);
  m_value = flags != nullptr ? &flags->raw() : nullptr;
  m_monitor = flags;
  m_delta = delta;
  apply(+1);
}

void ZnSafeFlagsInc::apply(int sign) {
  if (m_value == nullptr) return;
  ZnMonitorLock lock(m_monitor);
  *m_value += sign * m_delta;
  if (m_monitor != nullptr) m_monitor->broadcast();
}

ZnSafeFlagsController::~ZnSafeFlagsController() {
  if (m_flags != nullptr && m_flags->value() != m_value) *m_flags = m_value;
}
