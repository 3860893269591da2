// CGetOpt beyond the table: flags and the long index, taking words as
// values, the invalid-argument diagnostic, bad vectors, words and
// permutations larger than any buffer, and copies.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "cmdline/GetOptTestUtil.h"
#include "zn/cmdline/CGetOpt.h"

namespace {

using zn::test::ArgVector;
using zn::test::ExpectSteps;

TEST(CGetOpt, FlagsReceiveTheCodeAndTheLongIndexFollowsSuccess) {
  int verbose = 0;
  int listed = 0;
  int index = -5;
  const Option table[] = {
      {"verbose", 0, &verbose, 7, nullptr, nullptr},
      {"name", 1, nullptr, 300, nullptr, nullptr},
      {"files", 3, &listed, 9, nullptr, nullptr},
      {nullptr, 0, nullptr, 0, nullptr, nullptr},
  };
  ArgVector args({"--verb", "--name", "--files", "a", "--name"});
  testing::internal::CaptureStderr();
  CGetOpt parser(args.argc(), args.argv(), "", table, &index);
  EXPECT_EQ(parser(), 0);
  EXPECT_EQ(verbose, 7);
  EXPECT_EQ(index, 0);
  // A required argument is the next word, even one that looks like an option.
  EXPECT_EQ(parser(), 300);
  EXPECT_STREQ(parser.optarg, "--files");
  EXPECT_EQ(index, 1);
  // "a" is a non-option; the last --name lacks its argument: the index
  // keeps the last success.
  EXPECT_EQ(parser(), '?');
  EXPECT_EQ(index, 1);
  EXPECT_EQ(parser(), -1);
  EXPECT_EQ(parser.optind, 5);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "prog: option '--name' requires an argument\n");

  // A list through a flag: every value and the end give 0 with the code in the flag.
  ArgVector list({"--files", "x", "--files"});
  CGetOpt lists(list.argc(), list.argv(), "", table, &index);
  EXPECT_EQ(lists(), 0);
  EXPECT_EQ(listed, 9);
  EXPECT_EQ(index, 2);
  listed = 0;
  EXPECT_EQ(lists(), 0);
  EXPECT_STREQ(lists.optarg, "x");
  EXPECT_EQ(listed, 9);
  listed = 0;
  EXPECT_EQ(lists(), 0);  // the second --files
  EXPECT_EQ(listed, 9);
  listed = 0;
  EXPECT_EQ(lists(), 0);  // and its empty list ending
  EXPECT_EQ(lists.optarg, nullptr);
  EXPECT_EQ(listed, 9);
  EXPECT_EQ(lists(), -1);
}

TEST(CGetOpt, NextArgTakesNumbersAndWords) {
  ArgVector args({"-n", " 42", "-7", "+3x", "2147483648", "3.5e2", "-0x1p4", "inf", ".", "word", "-w", ""});
  CGetOpt parser(args.argc(), args.argv(), "n");
  ASSERT_EQ(parser(), 'n');
  int number = 0;
  ASSERT_EQ(parser.NextArg(number), 1);  // leading blanks
  EXPECT_EQ(number, 42);
  ASSERT_EQ(parser.NextArg(number), 1);  // a sign is no option here
  EXPECT_EQ(number, -7);
  ASSERT_EQ(parser.NextArg(number), 1);  // trailing text is left
  EXPECT_EQ(number, 3);
  EXPECT_EQ(parser.NextArg(number), 0);  // out of range
  EXPECT_EQ(number, 3);
  EXPECT_EQ(parser.optind, 5);
  parser.optind = 5;
  double real = 0;
  ASSERT_EQ(parser.NextArg(real), 1);  // 2147483648 is a fine double
  EXPECT_EQ(real, 2147483648.0);
  ASSERT_EQ(parser.NextArg(real), 1);
  EXPECT_EQ(real, 350.0);
  ASSERT_EQ(parser.NextArg(real), 1);
  EXPECT_EQ(real, -16.0);
  ASSERT_EQ(parser.NextArg(real), 1);
  EXPECT_TRUE(std::isinf(real));
  EXPECT_EQ(parser.NextArg(real), 0);
  EXPECT_EQ(parser.NextArg(number), 0);
  EXPECT_EQ(parser.FirstChar(), '.');
  ++parser.optind;
  std::string text;
  ASSERT_EQ(parser.NextArg(text), 1);
  EXPECT_EQ(text, "word");
  EXPECT_EQ(parser.FirstChar(), '-');
  EXPECT_EQ(parser.NextArg(text), 0);  // begins with '-'
  ++parser.optind;
  ASSERT_EQ(parser.NextArg(text), 1);  // an empty word is a word
  EXPECT_EQ(text, "");
  EXPECT_EQ(parser.FirstChar(), 0);  // past the end
  EXPECT_EQ(parser.NextArg(text), 0);
  EXPECT_EQ(parser.NextArg(number), 0);
  EXPECT_EQ(parser.NextArg(real), 0);
  EXPECT_EQ(parser(), -1);
}

