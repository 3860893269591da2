// BatchSort and znSortAndReplace against GNU sort (LC_ALL=C, the byte
// order), with one run and with many, and the sorter's own rules where they
// differ from sort(1): the folded order, ties across runs, unique lines,
// long lines.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "helpers/TempDir.h"
#include "sort/SortTestUtil.h"
#include "zn/sort/BatchSort.h"

namespace {

using zn::test::PeerSort;
using zn::test::RandomLines;
using zn::test::ReadFile;
using zn::test::TempDir;
using zn::test::WriteFile;

// Exposes the counters a test checks the run arithmetic by.
class ProbedSort : public BatchSort {
 public:
  unsigned long long runs() const { return m_runCounter; }
  std::size_t bufferSize() const { return m_bufferSize; }
};

struct Sorted {
  int result = -1;
  std::string text;
  std::string error;
  unsigned long long runs = 0;
};

Sorted SortText(const TempDir& dir, const std::string& input, int ascending, int caseSensitive, int unique,
                std::size_t bufferSize) {
  WriteFile(dir.file("in"), input);
  ::mkdir(dir.file("work").c_str(), 0700);
  ProbedSort sorter;
  Sorted sorted;
  sorted.result = sorter.init(dir.file("in").c_str(), dir.file("out").c_str(), dir.file("work").c_str(), ascending,
                              caseSensitive, unique, bufferSize);
  if (sorted.result == 0) sorted.result = sorter.sort();
  sorted.text = ReadFile(dir.file("out"));
  sorted.error = sorter.getErrorText();
  sorted.runs = sorter.runs();
  return sorted;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
  });
  return text;
}

TEST(BatchSort, MatchesGnuSortOnRandomLinesInOneRunAndInMany) {
  TempDir dir;
  const std::string input = RandomLines(100000, 2024);
  const std::string ascending = PeerSort(dir, input, "");
  const std::string descending = PeerSort(dir, input, "-r");
  const std::string unique = PeerSort(dir, input, "-u");
  const std::string uniqueDescending = PeerSort(dir, input, "-u -r");
  ASSERT_EQ(ascending.size(), input.size());

  for (const std::size_t buffer : {std::size_t{0}, std::size_t{4096}, std::size_t{65536}}) {
    SCOPED_TRACE("buffer " + std::to_string(buffer));
    Sorted sorted = SortText(dir, input, 1, 1, 0, buffer);
    ASSERT_EQ(sorted.result, 0) << sorted.error;
    EXPECT_TRUE(sorted.text == ascending);
    // One run for a small input with a chosen buffer; hundreds with 4 KB.
    if (buffer == 0) {
      EXPECT_EQ(sorted.runs, 0u);
    } else if (buffer == 4096) {
      EXPECT_GT(sorted.runs, 400u);
    }
    sorted = SortText(dir, input, 0, 1, 0, buffer);
    EXPECT_TRUE(sorted.text == descending);
    sorted = SortText(dir, input, 1, 1, 1, buffer);
    EXPECT_TRUE(sorted.text == unique);
    sorted = SortText(dir, input, 0, 1, 1, buffer);
    EXPECT_TRUE(sorted.text == uniqueDescending);
    // Nothing is left in the work folder.
    EXPECT_EQ(::rmdir(dir.file("work").c_str()), 0);
  }
}

TEST(BatchSort, EveryRunCountMergesToOneFileWithEveryLine) {
  // 1 to 40 runs of 4 KB: every carry pattern of the slot arithmetic.
  TempDir dir;
  for (std::size_t runs = 1; runs <= 40; ++runs) {
    const std::string input = RandomLines(runs * 4000 / 21, static_cast<unsigned>(runs), 40, "abcdefghij");
    const Sorted sorted = SortText(dir, input, 1, 1, 0, 4096);
    ASSERT_EQ(sorted.result, 0) << sorted.error;
    ASSERT_TRUE(sorted.text == PeerSort(dir, input, "")) << runs << " runs";
  }
}

