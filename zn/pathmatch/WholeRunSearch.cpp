#include "zn/pathmatch/internal/WholeRunSearch.h"

#include <algorithm>
#include <map>
#include <utility>
#include <type_traits>

namespace zn::detail {

template <class T>
bool WholeRunSearch<T>::matchesAt(std::size_t first, std::size_t length, std::size_t t, std::size_t& steps) const {
  const PatternElement<T>* elements = m_program.elements.data();
  for (std::size_t j = 0; j < length; ++j) {
    ++steps;
    if (!m_match.matches(elements[first + j], m_string[t + j])) return false;
  }
  return true;
}

template <class T>
std::size_t WholeRunSearch<T>::find(std::size_t first, std::size_t length, std::size_t from, std::size_t last,
                                    bool componentStarts) {
  if (length > m_length) return kNone;
  last = std::min(last, m_length - length);
  if (from > last) return kNone;
  // Each position in turn while that stays cheap: a few elements per
  // position passed, on average.
  std::size_t steps = 0;
  const PatternElement<T>& lead = m_program.elements[first];
  for (std::size_t t = from; t <= last; ++t) {
    if (componentStarts && t != from && m_string[t - 1] != m_match.delimiter()) continue;
    if (lead.kind == ElementKind::kUnit && m_match.fold(m_string[t]) != lead.unit) continue;
    if (matchesAt(first, length, t, steps)) return t;
    if (steps > 4 * (t - from + 1) + 256) return scan(scanner(first, length), t + 1, last, componentStarts, from);
  }
  return kNone;
}

template <class T>
typename WholeRunSearch<T>::Scanner& WholeRunSearch<T>::scanner(std::size_t first, std::size_t length) {
  for (Scanner& known : m_scanners) {
    if (known.first == first && known.length == length) return known;
  }
  Scanner& made = m_scanners.emplace_back();
  made.first = first;
  made.length = length;
  made.words = (length + 63) / 64;
  made.any.assign(made.words, 0);
  made.delimiterUnits.assign(made.words, 0);
  const T delimiter = m_match.delimiter();
  std::map<std::pair<bool, std::vector<std::pair<unsigned long, unsigned long>>>, std::size_t> groups;
  for (std::size_t j = 0; j < length; ++j) {
    const PatternElement<T>& element = m_program.elements[first + j];
    const Word bit = Word(1) << (j % 64);
    switch (element.kind) {
      case ElementKind::kUnit: {
        std::vector<Word>& mask = made.units[Ordinal(element.unit)];
        if (mask.empty()) mask.assign(made.words, 0);
        mask[j / 64] |= bit;
        if (element.unit == delimiter) made.delimiterUnits[j / 64] |= bit;
        break;
      }
      case ElementKind::kAnyOne: made.any[j / 64] |= bit; break;
      case ElementKind::kSet: {
        std::vector<std::pair<unsigned long, unsigned long>> ranges;
        for (std::uint32_t r = element.first; r < element.first + element.count; ++r) {
          ranges.emplace_back(Ordinal(m_program.ranges[r].low), Ordinal(m_program.ranges[r].high));
        }
        auto [group, added] = groups.try_emplace({element.negate, std::move(ranges)}, made.sets.size());
        if (added) made.sets.push_back({first + j, std::vector<Word>(made.words, 0)});
        made.sets[group->second].mask[j / 64] |= bit;
        break;
      }
      default: break;
    }
  }
  if constexpr (std::is_same_v<T, char>) {
    made.byteMasks.assign(256 * made.words, 0);
    made.byteKnown.assign(256, false);
  }
  return made;
}

// The elements of the run that unit `c` matches.
template <class T>
void WholeRunSearch<T>::maskFor(const Scanner& scanner, T c, std::vector<Word>& mask) const {
  if (m_match.pathname() && c == m_match.delimiter()) {
    mask = scanner.delimiterUnits;
    return;
  }
  mask = scanner.any;
  const T folded = m_match.fold(c);
  if (const auto unit = scanner.units.find(Ordinal(folded)); unit != scanner.units.end()) {
    for (std::size_t w = 0; w < scanner.words; ++w) mask[w] |= unit->second[w];
  }
  for (const SetGroup& group : scanner.sets) {
    if (m_match.inSet(m_program.elements[group.element], folded)) {
      for (std::size_t w = 0; w < scanner.words; ++w) mask[w] |= group.mask[w];
    }
  }
}

// The mask of `c`, computed the first time the unit is seen.
template <class T>
const typename WholeRunSearch<T>::Word* WholeRunSearch<T>::cachedMask(Scanner& scanner, T c,
                                                                      std::vector<Word>& scratch) const {
  if constexpr (std::is_same_v<T, char>) {
    const auto byte = static_cast<unsigned char>(c);
    Word* cached = scanner.byteMasks.data() + byte * scanner.words;
    if (!scanner.byteKnown[byte]) {
      maskFor(scanner, c, scratch);
      std::copy(scratch.begin(), scratch.end(), cached);
      scanner.byteKnown[byte] = true;
    }
    return cached;
  } else {
    auto [entry, added] = scanner.seen.try_emplace(Ordinal(c));
    if (added) maskFor(scanner, c, entry->second);
    return entry->second.data();
  }
}

// Shift-and over the string: bit j of `state` says that the first j + 1
// elements of the run match the units just before the current one.
template <class T>
std::size_t WholeRunSearch<T>::scan(Scanner& scanner, std::size_t begin, std::size_t last, bool componentStarts,
                                    std::size_t origin) {
  const std::size_t words = scanner.words;
  const std::size_t top = scanner.length - 1;
  std::vector<Word> state(words, 0);
  std::vector<Word> mask(words, 0);
  for (std::size_t i = begin; i < m_length && i <= last + top; ++i) {
    const Word* unitMask = cachedMask(scanner, m_string[i], mask);
    Word carry = 1;  // a match may start at every position
    for (std::size_t w = 0; w < words; ++w) {
      const Word shifted = (state[w] << 1) | carry;
      carry = state[w] >> 63;
      state[w] = shifted & unitMask[w];
    }
    if ((state[top / 64] >> (top % 64)) & 1) {
      const std::size_t t = i - top;
      if (!componentStarts || t == origin || m_string[t - 1] == m_match.delimiter()) return t;
    }
  }
  return kNone;
}

template class WholeRunSearch<char>;
template class WholeRunSearch<unsigned long>;

}  // namespace zn::detail
