#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <span>
#include <type_traits>

#include "zn/pathmatch/TPathMatch.h"
#include "zn/pathmatch/internal/PatternProgram.h"
#include "zn/pathmatch/internal/PatternRun.h"
#include "zn/pathmatch/internal/PatternRunEngine.h"

namespace {

template <class T>
std::span<const T> Terminated(const T* text) {
  if (text == nullptr) return {};
  if constexpr (std::is_same_v<T, char>) {
    return {text, std::strlen(text)};
  } else {
    std::size_t length = 0;
    while (text[length] != T(0)) ++length;
    return {text, length};
  }
}

bool IsWildcard(unsigned long c) { return c == '*' || c == '?' || c == '['; }

// The next component of `rest` (the pattern from that component on), with
// escapes removed.
template <class T>
TBasenameType ReadNextComponent(const std::vector<T>& rest, T delimiter, T escape, std::vector<T>& out) {
  out.clear();
  for (std::size_t i = 0; i < rest.size();) {
    const T c = rest[i];
    if (c == delimiter) break;
    if (IsWildcard(static_cast<unsigned long>(c))) return out.empty() ? BASENAME_ANY : BASENAME_WILDCARD;
    if (c == escape) {
      if (i + 1 == rest.size() || rest[i + 1] == delimiter) {
        out.push_back(escape);
        return BASENAME_LITERAL;
      }
      out.push_back(rest[i + 1]);
      i += 2;
      continue;
    }
    out.push_back(c);
    ++i;
  }
  return out.empty() ? BASENAME_ANY : BASENAME_LITERAL;
}

}  // namespace

template <class T>
TPathMatchTemplate<T>::TPathMatchTemplate() : m_delimiter(T('\\')), m_escape(T('/')) {
  setDebugPrefix("PNMATCHTEMPL");
}

template <class T>
TPathMatchTemplate<T>::TPathMatchTemplate(const TPathMatchTemplate& other) = default;

template <class T>
TPathMatchTemplate<T>& TPathMatchTemplate<T>::operator=(const TPathMatchTemplate& other) = default;

template <class T>
TPathMatchTemplate<T>::~TPathMatchTemplate() = default;

template <class T>
int TPathMatchTemplate<T>::fail(const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  debug(1, "%s", text);
  m_errorText = text;
  if (!m_errorText.empty() && m_errorText.back() == '\n') m_errorText.pop_back();
  return -1;
}

// Appends [begin, end) with every "*", "[", "?" and escape escaped.
template <class T>
bool TPathMatchTemplate<T>::appendEscaped(const T* begin, const T* end, int escapedCode, int plainCode) {
  const std::size_t limit = zn::detail::kMaxPreparedUnits;
  for (const T* p = begin; p != end; ++p) {
    if (IsWildcard(static_cast<unsigned long>(*p)) || *p == m_escape) {
      if (m_pattern.size() + 2 > limit) {
        fail("pattern too long (path buffer overrun %d)\n", escapedCode);
        return false;
      }
      m_pattern.push_back(m_escape);
    } else if (m_pattern.size() + 1 > limit) {
      fail("pattern too long (path buffer overrun %d)\n", plainCode);
      return false;
    }
    m_pattern.push_back(*p);
  }
  return true;
}

template <class T>
bool TPathMatchTemplate<T>::appendPlain(const T* begin, const T* end, int plainCode) {
  if (m_pattern.size() + static_cast<std::size_t>(end - begin) > zn::detail::kMaxPreparedUnits) {
    fail("pattern too long (path buffer overrun %d)\n", plainCode);
    return false;
  }
  m_pattern.insert(m_pattern.end(), begin, end);
  return true;
}

template <class T>
void TPathMatchTemplate<T>::forget() {
  m_ready = false;
  m_program.reset();
  m_pattern.clear();
}

template <class T>
int TPathMatchTemplate<T>::initialize(const T* pattern, bool wildcards, bool wildcardsInLastComponentOnly) {
  forget();
  m_errorText.clear();
  const std::span<const T> source = Terminated(pattern);
  const T* const begin = source.data();
  const T* const end = begin + source.size();
  if (!wildcards) {
    if (!appendEscaped(begin, end, 4, 5)) return -1;
  } else if (wildcardsInLastComponentOnly) {
    const T* last = end;
    for (const T* p = begin; p != end; ++p) {
      if (*p == m_delimiter) last = p;
    }
    if (last == end) {
      return fail("pattern contains no delimiter 0x%X\n", static_cast<unsigned>(static_cast<std::make_unsigned_t<T>>(m_delimiter)));
    }
    if (!appendEscaped(begin, last, 3, 2) || !appendPlain(last, end, 2)) return -1;
  } else {
    if (source.size() >= kPatternUnits) return fail("pattern too long (path buffer overrun 1)\n");
    m_pattern.assign(begin, end);
  }
  if (m_caseInsensitive) {
    for (T& c : m_pattern) {
      if (c >= T('A') && c <= T('Z')) c = static_cast<T>(c + (T('a') - T('A')));
    }
  }
  m_ready = true;
  return 0;
}

