// ZnThread and ZNThread on real threads: exit callbacks, joins with and
// without a limit, exit codes, handles shared between holders, cancelling,
// and what Linux cannot do.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "thread/ThreadTestUtil.h"
#include "zn/thread/ZnThread.h"
#include "zuzazer/YqWin32Errors.h"

namespace {

using zn::test::Gate;
using zn::test::kThreadWaitMs;

// What happened on which thread, in order.
class Journal {
 public:
  void note(const std::string& what) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_events[ZnThread::getCurrentThreadID()].push_back(what);
  }
  std::vector<std::string> of(unsigned int threadId) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_events[threadId];
  }
  std::size_t threads() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_events.size();
  }

 private:
  std::mutex m_mutex;
  std::map<unsigned int, std::vector<std::string>> m_events;
};

Journal* g_journal = nullptr;

struct Tag {
  const char* name;
};
Tag g_a{"a"};
Tag g_b{"b"};
Tag g_c{"c"};

void NoteCallback(void* tag) { g_journal->note(static_cast<Tag*>(tag)->name); }
void OtherCallback(void* tag) { g_journal->note(std::string("other-") + static_cast<Tag*>(tag)->name); }

unsigned int NoteFunction(void*) {
  g_journal->note("function");
  return 0;
}

// Takes the callbacks of a test out of the process-wide list whatever
// happens to the test.
class CallbackCleanup {
 public:
  ~CallbackCleanup() {
    for (Tag* tag : {&g_a, &g_b, &g_c}) {
      ZnThread::delAtExitCB(&NoteCallback, tag);
      ZnThread::delAtExitCB(&OtherCallback, tag);
    }
  }
};

TEST(ZnThreadExitCallbacks, RunOncePerThreadInOrderAfterTheFunction) {
  Journal journal;
  g_journal = &journal;
  CallbackCleanup cleanup;
  ZnThread::addAtExitCB(&NoteCallback, &g_a);
  ZnThread::addAtExitCB(&OtherCallback, &g_b);
  ZnThread::addAtExitCB(&NoteCallback, &g_a);  // the same pair again: still once
  ZnThread::addAtExitCB(nullptr, &g_b);        // ignored
  ZnThread::addAtExitCB(&NoteCallback, &g_c);  // same function, other argument: its own entry

  constexpr int kThreads = 8;
  std::vector<std::unique_ptr<ZnThread>> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.push_back(std::make_unique<ZnThread>());
    ASSERT_NE(threads.back()->createThread(&NoteFunction, nullptr), nullptr);
  }
  std::vector<unsigned int> ids;
  for (auto& thread : threads) {
    ids.push_back(thread->getThreadID());
    ASSERT_TRUE(thread->joinThread());  // the callbacks have run when the join returns
  }
  const std::vector<std::string> expected = {"function", "a", "other-b", "c"};
  for (const unsigned int id : ids) EXPECT_EQ(journal.of(id), expected) << "thread " << id;

  // Removed callbacks no longer run; removing a pair not in the list is harmless.
  ZnThread::delAtExitCB(&OtherCallback, &g_b);
  ZnThread::delAtExitCB(&OtherCallback, &g_c);
  ZnThread last;
  ASSERT_NE(last.createThread(&NoteFunction, nullptr), nullptr);
  const unsigned int lastId = last.getThreadID();
  ASSERT_TRUE(last.joinThread());
  EXPECT_EQ(journal.of(lastId), (std::vector<std::string>{"function", "a", "c"}));
  // Threads not started by ZnThread run no callbacks.
  std::thread([] {}).join();
  EXPECT_EQ(journal.threads(), static_cast<std::size_t>(kThreads + 1));
  g_journal = nullptr;
}

struct Blocked {
  Gate release;
  std::atomic<unsigned int> seenId{0};
  unsigned int result = 0;
};

unsigned int WaitForRelease(void* raw) {
  auto* blocked = static_cast<Blocked*>(raw);
  blocked->seenId.store(ZnThread::getCurrentThreadID());
  if (!blocked->release.pass()) return 999;
  return blocked->result;
}

