// The library's threads. ZnThread owns one thread handle and starts its
// function through a trampoline that runs the process-wide thread-exit
// callbacks when the function returns; every thread the library starts is a
// ZnThread. ZNThread is the object-style wrapper that owns one ZnThread.
//
// A handle is the thread's control block, shared by the thread and every
// ZnThread that holds it: it stays valid until the last holder closes it
// and the thread has ended, so a timed join may fail and be retried, and
// the exit code stays readable after the thread is gone.
#pragma once

#include <memory>
#include <string>

#include "zn/base/ZnExport.h"

class ZN_EXPORT ZnThread {
 public:
  using ThreadFunction = unsigned int (*)(void*);
  using AtExitFunction = void (*)(void*);

  // The exit code a thread reports while it is still running.
  static constexpr unsigned long kStillActive = 259;
  // A join time-out that waits without limit.
  static constexpr unsigned int kInfinite = 0xFFFFFFFFu;

  // Wraps `handle` (from createThread of any ZnThread; null for none) with
  // thread id 0. The wrapper holds its own reference: closing it never
  // invalidates the handle for other holders.
  explicit ZnThread(void* handle = nullptr);
  // Closes a held handle; the thread keeps running.
  ~ZnThread();
  ZnThread(const ZnThread&) = delete;
  ZnThread& operator=(const ZnThread&) = delete;

  // Holds `handle` from now on. The previous handle is not closed: its
  // reference is left to whoever handed it over.
  void handleThread(void* handle);

  // Starts `function(argument)` on a new thread and returns its handle; the
  // thread id is known when it returns. Null, starting nothing, while a
  // handle is held; null with errno set when the thread cannot be made.
  void* createThread(ThreadFunction function, void* argument);

  // Waits without limit for the thread to end, then closes the handle.
  // False without a handle, and for a thread joining itself.
  bool joinThread();
  // Waits up to `ms` (kInfinite: no limit) and keeps the handle; true when
  // the thread has ended. A time-out may be followed by another join.
  bool joinThread(unsigned int ms);
  // Closes the handle; the thread runs on, detached. Always true.
  bool endThread();
  // Cancels the thread (it stops at its next cancellation point, without
  // running the exit callbacks, with exit code 0), then closes the handle.
  // False without a handle or when the cancel request fails.
  bool terminateThread();
  // Linux cannot suspend or resume one thread of a process: both fail with
  // errno ENOTSUP (error 50).
  bool suspendThread();
  bool resumeThread();
  // Non-zero on success: `code` is the thread's exit code, kStillActive
  // while it runs. 0 without a handle (errno EBADF).
  int GetThreadExitCode(unsigned long& code);

  static unsigned int getCurrentThreadID();
  // The kernel id of the thread this object started (0 for a wrapped handle).
  unsigned int getThreadID() const { return m_threadId; }
  bool threadInProgress() const { return m_handle != nullptr; }
  void exitThread() {}

  // Process-wide callbacks that every thread started here runs, in the order
  // added, after its function returns. A null function is ignored and an
  // equal pair is added once. Callbacks must not add or remove callbacks.
  static void addAtExitCB(AtExitFunction function, void* argument);
  static void delAtExitCB(AtExitFunction function, void* argument);

 private:
  void closeHandle();

  void* m_handle = nullptr;
  unsigned int m_threadId = 0;
};

class ZN_EXPORT ZNThread {
 public:
  ZNThread();
  virtual ~ZNThread();
  ZNThread(const ZNThread&) = delete;
  ZNThread& operator=(const ZNThread&) = delete;

  // Start `function(argument)`; false while a thread is in progress or when
  // it cannot be started. The thread always ends with exit code 0 (the
  // function's result is dropped). The int is accepted and ignored; the
  // detached forms do exactly the same.
  bool createThread(ZnThread::ThreadFunction function, void* argument);
  bool createThread(ZnThread::ThreadFunction function, int ignored, void* argument);
  bool createDetachedThread(ZnThread::ThreadFunction function, void* argument);
  bool createDetachedThread(ZnThread::ThreadFunction function, int ignored, void* argument);

  // Closes the held thread's handle; false when there is none.
  bool detachThread();
  // Waits up to `ms`; false without a thread or when it has not ended. `ok`
  // receives whether the exit code is 0.
  bool joinThread(unsigned int ms, bool* ok = nullptr);

  bool threadInProgress() const;
  unsigned int getThreadID() const;
  static unsigned int getCurrentThreadID();
  ZnThread* getThreadObject() { return m_thread.get(); }
  unsigned int getStackSize() const { return 0; }

  // The system's text for the calling thread's last error (errno); empty
  // for 0, "ERROR:<code>" for a code the system has no text for.
  std::string getLastError() const;

  // Forward to the held thread and give its result (not inverted); false
  // without a thread.
  bool suspendThread();
  bool resumeThread();
  bool terminateThread();

 private:
  std::unique_ptr<ZnThread> m_thread;
};
