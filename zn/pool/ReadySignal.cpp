#include "zn/pool/internal/ReadySignal.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <time.h>

#include "zn/pool/internal/CpuPause.h"

namespace zn::detail {
namespace {

// About two microseconds of pauses: long enough to catch the next item of
// a steady stream, short enough not to starve a producer on a busy core.
constexpr int kSpinRounds = 64;

int* Word(std::atomic<int32_t>& word) { return reinterpret_cast<int*>(&word); }

long long MonotonicNs() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

}  // namespace

bool ReadySignal::tryTake() {
  int32_t seen = m_permits.load();
  while (seen > 0) {
    if (m_permits.compare_exchange_weak(seen, seen - 1, std::memory_order_acquire, std::memory_order_relaxed)) {
      return true;
    }
  }
  return false;
}

// One spinner at a time: more would only burn the cores the producers need.
bool ReadySignal::spinForPermit() {
  if (m_spinners.fetch_add(1) != 0) {
    m_spinners.fetch_sub(1);
    return false;
  }
  bool taken = false;
  for (int round = 0; round < kSpinRounds && !taken; ++round) {
    for (int i = 0; i < 8; ++i) CpuPause();
    taken = tryTake();
  }
  m_spinners.fetch_sub(1);
  // Every release that saw this thread spinning woke nobody: the permits
  // still here after counting off go to as many sleepers, or they would
  // wait for this thread's item to end.
  if (taken) {
    const int32_t left = m_permits.load();
    if (left > 0 && m_sleepers.load() != 0) {
      ::syscall(SYS_futex, Word(m_permits), FUTEX_WAKE_PRIVATE, left, nullptr, nullptr, 0);
    }
  }
  return taken;
}

void ReadySignal::release(int count) {
  if (count < 1) return;
  m_permits.fetch_add(count);
  // A spinner takes the permit itself; it counts itself off before it
  // looks one last time and sleeps, so it cannot miss this one.
  if (m_sleepers.load() == 0) return;
  if (count == 1 && m_spinners.load() != 0) return;
  ::syscall(SYS_futex, Word(m_permits), FUTEX_WAKE_PRIVATE, count, nullptr, nullptr, 0);
}

bool ReadySignal::wait(unsigned long ms) {
  if (tryTake() || spinForPermit()) return true;
  const bool forever = ms == kInfinite;
  const long long deadlineNs = forever ? 0 : MonotonicNs() + static_cast<long long>(ms) * 1000000LL;
  const timespec deadline{static_cast<time_t>(deadlineNs / 1000000000LL), static_cast<long>(deadlineNs % 1000000000LL)};
  for (;;) {
    m_sleepers.fetch_add(1);
    // Seen after counting in as a sleeper: a release after this load wakes us.
    if (tryTake()) {
      m_sleepers.fetch_sub(1);
      return true;
    }
    if (!forever && MonotonicNs() >= deadlineNs) {
      m_sleepers.fetch_sub(1);
      return false;
    }
    ::syscall(SYS_futex, Word(m_permits), FUTEX_WAIT_BITSET_PRIVATE, 0, forever ? nullptr : &deadline, nullptr,
              FUTEX_BITSET_MATCH_ANY);
    m_sleepers.fetch_sub(1);
    if (tryTake()) return true;
  }
}

}  // namespace zn::detail
