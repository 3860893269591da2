// An option iterator in the manner of getopt_long: short options, a table
// of long options (abbreviations, optional long-only matching), argument
// permutation, options whose value must be one word of a fixed list, and
// list options that collect the words that follow them.
//
// Every object parses its own argument vector and keeps all of its state;
// two threads may parse at once. Diagnostics go to the standard error
// stream, one write per line, while `opterr` is set.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <type_traits>

#include "zn/base/ZnExport.h"

// One entry of an option table; the table ends with an entry whose name is
// null.
struct Option {
  const char* name;
  // 0 takes no argument, 1 requires one, 2 takes an optional "=value",
  // 3 is a list taking every following word, 4 a list taking one.
  int has_arg;
  int* flag;  // when set, val is stored here and 0 returned
  int val;
  const char* const* values;  // null-terminated words the value must be, or null
  const void* reserved;       // the caller's; never read
};

class ZN_EXPORT CGetOpt {
 public:
  using Option = ::Option;

  static constexpr int kNoArgument = 0;
  static constexpr int kRequiredArgument = 1;
  static constexpr int kOptionalArgument = 2;
  static constexpr int kListArgument = 3;
  static constexpr int kSingleListArgument = 4;

  // The vector is permuted in place (its entries, never the texts). A null
  // vector parses as an empty one; a null entry ends the vector.
  CGetOpt(int argc, char** argv, const char* shortopts);
  // Appends to the caller's short options, for every table entry whose val
  // is a character (1 to 255, ':' excepted), that character, ":" when it
  // takes an argument and "::" when the argument is optional. The ordering
  // and the ':' prefix are those of the caller's string.
  CGetOpt(int argc, char** argv, const char* shortopts, const Option* longopts, int* longind = nullptr,
          int longOnly = 0);

  // The same over a vector of constant texts.
  template <typename Argv, std::enable_if_t<std::is_same_v<Argv, const char**>, int> = 0>
  CGetOpt(int argc, Argv argv, const char* shortopts) : CGetOpt(argc, const_cast<char**>(argv), shortopts) {}
  template <typename Argv, std::enable_if_t<std::is_same_v<Argv, const char**>, int> = 0>
  CGetOpt(int argc, Argv argv, const char* shortopts, const Option* longopts, int* longind = nullptr,
          int longOnly = 0)
      : CGetOpt(argc, const_cast<char**>(argv), shortopts, longopts, longind, longOnly) {}

  CGetOpt(const CGetOpt& other) = default;
  CGetOpt& operator=(const CGetOpt& other) = default;
  ~CGetOpt() = default;

  // The next option's code; -1 when the options are exhausted. '?' (or ':'
  // for a missing argument when the short options begin with ':') on an
  // error; 0 for a non-option in return-in-order ordering (with `optopt`
  // -1 and the word in `optarg`) and for an option that has a flag.
  int operator()();

  // Take the word at `optind` as a number ("%d", "%lf": leading blanks and
  // trailing text allowed, out-of-range refused) or as a word that does not
  // begin with '-'. 1 when taken (and `optind` advanced), 0 otherwise.
  int NextArg(int& value);
  int NextArg(double& value);
  int NextArg(std::string& value);

  // The first character (0 to 255) of the word at `optind`; 0 past the end.
  int FirstChar() const;
  // "<program>: invalid argument '<optarg>'" on the standard error stream.
  void PrintInvalid() const;

 private:
  enum Ordering : int { kStopAtFirst = 0, kPermute = 1, kReturnInOrder = 2 };
  enum ShortKind : unsigned char { kNotShort = 0, kPlain, kRequired, kOptional };

  std::optional<int> ContinueList();
  std::optional<int> Advance();
  std::optional<int> LongOption(char* argument);
  int ShortOption(bool firstOfArgument);
  int TakeListValue(char* text);
  int EndList();
  int CodeOf(const Option& option) const;
  void ForgetList();
  void Exchange();
  void SanitizeIndexes();
  bool IsShortOption(unsigned char c) const { return m_shortKinds[c] != kNotShort; }
  bool ColonMode() const { return !m_shortOpts.empty() && m_shortOpts.front() == ':'; }
  const char* ProgramName() const;
  void Diagnose(const std::string& line) const;

  // The state, in its traditional order (callers read the public part).
  char* m_nextChar = nullptr;  // into the current argument; null between arguments
  int m_ordering = kPermute;
  int m_firstNonOpt = 1;
  int m_lastNonOpt = 1;
  const Option* m_currentList = nullptr;
  int m_inList = 0;  // a list option was seen and has taken no value yet

 public:
  int optopt = 0;
  char* optarg = nullptr;
  int optind = 1;
  int valueIndex = -1;  // position of the matched word in the option's values
  char opterr = 1;

 private:
  int m_argc = 0;
  char** m_argv = nullptr;
  std::string m_shortOpts;
  const Option* m_longOpts = nullptr;
  int* m_longIndex = nullptr;
  int m_longOnly = 0;
  // What each character is in m_shortOpts (first occurrence wins).
  std::array<unsigned char, 256> m_shortKinds{};
};
