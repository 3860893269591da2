// Argument vectors grouped by rule, each with the results, optind, values
// and diagnostics of every call and the order of the vector afterwards.
// Every expectation was worked out by hand from the parser's rules (the
// traces of the less obvious ones are in the comments); the cases on which
// glibc's getopt_long agrees are also checked against it by the
// differential test.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cmdline/GetOptTestUtil.h"
#include "zn/cmdline/CGetOpt.h"

namespace {

using zn::test::ArgVector;
using zn::test::ExpectSteps;
using zn::test::GetOptStep;

constexpr int kAlpha = 256;
constexpr int kBeta = 257;
constexpr int kGamma = 258;
constexpr int kLevel = 259;
constexpr int kItems = 260;
constexpr int kItem = 261;
constexpr int kOne = 262;
constexpr int kColors = 263;
constexpr int kVerify = 264;
constexpr int kPick = 265;

const char* const kLevels[] = {"low", "high", nullptr};
const char* const kColorWords[] = {"red", "green", "blue", nullptr};
int g_verbose = 0;

// Codes above 255 add nothing to the short options.
const Option kTableA[] = {
    {"alpha", 0, nullptr, kAlpha, nullptr, nullptr},
    {"beta", 1, nullptr, kBeta, nullptr, nullptr},
    {"gamma", 2, nullptr, kGamma, nullptr, nullptr},
    {"level", 1, nullptr, kLevel, kLevels, nullptr},
    {"items", 3, nullptr, kItems, nullptr, nullptr},
    {"item", 0, nullptr, kItem, nullptr, nullptr},
    {"one", 4, nullptr, kOne, nullptr, nullptr},
    {"colors", 3, nullptr, kColors, kColorWords, nullptr},
    {"verbose", 0, &g_verbose, 1, nullptr, nullptr},
    {"verify", 0, nullptr, kVerify, nullptr, nullptr},
    {"pick", 4, nullptr, kPick, kLevels, nullptr},
    {nullptr, 0, nullptr, 0, nullptr, nullptr},
};

// Character codes: the short options "ab:c::l:" are built from it; 300 and
// ':' are no short options.
const Option kTableB[] = {
    {"all", 0, nullptr, 'a', nullptr, nullptr},   {"block", 1, nullptr, 'b', nullptr, nullptr},
    {"count", 2, nullptr, 'c', nullptr, nullptr}, {"list", 3, nullptr, 'l', nullptr, nullptr},
    {"wide", 0, nullptr, 300, nullptr, nullptr},  {"colon", 0, nullptr, ':', nullptr, nullptr},
    {nullptr, 0, nullptr, 0, nullptr, nullptr},
};

enum class Table { kNone, kA, kB };

struct TableCase {
  const char* shortopts;
  Table table;
  int longOnly;
  bool posixOrder;  // _POSIX_OPTION_ORDER set
  std::vector<const char*> words;
  std::vector<GetOptStep> steps;  // the last one gives -1
  std::vector<const char*> after;  // the words afterwards; empty: unchanged
  const char* diagnostics;         // all that went to the standard error stream
};

void RunCases(const std::vector<TableCase>& cases) {
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const TableCase& c = cases[i];
    std::string trace = "case " + std::to_string(i + 1) + " [" + c.shortopts + "]";
    for (const char* word : c.words) trace += std::string(" '") + word + "'";
    SCOPED_TRACE(trace);

    zn::test::PosixOrderScope order(c.posixOrder);
    ArgVector args(c.words);
    const Option* table = c.table == Table::kA ? kTableA : c.table == Table::kB ? kTableB : nullptr;
    testing::internal::CaptureStderr();
    {
      CGetOpt parser(args.argc(), args.argv(), c.shortopts, table, nullptr, c.longOnly);
      ExpectSteps(parser, c.steps);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.diagnostics);
    const std::vector<const char*>& after = c.after.empty() ? c.words : c.after;
    EXPECT_EQ(args.Words(), std::vector<std::string>(after.begin(), after.end()));
  }
}

