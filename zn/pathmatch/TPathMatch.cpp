#include <cstring>
#include <string_view>

#include "zn/pathmatch/TPathMatch.h"
#include "zn/pathmatch/internal/PatternProgram.h"
#include "zn/pathmatch/internal/Utf8CodePoints.h"
#include "zuzazer/FXString.h"

namespace {

std::string_view Text(const char* text) { return text != nullptr ? std::string_view(text) : std::string_view(); }

bool NeedsCodePoints(std::string_view pattern) {
  return pattern.find_first_of("[?") != std::string_view::npos;
}

unsigned long AsUnit(char c) { return static_cast<unsigned char>(c); }

}  // namespace

TPathMatch::TPathMatch() : m_scratch(kCodePointUnits) { setDebugPrefix("PNMATCH"); }

TPathMatch::~TPathMatch() = default;

TPathMatch::TPathMatch(const TPathMatch& other) = default;

TPathMatch& TPathMatch::operator=(const TPathMatch& other) = default;

int TPathMatch::initialize(const char* pattern, bool wildcards, bool wildcardsInLastComponentOnly) {
  m_patternAsCodePoints = false;
  m_lastMatchUsedCodePoints = false;
  m_errorText.clear();
  m_codePoints.forget();
  if (m_bytes.initialize(pattern, wildcards, wildcardsInLastComponentOnly) != 0) {
    m_errorText = m_bytes.getErrorText();
    return -1;
  }
  const std::string_view text = Text(pattern);
  if (!wildcards || !NeedsCodePoints(text)) return 0;

  std::size_t count = 0;
  const zn::detail::Utf8Result converted = zn::detail::Utf8ToCodePoints(text, m_scratch, count);
  if (converted != zn::detail::Utf8Result::kOk) {
    const char* name = zn::detail::Utf8ResultName(converted);
    debug(1, "initialize: %s converting to Unicode\n", name);
    m_errorText = std::string("initialize: ") + name + " converting to Unicode";
    m_bytes.forget();
    return -1;
  }
  if (m_codePoints.initialize(m_scratch.data(), wildcards, wildcardsInLastComponentOnly) != 0) {
    m_errorText = m_codePoints.getErrorText();
    m_bytes.forget();
    return -1;
  }
  m_patternAsCodePoints = true;
  return 0;
}

int TPathMatch::match(const char* path) {
  if (m_patternAsCodePoints) {
    std::size_t count = 0;
    const zn::detail::Utf8Result converted = zn::detail::Utf8ToCodePoints(Text(path), m_scratch, count);
    if (converted == zn::detail::Utf8Result::kOk) {
      m_lastMatchUsedCodePoints = true;
      return m_codePoints.match(m_scratch.data());
    }
    debug(1, "match: %s converting to Unicode\n", zn::detail::Utf8ResultName(converted));
  }
  m_lastMatchUsedCodePoints = false;
  return m_bytes.match(path);
}

int TPathMatch::fnmatch(const char* pattern, const char* string, int flags, bool unicode) {
  if (unicode) {
    std::vector<unsigned long> pattern32(kCodePointUnits);
    std::size_t count = 0;
    zn::detail::Utf8Result converted = zn::detail::Utf8ToCodePoints(Text(pattern), pattern32, count);
    if (converted != zn::detail::Utf8Result::kOk) {
      debug(1, "fnmatch: overrun1 (%s) converting to Unicode\n", zn::detail::Utf8ResultName(converted));
    } else {
      converted = zn::detail::Utf8ToCodePoints(Text(string), m_scratch, count);
      if (converted != zn::detail::Utf8Result::kOk) {
        debug(1, "fnmatch: overrun2 (%s) converting to Unicode\n", zn::detail::Utf8ResultName(converted));
      } else {
        m_lastMatchUsedCodePoints = true;
        return m_codePoints.fnmatch(pattern32.data(), m_scratch.data(), flags);
      }
    }
  }
  m_lastMatchUsedCodePoints = false;
  return m_bytes.fnmatch(pattern, string, flags);
}

TBasenameType TPathMatch::getNextBasename(std::string& out) const {
  if (!m_lastMatchUsedCodePoints) {
    std::vector<char> component;
    const TBasenameType type = m_bytes.getNextBasename(component);
    if (type != BASENAME_NONE) out.assign(component.begin(), component.end());
    return type;
  }
  std::vector<unsigned long> component;
  const TBasenameType type = m_codePoints.getNextBasename(component);
  if (type == BASENAME_NONE) return type;
  out.clear();
  for (const unsigned long c : component) FXString::AppendUtf8(static_cast<char32_t>(c), out);
  return type;
}

TBasenameType TPathMatch::getNextBasename(char* out) {
  std::string component;
  const TBasenameType type = getNextBasename(component);
  if (type != BASENAME_NONE && out != nullptr) std::memcpy(out, component.c_str(), component.size() + 1);
  return type;
}

bool TPathMatch::nextBasenameExists() const {
  return m_lastMatchUsedCodePoints ? m_codePoints.nextBasenameExists() : m_bytes.nextBasenameExists();
}

bool TPathMatch::isLiteralMatch() const {
  return m_lastMatchUsedCodePoints ? m_codePoints.isLiteralMatch() : m_bytes.isLiteralMatch();
}

bool TPathMatch::isMatchEverything() const {
  return m_lastMatchUsedCodePoints ? m_codePoints.isMatchEverything() : m_bytes.isMatchEverything();
}

bool TPathMatch::isRecursiveMatch() const {
  return m_lastMatchUsedCodePoints ? m_codePoints.isRecursiveMatch() : m_bytes.isRecursiveMatch();
}

void TPathMatch::caseInsensitive() {
  m_bytes.caseInsensitive();
  m_codePoints.caseInsensitive();
}

void TPathMatch::caseSensitive() {
  m_bytes.caseSensitive();
  m_codePoints.caseSensitive();
}

bool TPathMatch::getCaseSensitivity() const {
  return m_lastMatchUsedCodePoints ? m_codePoints.getCaseSensitivity() : m_bytes.getCaseSensitivity();
}

void TPathMatch::setDelimiter(char delimiter) {
  m_bytes.setDelimiter(delimiter);
  m_codePoints.setDelimiter(AsUnit(delimiter));
}

char TPathMatch::getDelimiter() const {
  return m_lastMatchUsedCodePoints ? static_cast<char>(m_codePoints.getDelimiter()) : m_bytes.getDelimiter();
}

void TPathMatch::setEscape(char escape) {
  m_bytes.setEscape(escape);
  m_codePoints.setEscape(AsUnit(escape));
}

char TPathMatch::getEscape() const {
  return m_lastMatchUsedCodePoints ? static_cast<char>(m_codePoints.getEscape()) : m_bytes.getEscape();
}
