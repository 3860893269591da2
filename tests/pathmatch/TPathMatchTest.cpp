// Setting up a pattern (its limits and every message), the choice between
// bytes and code points with its fallback, the state accessors, copies and
// inputs built to make a backtracking matcher blow up.

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "zn/pathmatch/TPathMatch.h"

namespace {

// Keeps what a matcher prints through its debug output.
template <class Base>
class Capturing : public Base {
 public:
  void debug(int level, const char* format, ...) override {
    char text[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    lines.emplace_back(level, text);
  }
  std::vector<std::pair<int, std::string>> lines;
};

using CapturingTemplate = Capturing<TPathMatchTemplate<char>>;

std::pair<int, std::string> Line(int level, const char* text) { return {level, text}; }

TEST(TPathMatch, PatternLengthLimitsOfEachPreparation) {
  struct Limit {
    std::string pattern;
    bool wildcards;
    bool lastOnly;
    const char* message;  // null: accepted
  };
  const std::string a1024(1024, 'a');
  const std::vector<Limit> limits = {
      // With wildcards the pattern is taken as it is: 1,025 units at most.
      {std::string(1025, 'a'), true, false, nullptr},
      {std::string(1026, 'a'), true, false, "pattern too long (path buffer overrun 1)\n"},
      {std::string(5000, '*'), true, false, "pattern too long (path buffer overrun 1)\n"},
      // Without wildcards every "*", "[", "?" and escape takes two units.
      {std::string(1025, 'a'), false, false, nullptr},
      {std::string(1026, 'a'), false, false, "pattern too long (path buffer overrun 5)\n"},
      {std::string(1023, 'a') + "*", false, false, nullptr},
      {a1024 + "*", false, false, "pattern too long (path buffer overrun 4)\n"},
      {a1024 + "/", false, false, "pattern too long (path buffer overrun 4)\n"},
      {std::string(512, '?') + "ab", false, false, "pattern too long (path buffer overrun 5)\n"},
      // Wildcards in the last component only: the part before the last
      // delimiter is escaped, the rest copied.
      {std::string(1023, 'a') + "\\x", true, true, nullptr},
      {std::string(1024, 'a') + "\\x", true, true, "pattern too long (path buffer overrun 2)\n"},
      {a1024 + "*\\x", true, true, "pattern too long (path buffer overrun 3)\n"},
      {std::string(1026, 'a') + "\\", true, true, "pattern too long (path buffer overrun 2)\n"},
      {"*.doc", true, true, "pattern contains no delimiter 0x5C\n"},
      {"", true, true, "pattern contains no delimiter 0x5C\n"},
  };
  for (const Limit& limit : limits) {
    CapturingTemplate matcher;
    const int result = matcher.initialize(limit.pattern.c_str(), limit.wildcards, limit.lastOnly);
    const std::string what = "length " + std::to_string(limit.pattern.size()) + " wildcards " +
                             std::to_string(limit.wildcards) + " last " + std::to_string(limit.lastOnly);
    if (limit.message == nullptr) {
      EXPECT_EQ(result, 0) << what;
      EXPECT_TRUE(matcher.lines.empty()) << what;
      EXPECT_EQ(matcher.getErrorText(), "") << what;
      EXPECT_EQ(matcher.match(limit.pattern.c_str()), 1) << what;
    } else {
      EXPECT_EQ(result, -1) << what;
      ASSERT_EQ(matcher.lines.size(), 1u) << what;
      EXPECT_EQ(matcher.lines[0], Line(1, limit.message)) << what;
      std::string text = limit.message;
      text.pop_back();
      EXPECT_EQ(matcher.getErrorText(), text) << what;
      // A pattern that was refused matches nothing, not even the empty path.
      EXPECT_EQ(matcher.match(""), 0) << what;
      EXPECT_EQ(matcher.match(limit.pattern.c_str()), 0) << what;
    }
  }
  CapturingTemplate slash;
  slash.setDelimiter('/');
  EXPECT_EQ(slash.initialize("a\\b", true, true), -1);
  EXPECT_EQ(slash.lines.at(0), Line(1, "pattern contains no delimiter 0x2F\n"));
}

TEST(TPathMatch, MatcherMessagesCarryTheirPrefixes) {
  TPathMatch matcher;
  TPathMatchTemplate<char> bytes;
  TPathMatchTemplate<unsigned long> codePoints;
  EXPECT_STREQ(matcher.getDebugPrefix(), "PNMATCH");
  EXPECT_STREQ(bytes.getDebugPrefix(), "PNMATCHTEMPL");
  EXPECT_STREQ(codePoints.getDebugPrefix(), "PNMATCHTEMPL");
}

TEST(TPathMatch, PatternsThatAreNotUtf8) {
  struct Bad {
    const char* pattern;
    const char* message;
  };
  const Bad bad[] = {
      {"C:\\?\x80", "initialize: source illegal converting to Unicode\n"},
      // A lead byte whose sequence would run past the end: exhausted, even
      // when that lead byte could never start a sequence.
      {"C:\\?\xff", "initialize: source exhausted converting to Unicode\n"},
      {"C:\\?\xff" "abcdef", "initialize: source illegal converting to Unicode\n"},
      {"C:\\[a]\xc3", "initialize: source exhausted converting to Unicode\n"},
      {"C:\\?\xc0\xaf", "initialize: source illegal converting to Unicode\n"},      // overlong "/"
      {"C:\\?\xed\xa0\x80", "initialize: source illegal converting to Unicode\n"},  // a surrogate
      {"C:\\?\xf4\x90\x80\x80", "initialize: source illegal converting to Unicode\n"},
      {"C:\\?\xf8\x88\x80\x80\x80", "initialize: source illegal converting to Unicode\n"},
  };
  for (const Bad& b : bad) {
    Capturing<TPathMatch> matcher;
    EXPECT_EQ(matcher.initialize(b.pattern, true, false), -1) << b.message;
    ASSERT_EQ(matcher.lines.size(), 1u);
    EXPECT_EQ(matcher.lines[0], Line(1, b.message));
    EXPECT_EQ(matcher.match("C:\\x"), 0);
    EXPECT_EQ(matcher.match(""), 0);
  }
  // Without "?" or a set the bytes are matched as they are.
  Capturing<TPathMatch> bytes;
  EXPECT_EQ(bytes.initialize("C:\\*\xff", true, false), 0);
  EXPECT_TRUE(bytes.lines.empty());
  EXPECT_EQ(bytes.match("C:\\a\xff"), 1);
  // Without wildcards too.
  EXPECT_EQ(bytes.initialize("C:\\?\xff", false, false), 0);
  EXPECT_EQ(bytes.match("C:\\?\xff"), 1);
}

TEST(TPathMatch, PathsThatCannotBeCodePointsFallBackToBytes) {
  Capturing<TPathMatch> matcher;
  ASSERT_EQ(matcher.initialize("?a*", true, false), 0);
  // "é" is one character: "?" takes it whole.
  std::string path = "\xc3\xa9" + std::string(1000, 'a');
  EXPECT_EQ(matcher.match(path.c_str()), 1);
  EXPECT_TRUE(matcher.lines.empty());
  // 1,030 code points do not fit: the bytes are matched, and "?" takes
  // only the first byte of "é".
  path = "\xc3\xa9" + std::string(1029, 'a');
  EXPECT_EQ(matcher.match(path.c_str()), 0);
  ASSERT_EQ(matcher.lines.size(), 1u);
  EXPECT_EQ(matcher.lines[0], Line(1, "match: target exhausted converting to Unicode\n"));
  path = "\xc3\xa9" + std::string(1028, 'a');
  EXPECT_EQ(matcher.match(path.c_str()), 1);
  EXPECT_EQ(matcher.lines.size(), 1u);

  matcher.lines.clear();
  EXPECT_EQ(matcher.match("\xc3" "a"), 1);  // 0xC3 then "a" is not UTF-8: "?" takes 0xC3
  EXPECT_EQ(matcher.lines.at(0), Line(1, "match: source illegal converting to Unicode\n"));
  EXPECT_EQ(matcher.match("\xc3"), 0);
  EXPECT_EQ(matcher.lines.at(1), Line(1, "match: source exhausted converting to Unicode\n"));
  EXPECT_EQ(matcher.match("\xff" "aa"), 1);  // "?" takes the byte
}

TEST(TPathMatch, FnmatchConvertsBothTextsOrFallsBack) {
  Capturing<TPathMatch> matcher;
  EXPECT_EQ(matcher.fnmatch("?", "\xc3\xa9", TPM_PATHNAME, true), 0);
  EXPECT_EQ(matcher.fnmatch("?", "\xc3\xa9", TPM_PATHNAME, false), 1);
  EXPECT_EQ(matcher.fnmatch("??", "\xc3\xa9", TPM_PATHNAME, false), 0);
  EXPECT_TRUE(matcher.lines.empty());
  EXPECT_EQ(matcher.fnmatch("??\xff", "\xc3\xa9\xff", TPM_PATHNAME, true), 0);
  EXPECT_EQ(matcher.lines.at(0), Line(1, "fnmatch: overrun1 (source exhausted) converting to Unicode\n"));
  EXPECT_EQ(matcher.fnmatch("?", "\xc3", TPM_PATHNAME, true), 0);
  EXPECT_EQ(matcher.lines.at(1), Line(1, "fnmatch: overrun2 (source exhausted) converting to Unicode\n"));
  const std::string longPattern(1030, '?');
  EXPECT_EQ(matcher.fnmatch(longPattern.c_str(), std::string(1030, 'x').c_str(), 0, true), 0);
  EXPECT_EQ(matcher.lines.at(2), Line(1, "fnmatch: overrun1 (target exhausted) converting to Unicode\n"));
}

TEST(TPathMatch, StateOfTheLastMatch) {
  TPathMatch matcher;
  ASSERT_EQ(matcher.initialize(R"(C:\Data\*.doc)", true, false), 0);
  EXPECT_EQ(matcher.match(R"(C:\Data\a.doc)"), 1);
  EXPECT_FALSE(matcher.isLiteralMatch());
  // The match stopped before it reached a wildcard.
  EXPECT_EQ(matcher.match(R"(D:\x)"), 0);
  EXPECT_TRUE(matcher.isLiteralMatch());

  ASSERT_EQ(matcher.initialize(R"(C:\Data\**)", true, false), 0);
  EXPECT_EQ(matcher.match(R"(C:\Data\x\y)"), 1);
  EXPECT_TRUE(matcher.isRecursiveMatch());
  EXPECT_TRUE(matcher.isMatchEverything());
  // A new match starts clean.
  EXPECT_EQ(matcher.match(R"(C:\Data)"), 0);
  EXPECT_FALSE(matcher.isRecursiveMatch());
  EXPECT_FALSE(matcher.isMatchEverything());
  EXPECT_TRUE(matcher.nextBasenameExists());
  EXPECT_EQ(matcher.match(R"(C:\Data\x)"), 1);
  EXPECT_FALSE(matcher.nextBasenameExists());
  char out[16] = "kept";
  EXPECT_EQ(matcher.getNextBasename(out), BASENAME_NONE);
  EXPECT_STREQ(out, "kept");

  ASSERT_EQ(matcher.initialize(R"(C:\a*b)", false, false), 0);
  EXPECT_EQ(matcher.match(R"(C:\a*b)"), 1);
  EXPECT_TRUE(matcher.isLiteralMatch());

  // The accessors answer for the matcher that did the last match.
  ASSERT_EQ(matcher.initialize(R"(C:\?\x)", true, false), 0);
  EXPECT_EQ(matcher.match("C:\\\xc3\xa9"), 0);  // code points
  std::string next;
  EXPECT_EQ(matcher.getNextBasename(next), BASENAME_LITERAL);
  EXPECT_EQ(next, "x");
  EXPECT_EQ(matcher.match("C:\\\xc3"), 0);  // bytes: "?" takes 0xC3
  EXPECT_EQ(matcher.getNextBasename(next), BASENAME_LITERAL);
  EXPECT_EQ(matcher.match("C:\\\xc3\xa9\\x"), 1);
  EXPECT_EQ(matcher.getNextBasename(next), BASENAME_NONE);
}

TEST(TPathMatch, SettingsApplyToBothMatchers) {
  TPathMatch matcher;
  EXPECT_EQ(matcher.getDelimiter(), '\\');
  EXPECT_EQ(matcher.getEscape(), '/');
  EXPECT_TRUE(matcher.getCaseSensitivity());
  matcher.setDelimiter('/');
  matcher.setEscape('\\');
  matcher.caseInsensitive();
  ASSERT_EQ(matcher.initialize("/Home/?ob/\\*x/**", true, false), 0);
  EXPECT_EQ(matcher.match("/home/bob/*x/mail/1"), 1);
  EXPECT_EQ(matcher.getDelimiter(), '/');
  EXPECT_EQ(matcher.getEscape(), '\\');
  EXPECT_FALSE(matcher.getCaseSensitivity());
  EXPECT_EQ(matcher.match("/home/bob/ax/mail"), 0);
  EXPECT_EQ(matcher.match("/home/bob"), 0);
  std::string next;
  EXPECT_EQ(matcher.getNextBasename(next), BASENAME_LITERAL);
  EXPECT_EQ(next, "*x");
  matcher.caseSensitive();
  ASSERT_EQ(matcher.initialize("/Home/?ob", true, false), 0);
  EXPECT_EQ(matcher.match("/home/bob"), 0);
  EXPECT_EQ(matcher.match("/Home/bob"), 1);

  // Changing the delimiter after the set-up takes effect on the next match.
  TPathMatchTemplate<char> later;
  ASSERT_EQ(later.initialize("a/b*", true, false), 0);
  EXPECT_EQ(later.match("a/bc"), 0);  // "/" escapes "b"
  later.setEscape('!');
  EXPECT_EQ(later.match("a/bc"), 1);
}

TEST(TPathMatch, CopiesMatchAloneAndKeepTheirOwnState) {
  TPathMatchUnc original;
  ASSERT_EQ(original.initialize(R"(\\srv\share\[a-m]*\x)", true, false), 0);
  TPathMatchUnc copy(original);
  EXPECT_EQ(copy.match(R"(\\srv\share\kilo)"), 0);
  EXPECT_TRUE(copy.nextBasenameExists());
  EXPECT_FALSE(original.nextBasenameExists());
  EXPECT_EQ(original.match(R"(\\srv\share\kilo\x)"), 1);
  ASSERT_EQ(original.initialize(R"(\\srv\other)", true, false), 0);
  EXPECT_EQ(copy.match(R"(\\srv\share\lima\x)"), 1);
  EXPECT_EQ(copy.match(R"(\\srv\other)"), 0);
  TPathMatchUnc assigned;
  assigned = original;
  EXPECT_EQ(assigned.match(R"(\\srv\other)"), 1);
}

TEST(TPathMatch, NullTextsAreEmpty) {
  TPathMatch matcher;
  EXPECT_EQ(matcher.match("x"), 0);  // nothing prepared yet
  EXPECT_EQ(matcher.match(""), 0);
  ASSERT_EQ(matcher.initialize(nullptr, true, false), 0);
  EXPECT_EQ(matcher.match(nullptr), 1);
  EXPECT_EQ(matcher.match("x"), 0);
  EXPECT_EQ(matcher.fnmatch(nullptr, nullptr, TPM_PATHNAME, true), 0);
  EXPECT_EQ(matcher.fnmatch("*", nullptr, TPM_PATHNAME, false), 0);
}

// Inputs that take a backtracking matcher exponential time: these return
// at once (the test's time-out would catch anything else).
TEST(TPathMatch, AdversarialPatternsFinish) {
  TPathMatch matcher;
  const std::string as(100000, 'a');
  ASSERT_EQ(matcher.initialize("*a*a*a*a*a*a*a*a*a*a*b", true, false), 0);
  EXPECT_EQ(matcher.match(as.c_str()), 0);
  EXPECT_EQ(matcher.match((as + "b").c_str()), 1);
  ASSERT_EQ(matcher.initialize("?*a*a*a*a*a*a*a*a*a*a*b", true, false), 0);
  EXPECT_EQ(matcher.match(std::string(1000, 'a').c_str()), 0);

  // "**" components over a deep path of equal names.
  std::string deep;
  for (int i = 0; i < 500; ++i) deep += "\\a";
  ASSERT_EQ(matcher.initialize(R"(\**\a\**\a\**\a\**\a\**\a\**\b)", true, false), 0);
  EXPECT_EQ(matcher.match(deep.c_str()), 0);
  EXPECT_EQ(matcher.match((deep + "\\b").c_str()), 1);
  ASSERT_EQ(matcher.initialize(R"(\**\a*\**\*a\**\a?a\**\b)", true, false), 0);
  EXPECT_EQ(matcher.match(deep.c_str()), 0);

  // The core matcher on long texts of its own.
  TPathMatchTemplate<char> core;
  std::string pattern;
  for (int i = 0; i < 400; ++i) pattern += "a*";
  EXPECT_EQ(core.fnmatch((pattern + "b").c_str(), as.c_str(), 0), 1);
  EXPECT_EQ(core.fnmatch((pattern + "b").c_str(), as.c_str(), TPM_PATHNAME), 1);
  EXPECT_EQ(core.fnmatch(pattern.c_str(), as.c_str(), TPM_PATHNAME), 0);
}

}  // namespace