TEST(CGetOptTable, ShortOptions) {
  RunCases({
      {"ab:c::x", Table::kNone, 0, false, {"-a"}, {{'a', 2}, {-1, 2}}, {}, ""},
      // optind moves past a cluster when its last character is taken.
      {"ab:c::x", Table::kNone, 0, false, {"-ab", "val"}, {{'a', 1}, {'b', 3, "val"}, {-1, 3}}, {}, ""},
      {"ab:c::x", Table::kNone, 0, false, {"-abval"}, {{'a', 1}, {'b', 2, "val"}, {-1, 2}}, {}, ""},
      {"ab:c::x", Table::kNone, 0, false, {"-b"}, {{'?', 2, nullptr, 'b'}, {-1, 2}}, {},
       "prog: option '-b' requires an argument\n"},
      {":ab:", Table::kNone, 0, false, {"-b"}, {{':', 2, nullptr, 'b'}, {-1, 2}}, {},
       "prog: option '-b' requires an argument\n"},
      {"ab:c::x", Table::kNone, 0, false, {"-cval"}, {{'c', 2, "val"}, {-1, 2}}, {}, ""},
      // An optional argument is never the next word.
      {"ab:c::x", Table::kNone, 0, false, {"-c", "val"}, {{'c', 2}, {-1, 2}}, {}, ""},
      {"ab:c::x", Table::kNone, 0, false, {"-q"}, {{'?', 2, nullptr, 'q'}, {-1, 2}}, {},
       "prog: unrecognized option '-q'\n"},
      {"ab:c::x", Table::kNone, 0, false, {"-xq"}, {{'x', 1}, {'?', 2, nullptr, 'q'}, {-1, 2}}, {},
       "prog: unrecognized option '-q'\n"},
      // ':' is never an option character.
      {"ab:c::x", Table::kNone, 0, false, {"-a:"}, {{'a', 1}, {'?', 2, nullptr, ':'}, {-1, 2}}, {},
       "prog: unrecognized option '-:'\n"},
      // A required argument is the next word whatever it looks like.
      {"ab:c::x", Table::kNone, 0, false, {"-b", "-a"}, {{'b', 3, "-a"}, {-1, 3}}, {}, ""},
      {"ab:c::x", Table::kNone, 0, false, {"-ba"}, {{'b', 2, "a"}, {-1, 2}}, {}, ""},
      {"ab:c::x", Table::kNone, 0, false, {"-cab"}, {{'c', 2, "ab"}, {-1, 2}}, {}, ""},
      {"ab:c::x", Table::kNone, 0, false, {"-xab", "v"}, {{'x', 1}, {'a', 1}, {'b', 3, "v"}, {-1, 3}}, {}, ""},
  });
}

TEST(CGetOptTable, NonOptionsAndTheSpecialWords) {
  RunCases({
      {"x", Table::kNone, 0, false, {"-"}, {{-1, 1}}, {}, ""},
      {"x", Table::kNone, 0, false, {""}, {{-1, 1}}, {}, ""},
      {"x", Table::kNone, 0, false, {"--"}, {{-1, 2}}, {}, ""},
      // The first "--" ends the options; the second is left to the caller.
      {"x", Table::kNone, 0, false, {"--", "--"}, {{-1, 2}}, {}, ""},
      {"x", Table::kNone, 0, false, {"-x", "--", "-x"}, {{'x', 2}, {-1, 3}}, {}, ""},
      // "a" is skipped, then exchanged behind "--": -- a -x, optind on a.
      {"x", Table::kNone, 0, false, {"a", "--", "-x"}, {{-1, 2}}, {"--", "a", "-x"}, ""},
  });
}

TEST(CGetOptTable, Permutation) {
  RunCases({
      {"b:x", Table::kNone, 0, false, {"a", "-x", "b"}, {{'x', 3}, {-1, 2}}, {"-x", "a", "b"}, ""},
      // a b moved behind the first -x, then a b c behind the second.
      {"b:x",
       Table::kNone,
       0,
       false,
       {"a", "b", "-x", "c", "-x", "d"},
       {{'x', 4}, {'x', 6}, {-1, 3}},
       {"-x", "-x", "a", "b", "c", "d"},
       ""},
      // An option's separate argument moves with it.
      {"b:x", Table::kNone, 0, false, {"f1", "-b", "v", "f2"}, {{'b', 4, "v"}, {-1, 3}}, {"-b", "v", "f1", "f2"}, ""},
      // a goes behind -x, then behind "--"; what follows "--" stays.
      {"b:x",
       Table::kNone,
       0,
       false,
       {"a", "-x", "--", "-x", "b"},
       {{'x', 3}, {-1, 3}},
       {"-x", "--", "a", "-x", "b"},
       ""},
      {"b:x", Table::kNone, 0, false, {"a", "b"}, {{-1, 1}}, {}, ""},
      {"b:x", Table::kNone, 0, false, {"-x", "a", "-bv", "b"}, {{'x', 2}, {'b', 4, "v"}, {-1, 3}},
       {"-x", "-bv", "a", "b"}, ""},
      {"b:x",
       Table::kA,
       0,
       false,
       {"f1", "--beta", "v", "f2", "--alpha"},
       {{kBeta, 4, "v"}, {kAlpha, 6}, {-1, 4}},
       {"--beta", "v", "--alpha", "f1", "f2"},
       ""},
  });
}

