// Whether one string unit matches one single-unit element of a pattern
// (a literal unit, "?" or a set), as every try after a star sees it: no
// period rule there.
#pragma once

#include <cstdint>

#include "zn/pathmatch/internal/PatternProgram.h"

namespace zn::detail {

inline unsigned long Ordinal(char c) { return static_cast<unsigned char>(c); }
inline unsigned long Ordinal(unsigned long c) { return c; }

template <class T>
class UnitMatch {
 public:
  UnitMatch(const PatternProgram<T>& program, bool caseInsensitive)
      : m_program(program),
        m_delimiter(program.delimiter),
        m_pathname((program.flags & kFlagPathname) != 0),
        m_caseInsensitive(caseInsensitive) {}

  T fold(T c) const {
    return m_caseInsensitive && c >= T('A') && c <= T('Z') ? static_cast<T>(c + (T('a') - T('A'))) : c;
  }

  bool inSet(const PatternElement<T>& set, T unit) const {
    const unsigned long value = Ordinal(unit);
    bool found = false;
    for (std::uint32_t r = set.first; r < set.first + set.count && !found; ++r) {
      const SetRange<T>& range = m_program.ranges[r];
      found = Ordinal(range.low) <= value && value <= Ordinal(range.high);
    }
    return found != set.negate;
  }

  // `element` is a unit, "?" or a set.
  bool matches(const PatternElement<T>& element, T c) const {
    switch (element.kind) {
      case ElementKind::kUnit: return fold(c) == element.unit;
      case ElementKind::kAnyOne: return !(m_pathname && c == m_delimiter);
      case ElementKind::kSet: return !(m_pathname && c == m_delimiter) && inSet(element, fold(c));
      default: return false;
    }
  }

  T delimiter() const { return m_delimiter; }
  bool pathname() const { return m_pathname; }
  bool caseInsensitive() const { return m_caseInsensitive; }

 private:
  const PatternProgram<T>& m_program;
  const T m_delimiter;
  const bool m_pathname;
  const bool m_caseInsensitive;
};

}  // namespace zn::detail
