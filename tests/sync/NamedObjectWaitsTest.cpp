// Named objects: waits for any or all of several objects (mutexes among
// them, their owners dying), leftovers of killed users, file mappings that
// are smaller than asked or tampered with, and the machine's listing.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sync/SyncTestUtil.h"
#include "zn/sync/MDLock.h"
#include "zn/sync/NamedKernelObject.h"
#include "zuzazer/FXThreadId.h"

namespace {

using zn::MultiWaitResult;
using zn::NamedKernelObject;
using zn::NamedObjectInfo;
using zn::NamedObjectInit;
using zn::NamedObjectType;
using zn::WaitOutcome;
using namespace zn::test;

std::unique_ptr<NamedKernelObject> Make(const std::string& name, NamedObjectType type, int maximum = 5,
                                        bool manualReset = false) {
  NamedObjectInit init;
  init.maximumCount = maximum;
  init.manualReset = manualReset;
  init.mappingSize = 100;
  std::unique_ptr<NamedKernelObject> object;
  bool created = false;
  EXPECT_EQ(NamedKernelObject::Create(name, type, init, false, object, created), 0u) << name;
  return object;
}

MultiWaitResult WaitFor(std::vector<NamedKernelObject*> objects, bool all, unsigned long ms) {
  return NamedKernelObject::WaitForMultiple(objects, all, ms);
}

TEST(NamedKernelObject, WaitForAnyTakesTheLowestReadyObjectOnly) {
  auto a = Make(UniqueName("anyA"), NamedObjectType::kSemaphore);
  auto b = Make(UniqueName("anyB"), NamedObjectType::kSemaphore);
  auto e = Make(UniqueName("anyE"), NamedObjectType::kEvent, 1, true);
  const std::vector<NamedKernelObject*> three = {a.get(), b.get(), e.get()};
  EXPECT_EQ(WaitFor(three, false, 0).outcome, WaitOutcome::kTimeout);
  EXPECT_EQ(WaitFor(three, false, 30).outcome, WaitOutcome::kTimeout);

  ASSERT_TRUE(b->releaseSemaphore(1, nullptr));
  e->setEvent();
  MultiWaitResult got = WaitFor(three, false, 0);
  EXPECT_EQ(got.outcome, WaitOutcome::kAcquired);
  EXPECT_EQ(got.index, 1u);  // b before e
  EXPECT_EQ(b->semaphoreCount(), 0);
  got = WaitFor(three, false, 0);
  EXPECT_EQ(got.index, 2u);
  EXPECT_TRUE(e->isEventSignalled());  // manual reset: stays set

  // A waiter is woken by a release from another thread.
  e->resetEvent();
  auto waiting = std::async(std::launch::async, [&] { return WaitFor(three, false, kWaitLimitMs); });
  EXPECT_EQ(waiting.wait_for(kStaysBlocked), kPending);
  ASSERT_TRUE(a->releaseSemaphore(1, nullptr));
  ASSERT_EQ(waiting.wait_for(kWaitLimit), kReady);
  got = waiting.get();
  EXPECT_EQ(got.outcome, WaitOutcome::kAcquired);
  EXPECT_EQ(got.index, 0u);

  // Lists that cannot be waited for.
  EXPECT_EQ(WaitFor({}, false, 0).error, 87u);
  EXPECT_EQ(WaitFor({a.get(), a.get()}, true, 0).error, 87u);
  auto again = Make(a->name(), NamedObjectType::kSemaphore);  // the same object through another opening
  EXPECT_EQ(WaitFor({a.get(), again.get()}, false, 0).error, 87u);
  auto mapping = Make(UniqueName("anyM"), NamedObjectType::kFileMapping);
  EXPECT_EQ(WaitFor({a.get(), mapping.get()}, false, 0).error, 6u);
  EXPECT_EQ(mapping->wait(0), WaitOutcome::kFailed);
  std::vector<NamedKernelObject*> many(65, a.get());
  EXPECT_EQ(WaitFor(many, false, 0).error, 87u);
}

TEST(NamedKernelObject, WaitForAllTakesEverythingAtOnceOrNothing) {
  auto a = Make(UniqueName("allA"), NamedObjectType::kSemaphore);
  auto b = Make(UniqueName("allB"), NamedObjectType::kSemaphore);
  auto e = Make(UniqueName("allE"), NamedObjectType::kEvent);
  const std::vector<NamedKernelObject*> three = {a.get(), b.get(), e.get()};
  ASSERT_TRUE(a->releaseSemaphore(1, nullptr));
  e->setEvent();
  EXPECT_EQ(WaitFor(three, true, 20).outcome, WaitOutcome::kTimeout);
  EXPECT_EQ(a->semaphoreCount(), 1);  // nothing was taken
  EXPECT_TRUE(e->isEventSignalled());
  ASSERT_TRUE(b->releaseSemaphore(1, nullptr));
  const MultiWaitResult got = WaitFor(three, true, 0);
  EXPECT_EQ(got.outcome, WaitOutcome::kAcquired);
  EXPECT_EQ(got.index, 0u);
  EXPECT_EQ(a->semaphoreCount(), 0);
  EXPECT_EQ(b->semaphoreCount(), 0);
  EXPECT_FALSE(e->isEventSignalled());  // automatic reset

  // Two waits for all, over the same two objects in opposite orders, each
  // get their turn and never block each other.
  constexpr int kRounds = 2000;
  auto forward = std::async(std::launch::async, [&] {
    int taken = 0;
    for (int i = 0; i < kRounds; ++i) {
      taken += WaitFor({a.get(), b.get()}, true, kWaitLimitMs).outcome == WaitOutcome::kAcquired;
    }
    return taken;
  });
  auto backward = std::async(std::launch::async, [&] {
    int taken = 0;
    for (int i = 0; i < kRounds; ++i) {
      taken += WaitFor({b.get(), a.get()}, true, kWaitLimitMs).outcome == WaitOutcome::kAcquired;
    }
    return taken;
  });
  for (int i = 0; i < 2 * kRounds; ++i) {
    while (!a->releaseSemaphore(1, nullptr)) std::this_thread::yield();
    while (!b->releaseSemaphore(1, nullptr)) std::this_thread::yield();
  }
  ASSERT_EQ(forward.wait_for(kWaitLimit), kReady);
  ASSERT_EQ(backward.wait_for(kWaitLimit), kReady);
  EXPECT_EQ(forward.get() + backward.get(), 2 * kRounds);
  EXPECT_EQ(a->semaphoreCount(), 0);
  EXPECT_EQ(b->semaphoreCount(), 0);
}

TEST(NamedKernelObject, MutexesInAWaitForSeveralAreTakenAndTheirDeadOwnersNoticed) {
  const std::string mutexName = UniqueName("multimutex");
  auto mutex = Make(mutexName, NamedObjectType::kMutex);
  auto sem = Make(UniqueName("multisem"), NamedObjectType::kSemaphore);

  // Held by another thread: the wait for any wakes at its unlock.
  std::promise<void> locked, release;
  std::thread holder([&] {
    EXPECT_EQ(mutex->lockMutex(0), WaitOutcome::kAcquired);
    locked.set_value();
    release.get_future().wait();
    EXPECT_TRUE(mutex->unlockMutex());
  });
  locked.get_future().wait();
  auto waiting = std::async(std::launch::async, [&] {
    const MultiWaitResult got = WaitFor({sem.get(), mutex.get()}, false, kWaitLimitMs);
    if (got.outcome == WaitOutcome::kAcquired) mutex->unlockMutex();
    return got;
  });
  EXPECT_EQ(waiting.wait_for(kStaysBlocked), kPending);
  EXPECT_FALSE(mutex->unlockMutex());  // not this thread's
  release.set_value();
  holder.join();
  ASSERT_EQ(waiting.wait_for(kWaitLimit), kReady);
  const MultiWaitResult got = waiting.get();
  EXPECT_EQ(got.outcome, WaitOutcome::kAcquired);
  EXPECT_EQ(got.index, 1u);

  // Owned by a process that is killed: a wait for all gets it, abandoned,
  // once the semaphore is there too.
  ASSERT_TRUE(sem->releaseSemaphore(1, nullptr));
  KillChildHolding([&] { return Make(mutexName, NamedObjectType::kMutex).release()->lockMutex(0) == WaitOutcome::kAcquired; },
                   [&] { EXPECT_EQ(WaitFor({sem.get(), mutex.get()}, true, 20).outcome, WaitOutcome::kTimeout); });
  const MultiWaitResult all = WaitFor({sem.get(), mutex.get()}, true, kWaitLimitMs);
  EXPECT_EQ(all.outcome, WaitOutcome::kAbandoned);
  EXPECT_EQ(all.index, 1u);
  EXPECT_EQ(sem->semaphoreCount(), 0);
  // Held here now, recursively as any mutex of ours.
  EXPECT_EQ(mutex->lockMutex(0), WaitOutcome::kAcquired);
  EXPECT_TRUE(mutex->unlockMutex());
  EXPECT_TRUE(mutex->unlockMutex());
  EXPECT_FALSE(mutex->unlockMutex());
}

TEST(NamedKernelObject, LeftoversOfKilledLastUsersAreStartedAfreshOrGone) {
  for (const bool create : {true, false}) {
    SCOPED_TRACE(create);
    const std::string name = UniqueName("stale");
    Pipe toParent;
    ChildProcess victim([&] {
      NamedObjectInit init;
      init.initialCount = 2;
      init.maximumCount = 2;
      std::unique_ptr<NamedKernelObject> sem;
      bool created = false;
      if (NamedKernelObject::Create(name, NamedObjectType::kSemaphore, init, true, sem, created) != 0) return 2;
      sem->waitSemaphore(0);
      sem->waitSemaphore(0);  // both units taken, never given back
      sem.release();
      toParent.send('t');
      ::pause();
      return 0;
    });
    ASSERT_EQ(toParent.receive(), 't');
    victim.kill();
    ASSERT_EQ(victim.wait(), -SIGKILL);
    ASSERT_TRUE(SegmentExists(name));
    std::unique_ptr<NamedKernelObject> object;
    if (create) {
      NamedObjectInit init;
      init.initialCount = 2;
      init.maximumCount = 2;
      bool created = false;
      ASSERT_EQ(NamedKernelObject::Create(name, NamedObjectType::kSemaphore, init, true, object, created), 0u);
      EXPECT_TRUE(created);
      EXPECT_EQ(object->semaphoreCount(), 2);
      EXPECT_EQ(SegmentMode(name), 0666);
    } else {
      EXPECT_EQ(NamedKernelObject::Open(name, NamedObjectType::kSemaphore, object), 2u);
      EXPECT_FALSE(SegmentExists(name));
    }
  }

  // An MD lock whose holder died as its last user is free for the next.
  const std::string lockName = UniqueName("stalelock");
  KillChildHolding([&] { return (new MDLock(lockName.c_str(), false))->set(0); }, [] {});
  MDLock next(lockName.c_str(), false);
  EXPECT_TRUE(next.set(0));
  next.unset();
}

TEST(NamedKernelObject, MappingsRefuseViewsBeyondTheirBytesAndTamperedSegments) {
  const std::string name = UniqueName("mapping");
  NamedObjectInit init;
  init.mappingSize = 10000;
  std::unique_ptr<NamedKernelObject> mapping;
  bool created = false;
  ASSERT_EQ(NamedKernelObject::Create(name, NamedObjectType::kFileMapping, init, false, mapping, created), 0u);
  EXPECT_EQ(mapping->mappingSize(), 10000u);
  yq::UniqueMapping view;
  EXPECT_EQ(mapping->mapView(10001, true, view), 5u);
  EXPECT_FALSE(view);
  ASSERT_EQ(mapping->mapView(0, true, view), 0u);
  EXPECT_EQ(view.size(), 10000u);
  static_cast<char*>(view.get())[9999] = 'z';
  init.mappingSize = 0;
  std::unique_ptr<NamedKernelObject> none;
  EXPECT_EQ(NamedKernelObject::Create(UniqueName("empty"), NamedObjectType::kFileMapping, init, false, none, created),
            87u);
  EXPECT_EQ(NamedKernelObject::CreateUnnamed(NamedObjectType::kFileMapping, init, none), 87u);

  // Someone cuts the segment short: openers and views are refused instead
  // of faulting on the missing pages.
  const int fd = ::shm_open(NamedKernelObject::SegmentName(name).c_str(), O_RDWR, 0);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, 4096 + 100), 0);
  ::close(fd);
  std::unique_ptr<NamedKernelObject> opener;
  EXPECT_EQ(NamedKernelObject::Open(name, NamedObjectType::kFileMapping, opener), 6u);
  yq::UniqueMapping second;
  EXPECT_EQ(mapping->mapView(200, false, second), 5u);
  EXPECT_EQ(mapping->mapView(100, false, second), 0u);
}