TEST(CGetOptTable, Orderings) {
  RunCases({
      {"+x", Table::kNone, 0, false, {"a", "-x"}, {{-1, 1}}, {}, ""},
      {"+x", Table::kNone, 0, false, {"-x", "a", "-x"}, {{'x', 2}, {-1, 2}}, {}, ""},
      {"x", Table::kNone, 0, true, {"-x", "a", "-x"}, {{'x', 2}, {-1, 2}}, {}, ""},
      {"", Table::kNone, 0, true, {"a", "-x"}, {{-1, 1}}, {}, ""},
      {"", Table::kNone, 0, false, {"a", "-x"}, {{'?', 3, nullptr, 'x'}, {-1, 2}}, {"-x", "a"},
       "prog: unrecognized option '-x'\n"},
      // Return-in-order: a non-option comes back as 0 with optopt -1.
      {"-x", Table::kNone, 0, false, {"a", "-x", "b"}, {{0, 2, "a", -1}, {'x', 3}, {0, 4, "b", -1}, {-1, 4}}, {}, ""},
      {"-x", Table::kNone, 0, true, {"a", "-x", "b"}, {{0, 2, "a", -1}, {'x', 3}, {0, 4, "b", -1}, {-1, 4}}, {}, ""},
      {"-x", Table::kNone, 0, false, {"a", "--", "b", "-x"}, {{0, 2, "a", -1}, {-1, 3}}, {}, ""},
      {"-x", Table::kNone, 0, false, {"-", ""}, {{0, 2, "-", -1}, {0, 3, "", -1}, {-1, 3}}, {}, ""},
      {"+x", Table::kNone, 0, false, {"-x", "--", "-x"}, {{'x', 2}, {-1, 3}}, {}, ""},
      {"x", Table::kNone, 0, true, {"-x", "--", "a"}, {{'x', 2}, {-1, 3}}, {}, ""},
  });
}

