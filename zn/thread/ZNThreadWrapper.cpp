#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "zn/thread/ZnThread.h"

namespace {

struct WrapperStart {
  ZnThread::ThreadFunction function;
  void* argument;
};

// Threads of ZNThread always end with exit code 0. Nothing with a
// destructor lives across the call (see the trampoline in ZnThread.cpp).
unsigned int WrapperTrampoline(void* raw) {
  ZnThread::ThreadFunction function = nullptr;
  void* argument = nullptr;
  {
    const std::unique_ptr<WrapperStart> start(static_cast<WrapperStart*>(raw));
    function = start->function;
    argument = start->argument;
  }
  function(argument);
  return 0;
}

}  // namespace

ZNThread::ZNThread() = default;

ZNThread::~ZNThread() = default;

bool ZNThread::createThread(ZnThread::ThreadFunction function, void* argument) {
  if (threadInProgress()) return false;
  if (function == nullptr) {
    errno = EINVAL;
    return false;
  }
  if (!m_thread) m_thread = std::make_unique<ZnThread>();
  auto start = std::unique_ptr<WrapperStart>(new (std::nothrow) WrapperStart{function, argument});
  if (start == nullptr) {
    errno = ENOMEM;
    return false;
  }
  if (m_thread->createThread(&WrapperTrampoline, start.get()) == nullptr) return false;
  start.release();  // the thread frees it
  return true;
}

bool ZNThread::createThread(ZnThread::ThreadFunction function, int /*ignored*/, void* argument) {
  return createThread(function, argument);
}

bool ZNThread::createDetachedThread(ZnThread::ThreadFunction function, void* argument) {
  return createThread(function, argument);
}

bool ZNThread::createDetachedThread(ZnThread::ThreadFunction function, int /*ignored*/, void* argument) {
  return createThread(function, argument);
}

bool ZNThread::detachThread() { return m_thread ? m_thread->endThread() : false; }

bool ZNThread::joinThread(unsigned int ms, bool* ok) {
  if (!m_thread || !m_thread->joinThread(ms)) return false;
  if (ok != nullptr) {
    unsigned long code = 1;
    *ok = m_thread->GetThreadExitCode(code) != 0 && code == 0;
  }
  return true;
}

bool ZNThread::threadInProgress() const { return m_thread && m_thread->threadInProgress(); }

unsigned int ZNThread::getThreadID() const { return m_thread ? m_thread->getThreadID() : 0; }

unsigned int ZNThread::getCurrentThreadID() { return ZnThread::getCurrentThreadID(); }

std::string ZNThread::getLastError() const {
  const int code = errno;
  if (code == 0) return std::string();
  if (const char* text = ::strerrordesc_np(code)) return text;
  char fallback[32];
  std::snprintf(fallback, sizeof fallback, "ERROR:%d", code);
  return fallback;
}

bool ZNThread::suspendThread() { return m_thread ? m_thread->suspendThread() : false; }

bool ZNThread::resumeThread() { return m_thread ? m_thread->resumeThread() : false; }

bool ZNThread::terminateThread() { return m_thread ? m_thread->terminateThread() : false; }
