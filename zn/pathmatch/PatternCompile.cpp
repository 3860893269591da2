#include <algorithm>
#include <optional>

#include "zn/pathmatch/internal/PatternProgram.h"

namespace zn::detail {
namespace {

template <class T>
class Compiler {
 public:
  Compiler(std::span<const T> pattern, T delimiter, T escape, int flags, PatternProgram<T>& program)
      : m_pattern(pattern),
        m_delimiter(delimiter),
        m_escape(escape),
        m_escapes((flags & kFlagNoEscape) == 0),
        m_pathname((flags & kFlagPathname) != 0),
        m_program(program) {
    m_program.elements.clear();
    m_program.ranges.clear();
    m_program.distances.clear();
    m_program.units.clear();
    m_program.elements.reserve(pattern.size() + 1);
    m_program.flags = flags;
    m_program.delimiter = delimiter;
    m_program.escape = escape;
  }

  void run() {
    std::size_t i = 0;
    const std::size_t length = m_pattern.size();
    while (i < length) {
      const T c = m_pattern[i];
      if (c == T('*')) {
        i = addStars(i);
      } else if (c == T('?')) {
        PatternElement<T>& any = add(ElementKind::kAnyOne, i + 1);
        any.wildcard = true;
        ++i;
      } else if (c == T('[')) {
        if (const std::optional<std::size_t> end = addSet(i)) {
          i = *end;
        } else {
          // Not a set: the bracket is an ordinary character.
          addUnit(T('['), i + 1).wildcard = true;
          ++i;
        }
      } else if (c == m_escape && m_escapes) {
        // An escape at the very end stands for itself.
        if (i + 1 == length) {
          addUnit(c, i + 1);
          ++i;
        } else {
          addUnit(m_pattern[i + 1], i + 2);
          i += 2;
        }
      } else {
        addUnit(c, i + 1);
        ++i;
      }
    }
    add(ElementKind::kEnd, length);
    describeRuns();
    describeLiterals();
    describeOps();
  }

 private:
  PatternElement<T>& add(ElementKind kind, std::size_t after) {
    PatternElement<T>& element = m_program.elements.emplace_back();
    element.kind = kind;
    element.after = static_cast<std::uint32_t>(after);
    return element;
  }

  PatternElement<T>& addUnit(T unit, std::size_t after) {
    PatternElement<T>& element = add(ElementKind::kUnit, after);
    element.unit = unit;
    element.delimiter = unit == m_delimiter;
    return element;
  }

  // A run of stars at `begin`; returns the offset after it (and after the
  // delimiter that a "**" component takes with it).
  std::size_t addStars(std::size_t begin) {
    const std::size_t length = m_pattern.size();
    std::size_t end = begin;
    while (end < length && m_pattern[end] == T('*')) ++end;
    const bool endsComponent = end == length || m_pattern[end] == m_delimiter;
    const bool recursive = m_pathname && end - begin >= 2 && begin > 0 &&
                           m_pattern[begin - 1] == m_delimiter && endsComponent;
    if (recursive && end < length) ++end;
    PatternElement<T>& star = add(ElementKind::kStar, end);
    star.wildcard = true;
    star.recursive = recursive;
    star.trailing = end == length;
    star.beforeDelimiter = !recursive && m_pathname && end < length && m_pattern[end] == m_delimiter;
    return end;
  }

  // One unit of a set at `at` (escape resolved); none when the set runs
  // into the end of the pattern or, with pathname, into the delimiter.
  std::optional<T> setUnit(std::size_t& at) const {
    if (at >= m_pattern.size()) return std::nullopt;
    T c = m_pattern[at];
    if (c == m_escape && m_escapes) {
      if (++at >= m_pattern.size()) return std::nullopt;
      c = m_pattern[at];
    }
    if (m_pathname && c == m_delimiter) return std::nullopt;
    ++at;
    return c;
  }

