// The control block behind a ZnThread handle: shared by the thread and the
// objects holding its handle, it outlives both until the last reference
// goes. The thread marks it done from a thread-specific-data destructor,
// after the thread's own thread_local objects are gone, so a joiner never
// returns while the thread still runs code of its caller.
#pragma once

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace zn::detail {

class ThreadControl {
 public:
  static constexpr unsigned long kStillActive = 259;

  // A new block with one reference, for the creator.
  ThreadControl() = default;
  ThreadControl(const ThreadControl&) = delete;
  ThreadControl& operator=(const ThreadControl&) = delete;

  static ThreadControl* FromHandle(void* handle) { return static_cast<ThreadControl*>(handle); }
  void* handle() { return this; }

  void addRef() { m_references.fetch_add(1, std::memory_order_relaxed); }
  // Drops one reference; the last one frees the block.
  void release();

  // Starts the thread running `entry(argument)`, taking a reference for it;
  // returns 0 or the pthread error. On success the thread's kernel id is
  // known when this returns.
  int start(void* (*entry)(void*), void* argument);

  // ---- On the thread itself ----
  // Registers this block to be finished when the thread ends and publishes
  // the thread's id. False when it could not be registered: the thread
  // then calls finishUnattached itself.
  bool attachToCurrentThread();
  // The code the thread ends with unless it is cancelled first.
  void setResult(unsigned long code);
  // Finishes the block now when it could not be registered for the thread's
  // end (the thread then counts as ended a little early).
  void finishUnattached();

  // ---- Holders ----
  // True when the thread ended within `ms` (all-ones: no limit).
  bool waitDone(unsigned int ms);
  // Still-active code while running.
  unsigned long exitCode();
  // Asks a running thread to stop at its next cancellation point; 0 or the
  // pthread error. A thread that has ended is left alone.
  int cancel();
  uint32_t threadId();

 private:
  ~ThreadControl() = default;
  // Run by the thread-specific-data destructor when the thread ends.
  static void FinishThread(void* block);

  std::atomic<int> m_references{1};
  std::mutex m_mutex;
  std::condition_variable m_changed;
  pthread_t m_thread{};
  bool m_done = false;
  uint32_t m_threadId = 0;
  bool m_attached = false;  // touched by the thread only
  unsigned long m_result = 0;  // what the function returned; 0 when cancelled
  unsigned long m_exitCode = kStillActive;
};

}  // namespace zn::detail