template <class T>
inline const zn::detail::PatternProgram<T>& TPathMatchTemplate<T>::preparedProgram() {
  if (!m_program || m_programDelimiter != m_delimiter || m_programEscape != m_escape) [[unlikely]] {
    compileProgram();
  }
  return *m_program;
}

template <class T>
void TPathMatchTemplate<T>::compileProgram() {
  auto program = std::make_shared<zn::detail::PatternProgram<T>>();
  zn::detail::CompilePattern<T>(m_pattern, m_delimiter, m_escape, zn::detail::kFlagPathname, *program);
  m_program = std::move(program);
  m_programDelimiter = m_delimiter;
  m_programEscape = m_escape;
}

template <class T>
int TPathMatchTemplate<T>::match(const T* path) {
  m_hasNextBasename = false;
  m_recursive = false;
  m_matchEverything = false;
  if (!m_ready) {
    m_literal = false;
    return 0;
  }
  const std::span<const T> subject = Terminated(path);
  zn::detail::MatchOutcome outcome;
  zn::detail::RunPattern(preparedProgram(), subject, m_caseInsensitive, outcome);
  m_literal = outcome.literal;
  m_recursive = outcome.recursive;
  m_matchEverything = outcome.matchEverything;
  if (outcome.hintSet) {
    m_hasNextBasename = true;
    if (outcome.hintOffset == zn::detail::MatchOutcome::kEmptyComponent) {
      m_nextBasename.clear();
    } else {
      m_nextBasename.assign(m_pattern.begin() + static_cast<std::ptrdiff_t>(outcome.hintOffset), m_pattern.end());
    }
  }
  // At the root the walker needs the pattern's first component.
  if (!outcome.matched && subject.size() == 1 && subject[0] == m_delimiter && !m_pattern.empty() &&
      m_pattern[0] == m_delimiter) {
    m_hasNextBasename = true;
    m_nextBasename.assign(m_pattern.begin() + 1, m_pattern.end());
  }
  return outcome.matched ? 1 : 0;
}

template <class T>
int TPathMatchTemplate<T>::fnmatch(const T* pattern, const T* string, int flags) {
  const std::span<const T> text = Terminated(pattern);
  zn::detail::PatternProgram<T> program;
  zn::detail::CompilePattern<T>(text, m_delimiter, m_escape, flags, program);
  zn::detail::MatchOutcome outcome;
  zn::detail::RunPattern(program, Terminated(string), m_caseInsensitive, outcome);
  m_literal = outcome.literal;
  if (outcome.recursive) m_recursive = true;
  if (outcome.matchEverything) m_matchEverything = true;
  if (outcome.hintSet) {
    m_hasNextBasename = true;
    if (outcome.hintOffset == zn::detail::MatchOutcome::kEmptyComponent) {
      m_nextBasename.clear();
    } else {
      m_nextBasename.assign(text.begin() + static_cast<std::ptrdiff_t>(outcome.hintOffset), text.end());
    }
  }
  return outcome.matched ? 0 : 1;
}

template <class T>
TBasenameType TPathMatchTemplate<T>::getNextBasename(std::vector<T>& out) const {
  if (!m_hasNextBasename) return BASENAME_NONE;
  return ReadNextComponent(m_nextBasename, m_delimiter, m_escape, out);
}

template <class T>
TBasenameType TPathMatchTemplate<T>::getNextBasename(T* out) {
  std::vector<T> component;
  const TBasenameType type = getNextBasename(component);
  if (type == BASENAME_NONE || out == nullptr) return type;
  std::copy(component.begin(), component.end(), out);
  out[component.size()] = T(0);
  return type;
}

template <class T>
void TPathMatchTemplate<T>::caseInsensitive() {
  m_caseInsensitive = true;
}

template <class T>
void TPathMatchTemplate<T>::caseSensitive() {
  m_caseInsensitive = false;
}

template <class T>
void TPathMatchTemplate<T>::setDelimiter(T delimiter) {
  m_delimiter = delimiter;
}

template <class T>
void TPathMatchTemplate<T>::setEscape(T escape) {
  m_escape = escape;
}

template class TPathMatchTemplate<char>;
template class TPathMatchTemplate<unsigned long>;
