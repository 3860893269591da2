// The matcher's run over one string (see PatternRun.h), in a header so that
// the matchers' entry points compile it in place: most matches are short,
// and a call and a frame per match are a large part of them.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <type_traits>

#include "zn/pathmatch/internal/PatternRun.h"
#include "zn/pathmatch/internal/UnitMatch.h"
#include "zn/pathmatch/internal/WholeRunSearch.h"

namespace zn::detail {
namespace run {

template <class Word>
inline Word Load(const void* at) {
  Word word;
  std::memcpy(&word, at, sizeof word);
  return word;
}

// Equality of `count` units; the runs of a path pattern are short, and two
// overlapping loads compare one of up to 16 bytes without a call.
template <class T>
inline bool EqualUnits(const T* a, const T* b, std::size_t count) {
  const std::size_t bytes = count * sizeof(T);
  if (bytes >= 8 && bytes <= 16) {
    return Load<std::uint64_t>(a) == Load<std::uint64_t>(b) &&
           Load<std::uint64_t>(reinterpret_cast<const char*>(a) + bytes - 8) ==
               Load<std::uint64_t>(reinterpret_cast<const char*>(b) + bytes - 8);
  }
  if (bytes >= 4 && bytes < 8) {
    return Load<std::uint32_t>(a) == Load<std::uint32_t>(b) &&
           Load<std::uint32_t>(reinterpret_cast<const char*>(a) + bytes - 4) ==
               Load<std::uint32_t>(reinterpret_cast<const char*>(b) + bytes - 4);
  }
  return std::memcmp(a, b, bytes) == 0;
}

template <class T>
class Run {
 public:
  Run(const PatternProgram<T>& program, std::span<const T> string, bool caseInsensitive)
      : m_elements(program.elements.data()),
        m_program(program),
        m_string(string.data()),
        m_length(string.size()),
        m_delimiter(program.delimiter),
        m_pathname((program.flags & kFlagPathname) != 0),
        m_caseInsensitive(caseInsensitive),
        m_match(program, caseInsensitive) {}

  void operator()();
  const MatchOutcome& outcome() const { return m_outcome; }

 private:
  enum class Step { kNext, kFail, kStop };

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  // The star whose tries are under way: a plain one tries positions of one
  // component, a "**" the start of each following component. At most one
  // of each kind is open: a plain star gives up as soon as a star it leads
  // to has failed (a later position could only do less), and a "**" makes
  // every star before it irrelevant (once it has tried every component,
  // nothing further right can match).
  struct PlainStar {
    bool open = false;
    bool pastRun;              // the current try got past the run into the next star
    std::size_t rest;          // element after the star
    std::size_t next;          // next position to try
    std::size_t last;          // last position to try
    const PatternElement<T>* star;
  };
  struct RecursiveStar {
    bool open = false;
    std::size_t rest;
    std::size_t next;          // next component start to try, kNone when done
    const PatternElement<T>* star;
  };

  T fold(T c) const { return m_match.fold(c); }
  bool leadingPeriod(std::size_t s) const {
    return m_string[s] == T('.') && (s == 0 || (m_pathname && m_string[s - 1] == m_delimiter));
  }
  // The first delimiter at or after `from`, or m_length. The last answer
  // is kept: the stars of one match ask from positions close together, and
  // a long component would otherwise be scanned once per star.
  std::size_t findDelimiter(std::size_t from) {
    if (from >= m_delimiterFrom && from <= m_delimiterAt) return m_delimiterAt;
    std::size_t at = m_length;
    if constexpr (std::is_same_v<T, char>) {
      const void* found = from < m_length ? std::memchr(m_string + from, m_delimiter, m_length - from) : nullptr;
      if (found != nullptr) at = static_cast<std::size_t>(static_cast<const char*>(found) - m_string);
    } else {
      at = from;
      while (at < m_length && m_string[at] != m_delimiter) ++at;
    }
    m_delimiterFrom = from;
    m_delimiterAt = at;
    return at;
  }
  WholeRunSearch<T>& runs() {
    if (!m_runs) m_runs.emplace(m_program, m_match, std::span<const T>(m_string, m_length));
    return *m_runs;
  }
  void hint(std::size_t offset) {
    m_outcome.hintSet = true;
    m_outcome.hintOffset = offset;
  }

  inline bool nextPlainTry();
  inline bool nextRecursiveTry();
  Step stepOther(const PatternElement<T>& element, bool& period);

