#include "zn/sync/ZnSemaphore.h"

#include <cerrno>

#include "zn/error/ZnErrorCodes.h"
#include "zn/error/ZnException.h"
#include "zn/sync/internal/LocalWaitable.h"
#include "zn/sync/NamedKernelObject.h"

using zn::WaitOutcome;

namespace {

[[noreturn]] void ThrowSystem(const char* operation, uint32_t code) {
  throw ZnException(operation, yq::Win32ErrorText(code), __FILE__, __LINE__, static_cast<int>(code));
}

}  // namespace

ZnSemaphore::ZnSemaphore(int initial) {
  if (initial < 0) throw ZnException("ZnSemaphore", "Init value may not be negative.", __FILE__, __LINE__);
  m_local = std::make_unique<zn::detail::LocalSemaphore>(initial, kDefaultMaximum);
}

ZnSemaphore::ZnSemaphore(int initial, int maximum, const char* name) {
  if (initial < 0) throw ZnException("ZnSemaphore", "Init value may not be negative.", __FILE__, __LINE__);
  if (maximum < 0) throw ZnException("ZnSemaphore", "Max value may not be negative.", __FILE__, __LINE__);
  if (initial > maximum || maximum == 0) ThrowSystem("ZnSemaphore", zn::kErrorInvalidParameter);
  if (name == nullptr || name[0] == '\0') {
    m_local = std::make_unique<zn::detail::LocalSemaphore>(initial, maximum);
    return;
  }
  zn::NamedObjectInit init;
  init.initialCount = initial;
  init.maximumCount = maximum;
  bool created = false;
  // Open to every user of the machine; failing that, to this user only.
  uint32_t error = zn::NamedKernelObject::Create(name, zn::NamedObjectType::kSemaphore, init, true,
                                                         m_named, created);
  if (error == zn::kErrorAccessDenied) {
    error = zn::NamedKernelObject::Create(name, zn::NamedObjectType::kSemaphore, init, false,
                                                  m_named, created);
  }
  if (error != 0) ThrowSystem("ZnSemaphore", error);
}

ZnSemaphore::~ZnSemaphore() = default;

void ZnSemaphore::release(int count) {
  if (count < 1) throw ZnException("ZnSemaphore::release", "Increment must be positive.", __FILE__, __LINE__);
  const bool released = m_named ? m_named->releaseSemaphore(count, nullptr) : m_local->release(count, nullptr);
  if (!released) ThrowSystem("ZnSemaphore::release", zn::kErrorTooManyPosts);
}

void ZnSemaphore::wait() { wait(kInfinite); }

bool ZnSemaphore::wait(unsigned long ms) {
  const WaitOutcome outcome = m_named ? m_named->waitSemaphore(ms) : m_local->wait(ms);
  if (outcome == WaitOutcome::kFailed) ThrowSystem("ZnSemaphore::wait", zn::ErrorFromErrno(errno));
  return outcome == WaitOutcome::kAcquired;
}

void* ZnSemaphore::getHandle() {
  return m_named ? static_cast<void*>(m_named.get()) : static_cast<void*>(m_local.get());
}

ZnEvent::ZnEvent(bool manualReset) : m_local(std::make_unique<zn::detail::LocalEvent>(manualReset, false)) {}

ZnEvent::~ZnEvent() = default;

void ZnEvent::set() { m_local->set(); }

void ZnEvent::reset() { m_local->reset(); }

void ZnEvent::wait() { wait(kInfinite); }

bool ZnEvent::wait(unsigned long ms) { return m_local->wait(ms) == WaitOutcome::kAcquired; }

void* ZnEvent::getHandle() { return m_local.get(); }