TEST(BatchSort, FoldedOrderPutsUnderscoreBeforeLetters) {
  TempDir dir;
  // Lower-case folding: '_' (0x5F) sorts before every letter; sort -f folds
  // to upper case and puts it after them.
  Sorted sorted = SortText(dir, "b\n_\nA\na_\nZ\n", 1, 0, 0, 0);
  ASSERT_EQ(sorted.result, 0);
  EXPECT_EQ(sorted.text, "_\nA\na_\nb\nZ\n");
  EXPECT_EQ(PeerSort(dir, "b\n_\nA\na_\nZ\n", "-f"), "A\na_\nb\nZ\n_\n");

  // On many lines of '_' and letters, in one run and in many: the folded
  // lines come out in the order `tr A-Z a-z | LC_ALL=C sort` gives, and the
  // output holds exactly the input's lines.
  const std::string input = RandomLines(20000, 7, 12, "_aAbBcCyYzZ");
  const std::string foldedOrder = PeerSort(dir, input, "", "tr A-Z a-z");
  for (const std::size_t buffer : {std::size_t{0}, std::size_t{4096}}) {
    sorted = SortText(dir, input, 1, 0, 0, buffer);
    ASSERT_EQ(sorted.result, 0);
    EXPECT_TRUE(Lower(sorted.text) == foldedOrder);
    EXPECT_TRUE(PeerSort(dir, sorted.text, "") == PeerSort(dir, input, ""));
    sorted = SortText(dir, input, 0, 0, 0, buffer);
    std::string reversed = PeerSort(dir, input, "-r", "tr A-Z a-z");
    EXPECT_TRUE(Lower(sorted.text) == reversed);
  }
}

TEST(BatchSort, TiesAcrossRunsTakeTheLaterRunsLineAndUniqueKeepsOne) {
  TempDir dir;
  // "key" fills run 0 with 1000 lines after it; "KEY" lands in run 1.
  std::string input = "key\n";
  for (int i = 0; i < 1000; ++i) input += "zzzz\n";
  input += "KEY\n";
  Sorted sorted = SortText(dir, input, 1, 0, 0, 4096);
  ASSERT_EQ(sorted.result, 0);
  ASSERT_GE(sorted.runs, 1u);
  EXPECT_EQ(sorted.text.substr(0, 8), "KEY\nkey\n");

  // Unique, folded: "key" and "KEY" are one line; repeats in one run and
  // across runs appear once.
  sorted = SortText(dir, input, 1, 0, 1, 4096);
  EXPECT_EQ(sorted.text, "KEY\nzzzz\n");
  sorted = SortText(dir, "b\nb\na\nb\n", 1, 1, 1, 0);
  EXPECT_EQ(sorted.text, "a\nb\n");
  sorted = SortText(dir, "b\nB\na\n", 0, 1, 1, 0);
  EXPECT_EQ(sorted.text, "b\na\nB\n");
  // The first line is compared with an empty one: an empty line does not
  // survive an ascending unique sort (sort -u keeps one).
  sorted = SortText(dir, "b\n\n\na\n", 1, 1, 1, 0);
  EXPECT_EQ(sorted.text, "a\nb\n");
  sorted = SortText(dir, "b\n\n\na\n", 1, 1, 0, 0);
  EXPECT_EQ(sorted.text, "\n\na\nb\n");
}

TEST(BatchSort, LongLinesCarriageReturnsAndTheLastLine) {
  TempDir dir;
  // 5000 bytes are two lines: 4095 and 905.
  const std::string longLine(4095, 'b');
  Sorted sorted = SortText(dir, longLine + std::string(905, 'a') + "\n", 1, 1, 0, 0);
  ASSERT_EQ(sorted.result, 0);
  EXPECT_TRUE(sorted.text == std::string(905, 'a') + "\n" + longLine + "\n");
  // Exactly 4095 bytes and its '\n' stay one line; a '\r' stays in its
  // line; a last line without '\n' gets one.
  sorted = SortText(dir, longLine + "\nc\r\na", 1, 1, 0, 0);
  EXPECT_TRUE(sorted.text == "a\n" + longLine + "\nc\r\n");
}