TEST(NamedKernelObject, TheListingShowsKindsSizesUsersAndState) {
  const std::string base = UniqueName("list");
  auto mutex = Make(base + ".m", NamedObjectType::kMutex);
  auto sem = Make(base + ".s", NamedObjectType::kSemaphore, 7);
  auto event = Make(base + ".e", NamedObjectType::kEvent, 1, true);
  auto mapping = Make(base + ".f", NamedObjectType::kFileMapping);
  ASSERT_EQ(mutex->lockMutex(0), WaitOutcome::kAcquired);
  ASSERT_TRUE(sem->releaseSemaphore(3, nullptr));
  event->setEvent();

  const auto describe = [](const std::string& name) {
    NamedObjectInfo info;
    EXPECT_EQ(NamedKernelObject::Describe(name, info), 0u) << name;
    return info;
  };
  const std::string self = std::to_string(yq::CurrentThreadId());
  NamedObjectInfo info = describe(base + ".m");
  EXPECT_EQ(info.kind, "mutex");
  EXPECT_EQ(info.name, base + ".m");
  EXPECT_EQ(info.state, "held by thread " + self + " (depth 1)");
  EXPECT_EQ(info.users, std::vector<pid_t>{::getpid()});
  EXPECT_EQ(describe(base + ".s").state, "count 3 of 7, waiters 0");
  EXPECT_EQ(describe(base + ".e").state, "signalled, manual reset, waiters 0");
  info = describe(base + ".f");
  EXPECT_EQ(info.kind, "mapping");
  EXPECT_EQ(info.size, 100u);
  EXPECT_EQ(info.state, "100 bytes");
  EXPECT_TRUE(mutex->unlockMutex());
  EXPECT_EQ(describe(base + ".m").state, "free");

  bool listed = false;
  for (const NamedObjectInfo& object : NamedKernelObject::List()) {
    if (object.name == base + ".s") listed = object.kind == "semaphore" && object.segment == "zn." + base + ".s";
  }
  EXPECT_TRUE(listed);
  NamedObjectInfo absent;
  EXPECT_EQ(NamedKernelObject::Describe(base + ".none", absent), 2u);

  // Left by a killed holder: abandoned, without a live user.
  const std::string leftover = base + ".left";
  KillChildHolding([&] { return Make(leftover, NamedObjectType::kMutex).release()->lockMutex(0) == WaitOutcome::kAcquired; },
                   [] {});
  info = describe(leftover);
  EXPECT_TRUE(info.users.empty());
  EXPECT_EQ(info.state.rfind("abandoned: its owner, thread ", 0), 0u) << info.state;
  EXPECT_NE(info.state.find("; no live user"), std::string::npos) << info.state;

  // Headers that are not ours, or too short to be one.
  NamedKernelObject::DescribeHeader({}, 0, info);
  EXPECT_EQ(info.kind, "other");
  std::vector<unsigned char> junk(4096, 0xFF);
  NamedKernelObject::DescribeHeader(junk, junk.size(), info);
  EXPECT_EQ(info.kind, "other");
}

TEST(NamedKernelObject, FlockHoldersAreReadFromProcLocks) {
  const auto holders = zn::ParseFlockHolders(
      "1: FLOCK  ADVISORY  READ  1234 00:1a:5678 0 EOF\n"
      "1: -> FLOCK  ADVISORY  WRITE 999 00:1a:5678 0 EOF\n"
      "2: POSIX  ADVISORY  WRITE 42 08:02:77 0 EOF\n"
      "3: FLOCK  ADVISORY  READ  1235 00:1a:5678 0 EOF\n"
      "4: FLOCK  ADVISORY  READ  1234 00:1a:5678 0 EOF\n"
      "5: FLOCK  ADVISORY  WRITE 77 fd:00:12 0 EOF\n"
      "6: FLOCK  ADVISORY  WRITE x 00:1a:1 0 EOF\n"
      "7: FLOCK broken\n");
  ASSERT_EQ(holders.size(), 2u);
  EXPECT_EQ(holders.at(zn::LockedFile{0, 0x1a, 5678}), (std::vector<pid_t>{1234, 1235}));
  EXPECT_EQ(holders.at(zn::LockedFile{0xfd, 0, 12}), std::vector<pid_t>{77});
}

}  // namespace
