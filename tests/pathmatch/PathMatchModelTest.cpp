// The matcher against the plain full search of PathMatchModel.h on many
// short random patterns and paths: same result, same literal, recursive and
// match-everything flags, same next-component hint. This is what shows that
// the tries the matcher leaves out never change anything.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "pathmatch/PathMatchModel.h"
#include "zn/pathmatch/TPathMatch.h"

namespace {

using zn::test::PathMatchModel;

std::string RandomText(std::mt19937& random, const std::string& alphabet, std::size_t maxLength) {
  std::uniform_int_distribution<std::size_t> length(0, maxLength);
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  std::string text(length(random), ' ');
  for (char& c : text) c = alphabet[pick(random)];
  return text;
}

// A path that the pattern could well match, or a directory on the way to
// one: stars and "?" filled in, escapes dropped, sometimes cut before a
// delimiter. Sets stay as they are (often matching themselves literally).
std::string PathNear(std::mt19937& random, const std::string& pattern) {
  std::string path;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '*') {
      const int n = static_cast<int>(random() % 3);
      for (int k = 0; k < n; ++k) path.push_back(random() % 4 == 0 ? '\\' : 'a');
    } else if (c == '?') {
      path.push_back(random() % 2 ? 'a' : 'b');
    } else if (c == '/' && i + 1 < pattern.size()) {
      path.push_back(pattern[++i]);
    } else {
      path.push_back(c);
    }
  }
  if (random() % 3 == 0) {
    const std::size_t cut = path.rfind('\\');
    if (cut != std::string::npos) path.resize(cut);
  }
  return path;
}

// The model's hint read as getNextBasename reads it.
struct Hint {
  int type = 0;
  std::string text;
};

Hint ModelHint(const PathMatchModel& model) {
  Hint hint;
  if (!model.next) return hint;
  const std::string& rest = *model.next;
  for (std::size_t i = 0; i < rest.size();) {
    const char c = rest[i];
    if (c == model.delimiter) break;
    if (c == '*' || c == '?' || c == '[') {
      hint.type = hint.text.empty() ? 3 : 1;
      return hint;
    }
    if (c == model.escape) {
      if (i + 1 == rest.size() || rest[i + 1] == model.delimiter) {
        hint.text.push_back(c);
        hint.type = 2;
        return hint;
      }
      hint.text.push_back(rest[i + 1]);
      i += 2;
      continue;
    }
    hint.text.push_back(c);
    ++i;
  }
  hint.type = hint.text.empty() ? 3 : 2;
  return hint;
}

Hint LibraryHint(TPathMatchTemplate<char>& matcher) {
  std::vector<char> text;
  Hint hint;
  hint.type = matcher.getNextBasename(text);
  hint.text.assign(text.begin(), text.end());
  return hint;
}

void ExpectSameState(const PathMatchModel& model, TPathMatchTemplate<char>& matcher, const std::string& what) {
  EXPECT_EQ(matcher.isLiteralMatch(), model.literal) << what;
  EXPECT_EQ(matcher.isRecursiveMatch(), model.recursive) << what;
  EXPECT_EQ(matcher.isMatchEverything(), model.matchEverything) << what;
  EXPECT_EQ(matcher.nextBasenameExists(), model.next.has_value()) << what;
  const Hint expected = ModelHint(model);
  const Hint actual = LibraryHint(matcher);
  EXPECT_EQ(actual.type, expected.type) << what;
  EXPECT_EQ(actual.text, expected.text) << what;
}

// Patterns dense in the characters that matter: delimiter, escape, stars,
// sets, periods; paths over the same few characters so that matches happen.
constexpr const char* kPatternAlphabet = "ab\\\\\\/***?[]!-.A";
constexpr const char* kPathAlphabet = "ab\\\\.*[A";

TEST(PathMatchModel, CoreMatcherAgreesWithFullSearchOnEveryFlag) {
  std::mt19937 random(20230);
  int matches = 0;
  int hints = 0;
  for (int i = 0; i < 150000; ++i) {
    const std::string pattern = RandomText(random, kPatternAlphabet, 10);
    const std::string path = i % 2 == 0 ? RandomText(random, kPathAlphabet, 9) : PathNear(random, pattern);
    const int flags = static_cast<int>(random() % 8);
    const bool fold = random() % 4 == 0;

    PathMatchModel model;
    model.caseInsensitive = fold;
    const int expected = model.fnmatch(pattern, path, flags);

    TPathMatchTemplate<char> matcher;
    if (fold) matcher.caseInsensitive();
    const int actual = matcher.fnmatch(pattern.c_str(), path.c_str(), flags);
    const std::string what = "pattern [" + pattern + "] path [" + path + "] flags " + std::to_string(flags) +
                             (fold ? " folded" : "");
    ASSERT_EQ(actual, expected) << what;
    ExpectSameState(model, matcher, what);
    if (HasFailure()) return;
    matches += expected == 0;
    hints += model.next.has_value();
  }
  // The inputs must exercise both outcomes and the hints.
  EXPECT_GT(matches, 20000);
  EXPECT_GT(hints, 4000);
}

TEST(PathMatchModel, MatchOfPreparedPatternsAgreesWithFullSearch) {
  std::mt19937 random(4711);
  for (int i = 0; i < 100000; ++i) {
    const std::string pattern = RandomText(random, kPatternAlphabet, 10);
    const std::string path = i % 10 == 0  ? std::string("\\")
                             : i % 2 == 0 ? RandomText(random, kPathAlphabet, 9)
                                          : PathNear(random, pattern);
    TPathMatchTemplate<char> matcher;
    ASSERT_EQ(matcher.initialize(pattern.c_str(), true, false), 0);
    PathMatchModel model;
    const int expected = model.match(pattern, path);
    const std::string what = "pattern [" + pattern + "] path [" + path + "]";
    ASSERT_EQ(matcher.match(path.c_str()), expected) << what;
    ExpectSameState(model, matcher, what);
    if (HasFailure()) return;
  }
}

TEST(PathMatchModel, CodePointMatcherAgreesWithByteMatcherOnAscii) {
  std::mt19937 random(99);
  for (int i = 0; i < 30000; ++i) {
    const std::string pattern = RandomText(random, kPatternAlphabet, 10);
    const std::string path = RandomText(random, kPathAlphabet, 9);
    const int flags = static_cast<int>(random() % 8);
    TPathMatch bytes;
    TPathMatch codePoints;
    const std::string what = "pattern [" + pattern + "] path [" + path + "] flags " + std::to_string(flags);
    ASSERT_EQ(codePoints.fnmatch(pattern.c_str(), path.c_str(), flags, true),
              bytes.fnmatch(pattern.c_str(), path.c_str(), flags, false))
        << what;
    std::string a;
    std::string b;
    ASSERT_EQ(codePoints.getNextBasename(a), bytes.getNextBasename(b)) << what;
    ASSERT_EQ(a, b) << what;
    ASSERT_EQ(codePoints.isRecursiveMatch(), bytes.isRecursiveMatch()) << what;
  }
}

}  // namespace
