// Our matcher against glibc's fnmatch(3) where both give a pattern the same
// meaning: delimiter "/" and escape "\" as glibc has them; no "**"
// component, no folding, no period rule (glibc keeps that rule after a star,
// ours drops it), no trailing escape (glibc never matches one), no escaped
// "/" (glibc's star never tries the position of a "/"), sets without "/"
// and without character classes. Flags: none, pathname, no escaping, both.

#include <fnmatch.h>
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "zn/pathmatch/TPathMatch.h"

namespace {

class Generator {
 public:
  explicit Generator(unsigned seed) : m_random(seed) {}

  int below(int n) { return static_cast<int>(m_random() % static_cast<unsigned>(n)); }
  char pick(const std::string& from) { return from[static_cast<std::size_t>(below(static_cast<int>(from.size())))]; }

  // A pattern and a string that often matches it.
  void next(std::string& pattern, std::string& string) {
    pattern.clear();
    string.clear();
    const int tokens = below(8);
    bool lastWasStar = false;
    for (int i = 0; i < tokens; ++i) {
      switch (below(9)) {
        case 0:
        case 1:
          pattern.push_back(pick("abc/"));
          string.push_back(pattern.back());
          lastWasStar = false;
          break;
        case 2: {  // an escaped character
          const char c = pick("abc*?]\\!");
          pattern += '\\';
          pattern += c;
          string.push_back(c);
          lastWasStar = false;
          break;
        }
        case 3:
          pattern.push_back('?');
          string.push_back(pick("abc"));
          lastWasStar = false;
          break;
        case 4:
        case 5:
          if (lastWasStar) break;  // no runs: "**" may be a component
          pattern.push_back('*');
          for (int k = below(3); k > 0; --k) string.push_back(pick("abc"));
          lastWasStar = true;
          break;
        case 6:
        case 7:
          addSet(pattern, string);
          lastWasStar = false;
          break;
        case 8:
          pattern.push_back(pick("]!-^."));
          string.push_back(pattern.back());
          lastWasStar = false;
          break;
      }
    }
    // A "[" that never closes, as the last token.
    if (below(12) == 0) {
      pattern += "[a";
      string += "[a";
    }
    // Mutate the string now and then.
    const int edits = below(3);
    for (int e = 0; e < edits && below(2) == 0; ++e) {
      const std::size_t at = string.empty() ? 0 : static_cast<std::size_t>(below(static_cast<int>(string.size()) + 1));
      switch (below(3)) {
        case 0: string.insert(at, 1, pick("abc/*?[]\\")); break;
        case 1: if (at < string.size()) string.erase(at, 1); break;
        case 2: if (at < string.size()) string[at] = pick("abc/"); break;
      }
    }
  }

 private:
  void addSet(std::string& pattern, std::string& string) {
    pattern += '[';
    const bool negate = below(3) == 0;
    if (negate) pattern += below(2) ? '!' : '^';
    std::string members;
    const int count = 1 + below(3);
    for (int k = 0; k < count; ++k) {
      switch (below(5)) {
        case 0:
          pattern += "a-c";
          members += "abc";
          break;
        case 1:
          if (k == 0) {
            pattern += ']';
            members += ']';
            break;
          }
          [[fallthrough]];
        case 2:
          pattern += "\\]";
          members += ']';
          break;
        default: {
          const char c = pick("abc*?");
          pattern += c;
          members += c;
        }
      }
    }
    pattern += ']';
    if (negate) {
      string.push_back(pick("abcx"));
    } else {
      string.push_back(members[static_cast<std::size_t>(below(static_cast<int>(members.size())))]);
    }
  }

  std::mt19937 m_random;
};

TEST(PathMatchGlibc, AgreesWithFnmatchOnTheCommonMeaning) {
  struct Flags {
    int ours;
    int glibc;
  };
  const Flags flags[] = {{0, 0},
                         {TPM_PATHNAME, FNM_PATHNAME},
                         {TPM_NOESCAPE, FNM_NOESCAPE},
                         {TPM_PATHNAME | TPM_NOESCAPE, FNM_PATHNAME | FNM_NOESCAPE}};
  Generator generator(31337);
  TPathMatchTemplate<char> matcher;
  matcher.setDelimiter('/');
  matcher.setEscape('\\');
  int matches = 0;
  std::string pattern;
  std::string string;
  for (int i = 0; i < 100000; ++i) {
    generator.next(pattern, string);
    const Flags& f = flags[i % 4];
    const bool glibcMatches = ::fnmatch(pattern.c_str(), string.c_str(), f.glibc) == 0;
    const bool ourMatch = matcher.fnmatch(pattern.c_str(), string.c_str(), f.ours) == 0;
    ASSERT_EQ(ourMatch, glibcMatches) << "pattern [" << pattern << "] string [" << string << "] flags " << f.ours;
    matches += ourMatch;
  }
  // Both outcomes are well represented.
  EXPECT_GT(matches, 30000);
  EXPECT_LT(matches, 70000);
}

}  // namespace
