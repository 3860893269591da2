// Priority levels and CPU affinity on real threads: a nice value reaches
// the one thread it is meant for, an affinity mask every thread of the
// process, including threads started while it is being applied.

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <vector>

#include "thread/ThreadTestUtil.h"
#include "zn/thread/ThreadScheduling.h"
#include "zn/thread/ZnThread.h"
#include "zuzazer/FXErrorUtil.h"

namespace {

using zn::test::Gate;
using zn::test::kThreadWaitMs;

unsigned int WaitAtGate(void* gate) { return static_cast<Gate*>(gate)->pass() ? 0 : 1; }

int NiceOf(pid_t thread) {
  errno = 0;
  return ::getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
}

TEST(ZnThreadScheduling, PriorityLevelsAreNiceValuesOfOneThread) {
  EXPECT_EQ(zn::NiceValueOfPriority(zn::kPriorityNormal), 0);
  EXPECT_EQ(zn::NiceValueOfPriority(zn::kPriorityBelowNormal), 10);
  EXPECT_EQ(zn::NiceValueOfPriority(zn::kPriorityHigh), -10);
  EXPECT_EQ(zn::NiceValueOfPriority(7), 0);

  Gate gate;
  ZnThread lowered;
  ZnThread bystander;
  ASSERT_NE(lowered.createThread(&WaitAtGate, &gate), nullptr);
  ASSERT_NE(bystander.createThread(&WaitAtGate, &gate), nullptr);
  const int before = NiceOf(static_cast<pid_t>(bystander.getThreadID()));
  const int mine = NiceOf(::gettid());

  const CYqError set = zn::SetThreadPriority(lowered.getThreadID(), zn::kPriorityBelowNormal);
  ASSERT_FALSE(set.IsError()) << set.AsString();
  EXPECT_EQ(NiceOf(static_cast<pid_t>(lowered.getThreadID())), 10);
  EXPECT_EQ(NiceOf(static_cast<pid_t>(bystander.getThreadID())), before);  // one thread only
  EXPECT_EQ(NiceOf(::gettid()), mine);

  // Raising needs the privilege to; without it the error is "access denied".
  const CYqError high = zn::SetThreadPriority(lowered.getThreadID(), zn::kPriorityHigh);
  if (high.IsError()) {
    EXPECT_EQ(FXErrorUtil::GetWin32(high), 5u) << high.AsString();
    EXPECT_EQ(NiceOf(static_cast<pid_t>(lowered.getThreadID())), 10);
  } else {
    EXPECT_EQ(NiceOf(static_cast<pid_t>(lowered.getThreadID())), -10);
  }
  // A thread that does not exist.
  EXPECT_TRUE(zn::SetThreadPriority(0x7FFFFFF0u, zn::kPriorityBelowNormal).IsError());

  gate.open();
  EXPECT_TRUE(lowered.joinThread(kThreadWaitMs));
  EXPECT_TRUE(bystander.joinThread(kThreadWaitMs));
}

bool HasMask(pid_t thread, const cpu_set_t& wanted) {
  cpu_set_t actual;
  CPU_ZERO(&actual);
  if (::sched_getaffinity(thread, sizeof actual, &actual) != 0) return errno == ESRCH;  // gone meanwhile
  return CPU_EQUAL(&actual, &wanted);
}

// Starts threads that start threads, so that some are being made while the
// mask is applied.
struct Spawner {
  Gate* release;
  std::atomic<bool> stop{false};
  std::atomic<int> started{0};
};

unsigned int SpawnWhileApplying(void* raw) {
  auto* spawner = static_cast<Spawner*>(raw);
  std::vector<std::unique_ptr<ZnThread>> children;
  while (!spawner->stop.load() && children.size() < 200) {
    children.push_back(std::make_unique<ZnThread>());
    if (children.back()->createThread(&WaitAtGate, spawner->release) == nullptr) return 1;
    spawner->started.fetch_add(1);
  }
  for (auto& child : children) {
    if (!child->joinThread(kThreadWaitMs)) return 2;
  }
  return 0;
}

TEST(ZnThreadScheduling, AffinityReachesEveryThreadOfTheProcess) {
  cpu_set_t original;
  CPU_ZERO(&original);
  ASSERT_EQ(::sched_getaffinity(0, sizeof original, &original), 0);
  int chosen = -1;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &original)) chosen = cpu;  // the last allowed one
  }
  ASSERT_GE(chosen, 0);
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(chosen, &one);

  Gate release;
  std::vector<std::unique_ptr<ZnThread>> waiting;
  for (int i = 0; i < 6; ++i) {
    waiting.push_back(std::make_unique<ZnThread>());
    ASSERT_NE(waiting.back()->createThread(&WaitAtGate, &release), nullptr);
  }
  Spawner spawner;
  spawner.release = &release;
  ZnThread spawning;
  ASSERT_NE(spawning.createThread(&SpawnWhileApplying, &spawner), nullptr);
  for (int i = 0; i < 30000 && spawner.started.load() < 5; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));

  const CYqError applied = zn::SetProcessAffinity(one);
  spawner.stop.store(true);
  ASSERT_FALSE(applied.IsError()) << applied.AsString();

  // Every thread, the ones started during the call included, has the mask.
  for (const pid_t thread : zn::test::ProcessThreads()) EXPECT_TRUE(HasMask(thread, one)) << "thread " << thread;
  // A thread started afterwards inherits it and sees it from inside.
  std::atomic<int> insideOk{-1};
  ZnThread late;
  ASSERT_NE(late.createThread(
                [](void* raw) -> unsigned int {
                  cpu_set_t mine;
                  CPU_ZERO(&mine);
                  const bool read = ::sched_getaffinity(0, sizeof mine, &mine) == 0;
                  static_cast<std::atomic<int>*>(raw)->store(read ? CPU_COUNT(&mine) : -1);
                  return 0;
                },
                &insideOk),
            nullptr);
  ASSERT_TRUE(late.joinThread(kThreadWaitMs));
  EXPECT_EQ(insideOk.load(), 1);

  release.open();
  ASSERT_TRUE(spawning.joinThread(kThreadWaitMs));
  unsigned long code = 9;
  ASSERT_NE(spawning.GetThreadExitCode(code), 0);
  EXPECT_EQ(code, 0u);
  for (auto& thread : waiting) EXPECT_TRUE(thread->joinThread(kThreadWaitMs));

  const CYqError restored = zn::SetProcessAffinity(original);
  ASSERT_FALSE(restored.IsError()) << restored.AsString();
  EXPECT_TRUE(HasMask(::gettid(), original));
}

}  // namespace
