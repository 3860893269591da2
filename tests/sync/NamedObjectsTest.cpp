// Named objects across processes: killed waiters, segment life, type checks,
// dead creators, concurrent creation and closing, forked copies.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sync/SyncTestUtil.h"
#include "zn/error/ZnException.h"
#include "zn/sync/CNamedMutex.h"
#include "zn/sync/MDLock.h"
#include "zn/sync/NamedKernelObject.h"
#include "zn/sync/ZnSemaphore.h"

namespace {

using zn::NamedKernelObject;
using zn::NamedObjectInit;
using zn::NamedObjectType;
using zn::WaitOutcome;
using namespace zn::test;

TEST(ZnSemaphore, NamedSemaphoreWorksAcrossProcesses) {
  const std::string name = UniqueName("xsem");
  Pipe toParent;
  Pipe toChild;
  // The child makes the object; the parent only opens it, after the fork,
  // so neither process holds a descriptor of the other.
  ChildProcess child([&] {
    ZnSemaphore sem(0, 1, name.c_str());
    toParent.send('r');
    toParent.send(sem.wait(kWaitLimitMs) ? 'w' : 't');
    if (toChild.receive() != 'g') return 2;
    sem.release(1);
    try {
      sem.release(1);
      return 3;
    } catch (const ZnException& e) {
      if (std::string(e.getFuncName()) != "ZnSemaphore::release") return 4;
    }
    toParent.send('x');
    return toChild.receive() == 'q' ? 0 : 5;
  });
  ASSERT_EQ(toParent.receive(), 'r');
  {
    ZnSemaphore sem(0, 1, name.c_str());
    EXPECT_EQ(toParent.receive(kStaysBlocked), -1);  // the child still waits
    sem.release(1);
    EXPECT_EQ(toParent.receive(), 'w');

    // The child took the unit: one release fits, a second passes the maximum.
    sem.release(1);
    EXPECT_THROW(sem.release(1), ZnException);
    EXPECT_TRUE(sem.wait(0));
    EXPECT_FALSE(sem.wait(0));

    toChild.send('g');
    EXPECT_EQ(toParent.receive(), 'x');
    EXPECT_TRUE(sem.wait(0));  // the child's one release arrived here
    EXPECT_FALSE(sem.wait(0));

    toChild.send('q');
    EXPECT_EQ(child.wait(), 0);
    EXPECT_TRUE(SegmentExists(name));  // this process still uses it
  }
  EXPECT_FALSE(SegmentExists(name));
}

TEST(MDEvent, NamedEventWorksAcrossProcesses) {
  const std::string name = UniqueName("xevent");
  Pipe toParent;
  Pipe toChild;
  ChildProcess child([&] {
    MDEvent event(name.c_str(), false);
    if (!event.isValid()) return 2;
    toParent.send('r');
    if (toChild.receive() != 'b') return 3;
    toParent.send(event.waitFree(kWaitLimitMs) ? 'f' : 't');
    return toChild.receive() == 'q' ? 0 : 4;
  });
  ASSERT_EQ(toParent.receive(), 'r');
  {
    MDEvent event(name.c_str(), false);
    ASSERT_TRUE(event.isValid());
    EXPECT_FALSE(event.isSet());  // made signalled: free
    EXPECT_TRUE(event.set(0));    // busy for everyone
    EXPECT_TRUE(event.isSet());
    toChild.send('b');
    EXPECT_EQ(toParent.receive(kStaysBlocked), -1);  // the child waits for "free"
    event.unset();
    EXPECT_EQ(toParent.receive(), 'f');
    EXPECT_FALSE(event.isSet());

    toChild.send('q');
    EXPECT_EQ(child.wait(), 0);
    EXPECT_TRUE(SegmentExists(name));
  }
  EXPECT_FALSE(SegmentExists(name));
}

TEST(ZnSemaphore, WaitersKilledInsideAWaitDoNotBlockTheOthers) {
  const std::string name = UniqueName("killedwaiter");
  ZnSemaphore sem(0, 5, name.c_str());
  Pipe toParent;
  std::vector<std::unique_ptr<ChildProcess>> waiters;
  for (int i = 0; i < 2; ++i) {
    waiters.push_back(std::make_unique<ChildProcess>([&] {
      ZnSemaphore mine(0, 5, name.c_str());
      toParent.send('r');
      mine.wait();
      return 0;
    }));
    ASSERT_EQ(toParent.receive(), 'r');
  }
  EXPECT_EQ(toParent.receive(kStaysBlocked), -1);  // time to settle in their waits
  for (auto& waiter : waiters) {
    waiter->kill();
    EXPECT_EQ(waiter->wait(), -SIGKILL);
  }

  // Several rounds: the dead waiters' traces may only bite a later wake-up.
  // Every party is a process of its own, so a hang can be ended.
  for (int round = 0; round < 3; ++round) {
    ChildProcess live([&] {
      ZnSemaphore mine(0, 5, name.c_str());
      toParent.send('w');
      return mine.wait(kWaitLimitMs) ? 0 : 1;
    });
    ASSERT_EQ(toParent.receive(), 'w');
    EXPECT_EQ(toParent.receive(kStaysBlocked), -1);
    ChildProcess releaser([&] {
      ZnSemaphore mine(0, 5, name.c_str());
      mine.release(1);
      return 0;
    });
    ASSERT_EQ(releaser.wait(std::chrono::seconds(10)), 0) << "the release hung in round " << round;
    ASSERT_EQ(live.wait(), 0) << "the live waiter was not woken in round " << round;
  }
  sem.release(1);
  EXPECT_TRUE(sem.wait(0));
  EXPECT_FALSE(sem.wait(0));
}

TEST(NamedKernelObject, OpeningAnotherTypeFailsWithInvalidHandle) {
  const std::string name = UniqueName("type");
  {
    std::unique_ptr<NamedKernelObject> semaphore;
    bool created = false;
    NamedObjectInit init;
    init.initialCount = 1;
    ASSERT_EQ(NamedKernelObject::Create(name, NamedObjectType::kSemaphore, init, false, semaphore, created), 0u);
    EXPECT_TRUE(created);
    EXPECT_EQ(SegmentMode(name), 0600);

    std::unique_ptr<NamedKernelObject> other;
    EXPECT_EQ(NamedKernelObject::Open(name, NamedObjectType::kEvent, other), 6u);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(NamedKernelObject::Create(name, NamedObjectType::kMutex, NamedObjectInit(), true, other, created), 6u);
    EXPECT_EQ(other, nullptr);

    ZnSemaphore same(0, 1, name.c_str());  // fine: same type
    EXPECT_FALSE(MDEvent(name.c_str(), false).set(0));
    EXPECT_FALSE(MDMutex(name.c_str(), false).isValid());
    CNamedMutex named(name.c_str(), nullptr, false);
    EXPECT_EQ(named.getErrorCode(), 6);
    EXPECT_EQ(named.lock(0, false), -1);

    // The failed opens left the object and its name alone.
    ASSERT_EQ(NamedKernelObject::Open(name, NamedObjectType::kSemaphore, other), 0u);
    EXPECT_EQ(other->type(), NamedObjectType::kSemaphore);
    EXPECT_EQ(other->waitSemaphore(0), WaitOutcome::kAcquired);
    EXPECT_EQ(semaphore->waitSemaphore(0), WaitOutcome::kTimeout);
    EXPECT_TRUE(semaphore->releaseSemaphore(1, nullptr));
  }
  EXPECT_FALSE(SegmentExists(name));

  // An event name refuses a semaphore with error 6 in the exception.
  MDEvent event(name.c_str(), false);
  try {
    ZnSemaphore wrong(0, 1, name.c_str());
    ADD_FAILURE() << "a semaphore opened an event";
  } catch (const ZnException& e) {
    EXPECT_STREQ(e.getFuncName(), "ZnSemaphore");
    EXPECT_EQ(e.getErrno(), 6);
  }

  std::unique_ptr<NamedKernelObject> none;
  EXPECT_EQ(NamedKernelObject::Open(UniqueName("absent"), NamedObjectType::kMutex, none), 2u);
  bool created = false;
  EXPECT_EQ(NamedKernelObject::Create("", NamedObjectType::kMutex, NamedObjectInit(), false, none, created), 123u);
}

TEST(NamedKernelObject, SegmentNamesAreSafeAndDistinct) {
  EXPECT_EQ(NamedKernelObject::SegmentName("Global\\a/b"), "/zn.Global_a_b");
  const std::string base = UniqueName("long") + std::string(300, 'x');
  const std::string first = NamedKernelObject::SegmentName(base + "1");
  const std::string second = NamedKernelObject::SegmentName(base + "2");
  EXPECT_LE(first.size(), 204u);
  EXPECT_NE(first, second);  // the hash covers the whole name

  // Two long names that differ only at the end are separate objects.
  ZnSemaphore one(0, 1, (base + "1").c_str());
  ZnSemaphore two(0, 1, (base + "2").c_str());
  one.release(1);
  EXPECT_FALSE(two.wait(0));
  EXPECT_TRUE(one.wait(0));
}

TEST(NamedKernelObject, LeftoversOfACreatorThatDiedAreTakenOver) {
  // A creator killed before sizing the segment, and one killed after sizing
  // but before marking it ready, leave a segment nobody holds.
  for (const off_t size : {off_t{0}, off_t{4096}}) {
    const std::string name = UniqueName("leftover");
    const std::string segment = NamedKernelObject::SegmentName(name);
    const int fd = ::shm_open(segment.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);
    {
      ZnSemaphore sem(1, 1, name.c_str());
      EXPECT_TRUE(sem.wait(0)) << "size " << size;
      EXPECT_FALSE(sem.wait(0));
      sem.release(1);
    }
    EXPECT_FALSE(SegmentExists(name)) << "size " << size;
  }
}

TEST(NamedKernelObject, ConcurrentOpenAndCloseKeepOneObject) {
  // Threads keep making and dropping the same named semaphore of one unit.
  // If a last-user unlink ever raced with an open, two objects would exist
  // under one name and two threads would be inside at once.
  const std::string name = UniqueName("churn");
  std::atomic<int> inside{0};
  std::atomic<int> overlaps{0};
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 300; ++i) {
        try {
          ZnSemaphore sem(1, 1, name.c_str());
          if (!sem.wait(kWaitLimitMs)) {
            ++failures;
            continue;
          }
          if (inside.fetch_add(1) != 0) ++overlaps;
          std::this_thread::yield();
          inside.fetch_sub(1);
          sem.release(1);
        } catch (const ZnException&) {
          ++failures;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_EQ(failures.load(), 0);
  EXPECT_FALSE(SegmentExists(name));
}

TEST(NamedKernelObject, SimultaneousCreatorsDoNotWaitForEachOther) {
  // Two threads make the same new name at once; each, once it has its
  // object, waits for the other to have one too. A creator that waited for
  // an early opener to close would never finish while that opener waits.
  for (int round = 0; round < 1500; ++round) {
    const std::string name = UniqueName("race");
    std::atomic<int> built{0};
    std::atomic<int> started{0};
    std::atomic<bool> stuck{false};
    auto body = [&] {
      ++started;
      while (started.load() < 2) std::this_thread::yield();
      ZnSemaphore sem(0, 1, name.c_str());
      ++built;
      if (!PollUntil([&] { return built.load() == 2; }, std::chrono::seconds(10))) stuck = true;
    };
    std::thread first(body);
    std::thread second(body);
    first.join();
    second.join();
    ASSERT_FALSE(stuck.load()) << "round " << round;
    ASSERT_FALSE(SegmentExists(name));
  }
}

TEST(NamedKernelObject, ForkedChildClosingItsCopyLeavesTheObjectAlone) {
  // A forked child shares the parent's open descriptions; closing its copy
  // of an object must not end the parent's.
  const std::string name = UniqueName("inherit");
  auto sem = std::make_unique<ZnSemaphore>(0, 1, name.c_str());
  ChildProcess child([&] {
    sem.reset();
    return 0;
  });
  ASSERT_EQ(child.wait(), 0);
  EXPECT_TRUE(SegmentExists(name));
  {
    ZnSemaphore again(0, 1, name.c_str());
    again.release(1);
    EXPECT_TRUE(sem->wait(0));  // still one object under the name
    sem.reset();
    EXPECT_TRUE(SegmentExists(name));
  }
  EXPECT_FALSE(SegmentExists(name));
}

}  // namespace
