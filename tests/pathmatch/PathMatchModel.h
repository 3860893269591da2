// The matcher's rules written out as plainly as they read, with the full
// search (each star tries the rest at every position, "**" at every
// following component, the first success wins) and no shortcut at all.
// Exponential on purpose: the tests run it on short inputs only and compare
// the library's result, flags and next-component hint with it.
#pragma once

#include <optional>
#include <string>

namespace zn::test {

class PathMatchModel {
 public:
  char delimiter = '\\';
  char escape = '/';
  bool caseInsensitive = false;

  // State after the last call, as the matcher keeps it.
  bool literal = false;
  bool recursive = false;
  bool matchEverything = false;
  std::optional<std::string> next;  // the pattern from the next component on

  // 0 on a match, 1 otherwise.
  int fnmatch(const std::string& pattern, const std::string& string, int flags) {
    m_pattern = pattern;
    m_string = string;
    literal = true;
    return run(0, 0, flags);
  }

  // What match() does with a prepared pattern.
  int match(const std::string& prepared, const std::string& path) {
    next.reset();
    recursive = false;
    matchEverything = false;
    const int result = fnmatch(prepared, path, 2) == 0 ? 1 : 0;
    if (result == 0 && path.size() == 1 && path[0] == delimiter && !prepared.empty() && prepared[0] == delimiter) {
      next = prepared.substr(1);
    }
    return result;
  }

 private:
  char fold(char c) const { return caseInsensitive && c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

  bool periodBlocks(std::size_t s, int flags) const {
    if ((flags & 4) == 0 || s >= m_string.size() || m_string[s] != '.') return false;
    return s == 0 || ((flags & 2) != 0 && m_string[s - 1] == delimiter);
  }

  // A set at `p` ("["): its end, or npos when it is not a set. `in` tells
  // whether `unit` is in it.
  std::size_t parseSet(std::size_t p, int flags, char unit, bool& in) const {
    const bool escapes = (flags & 1) == 0;
    const bool pathname = (flags & 2) != 0;
    std::size_t q = p + 1;
    bool negate = false;
    if (q < m_pattern.size() && (m_pattern[q] == '!' || m_pattern[q] == '^')) {
      negate = true;
      ++q;
    }
    const std::size_t first = q;
    bool found = false;
    // One member character, escape resolved; false at the end of the
    // pattern or at a delimiter.
    auto take = [&](std::size_t& at, char& c) {
      if (at >= m_pattern.size()) return false;
      c = m_pattern[at];
      if (escapes && c == escape) {
        if (++at >= m_pattern.size()) return false;
        c = m_pattern[at];
      }
      if (pathname && c == delimiter) return false;
      ++at;
      return true;
    };
    while (true) {
      if (q >= m_pattern.size()) return std::string::npos;
      if (m_pattern[q] == ']' && q > first) {
        in = found != negate;
        return q + 1;
      }
      char low = 0;
      if (!take(q, low)) return std::string::npos;
      char high = low;
      if (q + 1 < m_pattern.size() && m_pattern[q] == '-' && m_pattern[q + 1] != ']') {
        ++q;
        if (!take(q, high)) return std::string::npos;
      }
      const auto u = static_cast<unsigned char>(unit);
      if (static_cast<unsigned char>(low) <= u && u <= static_cast<unsigned char>(high)) found = true;
    }
  }

  int run(std::size_t p, std::size_t s, int flags) {
    const std::size_t P = m_pattern.size();
    const std::size_t S = m_string.size();
    const bool pathname = (flags & 2) != 0;
    while (true) {
      if (p == P) return s == S ? 0 : 1;
      char c = m_pattern[p];
      if (c == '*') {
        literal = false;
        std::size_t q = p;
        while (q < P && m_pattern[q] == '*') ++q;
        const bool isRecursive = q - p >= 2 && (q == P || m_pattern[q] == delimiter) && pathname && p > 0 &&
                                 m_pattern[p - 1] == delimiter;
        if (isRecursive) {
          recursive = true;
          if (q < P) ++q;
        } else if (periodBlocks(s, flags)) {
          return 1;
        }
        if (q == P) {
          if (isRecursive) {
            matchEverything = true;
            return 0;
          }
          if (!pathname) return 0;
          return m_string.find(delimiter, s) == std::string::npos ? 0 : 1;
        }
        if (!isRecursive && pathname && m_pattern[q] == delimiter) {
          const std::size_t d = m_string.find(delimiter, s);
          if (d == std::string::npos) {
            next = m_pattern.substr(q + 1);
            return 1;
          }
          s = d;
          p = q;
          continue;
        }
        if (isRecursive) {
          std::size_t t = s;
          while (true) {
            if (run(q, t, flags & ~4) == 0) return 0;
            const std::size_t d = m_string.find(delimiter, t);
            if (d == std::string::npos) break;
            t = d + 1;
          }
          next = std::string();
          return 1;
        }
        for (std::size_t t = s; t < S; ++t) {
          if (run(q, t, flags & ~4) == 0) return 0;
          if (pathname && m_string[t] == delimiter) break;
        }
        return 1;
      }
      if (c == '?') {
        literal = false;
        if (s == S || (pathname && m_string[s] == delimiter) || periodBlocks(s, flags)) return 1;
        ++p;
        ++s;
        continue;
      }
      if (c == '[') {
        literal = false;
        bool in = false;
        const char unit = s < S ? fold(m_string[s]) : '\0';
        const std::size_t end = parseSet(p, flags, unit, in);
        if (end != std::string::npos) {
          if (s == S || (pathname && m_string[s] == delimiter) || !in) return 1;
          p = end;
          ++s;
          continue;
        }
        // Not a set: an ordinary "[".
      } else if (c == escape && (flags & 1) == 0 && p + 1 < P) {
        ++p;
        c = m_pattern[p];
      }
      if (s == S) {
        if (c == delimiter && pathname) next = m_pattern.substr(p + 1);
        return 1;
      }
      if (fold(m_string[s]) != c) return 1;
      ++p;
      ++s;
    }
  }

  std::string m_pattern;
  std::string m_string;
};

}  // namespace zn::test
