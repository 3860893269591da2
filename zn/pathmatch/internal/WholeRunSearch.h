// Where the run of single-unit elements after a star matches the string
// whole, first position first.
//
// Short searches test each position in turn. When that grows costly (long
// runs of "?" or sets over long components, where each position can match
// far before it fails) the search switches to a bit-parallel scan: one pass
// over the string, a bit per run element telling whether the run matches
// up to it, so the cost no longer grows with the run's length times the
// string's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

#include "zn/pathmatch/internal/PatternProgram.h"
#include "zn/pathmatch/internal/UnitMatch.h"

namespace zn::detail {

template <class T>
class WholeRunSearch {
 public:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  WholeRunSearch(const PatternProgram<T>& program, const UnitMatch<T>& match, std::span<const T> string)
      : m_program(program), m_match(match), m_string(string.data()), m_length(string.size()) {}

  // The first t in [from, last] at which the run of `length` elements
  // starting at element `first` matches [t, t + length); with
  // `componentStarts` only a t that is `from` or follows a delimiter.
  std::size_t find(std::size_t first, std::size_t length, std::size_t from, std::size_t last, bool componentStarts);

  // Whether the run matches at t (t + length <= the string's length);
  // `steps` grows by the elements compared.
  bool matchesAt(std::size_t first, std::size_t length, std::size_t t, std::size_t& steps) const;

 private:
  using Word = std::uint64_t;

  // The sets of a run that are alike, tested once per unit.
  struct SetGroup {
    std::size_t element;      // one of them
    std::vector<Word> mask;   // all of them
  };

  struct Scanner {
    std::size_t first = 0;
    std::size_t length = 0;
    std::size_t words = 0;
    std::vector<Word> any;                // elements every non-delimiter matches
    std::vector<Word> delimiterUnits;     // elements the delimiter matches
    std::unordered_map<unsigned long, std::vector<Word>> units;  // literal elements by unit
    std::vector<SetGroup> sets;
    // The mask of each unit seen so far: bytes by value, code points by map.
    std::vector<Word> byteMasks;
    std::vector<bool> byteKnown;
    std::unordered_map<unsigned long, std::vector<Word>> seen;
  };

  Scanner& scanner(std::size_t first, std::size_t length);
  void maskFor(const Scanner& scanner, T c, std::vector<Word>& mask) const;
  // Starts in [begin, last]; with `componentStarts`, `origin` needs no
  // delimiter before it.
  std::size_t scan(Scanner& scanner, std::size_t begin, std::size_t last, bool componentStarts, std::size_t origin);
  const Word* cachedMask(Scanner& scanner, T c, std::vector<Word>& scratch) const;

  const PatternProgram<T>& m_program;
  const UnitMatch<T>& m_match;
  const T* m_string;
  const std::size_t m_length;
  std::vector<Scanner> m_scanners;  // made when first needed, one per run
};

}  // namespace zn::detail
