// Path patterns of backup and restore filters: `C:\Data\*.doc`,
// `D:\Users\**\Mail`, `\\server\share\[a-m]*`.
//
// A pattern is matched against whole paths, component by component: "*" and
// "?" stay inside one component, "**" between delimiters spans any number of
// components, "[...]" is a set ("!" or "^" negates it), and the escape
// character makes the next one ordinary. The delimiter ("\") and the escape
// ("/") are configurable. "?" and sets see whole UTF-8 characters.
//
// After a failed match the matcher tells which component the pattern expects
// next, so that a directory walker descends only where a match is still
// possible (see docs/path-matching.md for the walking rules).
//
// A matcher keeps the state of its last match: one object per thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "zn/base/ZnExport.h"
#include "zn/debuggable/ZNTDebuggable.h"

namespace zn::detail {
template <class T>
struct PatternProgram;
}

// What getNextBasename found.
enum TBasenameType {
  BASENAME_NONE = 0,      // no next component is known
  BASENAME_WILDCARD = 1,  // it holds a wildcard: the literal text before it is returned
  BASENAME_LITERAL = 2,   // it is literal: returned whole
  BASENAME_ANY = 3,       // it is empty or begins with a wildcard: any name
};

// Flags of fnmatch. Not glibc's values: its FNM_PATHNAME is 1 and its
// FNM_NOESCAPE 2.
enum TPathMatchFlags {
  TPM_NOESCAPE = 1,  // the escape character is an ordinary character
  TPM_PATHNAME = 2,  // wildcards do not cross the delimiter; "**" is recognised
  TPM_PERIOD = 4,    // a "." starting the string or a component needs a literal "."
};

// One matcher over a character unit: `char` for UTF-8 bytes, `unsigned long`
// for code points.
template <class T>
class ZN_EXPORT TPathMatchTemplate : public ZNTDebuggable {
 public:
  // The prepared pattern holds at most kPatternUnits - 1 units.
  static constexpr std::size_t kPatternUnits = 1026;

  TPathMatchTemplate();
  TPathMatchTemplate(const TPathMatchTemplate& other);
  TPathMatchTemplate& operator=(const TPathMatchTemplate& other);
  ~TPathMatchTemplate() override;

  // Prepares `pattern`: without `wildcards` it matches only itself; with
  // `wildcardsInLastComponentOnly` the wildcards before its last delimiter
  // are ordinary. 0 on success; -1 with the reason printed at debug level 1
  // (and kept in getErrorText()).
  int initialize(const T* pattern, bool wildcards, bool wildcardsInLastComponentOnly);

  // 1 when the whole path matches the prepared pattern, 0 otherwise (and
  // always 0 before a successful initialize).
  int match(const T* path);

  // The core matcher with explicit TPathMatchFlags: 0 on a match, 1 when
  // there is none. Leaves the next basename, the recursive and the
  // match-everything flags as they were unless this call sets them.
  int fnmatch(const T* pattern, const T* string, int flags);

  // Copies the next component into `out` (which must hold as many units as
  // the pattern, plus one), escapes removed, and says what it is. Returns
  // BASENAME_NONE and leaves `out` alone when none is known.
  TBasenameType getNextBasename(T* out);
  TBasenameType getNextBasename(std::vector<T>& out) const;

  bool nextBasenameExists() const { return m_hasNextBasename; }
  bool isLiteralMatch() const { return m_literal; }
  bool isMatchEverything() const { return m_matchEverything; }
  bool isRecursiveMatch() const { return m_recursive; }

  // ASCII folding of "A" to "Z"; set it before initialize.
  void caseInsensitive();
  void caseSensitive();
  // True when matching is case-sensitive (the default).
  bool getCaseSensitivity() const { return !m_caseInsensitive; }

  void setDelimiter(T delimiter);
  T getDelimiter() const { return m_delimiter; }
  void setEscape(T escape);
  T getEscape() const { return m_escape; }

  // Why the last initialize failed, without the line end; empty after success.
  const std::string& getErrorText() const { return m_errorText; }

 private:
  friend class TPathMatch;

  int fail(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Drops the prepared pattern: nothing matches until the next initialize.
  void forget();
  bool appendEscaped(const T* begin, const T* end, int escapedCode, int plainCode);
  bool appendPlain(const T* begin, const T* end, int plainCode);
  // The prepared pattern taken apart, made again when the delimiter or the
  // escape changed since.
  const zn::detail::PatternProgram<T>& preparedProgram();
  void compileProgram();

  bool m_caseInsensitive = false;
  T m_delimiter;
  T m_escape;
  bool m_hasNextBasename = false;
  bool m_recursive = false;
  bool m_matchEverything = false;
  bool m_literal = false;
  bool m_ready = false;                // a pattern was prepared
  std::vector<T> m_pattern;            // the prepared pattern, without terminator
  std::vector<T> m_nextBasename;       // the pattern from the next component on
  std::string m_errorText;
  // The prepared pattern taken apart, shared between copies (never changed
  // once made), and the settings it was made with.
  std::shared_ptr<const zn::detail::PatternProgram<T>> m_program;
  T m_programDelimiter{};
  T m_programEscape{};
};

extern template class TPathMatchTemplate<char>;
extern template class TPathMatchTemplate<unsigned long>;

// The matcher of UTF-8 paths: bytes where the pattern needs no more ("*"
// works on bytes unchanged), code points where "?" or a set must see whole
// characters.
class ZN_EXPORT TPathMatch : public ZNTDebuggable {
 public:
  // Code points a pattern or path may have to be matched as characters.
  static constexpr std::size_t kCodePointUnits = 1030;

  TPathMatch();
  ~TPathMatch() override;
  TPathMatch(const TPathMatch& other);
  TPathMatch& operator=(const TPathMatch& other);

  virtual int initialize(const char* pattern, bool wildcards, bool wildcardsInLastComponentOnly);
  virtual int match(const char* path);
  // With `unicode`, both texts are matched as code points when they convert
  // (as bytes otherwise). 0 on a match, 1 when there is none.
  int fnmatch(const char* pattern, const char* string, int flags, bool unicode);

  // As TPathMatchTemplate::getNextBasename, in UTF-8.
  TBasenameType getNextBasename(char* out);
  TBasenameType getNextBasename(std::string& out) const;

  bool nextBasenameExists() const;
  bool isLiteralMatch() const;
  bool isMatchEverything() const;
  bool isRecursiveMatch() const;

  void caseInsensitive();
  void caseSensitive();
  bool getCaseSensitivity() const;
  // The delimiter and the escape are ASCII characters.
  void setDelimiter(char delimiter);
  char getDelimiter() const;
  void setEscape(char escape);
  char getEscape() const;

  // Why the last initialize failed, without the line end; empty after success.
  const std::string& getErrorText() const { return m_errorText; }

 protected:
  TPathMatchTemplate<char> m_bytes;
  TPathMatchTemplate<unsigned long> m_codePoints;
  bool m_patternAsCodePoints = false;  // the pattern has "?" or "[" and wildcards
  bool m_lastMatchUsedCodePoints = false;
  std::string m_errorText;
  std::vector<unsigned long> m_scratch;  // a path or pattern as code points
};

// Rewrites UNC names before use: a pattern or path beginning with two
// backslashes begins with "\UNC-NT_" instead (`\\server\share\x` becomes
// `\UNC-NT_server\share\x`).
class ZN_EXPORT TPathMatchUnc : public TPathMatch {
 public:
  TPathMatchUnc() = default;
  int initialize(const char* pattern, bool wildcards, bool wildcardsInLastComponentOnly) override;
  int match(const char* path) override;
};