TEST(CGetOptTable, LongOptions) {
  RunCases({
      {"ab:x", Table::kA, 0, false, {"--alpha"}, {{kAlpha, 2}, {-1, 2}}, {}, ""},
      {"ab:x", Table::kA, 0, false, {"--al"}, {{kAlpha, 2}, {-1, 2}}, {}, ""},
      {"ab:x", Table::kA, 0, false, {"--a"}, {{kAlpha, 2}, {-1, 2}}, {}, ""},
      {"ab:x", Table::kA, 0, false, {"--beta=v"}, {{kBeta, 2, "v"}, {-1, 2}}, {}, ""},
      {"ab:x", Table::kA, 0, false, {"--beta", "v"}, {{kBeta, 3, "v"}, {-1, 3}}, {}, ""},
      {"ab:x", Table::kA, 0, false, {"--beta"}, {{'?', 2}, {-1, 2}}, {},
       "prog: option '--beta' requires an argument\n"},
      // The message quotes the word as typed.
      {":ab:x", Table::kA, 0, false, {"--be"}, {{':', 2}, {-1, 2}}, {}, "prog: option '--be' requires an argument\n"},
      {"ab:x", Table::kA, 0, false, {"--beta="}, {{kBeta, 2, ""}, {-1, 2}}, {}, ""},
      {"ab:x",
       Table::kA,
       0,
       false,
       {"--gamma", "v", "--gamma=w"},
       {{kGamma, 2}, {kGamma, 4, "w"}, {-1, 3}},
       {"--gamma", "--gamma=w", "v"},
       ""},
      {"ab:x", Table::kA, 0, false, {"--alpha=v"}, {{'?', 2}, {-1, 2}}, {},
       "prog: option '--alpha' doesn't allow an argument\n"},
      // ... and this one the entry's name.
      {"ab:x", Table::kA, 0, false, {"--al=v"}, {{'?', 2}, {-1, 2}}, {},
       "prog: option '--alpha' doesn't allow an argument\n"},
      {"ab:x", Table::kA, 0, false, {"--ver"}, {{'?', 2}, {-1, 2}}, {}, "prog: option '--ver' is ambiguous\n"},
      {"ab:x", Table::kA, 0, false, {"--v=1"}, {{'?', 2}, {-1, 2}}, {}, "prog: option '--v=1' is ambiguous\n"},
      {"ab:x", Table::kA, 0, false, {"--nope"}, {{'?', 2}, {-1, 2}}, {}, "prog: unrecognized option '--nope'\n"},
      {"ab:x", Table::kA, 0, false, {"--nope=x"}, {{'?', 2}, {-1, 2}}, {}, "prog: unrecognized option '--nope'\n"},
      // An exact name wins over a longer one it begins.
      {"ab:x", Table::kA, 0, false, {"--item"}, {{kItem, 2}, {-1, 2}}, {}, ""},
      {"ab:x", Table::kA, 0, false, {"--ite"}, {{'?', 2}, {-1, 2}}, {}, "prog: option '--ite' is ambiguous\n"},
      {"ab:x", Table::kA, 0, false, {"--lev=high"}, {{kLevel, 2, "high", 0, 1}, {-1, 2}}, {}, ""},
      {"ab:x", Table::kA, 0, false, {"--level=mid"}, {{'?', 2, "mid"}, {-1, 2}}, {},
       "prog: value 'mid' is invalid for option '--level'\n"},
      {"ab:x", Table::kA, 0, false, {"--level", "low"}, {{kLevel, 3, "low", 0, 0}, {-1, 3}}, {}, ""},
      // An empty name begins every entry.
      {"ab:x", Table::kA, 0, false, {"--=x"}, {{'?', 2}, {-1, 2}}, {}, "prog: option '--=x' is ambiguous\n"},
      // Without a table "--ax" is the short options '-', 'a' and 'x'.
      {"a",
       Table::kNone,
       0,
       false,
       {"--ax"},
       {{'?', 1, nullptr, '-'}, {'a', 1}, {'?', 2, nullptr, 'x'}, {-1, 2}},
       {},
       "prog: unrecognized option '--'\nprog: unrecognized option '-x'\n"},
      {"ab:x", Table::kA, 0, false, {"--", "--alpha"}, {{-1, 2}}, {}, ""},
      // An entry with a flag gives 0.
      {"ab:x", Table::kA, 0, false, {"--verb"}, {{0, 2}, {-1, 2}}, {}, ""},
  });
}

TEST(CGetOptTable, LongOnly) {
  RunCases({
      {"ab:x", Table::kA, 1, false, {"-alpha"}, {{kAlpha, 2}, {-1, 2}}, {}, ""},
      // One character that is a short option stays one.
      {"ab:x", Table::kA, 1, false, {"-a"}, {{'a', 2}, {-1, 2}}, {}, ""},
      {"ab:x", Table::kA, 1, false, {"-al"}, {{kAlpha, 2}, {-1, 2}}, {}, ""},
      // No entry begins with "ab": the word is read as short options.
      {"ab:x", Table::kA, 1, false, {"-ab", "v"}, {{'a', 1}, {'b', 3, "v"}, {-1, 3}}, {}, ""},
      {"ab:x",
       Table::kA,
       1,
       false,
       {"-xyz"},
       {{'x', 1}, {'?', 1, nullptr, 'y'}, {'?', 2, nullptr, 'z'}, {-1, 2}},
       {},
       "prog: unrecognized option '-y'\nprog: unrecognized option '-z'\n"},
      // 'q' is no short option: a long one that does not exist.
      {"ab:x", Table::kA, 1, false, {"-q"}, {{'?', 2}, {-1, 2}}, {}, "prog: unrecognized option '-q'\n"},
      {"ab:x", Table::kA, 1, false, {"-beta=v"}, {{kBeta, 2, "v"}, {-1, 2}}, {}, ""},
      {"ab:x", Table::kA, 1, false, {"-alpha=v"}, {{'?', 2}, {-1, 2}}, {},
       "prog: option '-alpha' doesn't allow an argument\n"},
      {"ab:x", Table::kA, 1, false, {"-level=mid"}, {{'?', 2, "mid"}, {-1, 2}}, {},
       "prog: value 'mid' is invalid for option '-level'\n"},
      {"ab:x", Table::kA, 1, false, {"-ver"}, {{'?', 2}, {-1, 2}}, {}, "prog: option '-ver' is ambiguous\n"},
      {"ab:x", Table::kA, 1, false, {"-g"}, {{kGamma, 2}, {-1, 2}}, {}, ""},
      {"ab:x", Table::kA, 1, false, {"--alpha"}, {{kAlpha, 2}, {-1, 2}}, {}, ""},
      {"ab:x", Table::kA, 1, false, {"-be"}, {{'?', 2}, {-1, 2}}, {}, "prog: option '-be' requires an argument\n"},
  });
}

