// Points on the monotonic clock as timespec, for the futex and semaphore
// waits of this module, which take absolute or relative timespecs.
#pragma once

#include <time.h>

namespace zn::detail {

inline struct timespec MonotonicNow() {
  struct timespec now;
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return now;
}

inline struct timespec MonotonicAfter(struct timespec from, long long ns) {
  from.tv_sec += static_cast<time_t>(ns / 1000000000LL);
  from.tv_nsec += static_cast<long>(ns % 1000000000LL);
  if (from.tv_nsec >= 1000000000L) {
    from.tv_sec += 1;
    from.tv_nsec -= 1000000000L;
  }
  return from;
}

inline bool MonotonicBefore(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

}  // namespace zn::detail