TEST(ZnThread, TimedJoinFailsThenSucceedsAndKeepsTheExitCode) {
  Blocked blocked;
  blocked.result = 42;
  ZnThread thread;
  void* const handle = thread.createThread(&WaitForRelease, &blocked);
  ASSERT_NE(handle, nullptr);

  // The thread is blocked: timed joins fail at once or after their time,
  // and the handle stays.
  EXPECT_FALSE(thread.joinThread(0u));
  EXPECT_FALSE(thread.joinThread(20u));
  EXPECT_EQ(errno, ETIMEDOUT);
  EXPECT_TRUE(thread.threadInProgress());
  unsigned long code = 0;
  EXPECT_NE(thread.GetThreadExitCode(code), 0);
  EXPECT_EQ(code, ZnThread::kStillActive);
  EXPECT_EQ(code, 259u);

  blocked.release.open();
  ASSERT_TRUE(thread.joinThread(kThreadWaitMs));
  EXPECT_TRUE(thread.threadInProgress());  // a timed join keeps the handle
  EXPECT_TRUE(thread.joinThread(0u));      // and may be repeated
  ASSERT_NE(thread.GetThreadExitCode(code), 0);
  EXPECT_EQ(code, 42u);

  // The untimed join closes the handle; the object can start again.
  EXPECT_TRUE(thread.joinThread());
  EXPECT_FALSE(thread.threadInProgress());
  EXPECT_EQ(thread.GetThreadExitCode(code), 0);
  Blocked again;
  again.result = 7;
  again.release.open();
  ASSERT_NE(thread.createThread(&WaitForRelease, &again), nullptr);
  ASSERT_TRUE(thread.joinThread(kThreadWaitMs));
  ASSERT_NE(thread.GetThreadExitCode(code), 0);
  EXPECT_EQ(code, 7u);
}

TEST(ZnThread, SecondStartWhileHoldingAHandleStartsNothing) {
  std::atomic<int> starts{0};
  const auto count = [](void* raw) -> unsigned int {
    static_cast<std::atomic<int>*>(raw)->fetch_add(1);
    return 0;
  };
  ZnThread thread;
  ASSERT_NE(thread.createThread(count, &starts), nullptr);
  const unsigned int firstId = thread.getThreadID();
  ASSERT_TRUE(thread.joinThread(kThreadWaitMs));  // ended, handle still held
  EXPECT_EQ(thread.createThread(count, &starts), nullptr);
  EXPECT_EQ(thread.getThreadID(), firstId);
  EXPECT_EQ(starts.load(), 1);
  // endThread lets the handle go: then a new thread can start.
  EXPECT_TRUE(thread.endThread());
  ASSERT_NE(thread.createThread(count, &starts), nullptr);
  ASSERT_TRUE(thread.joinThread());
  EXPECT_EQ(starts.load(), 2);
}

TEST(ZnThread, ThreadIdIsKnownWhenCreateReturns) {
  for (int i = 0; i < 20; ++i) {
    Blocked blocked;
    ZnThread thread;
    ASSERT_NE(thread.createThread(&WaitForRelease, &blocked), nullptr);
    const unsigned int id = thread.getThreadID();
    EXPECT_NE(id, 0u);
    EXPECT_NE(id, ZnThread::getCurrentThreadID());
    blocked.release.open();
    ASSERT_TRUE(thread.joinThread());
    EXPECT_EQ(blocked.seenId.load(), id);
  }
  EXPECT_EQ(ZnThread::getCurrentThreadID(), static_cast<unsigned int>(::gettid()));
}

// A thread_local whose destructor notes that it ran.
std::atomic<bool> g_threadLocalGone{false};
struct NotesItsEnd {
  ~NotesItsEnd() {
    // Give a joiner that returns too early every chance to look first.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    g_threadLocalGone.store(true);
  }
};

TEST(ZnThread, JoinReturnsAfterTheThreadsOwnObjectsAreGone) {
  const auto body = [](void*) -> unsigned int {
    thread_local NotesItsEnd object;
    (void)&object;
    return 5;
  };
  ZnThread thread;
  ASSERT_NE(thread.createThread(body, nullptr), nullptr);
  ASSERT_TRUE(thread.joinThread(kThreadWaitMs));
  EXPECT_TRUE(g_threadLocalGone.load());
  unsigned long code = 0;
  ASSERT_NE(thread.GetThreadExitCode(code), 0);
  EXPECT_EQ(code, 5u);
}

TEST(ZnThread, HandlesAreSharedBetweenHolders) {
  Blocked blocked;
  blocked.result = 11;
  auto creator = std::make_unique<ZnThread>();
  void* const handle = creator->createThread(&WaitForRelease, &blocked);
  ASSERT_NE(handle, nullptr);

  // A wrapper holds its own reference, with thread id 0.
  ZnThread holder(handle);
  EXPECT_EQ(holder.getThreadID(), 0u);
  EXPECT_TRUE(holder.threadInProgress());
  // The creator goes (closing its handle) while the thread runs on.
  creator.reset();
  EXPECT_FALSE(holder.joinThread(0u));
  blocked.release.open();
  ASSERT_TRUE(holder.joinThread(kThreadWaitMs));
  unsigned long code = 0;
  ASSERT_NE(holder.GetThreadExitCode(code), 0);
  EXPECT_EQ(code, 11u);

  // handleThread takes the new handle and leaves the old one to its owner.
  ZnThread other;
  Blocked second;
  second.result = 12;
  second.release.open();
  ZnThread starter;
  void* const secondHandle = starter.createThread(&WaitForRelease, &second);
  ASSERT_NE(secondHandle, nullptr);
  other.handleThread(secondHandle);
  ASSERT_TRUE(other.joinThread());  // joins and closes its own reference
  EXPECT_FALSE(other.threadInProgress());
  ASSERT_TRUE(starter.joinThread(0u));
  ASSERT_NE(starter.GetThreadExitCode(code), 0);
  EXPECT_EQ(code, 12u);
}

