#include "zn/thread/internal/ThreadControl.h"

#include <chrono>

#include "zuzazer/FXThreadId.h"

namespace zn::detail {

namespace {

// One key for the whole process, never deleted: its destructor finishes the
// control block of every thread that ends.
struct FinishKey {
  explicit FinishKey(void (*finish)(void*)) { created = ::pthread_key_create(&key, finish) == 0; }
  pthread_key_t key{};
  bool created = false;
};

}  // namespace

void ThreadControl::release() {
  if (m_references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

int ThreadControl::start(void* (*entry)(void*), void* argument) {
  pthread_attr_t attributes;
  int error = ::pthread_attr_init(&attributes);
  if (error != 0) return error;
  error = ::pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  if (error == 0) {
    addRef();  // the thread's own, dropped when it finishes
    error = ::pthread_create(&m_thread, &attributes, entry, argument);
    if (error != 0) m_references.fetch_sub(1, std::memory_order_relaxed);
  }
  ::pthread_attr_destroy(&attributes);
  if (error != 0) return error;
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [this] { return m_threadId != 0 || m_done; });
  return 0;
}

bool ThreadControl::attachToCurrentThread() {
  static FinishKey finishKey(&ThreadControl::FinishThread);
  m_attached = finishKey.created && ::pthread_setspecific(finishKey.key, this) == 0;
  std::lock_guard<std::mutex> lock(m_mutex);
  m_threadId = yq::CurrentThreadId();
  m_changed.notify_all();
  return m_attached;
}

void ThreadControl::setResult(unsigned long code) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_result = code;
}

bool ThreadControl::waitDone(unsigned int ms) {
  std::unique_lock<std::mutex> lock(m_mutex);
  const auto done = [this] { return m_done; };
  if (ms == 0xFFFFFFFFu) {
    m_changed.wait(lock, done);
    return true;
  }
  return m_changed.wait_for(lock, std::chrono::milliseconds(ms), done);
}

unsigned long ThreadControl::exitCode() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_exitCode;
}

int ThreadControl::cancel() {
  // Under the lock a thread not yet done cannot finish, so its pthread_t is
  // still valid (a detached thread's id may be reused once it is gone).
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_done) return 0;
  return ::pthread_cancel(m_thread);
}

uint32_t ThreadControl::threadId() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_threadId;
}

void ThreadControl::FinishThread(void* block) {
  auto* self = static_cast<ThreadControl*>(block);
  {
    std::lock_guard<std::mutex> lock(self->m_mutex);
    self->m_exitCode = self->m_result;
    self->m_done = true;
    self->m_changed.notify_all();
  }
  self->release();
}

void ThreadControl::finishUnattached() {
  if (!m_attached) FinishThread(this);
}

}  // namespace zn::detail
