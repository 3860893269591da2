// The lock inside every named object, as another user of the machine may
// treat it: bytes overwritten (no pointer in them is ever followed), an
// owner that died and was not reaped, a thread id used again, private
// names taken first by another user, and files that are no objects.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>

#include "sync/SyncTestUtil.h"
#include "zn/ipc/ZNSharedMemUtil.h"
#include "zn/sync/NamedKernelObject.h"
#include "zn/sync/internal/NamedObjectShared.h"
#include "zuzazer/FXThreadId.h"
#include "zuzazer/FXUniqueMapping.h"

namespace {

using zn::NamedKernelObject;
using zn::NamedObjectInfo;
using zn::NamedObjectInit;
using zn::NamedObjectType;
using zn::WaitOutcome;
using Shared = zn::NamedKernelObject::Shared;
using namespace zn::test;

std::unique_ptr<NamedKernelObject> Make(const std::string& name, NamedObjectType type, bool everyone = true) {
  NamedObjectInit init;
  init.maximumCount = 100;
  std::unique_ptr<NamedKernelObject> object;
  bool created = false;
  EXPECT_EQ(NamedKernelObject::Create(name, type, init, everyone, object, created), 0u) << name;
  return object;
}

// The object's header as any other process with access to the segment
// sees it: mapped by hand, without the library.
yq::UniqueMapping MapHeader(const std::string& name) {
  const int fd = ::shm_open(NamedKernelObject::SegmentName(name).c_str(), O_RDWR, 0);
  if (fd < 0) return {};
  yq::UniqueMapping header = yq::UniqueMapping::MapShared(fd, sizeof(Shared));
  ::close(fd);
  return header;
}

std::string State(const std::string& name) {
  NamedObjectInfo info;
  return NamedKernelObject::Describe(name, info) == 0 ? info.state : "(none)";
}

TEST(NamedKernelObject, LockBytesOverwrittenByAnotherUserAreTakenOverNotFollowed) {
  const std::string base = UniqueName("scribbled");
  auto mutex = Make(base + ".m", NamedObjectType::kMutex);
  auto semaphore = Make(base + ".s", NamedObjectType::kSemaphore);
  ASSERT_TRUE(mutex && semaphore);
  yq::UniqueMapping mutexHeader = MapHeader(base + ".m");
  yq::UniqueMapping semaphoreHeader = MapHeader(base + ".s");
  ASSERT_TRUE(mutexHeader && semaphoreHeader);

  // All ones: an owner that cannot exist, and what would be list pointers
  // in a pthread mutex. The lock is taken over; nothing is dereferenced.
  auto& mutexLock = mutexHeader.as<Shared>()->lock;
  std::memset(static_cast<void*>(&mutexLock), 0xFF, sizeof mutexLock);
  EXPECT_EQ(mutex->lockMutex(0), WaitOutcome::kAbandoned);
  EXPECT_EQ(mutex->lockMutex(0), WaitOutcome::kAcquired);  // recursive now
  EXPECT_TRUE(mutex->unlockMutex());
  EXPECT_TRUE(mutex->unlockMutex());
  EXPECT_FALSE(mutex->unlockMutex());
  EXPECT_EQ(State(base + ".m"), "free");

  auto& guard = semaphoreHeader.as<Shared>()->lock;
  std::memset(static_cast<void*>(&guard), 0xFF, sizeof guard);
  int previous = -1;
  EXPECT_TRUE(semaphore->releaseSemaphore(2, &previous));
  EXPECT_EQ(previous, 0);
  EXPECT_EQ(semaphore->waitSemaphore(0), WaitOutcome::kAcquired);
  EXPECT_EQ(semaphore->semaphoreCount(), 1);

  // Another process keeps scribbling over the lock while this one uses the
  // object: it may lose or be refused an unlock, but never crashes, never
  // hangs, and always ends up owning the lock when it asks.
  std::atomic<int>* stop = nullptr;
  void* flag = ::mmap(nullptr, sizeof(std::atomic<int>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(flag, MAP_FAILED);
  stop = new (flag) std::atomic<int>(0);
  ChildProcess scribbler([&] {
    uint32_t pattern = 0x9E3779B9u;
    while (stop->load() == 0) {
      pattern = pattern * 1664525u + 1013904223u;
      mutexLock.word.store(pattern | 0x3FFF0000u);  // thread ids far above any pid_max in use
      mutexLock.depth = pattern;
      mutexLock.holderThread.store(pattern);
      mutexLock.holderStart.store(pattern);
      guard.word.store(pattern | 0x3FFF0000u);
    }
    return 0;
  });
  for (int i = 0; i < 2000; ++i) {
    const WaitOutcome outcome = mutex->lockMutex(kWaitLimitMs);
    ASSERT_TRUE(outcome == WaitOutcome::kAcquired || outcome == WaitOutcome::kAbandoned) << i;
    mutex->unlockMutex();
    semaphore->releaseSemaphore(1, nullptr);
    semaphore->waitSemaphore(kWaitLimitMs);
  }
  stop->store(1);
  EXPECT_EQ(scribbler.wait(), 0);
  ::munmap(flag, sizeof(std::atomic<int>));
  mutexLock.word.store(0);
  EXPECT_EQ(mutex->lockMutex(0), WaitOutcome::kAcquired);
  EXPECT_TRUE(mutex->unlockMutex());
}

TEST(NamedKernelObject, AnOwnerKilledAndNotYetReapedIsNoticed) {
  const std::string name = UniqueName("zombie");
  auto mutex = Make(name, NamedObjectType::kMutex);
  Pipe toParent;
  ChildProcess holder([&] {
    auto mine = Make(name, NamedObjectType::kMutex);
    if (mine->lockMutex(0) != WaitOutcome::kAcquired) return 2;
    toParent.send('h');
    ::pause();
    return 0;
  });
  ASSERT_EQ(toParent.receive(), 'h');
  EXPECT_EQ(mutex->lockMutex(0), WaitOutcome::kTimeout);
  holder.kill();
  // Not reaped: the owner's id still names a process, a dead one.
  EXPECT_EQ(mutex->lockMutex(kWaitLimitMs), WaitOutcome::kAbandoned);
  EXPECT_TRUE(mutex->unlockMutex());
  EXPECT_EQ(holder.wait(), -SIGKILL);
}

TEST(NamedKernelObject, ALockLeftUnderOurThreadIdByAnEarlierThreadIsNotOurs) {
  const std::string name = UniqueName("reused");
  auto mutex = Make(name, NamedObjectType::kMutex);
  yq::UniqueMapping header = MapHeader(name);
  ASSERT_TRUE(header);
  // What a thread that died holding it three deep leaves, when the kernel
  // later gives its id to this thread: the same id, another start.
  auto& lock = header.as<Shared>()->lock;
  const uint32_t self = yq::CurrentThreadId();
  lock.word.store(self);
  lock.depth = 3;
  lock.holderThread.store(self);
  lock.holderStart.store(1);
  EXPECT_EQ(mutex->lockMutex(0), WaitOutcome::kAbandoned);
  EXPECT_TRUE(mutex->unlockMutex());  // once is enough: the old depth is gone
  EXPECT_EQ(State(name), "free");
}

TEST(NamedKernelObject, PrivateNamesTakenFirstByAnotherUserAreRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  const std::string name = UniqueName("squatted");
  Pipe toParent;
  Pipe toChild;
  ChildProcess squatter([&] {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) return 2;
    auto object = Make(name, NamedObjectType::kMutex, true);
    auto mapping = std::unique_ptr<NamedKernelObject>();
    NamedObjectInit init;
    init.mappingSize = 64;
    bool created = false;
    if (!object ||
        NamedKernelObject::Create(name + ".map", NamedObjectType::kFileMapping, init, true, mapping, created) != 0) {
      return 3;
    }
    toParent.send('r');
    return toChild.receive() == 'q' ? 0 : 4;
  });
  ASSERT_EQ(toParent.receive(), 'r');
  std::unique_ptr<NamedKernelObject> object;
  bool created = false;
  EXPECT_EQ(NamedKernelObject::Create(name, NamedObjectType::kMutex, NamedObjectInit(), false, object, created), 5u);
  EXPECT_FALSE(object);
  EXPECT_EQ(SegmentMode(name), 0666);  // left as it was
  // Objects meant for everyone are shared with everyone, whoever made them.
  EXPECT_EQ(NamedKernelObject::Create(name, NamedObjectType::kMutex, NamedObjectInit(), true, object, created), 0u);
  EXPECT_FALSE(created);
  void* handle = nullptr;
  unsigned long error = 0;
  EXPECT_EQ(ZNSharedMemUtil::getSharedMemoryByName(handle, (name + ".map").c_str(), 64, error, false), nullptr);
  EXPECT_EQ(error, 5u);
  toChild.send('q');
  EXPECT_EQ(squatter.wait(), 0);
}

TEST(NamedKernelObject, FilesThatAreNoObjectsAreRefusedAndLeftAlone) {
  const std::string name = UniqueName("fifo");
  const std::string path = "/dev/shm" + NamedKernelObject::SegmentName(name);
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  std::unique_ptr<NamedKernelObject> object;
  bool created = false;
  EXPECT_EQ(NamedKernelObject::Create(name, NamedObjectType::kEvent, NamedObjectInit(), false, object, created), 6u);
  EXPECT_EQ(NamedKernelObject::Open(name, NamedObjectType::kEvent, object), 6u);
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  NamedObjectInfo info;
  EXPECT_EQ(NamedKernelObject::Describe(name, info), 0u);
  EXPECT_EQ(info.state, "not a regular file");
  ::unlink(path.c_str());
}

TEST(NamedKernelObject, ThreadStatTextsAreReadFromTheLastParenthesis) {
  char state = 0;
  unsigned long long start = 0;
  // A command name made to look like the fields that follow it.
  const std::string forged =
      "4242 (x) Z 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 77) S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 987654 20 21";
  ASSERT_TRUE(zn::ParseThreadStat(forged, state, start));
  EXPECT_EQ(state, 'S');
  EXPECT_EQ(start, 987654u);
  for (const char* bad : {"", "1 (x)", "1 (x) S", "1 x S 1 2", "1 (x) SS 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 5",
                          "1 (x) S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18", "1 (x) S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 5x",
                          "1 (x) S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 -5"}) {
    EXPECT_FALSE(zn::ParseThreadStat(bad, state, start)) << bad;
  }
}

}  // namespace
