#include "zn/stream/ZnSP.h"

#include <new>
#include <utility>

#include "zn/error/ZnException.h"
#include "zn/stream/internal/RefCountState.h"
#include "zn/stream/internal/StreamError.h"

namespace zn::detail {

// The counting rules, in one place for SPEnabled and SPBase. `verify` asks
// whether the object is alive before its count is read: a raw pointer may
// point at freed memory, a pointer held by an SPBase cannot.
struct RefCounting {
  static constexpr const char* kCorrupt = "SPEnabled object is corrupt (count<=0).";

  // -1 for an address that holds no live object.
  static int countOf(const SPEnabled* object, bool verify) {
    if (verify && !LiveObjects::instance().contains(object)) return -1;
    return object->m_count;
  }

  static int acquire(SPEnabled* object, const char* function, bool verify) {
    RefCountLock lock;
    if (countOf(object, verify) < 0) {
      lock.unlock();
      ThrowStreamError(function, kDeadObject);
    }
    return ++object->m_count;
  }

  static int release(SPEnabled* object, const char* function, bool verify) {
    RefCountLock lock;
    if (countOf(object, verify) < 1) {
      lock.unlock();
      ThrowStreamError(function, kCorrupt);
    }
    const int count = --object->m_count;
    if (count == 0) {
      object->m_count = -1;
      lock.unlock();
      delete object;
      return 0;
    }
    if (count == 1) {
      const LastRefTrigger trigger = LiveObjects::instance().trigger(object);
      lock.unlock();
      if (trigger.callback != nullptr) trigger.callback(trigger.argument);
    }
    return count;
  }

  static void enroll(const SPEnabled* object) {
    RefCountLock lock;
    try {
      LiveObjects::instance().add(object);
    } catch (const std::bad_alloc&) {
      lock.unlock();
      ThrowStreamError("SPEnabled::SPEnabled", kNotEnoughMemory);
    }
  }

  static void retire(const SPEnabled* object) {
    RefCountLock lock;
    LiveObjects::instance().remove(object);
  }

  static int count(const SPEnabled* object) {
    RefCountLock lock;
    return countOf(object, true);
  }

  static void setTrigger(const SPEnabled* object, LastRefTrigger trigger) {
    RefCountLock lock;
    if (!LiveObjects::instance().setTrigger(object, trigger)) {
      lock.unlock();
      ThrowStreamError("SPEnabled::addLastRefTrigger", kDeadObject);
    }
  }
};

}  // namespace zn::detail

using zn::detail::RefCounting;

SPEnabled::SPEnabled() { RefCounting::enroll(this); }

SPEnabled::SPEnabled(const SPEnabled& /*other*/) { RefCounting::enroll(this); }

SPEnabled& SPEnabled::operator=(const SPEnabled& /*other*/) { return *this; }

SPEnabled::~SPEnabled() { RefCounting::retire(this); }

int SPEnabled::incCount() { return RefCounting::acquire(this, "SPEnabled::incCount", true); }

int SPEnabled::decCount() { return RefCounting::release(this, "SPEnabled::decCount", true); }

int SPEnabled::getCount() const { return RefCounting::count(this); }

void SPEnabled::addLastRefTrigger(void (*trigger)(void*), void* argument) {
  RefCounting::setTrigger(this, zn::detail::LastRefTrigger{trigger, argument});
}

namespace {
constexpr const char* kAssign = "SPBase::assign";
}  // namespace

SPBase::SPBase(SPEnabled* object) {
  if (object != nullptr) RefCounting::acquire(object, kAssign, true);
  m_object = object;
}

SPBase::SPBase(const SPBase& other) : m_object(other.m_object) {
  if (m_object != nullptr) RefCounting::acquire(m_object, kAssign, false);
}

SPBase::~SPBase() {
  SPEnabled* const object = std::exchange(m_object, nullptr);
  if (object == nullptr) return;
  try {
    RefCounting::release(object, kAssign, false);
  } catch (const ZnException&) {
    // A corrupt count was already written to the log by the exception;
    // a destructor must not throw it on.
  }
}

void SPBase::assign(const SPBase& other) {
  if (other.m_object == m_object) return;
  if (other.m_object != nullptr) RefCounting::acquire(other.m_object, kAssign, false);
  SPEnabled* const previous = std::exchange(m_object, other.m_object);
  if (previous != nullptr) RefCounting::release(previous, kAssign, false);
}

void SPBase::assign(SPEnabled* object) {
  if (object == m_object) return;
  if (object != nullptr) RefCounting::acquire(object, kAssign, true);
  SPEnabled* const previous = std::exchange(m_object, object);
  if (previous != nullptr) RefCounting::release(previous, kAssign, false);
}
