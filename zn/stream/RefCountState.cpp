#include "zn/stream/internal/RefCountState.h"

#include <atomic>

#include "zn/base/ZnCriticalSection.h"
#include "zuzazer/FXNoDestructor.h"

namespace zn::detail {

namespace {

std::atomic<ZnCriticalSection*> g_countLock{nullptr};

// Built at library load, with the other process-wide objects, and never
// destroyed: counts may still change while the process exits.
const struct CountLockBuilder {
  CountLockBuilder() {
    static yq::NoDestructor<ZnCriticalSection> lock;
    g_countLock.store(&lock.get(), std::memory_order_release);
  }
} g_countLockBuilder;

}  // namespace

RefCountLock::RefCountLock() : m_lock(g_countLock.load(std::memory_order_acquire)) {
  if (m_lock != nullptr) m_lock->enter();
}

void RefCountLock::unlock() {
  if (m_lock != nullptr) {
    m_lock->leave();
    m_lock = nullptr;
  }
}

LiveObjects& LiveObjects::instance() {
  // Made on first use: objects built during other code's static
  // initialisation must be known too.
  static yq::NoDestructor<LiveObjects> objects;
  return objects.get();
}

void LiveObjects::add(const SPEnabled* object) { m_objects.try_emplace(object); }

void LiveObjects::remove(const SPEnabled* object) {
  const auto found = m_objects.find(object);
  if (found == m_objects.end()) return;
  if (found->second.callback != nullptr) --m_withTrigger;
  m_objects.erase(found);
}

bool LiveObjects::setTrigger(const SPEnabled* object, LastRefTrigger trigger) {
  const auto found = m_objects.find(object);
  if (found == m_objects.end()) return false;
  const bool had = found->second.callback != nullptr;
  const bool has = trigger.callback != nullptr;
  found->second = has ? trigger : LastRefTrigger{};
  if (has && !had) ++m_withTrigger;
  if (had && !has) --m_withTrigger;
  return true;
}

LastRefTrigger LiveObjects::trigger(const SPEnabled* object) const {
  if (m_withTrigger == 0) return {};
  const auto found = m_objects.find(object);
  return found == m_objects.end() ? LastRefTrigger{} : found->second;
}

}  // namespace zn::detail
