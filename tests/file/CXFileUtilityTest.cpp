// The free helpers: folder trees made in one call (by racing threads too),
// and the rename and rmdir that retry while refused, with their messages.

#include "zn/file/CXFileUtility.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include "file/FileTestUtil.h"

namespace {

using zn::test::ReadFile;
using zn::test::TempDir;
using zn::test::files::Child;
using zn::test::files::DebugOutput;
using zn::test::files::PathExists;
using zn::test::files::WriteFile;

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

TEST(CXFileUtilityTest, RecursiveMkdirMakesEveryMissingLevel) {
  TempDir dir;
  const std::string deep = dir.file("a/b/c/d");
  EXPECT_EQ(znRecursiveMkdir(deep.c_str(), 0), 0);
  EXPECT_TRUE(IsFolder(deep));
  EXPECT_EQ(znRecursiveMkdir(deep.c_str(), 0755), 0);  // already there
  EXPECT_EQ(znRecursiveMkdir((dir.file("a/b") + "/").c_str(), 0), 0);
  EXPECT_EQ(znRecursiveMkdir(dir.file("x//y///z").c_str(), 0), 0);
  EXPECT_TRUE(IsFolder(dir.file("x/y/z")));
  // An inner backslash is part of a name here.
  EXPECT_EQ(znRecursiveMkdir(dir.file("back\\slash").c_str(), 0), 0);
  EXPECT_TRUE(IsFolder(dir.file("back\\slash")));

  // A file in the way, at the end or above.
  WriteFile(dir.file("file"), "");
  errno = 0;
  EXPECT_EQ(znRecursiveMkdir(dir.file("file").c_str(), 0), -1);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(znRecursiveMkdir(dir.file("file/sub").c_str(), 0), -1);
  EXPECT_EQ(errno, ENOTDIR);

  // 1026 characters are taken, 1027 are not.
  std::string longest = dir.path() + "/";
  longest.append(1026 - longest.size(), 'n');
  for (std::size_t i = dir.path().size() + 200; i < longest.size(); i += 200) longest[i] = '/';
  EXPECT_EQ(znRecursiveMkdir(longest.c_str(), 0), 0) << errno;
  EXPECT_EQ(znRecursiveMkdir((longest + "n").c_str(), 0), -1);
  EXPECT_EQ(errno, -777);
  EXPECT_EQ(znRecursiveMkdir(nullptr, 0), -1);
}

TEST(CXFileUtilityTest, ThreadsMakingOneTreeAllSucceed) {
  TempDir dir;
  const std::string deep = dir.file("p/q/r/s/t/u");
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&, i] {
      const std::string path = deep + "/leaf" + std::to_string(i % 2);
      if (znRecursiveMkdir(path.c_str(), 0) != 0) ++failures;
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_TRUE(IsFolder(deep + "/leaf0"));
  EXPECT_TRUE(IsFolder(deep + "/leaf1"));
}

TEST(CXFileUtilityTest, SafeRenameReplacesAndReportsAFailureOnceWhenItIsNotARefusal) {
  DebugOutput output;
  TempDir dir;
  WriteFile(dir.file("new"), "new");
  WriteFile(dir.file("old"), "old");
  EXPECT_EQ(znSafeRename(dir.file("new").c_str(), dir.file("old").c_str()), 0);
  EXPECT_EQ(ReadFile(dir.file("old")), "new");
  EXPECT_FALSE(PathExists(dir.file("new")));

  errno = 0;
  EXPECT_EQ(znSafeRename(dir.file("none").c_str(), dir.file("x").c_str()), -1);
  EXPECT_EQ(errno, ENOENT);
  const std::string line = "RENAME: cannot rename " + dir.file("none") + " to " + dir.file("x") + ", errno 2\n";
  const std::string text = output.text();
  EXPECT_NE(text.find(line), std::string::npos) << text;
  EXPECT_EQ(text.find(line), text.rfind(line));  // no retry
  EXPECT_EQ(text.find("too many retries"), std::string::npos);

  ::mkdir(dir.file("full").c_str(), 0700);
  WriteFile(dir.file("full/f"), "");
  EXPECT_EQ(znSafeRmdir(dir.file("full").c_str()), -1);
  EXPECT_EQ(errno, ENOTEMPTY);
  EXPECT_TRUE(output.has("RMDIR: cannot zn_rmdir " + dir.file("full") + ", errno " + std::to_string(ENOTEMPTY) + "\n"));
  EXPECT_EQ(::unlink(dir.file("full/f").c_str()), 0);
  EXPECT_EQ(znSafeRmdir(dir.file("full").c_str()), 0);
  EXPECT_FALSE(PathExists(dir.file("full")));
}

TEST(CXFileUtilityTest, NamesInMessagesCannotMakeLinesOfTheirOwn) {
  DebugOutput output;
  TempDir dir;
  const std::string forged = dir.file("x\nRENAME: forged line");
  EXPECT_EQ(znSafeRename(forged.c_str(), dir.file("y").c_str()), -1);
  const std::string text = output.text();
  EXPECT_EQ(text.find("\nRENAME: forged line"), std::string::npos) << text;
  EXPECT_NE(text.find("x\\x0aRENAME: forged line"), std::string::npos) << text;
}

TEST(CXFileUtilityTest, ARefusedRenameIsRetriedUntilItIsAllowed) {
  if (!zn::test::files::IsRoot()) GTEST_SKIP() << "needs root to act as another user";
  DebugOutput output;
  ASSERT_EQ(::chmod(output.folder().c_str(), 0777), 0);
  // The shared file is root's: the child writes its own, log<pid>.out.
  WriteFile(output.folder() + "/log.out", "");
  TempDir dir;
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  // The scratch root itself must be passable for the unprivileged child.
  struct stat rootInfo {};
  ASSERT_EQ(::stat(zn::test::ScratchRoot().c_str(), &rootInfo), 0);
  ASSERT_EQ(::chmod(zn::test::ScratchRoot().c_str(), 0755), 0);
  const std::string folder = dir.file("shut");
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  WriteFile(folder + "/from", "moved");
  ASSERT_EQ(::chown(folder.c_str(), 0, 0), 0);

  // The child may not write the folder yet: EACCES, retried every second.
  Child child(
      [&] {
        ZNTDebuggable::logEvents(0);
        return znSafeRename((folder + "/from").c_str(), (folder + "/to").c_str()) == 0 ? 0 : 1;
      },
      zn::test::files::kNobody);
  const std::string refused =
      "RENAME: cannot rename " + folder + "/from to " + folder + "/to, errno " + std::to_string(EACCES) + "\n";
  ASSERT_TRUE(zn::test::files::WaitFor([&] { return output.has(refused, child.pid()); })) << output.text(child.pid());
  ASSERT_EQ(::chown(folder.c_str(), zn::test::files::kNobody, zn::test::files::kNobody), 0);
  EXPECT_EQ(child.wait(), 0);
  EXPECT_EQ(ReadFile(folder + "/to"), "moved");
  EXPECT_EQ(output.text(child.pid()).find("too many retries"), std::string::npos);
  ::chmod(zn::test::ScratchRoot().c_str(), rootInfo.st_mode & 07777);
}

}  // namespace