TEST(CGetOpt, NextArgForgetsTheCurrentList) {
  const Option table[] = {{"items", 3, nullptr, 400, nullptr, nullptr}, {nullptr, 0, nullptr, 0, nullptr, nullptr}};
  ArgVector args({"--items", "5", "b"});
  CGetOpt parser(args.argc(), args.argv(), "", table);
  ASSERT_EQ(parser(), 400);
  int number = 0;
  ASSERT_EQ(parser.NextArg(number), 1);
  EXPECT_EQ(number, 5);
  // "b" is no item now, and the empty list does not end a second time.
  EXPECT_EQ(parser(), -1);
  EXPECT_EQ(parser.optind, 3);
}

TEST(CGetOpt, NextArgInsideAClusterMovesToTheNextWord) {
  ArgVector args({"-a5", "-b"});
  CGetOpt parser(args.argc(), args.argv(), "ab");
  ASSERT_EQ(parser(), 'a');
  EXPECT_EQ(parser.optind, 1);
  int number = 0;
  // "%d" reads no number from "-a5".
  EXPECT_EQ(parser.NextArg(number), 0);
  ArgVector numeric({"-5", "-b"});
  CGetOpt second(numeric.argc(), numeric.argv(), "5b");
  testing::internal::CaptureStderr();
  ASSERT_EQ(second.NextArg(number), 1);
  EXPECT_EQ(number, -5);
  EXPECT_EQ(second(), 'b');
  EXPECT_EQ(second(), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(CGetOpt, PrintInvalidShowsControlCharacters) {
  ArgVector args({"-v", "a\tb\x01\x1f\x7f\xc3\xa9 c"});
  CGetOpt parser(args.argc(), args.argv(), "v:");
  ASSERT_EQ(parser(), 'v');
  testing::internal::CaptureStderr();
  parser.opterr = 0;  // PrintInvalid is asked for; opterr does not silence it
  parser.PrintInvalid();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "prog: invalid argument 'a^Ib^A^_\x7f\xc3\xa9 c'\n");
  ASSERT_EQ(parser(), -1);
  testing::internal::CaptureStderr();
  parser.PrintInvalid();  // no optarg
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "prog: invalid argument ''\n");
}

