// Long runs of "?" and sets after stars, over long components and many
// components: the inputs where the matcher gives up testing position after
// position and scans instead. The answers are checked against a plain
// table of which pattern prefix matches which string prefix, computed here
// from the rules (quadratic, independent of the matcher).

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "zn/pathmatch/TPathMatch.h"

namespace {

// One element of the generated patterns: no escapes, sets of "a" and "b".
struct Token {
  enum Kind { kUnit, kAny, kSet, kStar, kRecursive } kind;
  char unit = 0;
  bool negate = false;
  std::string members;

  static Token Of(Kind kind) { return {kind, 0, false, std::string()}; }
  static Token Unit(char c) { return {kUnit, c, false, std::string()}; }
  static Token Set(bool negate, const char* members) { return {kSet, 0, negate, members}; }
};

bool Matches(const Token& token, char c) {
  if (c == '\\' && token.kind != Token::kUnit) return false;
  switch (token.kind) {
    case Token::kUnit: return c == token.unit;
    case Token::kAny: return true;
    case Token::kSet: return (token.members.find(c) != std::string::npos) != token.negate;
    default: return false;
  }
}

// reach[i][j]: the first i tokens match the first j characters.
bool TableMatch(const std::vector<Token>& tokens, const std::string& s) {
  const std::size_t n = s.size();
  std::vector<std::vector<char>> reach(tokens.size() + 1, std::vector<char>(n + 1, 0));
  reach[0][0] = 1;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const Token& token = tokens[i];
    for (std::size_t j = 0; j <= n; ++j) {
      if (!reach[i][j]) continue;
      if (token.kind == Token::kStar) {
        // Any run without a delimiter.
        for (std::size_t k = j; k <= n; ++k) {
          reach[i + 1][k] = 1;
          if (k < n && s[k] == '\\') break;
        }
      } else if (token.kind == Token::kRecursive) {
        // Whole components: to here, or past any later delimiter; a
        // trailing one takes everything.
        if (i + 1 == tokens.size()) {
          reach[i + 1][n] = 1;
          continue;
        }
        reach[i + 1][j] = 1;
        for (std::size_t k = j; k < n; ++k) {
          if (s[k] == '\\') reach[i + 1][k + 1] = 1;
        }
      } else if (j < n && Matches(token, s[j])) {
        reach[i + 1][j + 1] = 1;
      }
    }
  }
  return reach[tokens.size()][n] != 0;
}

class LongInputs {
 public:
  explicit LongInputs(unsigned seed) : m_random(seed) {}

  int below(int n) { return static_cast<int>(m_random() % static_cast<unsigned>(n)); }

  // A segment of single-unit elements, mostly "?" and sets.
  void segment(int length, std::string& pattern, std::vector<Token>& tokens) {
    for (int k = 0; k < length; ++k) {
      switch (below(5)) {
        case 0: pattern += 'a'; tokens.push_back(Token::Unit('a')); break;
        case 1: pattern += '?'; tokens.push_back(Token::Of(Token::kAny)); break;
        case 2: pattern += "[ab]"; tokens.push_back(Token::Set(false, "ab")); break;
        case 3: pattern += "[!b]"; tokens.push_back(Token::Set(true, "b")); break;
        default: pattern += '?'; tokens.push_back(Token::Of(Token::kAny)); break;
      }
    }
  }

  // Text that the segments can match in many places: long runs of "a",
  // a "b" now and then, delimiters as asked.
  std::string text(std::size_t length, int delimiterEvery) {
    std::string s;
    for (std::size_t i = 0; i < length; ++i) {
      if (delimiterEvery > 0 && below(delimiterEvery) == 0) {
        s += '\\';
      } else {
        s += below(40) == 0 ? 'b' : 'a';
      }
    }
    return s;
  }

  // Components of "a"s, then text the tokens match (a "**" standing for a
  // few components), with one character changed now and then.
  std::string near(const std::vector<Token>& tokens, std::size_t prefixComponents) {
    std::string s;
    for (std::size_t c = 0; c < prefixComponents; ++c) s += '\\' + std::string(1 + below(60), 'a');
    for (std::size_t i = 2; i < tokens.size(); ++i) {
      const Token& token = tokens[i];
      switch (token.kind) {
        case Token::kUnit: s += token.unit; break;
        case Token::kAny: s += below(2) ? 'a' : 'b'; break;
        case Token::kSet: s += token.negate ? 'a' : token.members[below(2)]; break;
        case Token::kRecursive:
          for (int k = below(3); k > 0; --k) s += std::string(1 + below(20), 'a') + '\\';
          break;
        default: break;
      }
    }
    if (below(2) == 0 && !s.empty()) s[below(static_cast<int>(s.size()))] = below(2) ? 'b' : '\\';
    return s;
  }

 private:
  std::mt19937 m_random;
};

