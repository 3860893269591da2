// The layout of a named object's segment, shared by every process that
// uses the object: the header, then (a file mapping) its bytes from the
// first page boundary on.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "zn/sync/NamedKernelObject.h"
#include "zn/sync/internal/RobustLock.h"

namespace zn {

struct NamedKernelObject::Shared {
  std::atomic<uint32_t> magic;
  std::atomic<uint32_t> ready;
  uint32_t type;
  uint32_t reserved;
  // The mutex of a mutex object; the guard of every other kind's state.
  detail::RobustLock lock;
  // Moves on with every wake-up. A futex word keeps no record of its
  // waiters, so one killed in a wait cannot block the others, as a
  // process-shared condition variable's leftover waiter does.
  std::atomic<uint32_t> wakeups;
  // Sleepers on `wakeups`, so that a change without any skips the wake-up
  // call. One killed in its sleep stays counted: that only costs calls.
  std::atomic<uint32_t> waiters;
  int32_t count;
  int32_t maximum;
  uint32_t manualReset;
  uint32_t signalled;
  uint32_t pulses;        // moved on by every pulse that found waiters
  int32_t pulseReleases;  // waiters the last pulse may still release; -1: all
  uint64_t mappingSize;
  char name[256];  // as the creator gave it, cut at 255 bytes; for listings
};

namespace detail {

inline constexpr uint32_t kNamedObjectMagic = 0x5A4E4F33;  // "ZNO3"
// Where a mapping's bytes start: a page boundary, so that views can be
// mapped from the segment at that offset.
inline constexpr std::size_t kMappingDataOffset = 4096;

}  // namespace detail
}  // namespace zn