TEST(CGetOpt, OptErrOffSilencesEveryDiagnostic) {
  const char* const levels[] = {"low", nullptr};
  const Option table[] = {
      {"alpha", 0, nullptr, 300, nullptr, nullptr}, {"alps", 0, nullptr, 301, nullptr, nullptr},
      {"need", 1, nullptr, 302, nullptr, nullptr},  {"level", 1, nullptr, 303, levels, nullptr},
      {nullptr, 0, nullptr, 0, nullptr, nullptr},
  };
  ArgVector args({"--al", "--nope", "--alpha=1", "--level=x", "-q", "-\x01", "-b", "--need"});
  testing::internal::CaptureStderr();
  CGetOpt parser(args.argc(), args.argv(), "b:", table);
  parser.opterr = 0;
  ExpectSteps(parser, {{'?', 2},
                       {'?', 3},
                       {'?', 4},
                       {'?', 5, "x"},
                       {'?', 6, nullptr, 'q'},
                       {'?', 7, nullptr, 1},
                       {'b', 9, "--need"},
                       {-1, 9}});
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(CGetOpt, BadVectorsNeverCrash) {
  testing::internal::CaptureStderr();
  CGetOpt none(3, nullptr, "ab");
  EXPECT_EQ(none(), -1);
  EXPECT_EQ(none.optind, 1);
  EXPECT_EQ(none.FirstChar(), 0);
  int number = 0;
  EXPECT_EQ(none.NextArg(number), 0);
  none.PrintInvalid();  // no program name

  char* empty[] = {nullptr};
  CGetOpt zero(0, empty, nullptr);
  EXPECT_EQ(zero(), -1);
  EXPECT_EQ(zero.optind, 1);
  CGetOpt negative(-3, empty, "a");
  EXPECT_EQ(negative(), -1);

  // A null entry ends the vector.
  ArgVector args({"-a", "x"});
  args.argv()[2] = nullptr;
  CGetOpt cut(3, args.argv(), "a");
  EXPECT_EQ(cut(), 'a');
  EXPECT_EQ(cut(), -1);
  EXPECT_EQ(cut.optind, 2);

  // No short options, an empty table.
  const Option table[] = {{nullptr, 0, nullptr, 0, nullptr, nullptr}};
  ArgVector more({"-a", "--b", "c"});
  CGetOpt bare(more.argc(), more.argv(), nullptr, table, nullptr, 1);
  EXPECT_EQ(bare(), '?');
  EXPECT_EQ(bare(), '?');
  EXPECT_EQ(bare(), -1);
  EXPECT_EQ(bare.optind, 3);

  // optind moved anywhere by the caller.
  ArgVector moved({"a", "-x", "b"});
  CGetOpt wild(moved.argc(), moved.argv(), "x");
  wild.optind = 99;
  EXPECT_EQ(wild(), -1);
  wild.optind = -4;
  EXPECT_EQ(wild(), 'x');
  EXPECT_EQ(wild(), -1);
  EXPECT_EQ(wild.optind, 2);
  wild.optind = 1000;
  EXPECT_EQ(wild.FirstChar(), 0);
  EXPECT_EQ(wild.NextArg(number), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            ": invalid argument ''\n"
            "prog: unrecognized option '-a'\n"
            "prog: unrecognized option '--b'\n");
}

TEST(CGetOpt, WordsLongerThanAnyBuffer) {
  const Option table[] = {{"x", 1, nullptr, 300, nullptr, nullptr}, {nullptr, 0, nullptr, 0, nullptr, nullptr}};
  const std::string name(100000, 'n');
  const std::string value(300000, 'v');
  const std::string cluster = "-" + std::string(5000, 'a') + "q";
  ArgVector args({("--" + name + "=" + value).c_str(), ("--x=" + value).c_str(), cluster.c_str()});
  testing::internal::CaptureStderr();
  CGetOpt parser(args.argc(), args.argv(), "a", table);
  EXPECT_EQ(parser(), '?');
  EXPECT_EQ(parser(), 300);
  EXPECT_EQ(std::string(parser.optarg), value);
  for (int i = 0; i < 5000; ++i) ASSERT_EQ(parser(), 'a');
  EXPECT_EQ(parser(), '?');
  EXPECT_EQ(parser.optopt, 'q');
  EXPECT_EQ(parser(), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "prog: unrecognized option '--" + name + "'\nprog: unrecognized option '-q'\n");
}

TEST(CGetOpt, LargePermutationsKeepTheOrderOfBothBlocks) {
  // n0..n399, then --items with its 400 allowed words (taken without
  // moving anything), then -x, n400..n699 and -x: the exchange before the
  // first -x moves two blocks of several hundred entries at once.
  std::vector<std::string> texts;
  std::vector<std::string> itemTexts;
  for (int i = 0; i < 400; ++i) texts.push_back("n" + std::to_string(i));
  texts.push_back("--items");
  for (int i = 0; i < 400; ++i) itemTexts.push_back("i" + std::to_string(i));
  texts.insert(texts.end(), itemTexts.begin(), itemTexts.end());
  texts.push_back("-x");
  for (int i = 400; i < 700; ++i) texts.push_back("n" + std::to_string(i));
  texts.push_back("-x");
  std::vector<const char*> words;
  for (const std::string& text : texts) words.push_back(text.c_str());
  std::vector<const char*> allowed;
  for (const std::string& text : itemTexts) allowed.push_back(text.c_str());
  allowed.push_back(nullptr);
  const Option table[] = {{"items", 3, nullptr, 400, allowed.data(), nullptr},
                          {nullptr, 0, nullptr, 0, nullptr, nullptr}};
  ArgVector args(words);

  CGetOpt parser(args.argc(), args.argv(), "x", table);
  ASSERT_EQ(parser(), 400);
  for (int i = 0; i < 400; ++i) {
    ASSERT_EQ(parser(), 400);
    ASSERT_EQ(std::string(parser.optarg), "i" + std::to_string(i));
    ASSERT_EQ(parser.valueIndex, i);
  }
  // -x is no allowed word: the list is over.
  ASSERT_EQ(parser(), 'x');
  ASSERT_EQ(parser(), 'x');
  ASSERT_EQ(parser(), -1);

  std::vector<std::string> expected{"--items"};
  expected.insert(expected.end(), itemTexts.begin(), itemTexts.end());
  expected.push_back("-x");
  expected.push_back("-x");
  for (int i = 0; i < 700; ++i) expected.push_back("n" + std::to_string(i));
  EXPECT_EQ(args.Words(), expected);
  EXPECT_EQ(parser.optind, 1 + 1 + 400 + 2);
}

TEST(CGetOpt, AlternatingOptionsAndNonOptions) {
  std::vector<std::string> texts;
  for (int i = 0; i < 3000; ++i) {
    texts.push_back("f" + std::to_string(i));
    texts.push_back(i % 2 == 0 ? "-a" : "-bv");
  }
  std::vector<const char*> words;
  for (const std::string& text : texts) words.push_back(text.c_str());
  ArgVector args(words);
  CGetOpt parser(args.argc(), args.argv(), "ab:");
  for (int i = 0; i < 3000; ++i) ASSERT_EQ(parser(), i % 2 == 0 ? 'a' : 'b');
  ASSERT_EQ(parser(), -1);
  EXPECT_EQ(parser.optind, 3001);
  const std::vector<std::string> after = args.Words();
  for (int i = 0; i < 3000; ++i) {
    ASSERT_EQ(after[i], i % 2 == 0 ? "-a" : "-bv");
    ASSERT_EQ(after[3000 + i], "f" + std::to_string(i));
  }
}

TEST(CGetOpt, ACopyGoesOnFromTheSamePoint) {
  const Option table[] = {{"items", 3, nullptr, 400, nullptr, nullptr}, {nullptr, 0, nullptr, 0, nullptr, nullptr}};
  ArgVector args({"-ab", "--items", "p", "q", "-b", "r"});
  CGetOpt parser(args.argc(), args.argv(), "+ab", table);
  ASSERT_EQ(parser(), 'a');
  ASSERT_EQ(parser(), 'b');
  ASSERT_EQ(parser(), 400);
  ASSERT_EQ(parser(), 400);  // p
  const CGetOpt copy(parser);
  CGetOpt assigned(args.argc(), args.argv(), "");
  assigned = parser;
  for (CGetOpt* each : {&parser, &assigned}) {
    ExpectSteps(*each, {{400, 5, "q"}, {'b', 6}, {400, 7, "r"}, {-1, 7}});
  }
  CGetOpt again(copy);
  ExpectSteps(again, {{400, 5, "q"}, {'b', 6}, {400, 7, "r"}, {-1, 7}});
}

TEST(CGetOpt, ConstantTextsAndTheLongOnlyTable) {
  const char* argv[] = {"tool", "-level", "3", "file", nullptr};
  const Option table[] = {{"level", 1, nullptr, 'l', nullptr, nullptr}, {nullptr, 0, nullptr, 0, nullptr, nullptr}};
  CGetOpt parser(4, argv, "", table, nullptr, 1);
  EXPECT_EQ(parser(), 'l');
  EXPECT_STREQ(parser.optarg, "3");
  EXPECT_EQ(parser(), -1);
  EXPECT_STREQ(argv[parser.optind], "file");
  // -l is the built short option of the same entry.
  const char* shortForm[] = {"tool", "-l4"};
  CGetOpt second(2, shortForm, "", table, nullptr, 1);
  EXPECT_EQ(second(), 'l');
  EXPECT_STREQ(second.optarg, "4");
}

}  // namespace
