// Helpers of the shared-buffer tests: words through a pipe, and waiting
// until a named object has a given number of sleepers.
#pragma once

#include <cctype>
#include <cstdint>
#include <string>

#include "sync/SyncTestUtil.h"
#include "zn/sync/NamedKernelObject.h"

namespace zn::test {

// Four bytes through a Pipe: a result word from a child process.
inline bool SendWord(Pipe& pipe, uint32_t word) {
  for (int shift = 0; shift < 32; shift += 8) {
    if (!pipe.send(static_cast<char>((word >> shift) & 0xFF))) return false;
  }
  return true;
}

// The word, or -1 when it does not come within `limit`.
inline long long ReceiveWord(Pipe& pipe, std::chrono::milliseconds limit = kWaitLimit) {
  uint32_t word = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const int byte = pipe.receive(limit);
    if (byte < 0) return -1;
    word |= static_cast<uint32_t>(byte) << shift;
  }
  return word;
}

// True once the object `name` shows `waiters` sleepers (bounded): a wait
// that has begun, as the listing of the machine's objects shows it.
inline bool WaitersReach(const std::string& name, int waiters) {
  const std::string wanted = "waiters " + std::to_string(waiters);
  return PollUntil([&] {
    zn::NamedObjectInfo info;
    if (zn::NamedKernelObject::Describe(name, info) != 0) return false;
    const auto at = info.state.find(wanted);
    const auto after = at + wanted.size();
    return at != std::string::npos && (after == info.state.size() || !std::isdigit(info.state[after]));
  });
}

}  // namespace zn::test