TEST(CGetOptTable, ListOptions) {
  RunCases({
      {"x",
       Table::kA,
       0,
       false,
       {"--items", "a", "b", "-x"},
       {{kItems, 2}, {kItems, 3, "a"}, {kItems, 4, "b"}, {'x', 5}, {-1, 5}},
       {},
       ""},
      // An empty list ends with its code a second time, null optarg.
      {"x", Table::kA, 0, false, {"--items", "-x"}, {{kItems, 2}, {kItems, 2}, {'x', 3}, {-1, 3}}, {}, ""},
      {"x", Table::kA, 0, false, {"--items"}, {{kItems, 2}, {kItems, 2}, {-1, 2}}, {}, ""},
      // A one-value list takes one word; b is an ordinary non-option.
      {"x", Table::kA, 0, false, {"--one", "a", "b"}, {{kOne, 2}, {kOne, 3, "a"}, {-1, 3}}, {}, ""},
      {"x", Table::kA, 0, false, {"--one=a", "b"}, {{kOne, 2, "a"}, {-1, 2}}, {}, ""},
      {"x",
       Table::kA,
       0,
       false,
       {"--items=a", "b", "c"},
       {{kItems, 2, "a"}, {kItems, 3, "b"}, {kItems, 4, "c"}, {-1, 4}},
       {},
       ""},
      {"x",
       Table::kA,
       0,
       false,
       {"--colors", "red", "blue", "pink"},
       {{kColors, 2}, {kColors, 3, "red", 0, 0}, {kColors, 4, "blue", 0, 2}, {-1, 4}},
       {},
       ""},
      {"x", Table::kA, 0, false, {"--colors", "pink"}, {{kColors, 2}, {kColors, 2}, {-1, 2}}, {}, ""},
      // The refused value stays in optarg (for PrintInvalid) and the list
      // stays current; it then meets the end.
      {"x", Table::kA, 0, false, {"--colors=pink"}, {{'?', 2, "pink"}, {-1, 2}}, {},
       "prog: value 'pink' is invalid for option '--colors'\n"},
      {"x",
       Table::kA,
       0,
       false,
       {"--colors=red", "green"},
       {{kColors, 2, "red", 0, 0}, {kColors, 3, "green", 0, 1}, {-1, 3}},
       {},
       ""},
      // Inside a list, what is no option is a value.
      {"x", Table::kA, 0, false, {"--items", "--nope"}, {{kItems, 2}, {kItems, 3, "--nope"}, {-1, 3}}, {}, ""},
      {"x", Table::kA, 0, false, {"--items", "--ver"}, {{kItems, 2}, {kItems, 3, "--ver"}, {-1, 3}}, {}, ""},
      {"x", Table::kA, 0, false, {"--items", "-q"}, {{kItems, 2}, {kItems, 3, "-q"}, {-1, 3}}, {}, ""},
      // After -x, "q" is the rest of the word.
      {"x",
       Table::kA,
       0,
       false,
       {"--items", "a", "-xq"},
       {{kItems, 2}, {kItems, 3, "a"}, {'x', 3}, {kItems, 4, "q"}, {-1, 4}},
       {},
       ""},
      // A control character ends the empty list, then is refused.
      {"x",
       Table::kA,
       0,
       false,
       {"--items", "-\x02"},
       {{kItems, 2}, {kItems, 2}, {'?', 3, nullptr, 2}, {-1, 3}},
       {},
       "prog: unrecognized option, character code 02\n"},
      {"x", Table::kA, 0, false, {"--items", "--alpha"}, {{kItems, 2}, {kItems, 2}, {kAlpha, 3}, {-1, 3}}, {}, ""},
      // "--" is consumed (optind 4), the list ends, then optind goes back
      // to the word after "--".
      {"x", Table::kA, 0, false, {"--items", "--", "a"}, {{kItems, 2}, {kItems, 4}, {-1, 3}}, {}, ""},
      // A list stays current across the options it meets.
      {"x",
       Table::kA,
       0,
       false,
       {"--items", "a", "-x", "b"},
       {{kItems, 2}, {kItems, 3, "a"}, {'x', 4}, {kItems, 5, "b"}, {-1, 5}},
       {},
       ""},
      // "-" is skipped as a non-option (optind 3) and the list ends there.
      {"x", Table::kA, 0, false, {"--items", "-"}, {{kItems, 2}, {kItems, 3}, {-1, 2}}, {}, ""},
      {"+x", Table::kA, 0, false, {"--one", "a", "b"}, {{kOne, 2}, {kOne, 3, "a"}, {-1, 3}}, {}, ""},
      {"x",
       Table::kA,
       0,
       false,
       {"--pick", "high", "low"},
       {{kPick, 2}, {kPick, 3, "high", 0, 1}, {-1, 3}},
       {},
       ""},
      {"-x",
       Table::kA,
       0,
       false,
       {"--items", "a", "b"},
       {{kItems, 2}, {kItems, 3, "a"}, {kItems, 4, "b"}, {-1, 4}},
       {},
       ""},
      // f is exchanged behind "--items a" when -x comes; g is one more
      // item; at the end f goes behind "-x g" and optind points at it.
      {"x",
       Table::kA,
       0,
       false,
       {"f", "--items", "a", "-x", "g"},
       {{kItems, 3}, {kItems, 4, "a"}, {'x', 5}, {kItems, 6, "g"}, {-1, 5}},
       {"--items", "a", "-x", "g", "f"},
       ""},
  });
}

