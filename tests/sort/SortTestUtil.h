// Inputs for the sort's tests and the peer (GNU sort) to check them by.
#pragma once

#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "helpers/TempDir.h"

namespace zn::test {

// `count` lines of 1 to `maxLength` bytes: any byte but '\n' and '\0'
// (high bytes too, so that the order is shown to be unsigned).
inline std::string RandomLines(std::size_t count, unsigned seed, std::size_t maxLength = 40,
                               const std::string& alphabet = std::string()) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<std::size_t> length(1, maxLength);
  std::uniform_int_distribution<int> byte(1, 255);
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t n = length(random);
    for (std::size_t j = 0; j < n; ++j) {
      if (!alphabet.empty()) {
        text += alphabet[static_cast<std::size_t>(random()) % alphabet.size()];
        continue;
      }
      int c = byte(random);
      if (c == '\n') c = 'n';
      text += static_cast<char>(c);
    }
    text += '\n';
  }
  return text;
}

inline void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << data;
}

// What `LC_ALL=C sort <options>` makes of `input`: the independent answer.
inline std::string PeerSort(const TempDir& dir, const std::string& input, const std::string& options,
                            const std::string& filter = std::string()) {
  const std::string in = dir.file("peer.in");
  const std::string out = dir.file("peer.out");
  WriteFile(in, input);
  const std::string command =
      (filter.empty() ? "" : filter + " < '" + in + "' | ") + "LC_ALL=C sort " + options + " " +
      (filter.empty() ? "'" + in + "'" : "") + " > '" + out + "'";
  if (std::system(command.c_str()) != 0) return "peer sort failed";
  return ReadFile(out);
}

}  // namespace zn::test
