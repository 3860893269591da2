// Two threads parse their own vectors at once, many times over, each with
// diagnostics on: neither disturbs the other's results or permutation,
// and every diagnostic line reaches the standard error stream whole.

#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cmdline/GetOptTestUtil.h"
#include "zn/cmdline/CGetOpt.h"

namespace {

using zn::test::ArgVector;

constexpr int kRounds = 3000;

struct Result {
  int code;
  int optind;
  std::string optarg;
};

// One parse; false at the first result that differs from `expected`.
bool ParseOnce(const std::vector<const char*>& words, const char* shortopts, const Option* table,
               const std::vector<Result>& expected, const std::vector<std::string>& after) {
  ArgVector args(words);
  CGetOpt parser(args.argc(), args.argv(), shortopts, table);
  for (const Result& want : expected) {
    if (parser() != want.code || parser.optind != want.optind) return false;
    if ((parser.optarg == nullptr ? std::string("(null)") : std::string(parser.optarg)) != want.optarg) return false;
  }
  return args.Words() == after;
}

TEST(CGetOptThreads, TwoParsersAtOnceKeepTheirOwnState) {
  const char* const sizes[] = {"s", "m", nullptr};
  const Option first[] = {{"size", 1, nullptr, 300, sizes, nullptr},
                          {"files", 3, nullptr, 301, nullptr, nullptr},
                          {nullptr, 0, nullptr, 0, nullptr, nullptr}};
  const Option second[] = {{"name", 1, nullptr, 'n', nullptr, nullptr}, {nullptr, 0, nullptr, 0, nullptr, nullptr}};

  // Worked out by hand: a non-option, an invalid size, a list that takes
  // the unknown "-q" as a value, a size; the second vector has an unknown
  // option. Both are permuted.
  const std::vector<const char*> wordsA{"x1", "--size=l", "--files", "a", "-q", "--size", "m"};
  const std::vector<Result> expectedA{
      {'?', 3, "l"}, {301, 4, "(null)"}, {301, 5, "a"}, {301, 6, "-q"}, {300, 8, "m"}, {-1, 7, "(null)"}};
  const std::vector<std::string> afterA{"--size=l", "--files", "a", "-q", "--size", "m", "x1"};
  const std::vector<const char*> wordsB{"p", "-v", "q", "--name", "z", "-k"};
  const std::vector<Result> expectedB{{'v', 3, "(null)"}, {'n', 6, "z"}, {'?', 7, "(null)"}, {-1, 5, "(null)"}};
  const std::vector<std::string> afterB{"-v", "--name", "z", "-k", "p", "q"};

  std::atomic<int> failures{0};
  testing::internal::CaptureStderr();
  std::thread a([&] {
    for (int i = 0; i < kRounds; ++i) {
      if (!ParseOnce(wordsA, "", first, expectedA, afterA)) failures.fetch_add(1);
    }
  });
  std::thread b([&] {
    for (int i = 0; i < kRounds; ++i) {
      if (!ParseOnce(wordsB, "v", second, expectedB, afterB)) failures.fetch_add(1);
    }
  });
  a.join();
  b.join();
  const std::string diagnostics = testing::internal::GetCapturedStderr();
  EXPECT_EQ(failures.load(), 0);

  int invalid = 0;
  int unknownK = 0;
  std::istringstream lines(diagnostics);
  for (std::string line; std::getline(lines, line);) {
    if (line == "prog: value 'l' is invalid for option '--size'") {
      ++invalid;
    } else if (line == "prog: unrecognized option '-k'") {
      ++unknownK;
    } else {
      ADD_FAILURE() << "torn or unexpected line: " << line;
      break;
    }
  }
  EXPECT_EQ(invalid, kRounds);
  EXPECT_EQ(unknownK, kRounds);
}

}  // namespace
