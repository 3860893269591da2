#include "zn/cmdline/internal/ArgvPermutation.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace zn::detail {

void ExchangeArgumentBlocks(char** argv, int first, int middle, int end) {
  const std::size_t left = static_cast<std::size_t>(middle - first);
  const std::size_t right = static_cast<std::size_t>(end - middle);
  if (left == 0 || right == 0) return;
  constexpr std::size_t kBufferSlots = 256;
  char* buffer[kBufferSlots];
  char** const base = argv + first;
  if (right <= kBufferSlots && right <= left) {
    std::memcpy(buffer, base + left, right * sizeof(char*));
    std::memmove(base + right, base, left * sizeof(char*));
    std::memcpy(base, buffer, right * sizeof(char*));
  } else if (left <= kBufferSlots) {
    std::memcpy(buffer, base, left * sizeof(char*));
    std::memmove(base, base + left, right * sizeof(char*));
    std::memcpy(base + right, buffer, left * sizeof(char*));
  } else {
    std::rotate(base, base + left, base + left + right);
  }
}

}  // namespace zn::detail
