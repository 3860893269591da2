// The blocks the helper's "interleave" mode writes: 4096 bytes each, the
// stream letter and the block number first, so that a lost, doubled or
// reordered block shows.
#pragma once

#include <cstdio>
#include <string>

namespace zn::test {

inline constexpr std::size_t kHelperBlockSize = 4096;

inline std::string HelperBlock(char stream, int index) {
  char head[32];
  const int n = std::snprintf(head, sizeof head, "%c%08d:", stream, index);
  std::string block(head, static_cast<std::size_t>(n));
  block.append(kHelperBlockSize - block.size() - 1, static_cast<char>('a' + index % 26));
  block.push_back('\n');
  return block;
}

}  // namespace zn::test