  const PatternElement<T>* m_elements;
  const PatternProgram<T>& m_program;
  const T* m_string;
  const std::size_t m_length;
  const T m_delimiter;
  const bool m_pathname;
  const bool m_caseInsensitive;
  const UnitMatch<T> m_match;
  MatchOutcome m_outcome;  // a member, not the caller's: no aliasing on the way
  std::optional<WholeRunSearch<T>> m_runs;  // made when a run has to be searched for
  PlainStar m_plain;
  RecursiveStar m_recursive;
  std::size_t m_delimiterFrom = 1;  // findDelimiter's last question and answer (none yet)
  std::size_t m_delimiterAt = 0;
  std::size_t m_e = 0;  // current element
  std::size_t m_s = 0;  // current string position
};

// Moves to the next position where the plain star's rest could start.
// False when there is none: the star has failed.
template <class T>
inline bool Run<T>::nextPlainTry() {
  PlainStar& plain = m_plain;
  std::size_t t = kNone;
  if (plain.star->runEndsPattern) {
    // Only a few string lengths left can matter for a run that ends the
    // pattern; take the first of them at or after the next position.
    for (std::uint32_t i = 0; i < plain.star->distanceCount && t == kNone; ++i) {
      const std::size_t distance = m_program.distances[plain.star->firstDistance + i];
      if (distance > m_length) continue;
      const std::size_t candidate = m_length - distance;
      if (candidate >= plain.next && candidate <= plain.last) t = candidate;
    }
  } else {
    // Only a position where the whole run matches leads on to the next
    // star; failing on the way there changes nothing.
    t = runs().find(plain.rest, plain.star->runLength, plain.next, plain.last, false);
  }
  if (t == kNone) {
    // Past the last whole match the run can still reach the end of the
    // string at one of its delimiters: that leaves a hint.
    for (std::uint32_t i = 0; i < plain.star->distanceCount && t == kNone && !plain.star->runEndsPattern; ++i) {
      const std::size_t distance = m_program.distances[plain.star->firstDistance + i];
      if (distance > m_length) continue;
      const std::size_t candidate = m_length - distance;
      if (candidate >= plain.next && candidate <= plain.last) t = candidate;
    }
  }
  if (t == kNone) {
    plain.open = false;
    return false;
  }
  plain.next = t + 1;
  plain.pastRun = false;
  m_e = plain.rest;
  m_s = t;
  return true;
}

// Moves to the next component start for the "**" rest. False when every
// component was tried: then nothing can match any more.
template <class T>
inline bool Run<T>::nextRecursiveTry() {
  RecursiveStar& recursive = m_recursive;
  m_plain.open = false;
  if (recursive.next == kNone) {
    recursive.open = false;
    hint(MatchOutcome::kEmptyComponent);
    return false;
  }
  std::size_t t = recursive.next;
  if (recursive.star->runEndsPattern) {
    // The run must end the string: one component start can do it.
    const std::size_t length = recursive.star->runLength;
    const std::size_t candidate = length <= m_length ? m_length - length : kNone;
    recursive.next = kNone;
    if (candidate == kNone || candidate < t || (candidate != t && m_string[candidate - 1] != m_delimiter)) {
      recursive.open = false;
      hint(MatchOutcome::kEmptyComponent);
      return false;
    }
    t = candidate;
  } else {
    // A component where the whole run matches, when there is a run.
    const std::size_t length = recursive.star->runLength;
    if (length > 0) t = runs().find(recursive.rest, length, t, m_length, true);
    if (t == kNone) {
      recursive.open = false;
      recursive.next = kNone;
      hint(MatchOutcome::kEmptyComponent);
      return false;
    }
    const std::size_t d = findDelimiter(t);
    recursive.next = d < m_length ? d + 1 : kNone;
  }
  m_e = recursive.rest;
  m_s = t;
  return true;
}

// One element that is not a unit, the end, a star before the delimiter or a
// trailing "**".
template <class T>
typename Run<T>::Step Run<T>::stepOther(const PatternElement<T>& element, bool& period) {
  switch (element.op) {
    case ElementOp::kAnyOne:
      m_outcome.literal = false;
      if (m_s == m_length || (m_pathname && m_string[m_s] == m_delimiter) || (period && leadingPeriod(m_s))) {
        return Step::kFail;
      }
      ++m_s;
      ++m_e;
      return Step::kNext;

    case ElementOp::kSet:
      m_outcome.literal = false;
      if (m_s == m_length || (m_pathname && m_string[m_s] == m_delimiter) ||
          !m_match.inSet(element, fold(m_string[m_s]))) {
        return Step::kFail;
      }
      ++m_s;
      ++m_e;
      return Step::kNext;

    case ElementOp::kRecursive:
      m_outcome.literal = false;
      m_outcome.recursive = true;
      period = false;
      m_recursive = {true, m_e + 1, m_s, &element};
      return nextRecursiveTry() ? Step::kNext : Step::kStop;

    case ElementOp::kStarTrailing:
      m_outcome.literal = false;
      if (period && m_s < m_length && leadingPeriod(m_s)) return Step::kFail;
      if (!m_pathname || findDelimiter(m_s) == m_length) {
        m_outcome.matched = true;
        return Step::kStop;
      }
      m_plain.pastRun = true;
      return Step::kFail;

    case ElementOp::kStarTry:
      m_outcome.literal = false;
      if (period && m_s < m_length && leadingPeriod(m_s)) return Step::kFail;
      period = false;
      m_plain.open = true;
      m_plain.rest = m_e + 1;
      m_plain.next = m_s;
      m_plain.star = &element;
      if (m_s == m_length) {
        m_plain.last = 0;
        m_plain.next = 1;  // nothing to try
      } else if (m_pathname) {
        const std::size_t d = findDelimiter(m_s);
        m_plain.last = d < m_length ? d : m_length - 1;
      } else {
        m_plain.last = m_length - 1;
      }
      return nextPlainTry() ? Step::kNext : Step::kFail;

    default:
      return Step::kFail;  // the kinds operator() takes itself
  }
}

template <class T>
void Run<T>::operator()() {
  bool period = (m_program.flags & kFlagPeriod) != 0;  // only before the first star that tries
  for (;;) {
    const PatternElement<T>& element = m_elements[m_e];
    Step step = Step::kNext;
    // The elements most matches consist of are tested directly: one
    // indirect branch of a switch, taken a few times per short match, is
    // mispredicted most of those times.
    if (element.op == ElementOp::kUnit) {
      if (element.wildcard) m_outcome.literal = false;
      if (element.literalRun > 1 && !m_caseInsensitive && m_length - m_s >= element.literalRun) {
        // Enough string for the whole run: it cannot end inside it.
        if (!EqualUnits(m_string + m_s, m_program.units.data() + m_e, element.literalRun)) {
          step = Step::kFail;
        } else {
          m_s += element.literalRun;
          m_e += element.literalRun;
        }
      } else if (m_s == m_length) {
        if (element.delimiter && m_pathname) hint(element.after);
        step = Step::kFail;
      } else if (fold(m_string[m_s]) != element.unit) {
        step = Step::kFail;
      } else {
        ++m_s;
        ++m_e;
      }
    } else if (element.op == ElementOp::kEnd) {
      if (m_s == m_length) {
        m_outcome.matched = true;
        return;
      }
      step = Step::kFail;
    } else if (element.op == ElementOp::kStarSkip) {
      // Within its component the star takes everything up to the
      // delimiter: no tries needed.
      m_outcome.literal = false;
      if (period && m_s < m_length && leadingPeriod(m_s)) {
        step = Step::kFail;
      } else {
        m_plain.pastRun = true;
        const std::size_t d = findDelimiter(m_s);
        if (d == m_length) {
          hint(element.after + 1);
          step = Step::kFail;
        } else {
          m_s = d;
          ++m_e;
        }
      }
    } else if (element.op == ElementOp::kRecursiveTrailing) {
      m_outcome.literal = false;
      m_outcome.recursive = true;
      m_outcome.matchEverything = true;
      m_outcome.matched = true;
      return;
    } else {
      step = stepOther(element, period);
    }
    if (step == Step::kNext) continue;
    if (step == Step::kStop) return;

    // The current try failed: the innermost open star decides what next.
    if (m_plain.open && !m_plain.pastRun && nextPlainTry()) continue;
    m_plain.open = false;
    if (m_recursive.open && nextRecursiveTry()) continue;
    return;
  }
}

}  // namespace run

template <class T>
inline void RunPattern(const PatternProgram<T>& program, std::span<const T> string, bool caseInsensitive,
                       MatchOutcome& outcome) {
  run::Run<T> pass(program, string, caseInsensitive);
  pass();
  outcome = pass.outcome();
}

}  // namespace zn::detail