  // A set at `open` ("["); returns the offset after its "]", or none when
  // it is not a set.
  std::optional<std::size_t> addSet(std::size_t open) {
    const std::size_t length = m_pattern.size();
    const std::size_t firstRange = m_program.ranges.size();
    std::size_t at = open + 1;
    bool negate = false;
    if (at < length && (m_pattern[at] == T('!') || m_pattern[at] == T('^'))) {
      negate = true;
      ++at;
    }
    const std::size_t membersBegin = at;
    for (;;) {
      if (at >= length) break;
      // A "]" first in the list is a member.
      if (m_pattern[at] == T(']') && at > membersBegin) {
        PatternElement<T>& set = add(ElementKind::kSet, at + 1);
        set.wildcard = true;
        set.negate = negate;
        set.first = static_cast<std::uint32_t>(firstRange);
        set.count = static_cast<std::uint32_t>(m_program.ranges.size() - firstRange);
        return at + 1;
      }
      const std::optional<T> low = setUnit(at);
      if (!low) break;
      if (at + 1 < length && m_pattern[at] == T('-') && m_pattern[at + 1] != T(']')) {
        ++at;
        const std::optional<T> high = setUnit(at);
        if (!high) break;
        m_program.ranges.push_back({*low, *high});
      } else {
        m_program.ranges.push_back({*low, *low});
      }
    }
    m_program.ranges.resize(firstRange);
    return std::nullopt;
  }

  // For each star: how many units follow it before the next star or the
  // end, and for a run that ends the pattern, where a try can matter.
  void describeRuns() {
    auto& elements = m_program.elements;
    for (std::size_t e = 0; e < elements.size(); ++e) {
      if (elements[e].kind != ElementKind::kStar) continue;
      std::size_t k = e + 1;
      while (elements[k].kind != ElementKind::kStar && elements[k].kind != ElementKind::kEnd) ++k;
      PatternElement<T>& star = elements[e];
      star.runLength = static_cast<std::uint32_t>(k - e - 1);
      star.runEndsPattern = elements[k].kind == ElementKind::kEnd;
      // A try of a run that ends the pattern succeeds only with exactly the
      // run left; with pathname any try leaves a hint only where the string
      // ends at a delimiter of the run.
      star.firstDistance = static_cast<std::uint32_t>(m_program.distances.size());
      if (star.runEndsPattern) m_program.distances.push_back(star.runLength);
      if (m_pathname) {
        for (std::size_t j = star.runLength; j-- > 1;) {
          if (elements[e + 1 + j].delimiter) m_program.distances.push_back(static_cast<std::uint32_t>(j));
        }
      }
      star.distanceCount = static_cast<std::uint32_t>(m_program.distances.size() - star.firstDistance);
    }
  }

  // Runs of ordinary units, from the end backwards. A "[" taken literally
  // ends a run: reaching it clears the literal flag.
  void describeLiterals() {
    auto& elements = m_program.elements;
    m_program.units.resize(elements.size());
    std::uint32_t run = 0;
    for (std::size_t e = elements.size(); e-- > 0;) {
      PatternElement<T>& element = elements[e];
      m_program.units[e] = element.unit;
      run = element.kind == ElementKind::kUnit && !element.wildcard ? run + 1 : 0;
      element.literalRun = run;
    }
  }

  void describeOps() {
    for (PatternElement<T>& element : m_program.elements) {
      switch (element.kind) {
        case ElementKind::kEnd: element.op = ElementOp::kEnd; break;
        case ElementKind::kUnit: element.op = ElementOp::kUnit; break;
        case ElementKind::kAnyOne: element.op = ElementOp::kAnyOne; break;
        case ElementKind::kSet: element.op = ElementOp::kSet; break;
        case ElementKind::kStar:
          if (element.recursive) {
            element.op = element.trailing ? ElementOp::kRecursiveTrailing : ElementOp::kRecursive;
          } else if (element.trailing) {
            element.op = ElementOp::kStarTrailing;
          } else {
            element.op = element.beforeDelimiter ? ElementOp::kStarSkip : ElementOp::kStarTry;
          }
          break;
      }
    }
  }

  std::span<const T> m_pattern;
  const T m_delimiter;
  const T m_escape;
  const bool m_escapes;
  const bool m_pathname;
  PatternProgram<T>& m_program;
};

}  // namespace

template <class T>
void CompilePattern(std::span<const T> pattern, T delimiter, T escape, int flags, PatternProgram<T>& program) {
  Compiler<T>(pattern, delimiter, escape, flags, program).run();
}

template void CompilePattern<char>(std::span<const char>, char, char, int, PatternProgram<char>&);
template void CompilePattern<unsigned long>(std::span<const unsigned long>, unsigned long, unsigned long, int,
                                            PatternProgram<unsigned long>&);

}  // namespace zn::detail