TEST(BatchSort, EmptyMissingAndWrongInputs) {
  TempDir dir;
  Sorted sorted = SortText(dir, "", 1, 1, 0, 0);
  EXPECT_EQ(sorted.result, 0);
  EXPECT_TRUE(::access(dir.file("out").c_str(), F_OK) == 0);
  EXPECT_EQ(sorted.text, "");

  // An input that cannot be opened: nothing to sort, the output goes.
  BatchSort missing;
  EXPECT_STREQ(missing.getErrorText(), "Unknown error");
  WriteFile(dir.file("stale"), "old\n");
  ASSERT_EQ(missing.init(dir.file("none").c_str(), dir.file("stale").c_str(), dir.path().c_str(), 1, 1, 0, 0), 0);
  EXPECT_EQ(missing.sort(), 0);
  EXPECT_NE(::access(dir.file("stale").c_str(), F_OK), 0);

  BatchSort wrong;
  EXPECT_EQ(wrong.init(nullptr, "out", "work", 1, 1, 0, 0), -1);
  EXPECT_STREQ(wrong.getErrorText(), "BatchSort::init() Wrong parameters");
  EXPECT_EQ(wrong.init("in", "", "work", 1, 1, 0, 0), -1);
  EXPECT_EQ(wrong.init("in", "out", nullptr, 1, 1, 0, 0), -1);
  EXPECT_STREQ(wrong.getErrorText(), "BatchSort::init() Wrong parameters");
  EXPECT_EQ(wrong.sort(), -1);

  // A zero byte: not a text file; refused rather than cut.
  sorted = SortText(dir, std::string("a\nb\0c\n", 6), 1, 1, 0, 0);
  EXPECT_EQ(sorted.result, -1);
  EXPECT_EQ(sorted.error, "BatchSort::sort() Failed to add line to sorter b");

  // A work folder that cannot hold files.
  WriteFile(dir.file("in"), "b\na\n");
  BatchSort blocked;
  ASSERT_EQ(blocked.init(dir.file("in").c_str(), dir.file("out").c_str(), dir.file("in/work").c_str(), 1, 1, 0, 0), 0);
  EXPECT_EQ(blocked.sort(), -1);
  EXPECT_EQ(std::string(blocked.getErrorText()),
            "Sortable::dumpBuffer() Could not open file for writing " + dir.file("in/work") + "/_SORTWORK.0");
}

TEST(BatchSort, ChosenBufferFollowsTheInputSize) {
  TempDir dir;
  WriteFile(dir.file("in"), std::string(1000, 'a'));
  ProbedSort sorter;
  ASSERT_EQ(sorter.init(dir.file("in").c_str(), dir.file("out").c_str(), dir.path().c_str(), 1, 1, 0, 0), 0);
  EXPECT_EQ(sorter.bufferSize(), 1000u + 512000u);
  ASSERT_EQ(::truncate(dir.file("in").c_str(), 5242880), 0);
  ASSERT_EQ(sorter.init(dir.file("in").c_str(), dir.file("out").c_str(), dir.path().c_str(), 1, 1, 0, 0), 0);
  EXPECT_EQ(sorter.bufferSize(), 5242880u + 512000u);
  ASSERT_EQ(::truncate(dir.file("in").c_str(), 5242881), 0);
  ASSERT_EQ(sorter.init(dir.file("in").c_str(), dir.file("out").c_str(), dir.path().c_str(), 1, 1, 0, 0), 0);
  EXPECT_EQ(sorter.bufferSize(), 5754880u);
  ASSERT_EQ(sorter.init(dir.file("none").c_str(), dir.file("out").c_str(), dir.path().c_str(), 1, 1, 0, 0), 0);
  EXPECT_EQ(sorter.bufferSize(), 1048576u);
  ASSERT_EQ(sorter.init(dir.file("in").c_str(), dir.file("out").c_str(), dir.path().c_str(), 1, 1, 0, 10), 0);
  EXPECT_EQ(sorter.bufferSize(), 4096u);
}

}  // namespace
