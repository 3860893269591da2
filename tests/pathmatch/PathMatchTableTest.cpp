// Pattern/path cases grouped by rule, each with the result and the next
// component a directory walker is told. Every expectation was worked out by
// hand from the matching rules (delimiter "\", escape "/"), not taken from
// the matcher's output.

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>

#include "zn/pathmatch/TPathMatch.h"

namespace {

struct Case {
  const char* pattern;
  const char* path;
  int result;            // of match(): 1 match, 0 none
  int hintType;          // of getNextBasename()
  const char* hint = "";  // its text (when the type is not 0)
};

enum class Mode { kWildcards, kLiteral, kLastComponent, kCaseInsensitive, kUnc };

void RunTable(Mode mode, std::initializer_list<Case> cases) {
  for (const Case& c : cases) {
    std::unique_ptr<TPathMatch> matcher =
        mode == Mode::kUnc ? std::make_unique<TPathMatchUnc>() : std::make_unique<TPathMatch>();
    if (mode == Mode::kCaseInsensitive) matcher->caseInsensitive();
    const bool wildcards = mode != Mode::kLiteral;
    const std::string what = std::string("pattern [") + c.pattern + "] path [" + c.path + "]";
    ASSERT_EQ(matcher->initialize(c.pattern, wildcards, mode == Mode::kLastComponent), 0) << what;
    EXPECT_EQ(matcher->match(c.path), c.result) << what;
    char next[1100] = "untouched";
    const TBasenameType type = matcher->getNextBasename(next);
    EXPECT_EQ(type, c.hintType) << what;
    EXPECT_EQ(matcher->nextBasenameExists(), c.hintType != BASENAME_NONE) << what;
    EXPECT_STREQ(next, c.hintType == BASENAME_NONE ? "untouched" : c.hint) << what;
  }
}

TEST(PathMatchTable, Stars) {
  RunTable(Mode::kWildcards, {
      {R"(C:\Data\*.doc)", R"(C:\Data\a.doc)", 1, 0},
      {R"(C:\Data\*.doc)", R"(C:\Data\sub\a.doc)", 0, 0},
      {R"(C:\Data\*.doc)", R"(C:\Data\.doc)", 1, 0},
      {R"(C:\Data\*.doc)", R"(C:\Data\a.docx)", 0, 0},
      {R"(C:\Data\*)", R"(C:\Data\)", 1, 0},
      {R"(C:\Data\*)", R"(C:\Data\x\y)", 0, 0},
      {R"(C:\Data\*)", R"(C:\Data)", 0, 3, ""},
      {R"(*)", R"(abc)", 1, 0},
      {R"(*)", R"(a\b)", 0, 0},
      {R"(*)", R"()", 1, 0},
      {R"(a*)", R"(a)", 1, 0},
      {R"(*a)", R"(a)", 1, 0},
      {R"(*a)", R"(ba)", 1, 0},
      {R"(*a)", R"(ab)", 0, 0},
      {R"(a*b*c)", R"(aXbYc)", 1, 0},
      {R"(a*b*c)", R"(abc)", 1, 0},
      {R"(a*b*c)", R"(acb)", 0, 0},
      {R"(a*b*c)", R"(ab\c)", 0, 0},
      {R"(*\*)", R"(a\b)", 1, 0},
      {R"(*\*)", R"(ab)", 0, 3, ""},
      {R"(C:\*\Mail)", R"(C:\Users\Mail)", 1, 0},
      {R"(C:\*\Mail)", R"(C:\Users\Bob\Mail)", 0, 0},
      {R"(C:\*\Mail)", R"(C:\Users)", 0, 2, "Mail"},
      {R"(C:\*x\Mail)", R"(C:\abx)", 0, 2, "Mail"},
      {R"(C:\*x\Mail)", R"(C:\abx\Mail)", 1, 0},
      {R"(C:\a*z)", R"(C:\abcz)", 1, 0},
      {R"(C:\a*z)", R"(C:\a)", 0, 0},
      {R"(*.tmp)", R"(x.tmp)", 1, 0},
      {R"(*.tmp)", R"(C:\x.tmp)", 0, 0},
      {R"(*.tmp)", R"(.tmp)", 1, 0},
      {R"(a*a*a*a*a*b)", R"(aaaaaaaaaaaaaaaaaaaa)", 0, 0},
      {R"(a*a*a*a*a*b)", R"(aaaaaaaaab)", 1, 0},
      {R"(*ab)", R"(aab)", 1, 0},
      {R"(C:\Data\M*)", R"(C:\Data)", 0, 1, "M"},
      {R"(C:\Data\Mail\*)", R"(C:\Data)", 0, 2, "Mail"},
      {R"(C:\Data\Mail\*)", R"(C:\Data\Mail)", 0, 3, ""},
      {R"(C:\Data\Mail\*)", R"(C:\Dat)", 0, 0},
      {R"(C:\Data\?ail\x)", R"(C:\Data\Mail)", 0, 2, "x"},
      {R"(C:\Data\?ail\x)", R"(C:\Data\ail)", 0, 0},
      {R"(C:\?)", R"(C:\\)", 0, 0},
      {R"(C:\*a?\P)", R"(C:\aa)", 0, 2, "P"},
  });
}

TEST(PathMatchTable, RecursiveComponents) {
  RunTable(Mode::kWildcards, {
      {R"(C:\Data\**)", R"(C:\Data\a)", 1, 0},
      {R"(C:\Data\**)", R"(C:\Data\a\b\c)", 1, 0},
      {R"(C:\Data\**)", R"(C:\Data\)", 1, 0},
      {R"(C:\Data\**)", R"(C:\Data)", 0, 3, ""},
      {R"(C:\Data**)", R"(C:\Datax)", 1, 0},
      {R"(C:\Data**)", R"(C:\Data\x)", 0, 0},
      {R"(C:\Data\**\*.doc)", R"(C:\Data\a.doc)", 1, 0},
      {R"(C:\Data\**\*.doc)", R"(C:\Data\x\y\a.doc)", 1, 0},
      {R"(C:\Data\**\*.doc)", R"(C:\Data\x\a.txt)", 0, 3, ""},
      {R"(C:\Data\**\*.doc)", R"(C:\Data)", 0, 3, ""},
      {R"(C:\Data\**\*.doc)", R"(C:\Other\a.doc)", 0, 0},
      {R"(**)", R"(a\b)", 0, 0},
      {R"(**)", R"(abc)", 1, 0},
      {R"(**\x)", R"(a\x)", 1, 0},
      {R"(**\x)", R"(a\b\x)", 0, 0},
      {R"(\**)", R"(\a\b)", 1, 0},
      {R"(\**\x)", R"(\x)", 1, 0},
      {R"(\**\x)", R"(\a\b\x)", 1, 0},
      {R"(\**\x)", R"(\a\b\y)", 0, 3, ""},
      {R"(a\**b)", R"(a\xb)", 1, 0},
      {R"(a\**b)", R"(a\x\b)", 0, 0},
      {R"(a\***)", R"(a\x\y)", 1, 0},
      {R"(C:\**\Mail\**)", R"(C:\Users\Bob\Mail\Inbox\1)", 1, 0},
      {R"(C:\**\Mail\**)", R"(C:\Users\Bob)", 0, 3, ""},
      {R"(C:\**\Mail\**)", R"(C:\Mail)", 0, 3, ""},
      {R"(C:\**\Mail\**)", R"(C:\Mail\x)", 1, 0},
      {R"(C:\**\Mail)", R"(C:\Mail\Mail)", 1, 0},
      {R"(C:\**\**\x)", R"(C:\x)", 1, 0},
      {R"(C:\**\**\x)", R"(C:\a\b\x)", 1, 0},
      {R"(C:\Users\*\AppData\**)", R"(C:\Users\bob\AppData\Local\x.tmp)", 1, 0},
      {R"(C:\Users\*\AppData\**)", R"(C:\Users\bob\Documents\x.doc)", 0, 0},
      {R"(C:\Users\*\AppData\**)", R"(C:\Users\bob)", 0, 2, "AppData"},
      {R"(C:\Users\*\AppData\**)", R"(C:\Users\bob\AppData)", 0, 3, ""},
      {R"(**\cache\**)", R"(x\cache\y\z)", 1, 0},
      {R"(**\cache\**)", R"(C:\x\cache\y)", 0, 0},
      {R"(\**\a*\b)", R"(\x\ay)", 0, 3, ""},
      {R"(C:\**)", R"(C:\)", 1, 0},
      {R"(C:\**)", R"(D:\x)", 0, 0},
      {R"(C:\x\**\y\**)", R"(C:\x\a\y)", 0, 3, ""},
      {R"(C:\x\**\y\**)", R"(C:\x\a\y\z)", 1, 0},
      {R"(C:\x\**\y\*)", R"(C:\x\a\y\b\c)", 0, 3, ""},
  });
}

TEST(PathMatchTable, Sets) {
  RunTable(Mode::kWildcards, {
      {R"([abc])", R"(b)", 1, 0},
      {R"([abc])", R"(d)", 0, 0},
      {R"([a-c]x)", R"(bx)", 1, 0},
      {R"([!a-c]x)", R"(dx)", 1, 0},
      {R"([!a-c]x)", R"(bx)", 0, 0},
      {R"([^a-c]x)", R"(dx)", 1, 0},
      {R"([^a-c]x)", R"(ax)", 0, 0},
      {R"([a)", R"([a)", 1, 0},
      {R"([a)", R"(a)", 0, 0},
      {R"([]])", R"(])", 1, 0},
      {R"([]a])", R"(a)", 1, 0},
      {R"([!]])", R"(a)", 1, 0},
      {R"([!]])", R"(])", 0, 0},
      {R"([a-])", R"(-)", 1, 0},
      {R"([a-])", R"(b)", 0, 0},
      {R"([-a])", R"(-)", 1, 0},
      {R"([z-a])", R"(m)", 0, 0},
      {R"([a\]x)", R"([a\]x)", 1, 0},
      {R"([a\]x)", R"(a)", 0, 0},
      {R"([/]])", R"(])", 1, 0},
      {R"([/!a])", R"(!)", 1, 0},
      {R"([/!a])", R"(b)", 0, 0},
      {R"([*?])", R"(*)", 1, 0},
      {R"([*?])", R"(?)", 1, 0},
      {R"([*?])", R"(x)", 0, 0},
      {R"(C:\[a-m]*)", R"(C:\kilo)", 1, 0},
      {R"(C:\[a-m]*)", R"(C:\zulu)", 0, 0},
      {R"(C:\[!.]*)", R"(C:\.hidden)", 0, 0},
      {R"(x[ab]y)", R"(x\y)", 0, 0},
      {R"([)", R"([)", 1, 0},
      {R"([!)", R"([!)", 1, 0},
      {R"([])", R"([])", 1, 0},
      {R"([ab][cd])", R"(bc)", 1, 0},
      {R"(C:\Data\[M]ail)", R"(C:\Data)", 0, 3, ""},
      {R"(C:\Data\Ma[i]l)", R"(C:\Data)", 0, 1, "Ma"},
      {R"(C:\[a-c]\x)", R"(C:\b)", 0, 2, "x"},
  });
}

TEST(PathMatchTable, Escapes) {
  RunTable(Mode::kWildcards, {
      {R"(C:\x/*)", R"(C:\x*)", 1, 0},
      {R"(C:\x/*)", R"(C:\xy)", 0, 0},
      {R"(C:\x/?)", R"(C:\x?)", 1, 0},
      {R"(C:\x/?)", R"(C:\xa)", 0, 0},
      {R"(C:\x/[a])", R"(C:\x[a])", 1, 0},
      {R"(C:\x//y)", R"(C:\x/y)", 1, 0},
      {R"(C:\x/)", R"(C:\x/)", 1, 0},
      {R"(C:\x/)", R"(C:\x)", 0, 0},
      {R"(a/b)", R"(ab)", 1, 0},
      {R"(/*/*)", R"(**)", 1, 0},
      {R"(C:\Data\M/*x\y)", R"(C:\Data)", 0, 2, "M*x"},
      {R"(C:\Data\Mail/\y)", R"(C:\Data)", 0, 2, "Mail/"},
      {R"(C:\Data\Mail/)", R"(C:\Data)", 0, 2, "Mail/"},
      {R"(a/\b)", R"(a\b)", 1, 0},
      {R"(a*/\b)", R"(ax\b)", 1, 0},
  });
}

TEST(PathMatchTable, CaseFolding) {
  RunTable(Mode::kCaseInsensitive, {
      {R"(C:\DATA\*)", R"(c:\data\file)", 1, 0},
      {R"(C:\DATA\*)", R"(C:\DATA\FILE)", 1, 0},
      {R"(c:\data\*)", R"(C:\Data\x)", 1, 0},
      {R"([A-C]x)", R"(bX)", 1, 0},
      {R"(É)", R"(é)", 0, 0},
      {R"(straße)", R"(STRASSE)", 0, 0},
      {R"(C:\Data\Mail\*)", R"(c:\data)", 0, 2, "mail"},
      {R"(C:\[!A])", R"(C:\a)", 0, 0},
      {R"(C:\[!A])", R"(C:\B)", 1, 0},
      {R"(C:\Ä?)", R"(C:\Äx)", 1, 0},
  });
  RunTable(Mode::kWildcards, {
      {R"(C:\DATA\*)", R"(c:\data\file)", 0, 0},
      {R"(C:\Data\Mail)", R"(C:\Data\mail)", 0, 0},
  });
}

TEST(PathMatchTable, CodePoints) {
  RunTable(Mode::kWildcards, {
      {R"(C:\?.txt)", R"(C:\é.txt)", 1, 0},
      {R"(C:\*.txt)", R"(C:\é.txt)", 1, 0},
      {R"(C:\??.txt)", R"(C:\é.txt)", 0, 0},
      {R"(C:\[é])", R"(C:\é)", 1, 0},
      {R"(C:\[à-ê])", R"(C:\é)", 1, 0},
      {R"(C:\[!é])", R"(C:\e)", 1, 0},
      {R"(C:\[!é])", R"(C:\é)", 0, 0},
      {R"(?)", R"(😀)", 1, 0},
      {R"(C:\?\x)", R"(C:\日)", 0, 2, "x"},
      {R"(C:\[日本]*)", R"(C:\本語)", 1, 0},
      {R"(C:\?\Ü*)", R"(C:\a)", 0, 1, "Ü"},
      // Paths that are not UTF-8 are matched as bytes.
      {"C:\\?", "C:\\\xff", 1, 0},
      {"C:\\?", "C:\\\xc3", 1, 0},
      {"C:\\??", "C:\\\xc3\xa9", 0, 0},
      {"C:\\??", "C:\\\xed\xa0\x80", 0, 0},
      {"C:\\???", "C:\\\xed\xa0\x80", 1, 0},
  });
}

TEST(PathMatchTable, LiteralPatterns) {
  RunTable(Mode::kLiteral, {
      {R"(C:\a*b)", R"(C:\a*b)", 1, 0},
      {R"(C:\a*b)", R"(C:\axb)", 0, 0},
      {R"(C:\[x])", R"(C:\[x])", 1, 0},
      {R"(C:\[x])", R"(C:\x)", 0, 0},
      {R"(C:\a?)", R"(C:\a?)", 1, 0},
      {R"(C:\a?)", R"(C:\ab)", 0, 0},
      {R"(C:\x/y)", R"(C:\x/y)", 1, 0},
      {R"(C:\x/y)", R"(C:\xy)", 0, 0},
      {R"(C:\Data\**)", R"(C:\Data\**)", 1, 0},
      {R"(C:\Data\**)", R"(C:\Data\x)", 0, 0},
      {R"(C:\Data\Mail)", R"(C:\Data)", 0, 2, "Mail"},
      {R"(C:\Data\M*il)", R"(C:\Data)", 0, 2, "M*il"},
      {R"(C:\Data)", R"(c:\data)", 0, 0},
      {R"(C:\é?)", R"(C:\é?)", 1, 0},
      {R"()", R"()", 1, 0},
      {R"()", R"(x)", 0, 0},
  });
}

TEST(PathMatchTable, LastComponentOnly) {
  RunTable(Mode::kLastComponent, {
      {R"(C:\[x]\*.doc)", R"(C:\[x]\a.doc)", 1, 0},
      {R"(C:\[x]\*.doc)", R"(C:\x\a.doc)", 0, 0},
      {R"(C:\a*\[bc])", R"(C:\a*\b)", 1, 0},
      {R"(C:\a*\[bc])", R"(C:\ax\b)", 0, 0},
      {R"(C:\a*\[bc])", R"(C:\a*)", 0, 3, ""},
      {R"(C:\Data\?)", R"(C:\Data\x)", 1, 0},
      {R"(C:\?\Data\?)", R"(C:\x\Data\y)", 0, 0},
      {R"(C:\?\Data\?)", R"(C:\?\Data\y)", 1, 0},
      {R"(C:\Data\)", R"(C:\Data\)", 1, 0},
  });
}

TEST(PathMatchTable, UncNames) {
  RunTable(Mode::kUnc, {
      {R"(\\server\share\[a-m]*)", R"(\\server\share\kilo)", 1, 0},
      {R"(\\server\share\[a-m]*)", R"(\\server\share\zulu)", 0, 0},
      {R"(\\server\share\*)", R"(\\server\share)", 0, 3, ""},
      {R"(\\server\share\*)", R"(\\other\share\x)", 0, 0},
      {R"(\UNC-NT_server\*)", R"(\\server\x)", 1, 0},
      {R"(\\server\*)", R"(\UNC-NT_server\x)", 1, 0},
      {R"(\\srv\**)", R"(\\srv\a\b)", 1, 0},
      {R"(\\srv\share)", R"(\\srv)", 0, 2, "share"},
      {R"(\\server\share\*)", R"(\)", 0, 2, "UNC-NT_server"},
      {R"(C:\*)", R"(C:\x)", 1, 0},
      {R"(\\server\*)", R"(\server\x)", 0, 0},
  });
  RunTable(Mode::kWildcards, {
      {R"(\\srv\*)", R"(\\srv\x)", 1, 0},
      {R"(\\srv\*)", R"(\)", 0, 3, ""},
  });
}

TEST(PathMatchTable, RootAndOtherHints) {
  RunTable(Mode::kWildcards, {
      {R"(\Data\*)", R"(\)", 0, 2, "Data"},
      {R"(\*\x)", R"(\)", 0, 3, ""},
      {R"(C:\Data\*)", R"(\)", 0, 0},
      {R"(\)", R"(\)", 1, 0},
      {R"(\Data\**\Mail)", R"(\Data)", 0, 3, ""},
      {R"(\Data\Sub*\Mail)", R"(\Data\Subway)", 0, 2, "Mail"},
      {R"(\Data\Sub*\Mail)", R"(\Data\Sun)", 0, 0},
      {R"(\Data\A\B)", R"(\Data\A\)", 0, 0},
  });
}

// The fnmatch entry with its own flags: 0 is a match.
TEST(PathMatchTable, FnmatchFlags) {
  struct FlagCase {
    const char* pattern;
    const char* string;
    int flags;
    int result;
  };
  const FlagCase cases[] = {
      {R"(*)", R"(.hidden)", TPM_PERIOD, 1},
      {R"(*)", R"(.hidden)", 0, 0},
      {R"(?hidden)", R"(.hidden)", TPM_PERIOD, 1},
      {R"(.*)", R"(.hidden)", TPM_PERIOD, 0},
      {R"([.]hidden)", R"(.hidden)", TPM_PERIOD, 0},
      {R"(a\*)", R"(a\.x)", TPM_PERIOD | TPM_PATHNAME, 1},
      {R"(a\*)", R"(a\.x)", TPM_PERIOD, 0},
      {R"(x\*\y)", R"(x\.a\y)", TPM_PERIOD | TPM_PATHNAME, 1},
      {R"(x\**\y)", R"(x\.a\y)", TPM_PERIOD | TPM_PATHNAME, 0},
      // The rest of the pattern after a star is tried without the period rule.
      {R"(*x\?)", R"(ax\.)", TPM_PERIOD | TPM_PATHNAME, 0},
      {R"(*)", R"(a\b)", 0, 0},
      {R"(*)", R"(a\b)", TPM_PATHNAME, 1},
      {R"(a?b)", R"(a\b)", 0, 0},
      {R"(a?b)", R"(a\b)", TPM_PATHNAME, 1},
      {R"(a[\]b)", R"(a\b)", 0, 0},
      {R"(a/*)", R"(a*)", 0, 0},
      {R"(a/*)", R"(a/b)", TPM_NOESCAPE, 0},
      {R"(a/*)", R"(a*)", TPM_NOESCAPE, 1},
      {R"(\**)", R"(\a\b)", 0, 0},
      {R"(abc)", R"(abc)", 0, 0},
      {R"(abc)", R"(abd)", 0, 1},
      {R"()", R"()", TPM_PATHNAME, 0},
  };
  for (const FlagCase& c : cases) {
    TPathMatchTemplate<char> matcher;
    EXPECT_EQ(matcher.fnmatch(c.pattern, c.string, c.flags), c.result)
        << c.pattern << " " << c.string << " flags " << c.flags;
  }
  // Without pathname "**" is an ordinary star: nothing recursive.
  TPathMatchTemplate<char> matcher;
  EXPECT_EQ(matcher.fnmatch(R"(\**)", R"(\a\b)", 0), 0);
  EXPECT_FALSE(matcher.isRecursiveMatch());
  EXPECT_EQ(matcher.fnmatch(R"(\**)", R"(\a\b)", TPM_PATHNAME), 0);
  EXPECT_TRUE(matcher.isRecursiveMatch());
  EXPECT_TRUE(matcher.isMatchEverything());

  // Folding applies to the string only: fnmatch takes the pattern as given.
  TPathMatchTemplate<char> folding;
  folding.caseInsensitive();
  EXPECT_EQ(folding.fnmatch("A*", "abc", TPM_PATHNAME), 1);
  EXPECT_EQ(folding.fnmatch("a*", "ABC", TPM_PATHNAME), 0);
}

}  // namespace
