// The count of ready entries that idle workers of a ZnThreadPool wait on:
// a counting semaphore on one futex word. Giving a permit costs no system
// call unless a worker sleeps and none is spinning, so that a pool kept
// busy hands items from producer to worker through memory alone; a worker
// that finds nothing spins a little before it sleeps, since the next item
// usually follows within microseconds.
#pragma once

#include <atomic>
#include <cstdint>

namespace zn::detail {

class ReadySignal {
 public:
  static constexpr unsigned long kInfinite = 0xFFFFFFFFUL;

  ReadySignal() = default;
  ReadySignal(const ReadySignal&) = delete;
  ReadySignal& operator=(const ReadySignal&) = delete;

  // Adds `count` permits (at least 1) and wakes as many sleepers as needed.
  void release(int count = 1);
  // Takes one permit; false when none came within `ms` milliseconds
  // (kInfinite: no limit).
  bool wait(unsigned long ms);

 private:
  bool tryTake();
  bool spinForPermit();

  std::atomic<int32_t> m_permits{0};  // the futex word
  std::atomic<int32_t> m_spinners{0};
  std::atomic<int32_t> m_sleepers{0};
};

}  // namespace zn::detail
