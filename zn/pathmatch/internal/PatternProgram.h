// A path pattern taken apart once into the elements the matcher walks:
// single units (literal, "?" or a set) and stars, with what each star needs
// to know about the run of units that follows it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace zn::detail {

// Bits of the matcher's flags argument.
inline constexpr int kFlagNoEscape = 1;  // the escape character is ordinary
inline constexpr int kFlagPathname = 2;  // wildcards stop at the delimiter; "**" counts
inline constexpr int kFlagPeriod = 4;    // a leading "." needs a literal "."

// Longest prepared pattern, its terminator excluded.
inline constexpr std::size_t kMaxPreparedUnits = 1025;

enum class ElementKind : std::uint8_t { kUnit, kAnyOne, kSet, kStar, kEnd };

// What the matcher does at an element: the kind, with the star's shape
// decided once when the pattern is taken apart.
enum class ElementOp : std::uint8_t {
  kEnd,
  kUnit,
  kAnyOne,
  kSet,
  kRecursiveTrailing,  // "**" ending the pattern: everything matches
  kRecursive,          // "**" component with more after it
  kStarTrailing,       // "*" ending the pattern
  kStarSkip,           // "*" right before the delimiter
  kStarTry,            // "*" whose rest is tried position by position
};

template <class T>
struct PatternElement {
  ElementKind kind = ElementKind::kEnd;
  ElementOp op = ElementOp::kEnd;
  bool wildcard = false;         // reaching it clears the literal flag
  bool delimiter = false;        // a unit equal to the delimiter (escaped or not)
  bool recursive = false;        // star: a "**" component
  bool trailing = false;         // star: nothing follows it
  bool beforeDelimiter = false;  // plain star directly followed by the delimiter
  bool negate = false;           // set: "!" or "^"
  T unit{};                      // unit: the character to equal
  std::uint32_t first = 0;       // set: its ranges in PatternProgram::ranges
  std::uint32_t count = 0;
  std::uint32_t after = 0;       // pattern offset just past the element
  // Unit: how many ordinary units start here (this one included), compared
  // in one go where the string is long enough.
  std::uint32_t literalRun = 0;
  // Star: the units up to the next star or the end of the pattern.
  std::uint32_t runLength = 0;
  bool runEndsPattern = false;
  // Star: string lengths left at which a try can reach the end of the
  // string at a delimiter of the run (and, for a run that ends the pattern,
  // succeed), longest first (distances[firstDistance, + distanceCount)).
  std::uint32_t firstDistance = 0;
  std::uint32_t distanceCount = 0;
};

template <class T>
struct SetRange {
  T low;
  T high;
};

template <class T>
struct PatternProgram {
  std::vector<PatternElement<T>> elements;  // always ends with a kEnd element
  std::vector<SetRange<T>> ranges;
  std::vector<std::uint32_t> distances;
  std::vector<T> units;  // the unit of every element, by element index
  int flags = 0;
  T delimiter{};
  T escape{};
};

// Takes `pattern` apart for matching with `flags` (kFlag*). Never fails:
// every unit sequence is a pattern.
template <class T>
void CompilePattern(std::span<const T> pattern, T delimiter, T escape, int flags, PatternProgram<T>& program);

}  // namespace zn::detail
