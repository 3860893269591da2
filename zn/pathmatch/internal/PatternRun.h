// Runs a compiled pattern over one string.
//
// The search is the matcher's own definition (stars try the rest of the
// pattern at each position, "**" at each following component, the first
// success wins) with the tries that cannot change the outcome left out:
// a plain star whose first complete try failed further on gives up, and so
// does everything once a "**" has tried every component. That keeps the
// work near linear in the string for any pattern, with the same result,
// flags and next-component hint as the full search.
#pragma once

#include <cstddef>
#include <span>

#include "zn/pathmatch/internal/PatternProgram.h"

namespace zn::detail {

struct MatchOutcome {
  static constexpr std::size_t kEmptyComponent = static_cast<std::size_t>(-1);

  bool matched = false;
  bool literal = true;           // no wildcard was reached
  bool recursive = false;        // a "**" component was reached
  bool matchEverything = false;  // the match ended in a trailing "**"
  bool hintSet = false;          // the walk ran out of string where the pattern goes on
  std::size_t hintOffset = 0;    // pattern offset of the next component, or kEmptyComponent
};

// Defined in PatternRunEngine.h.
template <class T>
void RunPattern(const PatternProgram<T>& program, std::span<const T> string, bool caseInsensitive,
                MatchOutcome& outcome);

}  // namespace zn::detail