TEST(ZnThread, EndThreadDetachesARunningThread) {
  Blocked blocked;
  Gate finished;
  struct Work {
    Blocked* blocked;
    Gate* finished;
  } work{&blocked, &finished};
  ZnThread thread;
  ASSERT_NE(thread.createThread(
                [](void* raw) -> unsigned int {
                  auto* w = static_cast<Work*>(raw);
                  const unsigned int result = WaitForRelease(w->blocked);
                  w->finished->open();
                  return result;
                },
                &work),
            nullptr);
  const unsigned int id = thread.getThreadID();
  EXPECT_TRUE(thread.endThread());
  EXPECT_FALSE(thread.threadInProgress());
  EXPECT_FALSE(thread.joinThread(0u));
  blocked.release.open();
  EXPECT_TRUE(finished.pass());  // it ran on, detached, to its end
  EXPECT_TRUE(zn::test::ThreadGone(id));
}

TEST(ZnThread, TerminateCancelsWithExitCodeZeroAndNoCallbacks) {
#if defined(__SANITIZE_THREAD__)
  // ThreadSanitizer stops following a thread once it is cancelled and then
  // reports the thread's own end, under its lock, as a race.
  GTEST_SKIP() << "pthread_cancel is beyond ThreadSanitizer";
#endif
  Journal journal;
  g_journal = &journal;
  CallbackCleanup cleanup;
  ZnThread::addAtExitCB(&NoteCallback, &g_a);

  ZnThread thread;
  void* const handle = thread.createThread(
      [](void*) -> unsigned int {
        g_journal->note("function");
        for (;;) ::pause();  // a cancellation point, and nothing else
      },
      nullptr);
  ASSERT_NE(handle, nullptr);
  const unsigned int id = thread.getThreadID();
  ZnThread watcher(handle);
  // Wait until it is inside its function before cancelling it.
  for (int i = 0; i < 30000 && journal.of(id).empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(journal.of(id), std::vector<std::string>{"function"});

  EXPECT_TRUE(thread.terminateThread());
  EXPECT_FALSE(thread.threadInProgress());  // the handle is closed
  ASSERT_TRUE(watcher.joinThread(kThreadWaitMs));
  unsigned long code = 99;
  ASSERT_NE(watcher.GetThreadExitCode(code), 0);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(journal.of(id), std::vector<std::string>{"function"});  // no exit callback
  // Cancelling a thread that has ended changes nothing.
  EXPECT_TRUE(watcher.terminateThread());
  g_journal = nullptr;
}

TEST(ZnThread, WithoutAHandleAndWhatLinuxCannotDo) {
  ZnThread empty;
  unsigned long code = 0;
  EXPECT_FALSE(empty.threadInProgress());
  EXPECT_FALSE(empty.joinThread());
  EXPECT_FALSE(empty.joinThread(10u));
  EXPECT_EQ(empty.GetThreadExitCode(code), 0);
  EXPECT_EQ(yq::Win32FromErrno(errno), yq::kErrorInvalidHandle);
  EXPECT_FALSE(empty.terminateThread());
  EXPECT_FALSE(empty.suspendThread());
  EXPECT_FALSE(empty.resumeThread());
  EXPECT_TRUE(empty.endThread());
  EXPECT_EQ(empty.getThreadID(), 0u);
  empty.exitThread();

  Blocked blocked;
  ZnThread thread;
  ASSERT_NE(thread.createThread(&WaitForRelease, &blocked), nullptr);
  errno = 0;
  EXPECT_FALSE(thread.suspendThread());
  EXPECT_EQ(yq::Win32FromErrno(errno), yq::kErrorNotSupported);
  errno = 0;
  EXPECT_FALSE(thread.resumeThread());
  EXPECT_EQ(yq::Win32FromErrno(errno), yq::kErrorNotSupported);
  EXPECT_FALSE(thread.joinThread(0u));  // still blocked: suspend did nothing to it
  blocked.release.open();
  EXPECT_TRUE(thread.joinThread());
}

TEST(ZnThread, AThreadCannotJoinItself) {
  struct Self {
    ZnThread thread;
    Gate started;
    std::atomic<int> joined{-1};
  } self;
  ASSERT_NE(self.thread.createThread(
                [](void* raw) -> unsigned int {
                  auto* s = static_cast<Self*>(raw);
                  if (!s->started.pass()) return 1;
                  s->joined.store(s->thread.joinThread(100u) ? 1 : 0);
                  return 0;
                },
                &self),
            nullptr);
  self.started.open();
  ASSERT_TRUE(self.thread.joinThread(kThreadWaitMs));
  EXPECT_EQ(self.joined.load(), 0);
}

TEST(ZnThread, ManyThreadsEachKeepTheirExitCode) {
  constexpr unsigned int kThreads = 64;
  std::vector<std::unique_ptr<ZnThread>> threads;
  Gate go;
  struct Start {
    Gate* go;
    unsigned int result;
  };
  std::vector<Start> starts(kThreads);
  for (unsigned int i = 0; i < kThreads; ++i) {
    starts[i] = Start{&go, 1000 + i};
    threads.push_back(std::make_unique<ZnThread>());
    ASSERT_NE(threads.back()->createThread(
                  [](void* raw) -> unsigned int {
                    auto* s = static_cast<Start*>(raw);
                    return s->go->pass() ? s->result : 0;
                  },
                  &starts[i]),
              nullptr);
  }
  std::vector<unsigned int> ids;
  for (auto& thread : threads) ids.push_back(thread->getThreadID());
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(std::unique(ids.begin(), ids.end()), ids.end());  // all distinct
  go.open();
  for (unsigned int i = 0; i < kThreads; ++i) {
    ASSERT_TRUE(threads[i]->joinThread(kThreadWaitMs));
    unsigned long code = 0;
    ASSERT_NE(threads[i]->GetThreadExitCode(code), 0);
    EXPECT_EQ(code, 1000u + i);
  }
}

// ---- ZNThread ----

TEST(ZnThreadWrapper, EndsWithExitCodeZeroAndStartsOneThreadAtATime) {
  ZNThread wrapper;
  EXPECT_FALSE(wrapper.threadInProgress());
  EXPECT_EQ(wrapper.getThreadID(), 0u);
  EXPECT_EQ(wrapper.getThreadObject(), nullptr);
  EXPECT_EQ(wrapper.getStackSize(), 0u);
  bool ok = false;
  EXPECT_FALSE(wrapper.joinThread(0u, &ok));
  EXPECT_FALSE(wrapper.detachThread());
  EXPECT_FALSE(wrapper.suspendThread());
  EXPECT_FALSE(wrapper.terminateThread());

  Blocked blocked;
  blocked.result = 77;  // dropped: the wrapper's threads end with 0
  ASSERT_TRUE(wrapper.createThread(&WaitForRelease, 5, &blocked));
  ASSERT_NE(wrapper.getThreadObject(), nullptr);
  EXPECT_TRUE(wrapper.threadInProgress());
  EXPECT_NE(wrapper.getThreadID(), 0u);
  EXPECT_EQ(ZNThread::getCurrentThreadID(), ZnThread::getCurrentThreadID());
  EXPECT_FALSE(wrapper.createThread(&WaitForRelease, &blocked));  // one at a time
  EXPECT_FALSE(wrapper.createDetachedThread(&WaitForRelease, &blocked));
  EXPECT_FALSE(wrapper.joinThread(10u, &ok));
  EXPECT_FALSE(wrapper.suspendThread());
  EXPECT_FALSE(wrapper.resumeThread());

  blocked.release.open();
  ok = false;
  ASSERT_TRUE(wrapper.joinThread(kThreadWaitMs, &ok));
  EXPECT_TRUE(ok);
  EXPECT_EQ(blocked.seenId.load(), wrapper.getThreadID());
  unsigned long code = 1;
  ASSERT_NE(wrapper.getThreadObject()->GetThreadExitCode(code), 0);
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(wrapper.joinThread(0u));  // without `ok`

  // Detaching lets the handle go; the same object starts the next thread.
  EXPECT_TRUE(wrapper.detachThread());
  Blocked next;
  next.release.open();
  ASSERT_TRUE(wrapper.createDetachedThread(&WaitForRelease, &next));
  ASSERT_TRUE(wrapper.joinThread(kThreadWaitMs, &ok));
  EXPECT_TRUE(ok);
}

TEST(ZnThreadWrapper, LastErrorIsTheSystemsText) {
  const ZNThread wrapper;
  errno = 0;
  EXPECT_EQ(wrapper.getLastError(), "");
  errno = ENOENT;
  EXPECT_EQ(wrapper.getLastError(), "No such file or directory");
  errno = 98765;
  EXPECT_EQ(wrapper.getLastError(), "ERROR:98765");

  // After a failed call the text tells why.
  ZNThread failing;
  ASSERT_FALSE(failing.createThread(nullptr, nullptr));
  EXPECT_EQ(failing.getLastError(), "Invalid argument");
}

}  // namespace