TEST(CGetOptTable, ShortOptionsBuiltFromTheTable) {
  RunCases({
      {"x",
       Table::kB,
       0,
       false,
       {"-a", "-bV", "-c", "-cW", "-lX"},
       {{'a', 2}, {'b', 3, "V"}, {'c', 4}, {'c', 5, "W"}, {'l', 6, "X"}, {-1, 6}},
       {},
       ""},
      {"x", Table::kB, 0, false, {"-b"}, {{'?', 2, nullptr, 'b'}, {-1, 2}}, {},
       "prog: option '-b' requires an argument\n"},
      {"x", Table::kB, 0, false, {"-:"}, {{'?', 2, nullptr, ':'}, {-1, 2}}, {}, "prog: unrecognized option '-:'\n"},
      // 300 is no character: ',' (300 mod 256) is no option.
      {"x", Table::kB, 0, false, {"-,"}, {{'?', 2, nullptr, ','}, {-1, 2}}, {}, "prog: unrecognized option '-,'\n"},
      {"x", Table::kB, 0, false, {"--all", "-x", "--wide"}, {{'a', 2}, {'x', 3}, {300, 4}, {-1, 4}}, {}, ""},
      // The caller's own short options come first.
      {"a:", Table::kB, 0, false, {"-a", "v"}, {{'a', 3, "v"}, {-1, 3}}, {}, ""},
  });
}

TEST(CGetOptTable, Diagnostics) {
  RunCases({
      {"x", Table::kNone, 0, false, {"-\x01"}, {{'?', 2, nullptr, 1}, {-1, 2}}, {},
       "prog: unrecognized option, character code 01\n"},
      {"x",
       Table::kNone,
       0,
       false,
       {"-\xc3\xa9"},
       {{'?', 1, nullptr, 0xc3}, {'?', 2, nullptr, 0xa9}, {-1, 2}},
       {},
       "prog: unrecognized option, character code 0303\nprog: unrecognized option, character code 0251\n"},
      {"x", Table::kNone, 0, false, {"-\x7f"}, {{'?', 2, nullptr, 0x7f}, {-1, 2}}, {},
       "prog: unrecognized option, character code 0177\n"},
      {"x", Table::kA, 0, false, {"--a\tb"}, {{'?', 2}, {-1, 2}}, {}, "prog: unrecognized option '--a^Ib'\n"},
      {"x", Table::kA, 0, false, {"--level=\x1b[0m"}, {{'?', 2, "\x1b[0m"}, {-1, 2}}, {},
       "prog: value '^[[0m' is invalid for option '--level'\n"},
  });
}

}  // namespace
