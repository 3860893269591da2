#include "zn/thread/ZnThread.h"

#include <pthread.h>

#include <cerrno>
#include <memory>
#include <new>

#include "zn/thread/internal/ThreadControl.h"
#include "zn/thread/internal/ThreadExitCallbacks.h"
#include "zuzazer/FXThreadId.h"

using zn::detail::ThreadControl;

namespace {

// What one start hands to its thread; freed by the trampoline.
struct StartRecord {
  ZnThread::ThreadFunction function;
  void* argument;
  ThreadControl* control;
};

// No object with a destructor lives across the call of the thread's
// function: a cancelled thread unwinds through this frame, and a landing pad
// here trips the sanitizers' handling of that unwind.
void* Trampoline(void* raw) {
  ZnThread::ThreadFunction function = nullptr;
  void* argument = nullptr;
  ThreadControl* control = nullptr;
  {
    const std::unique_ptr<StartRecord> record(static_cast<StartRecord*>(raw));
    function = record->function;
    argument = record->argument;
    control = record->control;
  }
  int ignored = 0;
  // A block that could not be registered for the thread's end is finished
  // here, so this thread must not be cancelled before that.
  if (!control->attachToCurrentThread()) ::pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &ignored);

  const unsigned int result = function(argument);
  // Once the function is back the thread has done its work: a late cancel
  // request must not cut the callbacks short.
  ::pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &ignored);
  zn::detail::RunThreadExitCallbacks();
  control->setResult(result);
  control->finishUnattached();
  return nullptr;
}

}  // namespace

ZnThread::ZnThread(void* handle) : m_handle(handle) {
  if (m_handle != nullptr) ThreadControl::FromHandle(m_handle)->addRef();
}

ZnThread::~ZnThread() { closeHandle(); }

void ZnThread::closeHandle() {
  if (m_handle == nullptr) return;
  ThreadControl::FromHandle(m_handle)->release();
  m_handle = nullptr;
}

void ZnThread::handleThread(void* handle) {
  if (handle != nullptr) ThreadControl::FromHandle(handle)->addRef();
  m_handle = handle;
}

void* ZnThread::createThread(ThreadFunction function, void* argument) {
  if (m_handle != nullptr) return nullptr;
  if (function == nullptr) {
    errno = EINVAL;
    return nullptr;
  }
  auto* control = new (std::nothrow) ThreadControl();
  auto record = std::unique_ptr<StartRecord>(new (std::nothrow) StartRecord{function, argument, control});
  if (control == nullptr || record == nullptr) {
    if (control != nullptr) control->release();
    errno = ENOMEM;
    return nullptr;
  }
  const int error = control->start(&Trampoline, record.get());
  if (error != 0) {
    control->release();
    errno = error;
    return nullptr;
  }
  record.release();  // the thread owns it now
  m_handle = control->handle();
  m_threadId = control->threadId();
  return m_handle;
}

bool ZnThread::joinThread() {
  if (!joinThread(kInfinite)) return false;
  closeHandle();
  return true;
}

bool ZnThread::joinThread(unsigned int ms) {
  if (m_handle == nullptr) {
    errno = EBADF;
    return false;
  }
  ThreadControl* const control = ThreadControl::FromHandle(m_handle);
  if (control->threadId() == yq::CurrentThreadId()) {
    errno = EDEADLK;  // it would wait for itself for ever
    return false;
  }
  if (control->waitDone(ms)) return true;
  errno = ETIMEDOUT;
  return false;
}

bool ZnThread::endThread() {
  closeHandle();
  return true;
}

bool ZnThread::terminateThread() {
  if (m_handle == nullptr) {
    errno = EBADF;
    return false;
  }
  const int error = ThreadControl::FromHandle(m_handle)->cancel();
  if (error != 0) {
    errno = error;
    return false;
  }
  closeHandle();
  return true;
}

bool ZnThread::suspendThread() {
  errno = m_handle == nullptr ? EBADF : ENOTSUP;
  return false;
}

bool ZnThread::resumeThread() {
  errno = m_handle == nullptr ? EBADF : ENOTSUP;
  return false;
}

int ZnThread::GetThreadExitCode(unsigned long& code) {
  if (m_handle == nullptr) {
    errno = EBADF;
    return 0;
  }
  code = ThreadControl::FromHandle(m_handle)->exitCode();
  return 1;
}

unsigned int ZnThread::getCurrentThreadID() { return yq::CurrentThreadId(); }
