// znSortAndReplace: the file sorted in place, and the file as it was after
// every failure: a missing input, a full disk during a merge, a file size
// limit, a sort killed with SIGKILL in the middle of a merge.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <poll.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "helpers/TempDir.h"
#include "helpers/TmpfsMount.h"
#include "sort/SortTestUtil.h"
#include "zn/sort/BatchSort.h"

namespace {

using zn::test::PeerSort;
using zn::test::RandomLines;
using zn::test::ReadFile;
using zn::test::TempDir;
using zn::test::WriteFile;

bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

TEST(SortAndReplace, SortsInPlaceKeepingTheModeAndCleaningUp) {
  TempDir dir;
  const std::string file = dir.file("list.txt");
  const std::string input = RandomLines(30000, 11);
  WriteFile(file, input);
  ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
  // Flags: case-sensitive, ascending, unique.
  ASSERT_EQ(znSortAndReplace(file.c_str(), 1, 0, 1), 0);
  EXPECT_TRUE(ReadFile(file) == PeerSort(dir, input, "-r -u"));
  struct stat info {};
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_FALSE(Exists(file + ".tmp"));
  EXPECT_FALSE(Exists(file + "_folder.tmp"));

  // Stale run files of an earlier failed sort are not merged in.
  ASSERT_EQ(::mkdir((file + "_folder.tmp").c_str(), 0755), 0);
  WriteFile(file + "_folder.tmp/_SORTWORK.1", "stale\n");
  WriteFile(file + "_folder.tmp/_SORTWORK.3", "stale\n");
  WriteFile(file, "b\na\n");
  ASSERT_EQ(znSortAndReplace(file.c_str(), 1, 1, 0), 0);
  EXPECT_EQ(ReadFile(file), "a\nb\n");
  EXPECT_FALSE(Exists(file + "_folder.tmp"));

  // An empty file stays empty.
  WriteFile(file, "");
  EXPECT_EQ(znSortAndReplace(file.c_str(), 1, 1, 0), 0);
  EXPECT_EQ(ReadFile(file), "");
}

TEST(SortAndReplace, MissingInputsAndUnusableFolders) {
  TempDir dir;
  // Nothing to sort, and nothing to replace: -1, nothing left behind.
  EXPECT_EQ(znSortAndReplace(dir.file("none").c_str(), 1, 1, 0), -1);
  EXPECT_FALSE(Exists(dir.file("none")));
  EXPECT_FALSE(Exists(dir.file("none.tmp")));
  EXPECT_FALSE(Exists(dir.file("none_folder.tmp")));
  EXPECT_EQ(znSortAndReplace(nullptr, 1, 1, 0), -1);
  EXPECT_EQ(znSortAndReplace("", 1, 1, 0), -1);
  EXPECT_EQ(znSortAndReplace(dir.path().c_str(), 1, 1, 0), -1);

  // A work folder that is a link to someone else's folder is refused.
  const std::string file = dir.file("f");
  WriteFile(file, "b\na\n");
  ASSERT_EQ(::mkdir(dir.file("elsewhere").c_str(), 0755), 0);
  ASSERT_EQ(::symlink(dir.file("elsewhere").c_str(), (file + "_folder.tmp").c_str()), 0);
  EXPECT_EQ(znSortAndReplace(file.c_str(), 1, 1, 0), -1);
  EXPECT_EQ(ReadFile(file), "b\na\n");
}

// More than one run (the chosen buffer holds 5754880 bytes), so the sort
// merges.
std::string TwoRunInput() { return RandomLines(300000, 5, 40); }

TEST(SortAndReplace, FullDiskDuringAMergeLeavesTheInput) {
  zn::test::TmpfsMount disk(14 * 1024 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << disk.reason();
  const std::string input = TwoRunInput();
  ASSERT_GT(input.size(), 5754880u);
  const std::string file = disk.file("big.txt");
  WriteFile(file, input);
  // The runs fit beside the input; their merge does not.
  EXPECT_EQ(znSortAndReplace(file.c_str(), 1, 1, 0), -1);
  EXPECT_TRUE(ReadFile(file) == input);
  EXPECT_FALSE(Exists(file + ".tmp"));
}

TEST(SortAndReplace, FileSizeLimitDuringAMergeLeavesTheInput) {
  TempDir dir;
  const std::string input = TwoRunInput();
  const std::string file = dir.file("big.txt");
  WriteFile(file, input);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Writes past the limit fail with EFBIG instead of a signal: the merge
    // target cannot grow to the input's size.
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{6000000, 6000000};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::_exit(znSortAndReplace(file.c_str(), 1, 1, 0) == -1 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(ReadFile(file) == input);
  // The run files written so far stay for a look; the next sort clears them.
  EXPECT_TRUE(Exists(file + "_folder.tmp"));
  EXPECT_EQ(znSortAndReplace(file.c_str(), 1, 1, 0), 0);
  EXPECT_TRUE(ReadFile(file) == PeerSort(dir, input, ""));
}

TEST(SortAndReplace, KilledMidMergeLeavesTheInput) {
  TempDir dir;
  const std::string input = RandomLines(800000, 9, 40);  // about 16 MB: three runs, two merges
  const std::string file = dir.file("big.txt");
  WriteFile(file, input);
  const std::string work = file + "_folder.tmp";
  ASSERT_EQ(::mkdir(work.c_str(), 0755), 0);
  const int watch = ::inotify_init1(IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(::inotify_add_watch(watch, work.c_str(), IN_CREATE), 0);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(znSortAndReplace(file.c_str(), 1, 1, 0) == 0 ? 0 : 1);

  // Slot 2 is created by the first merge (runs 0 and 1): stop the child the
  // moment it appears, check the sort has not finished, and kill it.
  bool merging = false;
  alignas(inotify_event) char events[4096];
  while (!merging) {
    pollfd ready{watch, POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, 120000), 1) << "no merge began";
    const ssize_t got = ::read(watch, events, sizeof(events));
    ASSERT_GT(got, 0);
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(events + at);
      if (event->len > 0 && std::strcmp(event->name, "_SORTWORK.2") == 0) merging = true;
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  ::kill(child, SIGSTOP);
  EXPECT_FALSE(Exists(file + ".tmp")) << "the sort was no longer merging";
  ::kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ::close(watch);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_TRUE(ReadFile(file) == input);

  EXPECT_EQ(znSortAndReplace(file.c_str(), 1, 1, 0), 0);
  EXPECT_TRUE(ReadFile(file) == PeerSort(dir, input, ""));
}

}  // namespace
