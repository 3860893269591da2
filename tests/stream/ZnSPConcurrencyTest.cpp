// Reference counting from many threads: every change under the one lock,
// destruction exactly once, the trigger exactly on each step down to one
// reference, and callbacks and destructors run with the lock released.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <latch>
#include <memory>
#include <thread>
#include <vector>

#include "zn/stream/ZnSP.h"

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 100000;
constexpr auto kWaitLimit = std::chrono::seconds(30);

class Counted : public SPEnabled {
 public:
  explicit Counted(std::atomic<int>& destroyed) : m_destroyed(destroyed) {}
  ~Counted() override { m_destroyed.fetch_add(1); }

 private:
  std::atomic<int>& m_destroyed;
};

void CountTrigger(void* calls) { static_cast<std::atomic<long>*>(calls)->fetch_add(1); }

// Runs `body(thread index)` on kThreads threads that start together.
template <typename Body>
void RunTogether(Body body) {
  std::latch start(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      body(t);
    });
  }
  for (auto& thread : threads) thread.join();
}

TEST(ZnSPConcurrency, TriggerFiresOnEveryReleaseThatLeavesOneReference) {
  std::atomic<int> destroyed{0};
  std::atomic<long> triggers{0};
  auto* object = new Counted(destroyed);
  object->addLastRefTrigger(&CountTrigger, &triggers);
  SPBase owner(object);

  // Each release reports the count it left; those that left 1 are exactly
  // the ones that must have fired the trigger.
  std::atomic<long> leftOne{0};
  RunTogether([&](int) {
    long mine = 0;
    for (int i = 0; i < kRounds; ++i) {
      object->incCount();
      if (object->decCount() == 1) ++mine;
    }
    leftOne.fetch_add(mine);
  });
  EXPECT_EQ(object->getCount(), 1);
  EXPECT_GE(leftOne.load(), 1);
  EXPECT_EQ(triggers.load(), leftOne.load());
  EXPECT_EQ(destroyed.load(), 0);

  owner = nullptr;
  EXPECT_EQ(destroyed.load(), 1);
  EXPECT_EQ(triggers.load(), leftOne.load());  // 1 -> 0 destroys, never triggers
}

TEST(ZnSPConcurrency, HoldersOnManyThreadsDestroyExactlyOnce) {
  std::atomic<int> destroyed{0};
  std::atomic<long> triggers{0};
  auto* object = new Counted(destroyed);
  object->addLastRefTrigger(&CountTrigger, &triggers);
  SPBase owner(object);

  std::latch holding(kThreads);
  std::latch released(1);
  std::latch counted(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      SPBase mine(owner);
      holding.count_down();
      released.wait();  // the owner lets go: only the threads hold it now
      for (int i = 0; i < kRounds; ++i) {
        SPBase copy(mine);
        SPBase other;
        other = copy;
      }
      // Never below kThreads so far: no trigger yet. Then all let go at once.
      counted.arrive_and_wait();
    });
  }
  holding.wait();
  owner = nullptr;
  released.count_down();
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(destroyed.load(), 1);
  EXPECT_EQ(triggers.load(), 1);  // the release from 2 to 1
}

// Runs `call` on a thread of its own and waits for its result within the
// limit; false when it did not come (the thread is left behind, blocked).
template <typename Call>
bool CompletesOnAnotherThread(Call call, int expected) {
  auto result = std::make_shared<std::promise<int>>();
  auto answer = result->get_future();
  std::thread([call, result] { result->set_value(call()); }).detach();
  return answer.wait_for(kWaitLimit) == std::future_status::ready && answer.get() == expected;
}

// A trigger or destructor that waits for another thread to change a count
// would wait forever if it were called under the lock.
TEST(ZnSPConcurrency, TriggerAndDestructorRunWithTheLockReleased) {
  std::atomic<int> destroyed{0};
  auto* object = new Counted(destroyed);
  auto* bystander = new Counted(destroyed);
  SPBase keepBystander(bystander);

  struct Probe {
    SPEnabled* other;
    bool otherThreadGotThrough = false;
  } probe{bystander};
  object->addLastRefTrigger(
      [](void* p) {
        auto* self = static_cast<Probe*>(p);
        self->otherThreadGotThrough = CompletesOnAnotherThread(
            [other = self->other] {
              SPBase held(other);
              return other->getCount();
            },
            2);
      },
      &probe);

  SPBase first(object);
  {
    SPBase second(first);
  }
  EXPECT_TRUE(probe.otherThreadGotThrough);

  class Blocking : public SPEnabled {
   public:
    explicit Blocking(SPEnabled* other, bool& result) : m_other(other), m_result(result) {}
    ~Blocking() override {
      m_result = CompletesOnAnotherThread([other = m_other] { return other->incCount(); }, 2);
      if (m_result) m_other->decCount();
    }

   private:
    SPEnabled* m_other;
    bool& m_result;
  };
  bool destructorGotThrough = false;
  { SPBase only(new Blocking(bystander, destructorGotThrough)); }
  EXPECT_TRUE(destructorGotThrough);
}

}  // namespace