TEST(PathMatchLong, LongRunsAfterPlainStars) {
  LongInputs inputs(5);
  int matches = 0;
  for (int round = 0; round < 120; ++round) {
    std::string pattern = "*";
    std::vector<Token> tokens = {Token::Of(Token::kStar)};
    inputs.segment(20 + inputs.below(200), pattern, tokens);
    if (inputs.below(2) == 0) {
      pattern += 'b';
      tokens.push_back(Token::Unit('b'));
    }
    pattern += '*';
    tokens.push_back(Token::Of(Token::kStar));
    if (inputs.below(2) == 0) {
      inputs.segment(1 + inputs.below(30), pattern, tokens);
      pattern += '*';
      tokens.push_back(Token::Of(Token::kStar));
    }
    const std::string path = inputs.text(1000 + static_cast<std::size_t>(inputs.below(2000)), inputs.below(2) ? 0 : 700);
    TPathMatchTemplate<char> bytes;
    ASSERT_EQ(bytes.initialize(pattern.c_str(), true, false), 0);
    const int expected = TableMatch(tokens, path) ? 1 : 0;
    ASSERT_EQ(bytes.match(path.c_str()), expected) << "round " << round << " pattern " << pattern;
    // The same through the code point matcher, where the path fits.
    if (path.size() < 1030 && pattern.size() < 1026) {
      TPathMatch matcher;
      ASSERT_EQ(matcher.initialize(pattern.c_str(), true, false), 0);
      ASSERT_EQ(matcher.match(path.c_str()), expected) << "round " << round;
    }
    matches += expected;
  }
  EXPECT_GT(matches, 10);
  EXPECT_LT(matches, 110);
}

TEST(PathMatchLong, LongRunsAfterRecursiveComponents) {
  LongInputs inputs(11);
  int matches = 0;
  for (int round = 0; round < 120; ++round) {
    std::string pattern = "\\**\\";
    std::vector<Token> tokens = {Token::Unit('\\'), Token::Of(Token::kRecursive)};
    // A block that spans a few components, then more components or the end.
    const int parts = 1 + inputs.below(3);
    for (int p = 0; p < parts; ++p) {
      inputs.segment(2 + inputs.below(40), pattern, tokens);
      if (p + 1 < parts) {
        pattern += '\\';
        tokens.push_back(Token::Unit('\\'));
      }
    }
    if (inputs.below(2) == 0) {
      pattern += "\\**\\";
      tokens.push_back(Token::Unit('\\'));
      tokens.push_back(Token::Of(Token::kRecursive));
      inputs.segment(1 + inputs.below(5), pattern, tokens);
    }
    const std::string path = inputs.near(tokens, 30 + static_cast<std::size_t>(inputs.below(60)));
    TPathMatchTemplate<char> bytes;
    ASSERT_EQ(bytes.initialize(pattern.c_str(), true, false), 0);
    const int expected = TableMatch(tokens, path) ? 1 : 0;
    ASSERT_EQ(bytes.match(path.c_str()), expected) << "round " << round << " pattern " << pattern;
    matches += expected;
  }
  EXPECT_GT(matches, 10);
  EXPECT_LT(matches, 110);
}

// A block of one-character components after "**" against a deep path of
// one-character components: the block nearly matches at every component.
TEST(PathMatchLong, BlocksOfShortComponentsOverDeepPaths) {
  LongInputs inputs(23);
  int matches = 0;
  for (int round = 0; round < 60; ++round) {
    std::string pattern = "\\**\\";
    std::vector<Token> tokens = {Token::Unit('\\'), Token::Of(Token::kRecursive)};
    const int depth = 50 + inputs.below(140);  // the pattern stays within its 1,025 units
    for (int k = 0; k < depth; ++k) {
      inputs.segment(1, pattern, tokens);
      pattern += '\\';
      tokens.push_back(Token::Unit('\\'));
    }
    const char last = inputs.below(2) ? 'b' : 'a';
    pattern += last;
    tokens.push_back(Token::Unit(last));
    std::string path;
    for (int k = depth + inputs.below(900); k > 0; --k) path += inputs.below(50) == 0 ? "\\b" : "\\a";
    path += inputs.below(2) ? "\\b" : "\\a";
    TPathMatchTemplate<char> bytes;
    ASSERT_EQ(bytes.initialize(pattern.c_str(), true, false), 0);
    const int expected = TableMatch(tokens, path) ? 1 : 0;
    ASSERT_EQ(bytes.match(path.c_str()), expected) << "round " << round;
    // The same block with a star after it: the "**" tries it in every
    // component until one leads on.
    const std::string starred = pattern + "*";
    std::vector<Token> starredTokens = tokens;
    starredTokens.push_back(Token::Of(Token::kStar));
    ASSERT_EQ(bytes.initialize(starred.c_str(), true, false), 0);
    ASSERT_EQ(bytes.match(path.c_str()), TableMatch(starredTokens, path) ? 1 : 0) << "round " << round;
    matches += expected;
  }
  EXPECT_GT(matches, 5);
  EXPECT_LT(matches, 55);
}

}  // namespace
