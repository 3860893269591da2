// ZNDirectory and ZNDirectoryW: listings and their messages, the pattern
// search, sizes and free space, and removing and copying trees with links,
// FIFOs and folders swapped under us, alone and while another process adds
// files.

#include "zn/file/ZNDirectory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "file/FileTestUtil.h"
#include "helpers/TmpfsMount.h"
#include "zuzazer/FXString.h"

namespace {

using zn::test::ReadFile;
using zn::test::TempDir;
using zn::test::files::Child;
using zn::test::files::DebugOutput;
using zn::test::files::LStat;
using zn::test::files::PathExists;
using zn::test::files::Signal;
using zn::test::files::WriteFile;

std::set<std::string> Listing(ZNDirectory& dir) {
  std::set<std::string> names;
  while (const char* name = dir.read()) names.insert(name);
  return names;
}

// Every entry below `root` as "relative path" -> "f:<content>", "l:<target>"
// or "d", links not followed.
std::map<std::string, std::string> Tree(const std::string& root) {
  std::map<std::string, std::string> tree;
  for (auto it = std::filesystem::recursive_directory_iterator(root); it != std::filesystem::end(it); ++it) {
    const std::string path = it->path().string();
    const std::string relative = path.substr(root.size() + 1);
    if (it->is_symlink()) {
      tree[relative] = "l:" + std::filesystem::read_symlink(it->path()).string();
    } else if (it->is_directory()) {
      tree[relative] = "d";
    } else {
      tree[relative] = "f:" + ReadFile(path);
    }
  }
  return tree;
}

// A tree of `files` files over folders three levels deep, with links to
// files, to folders, out of the tree and to nowhere among them.
void MakeTree(const std::string& root, int files, const std::string& outside) {
  ASSERT_EQ(::mkdir(root.c_str(), 0755), 0);
  for (int i = 0; i < files; ++i) {
    const std::string folder = root + "/d" + std::to_string(i % 10) + "/e" + std::to_string(i % 7);
    std::filesystem::create_directories(folder);
    const std::string name = folder + "/f" + std::to_string(i);
    if (i % 50 == 0) {
      ASSERT_EQ(::symlink(i % 100 == 0 ? outside.c_str() : "../../d1", name.c_str()), 0);
    } else if (i % 53 == 0) {
      ASSERT_EQ(::symlink("f-nowhere", name.c_str()), 0);
    } else {
      WriteFile(name, "content " + std::to_string(i));
    }
  }
}

TEST(ZNDirectoryTest, AListingKeepsDotAndDotDotAndEndsWithNoMoreFiles) {
  TempDir dir;
  WriteFile(dir.file("a"), "");
  WriteFile(dir.file("b\nc"), "");
  ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0755), 0);
  const std::set<std::string> expected = {".", "..", "a", "b\nc", "sub"};
  for (const std::string& name : {dir.path(), dir.path() + "/", dir.path() + "\\"}) {
    SCOPED_TRACE(name);
    ZNDirectory listing;
    ASSERT_EQ(listing.open(name.c_str()), 0);
    EXPECT_EQ(Listing(listing), expected);
    EXPECT_EQ(listing.read(), nullptr);
    EXPECT_EQ(listing.getLastError(), 18);
    EXPECT_EQ(listing.close(), 0);
  }
  ZNDirectoryW wide;
  ASSERT_EQ(wide.open(FXString::ToWstring(dir.path()).c_str()), 0);
  std::set<std::wstring> names;
  while (const wchar_t* name = wide.read()) names.insert(name);
  EXPECT_EQ(names, (std::set<std::wstring>{L".", L"..", L"a", L"b\nc", L"sub"}));
}

TEST(ZNDirectoryTest, ListingFailuresAreReportedWithTheSearchTheyMade) {
  DebugOutput output;
  TempDir dir;
  ZNDirectory listing;
  EXPECT_EQ(listing.open(""), -1);
  EXPECT_TRUE(output.has("DIRECTORY: open: dirname is a null string\n"));
  EXPECT_EQ(listing.open(nullptr), -1);
  EXPECT_EQ(listing.open(dir.file("missing").c_str()), -1);
  EXPECT_EQ(listing.getLastError(), 3);
  EXPECT_TRUE(output.has("DIRECTORY: open: FindFirstFile " + dir.file("missing") + "/*.* failed, errno 2\n"));
  EXPECT_EQ(listing.open((dir.file("missing") + "/").c_str()), -1);
  EXPECT_TRUE(output.has("DIRECTORY: open: FindFirstFile " + dir.file("missing") + "/*.* failed, errno 2\n"));
  WriteFile(dir.file("plain"), "");
  EXPECT_EQ(listing.open(dir.file("plain").c_str()), -1);
  EXPECT_EQ(listing.getLastError(), 3);
  EXPECT_EQ(listing.read(), nullptr);
  EXPECT_TRUE(output.has("DIRECTORY: read: not open\n"));
  std::string found;
  EXPECT_EQ(listing.removeFiles(nullptr), -1);
  EXPECT_TRUE(output.has("DIRECTORY: removeFiles attempted before open\n"));
  EXPECT_EQ(listing.copyFiles(dir.path().c_str(), dir.file("to").c_str()), -1);
  EXPECT_TRUE(output.has("DIRECTORY: copyFiles attempted before open\n"));
  EXPECT_EQ(listing.sumSizes(), -1);
  EXPECT_TRUE(output.has("DIRECTORY: sumSizes attempted before open\n"));
  EXPECT_EQ(listing.findFileByPattern("*", found), -1);
  EXPECT_TRUE(output.has("DIRECTORY: findFileByPattern attempted before open\n"));
  EXPECT_FALSE(PathExists(dir.file("to")));
}

TEST(ZNDirectoryTest, PatternsSizesAndFreeSpace) {
  TempDir dir;
  WriteFile(dir.file("b.log"), "12345");
  WriteFile(dir.file("a.log"), "123");
  WriteFile(dir.file("c.txt"), "1");
  WriteFile(dir.file(".hidden"), "1234567");
  ASSERT_EQ(::mkdir(dir.file("z.log").c_str(), 0755), 0);
  ASSERT_EQ(::symlink("b.log", dir.file("link").c_str()), 0);
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  ZNDirectory listing;
  ASSERT_EQ(listing.open(dir.path().c_str()), 0);
  std::string found;
  EXPECT_EQ(listing.findFileByPattern("*.log", found), 0);
  EXPECT_EQ(found, "a.log");
  EXPECT_EQ(listing.findFileByPattern("?.txt", found), 0);
  EXPECT_EQ(found, "c.txt");
  EXPECT_EQ(listing.findFileByPattern("*.*", found), 0);
  EXPECT_EQ(found, ".hidden");
  EXPECT_EQ(listing.findFileByPattern("*.none", found), -1);
  EXPECT_EQ(listing.getLastError(), 2);
  // Regular files only: not the folder, not what the link points to, and
  // the FIFO is never opened to be measured.
  EXPECT_EQ(listing.sumSizes(), 5 + 3 + 1 + 7);

  unsigned long long available = 0;
  unsigned long long total = 0;
  ASSERT_EQ(listing.getFreeSpace(dir.path().c_str(), &available, &total), 0);
  struct statvfs info {};
  ASSERT_EQ(::statvfs(dir.path().c_str(), &info), 0);
  EXPECT_EQ(total, static_cast<unsigned long long>(info.f_blocks) * info.f_frsize);
  EXPECT_LE(available, total);
  EXPECT_GT(available, 0U);
  EXPECT_EQ(listing.getFreeSpace(dir.file("missing").c_str(), &available, &total), -1);
  EXPECT_EQ(listing.getLastError(), 3);

  ZNDirectoryW wide;
  ASSERT_EQ(wide.open(FXString::ToWstring(dir.path()).c_str()), 0);
  std::wstring wideFound;
  EXPECT_EQ(wide.findFileByPattern(L"b*", wideFound), 0);
  EXPECT_EQ(wideFound, L"b.log");
  EXPECT_EQ(wide.sumSizes(), 16);
}

TEST(ZNDirectoryTest, RemoveFilesTakesEverythingButTheExceptionAndNeverFollowsALink) {
  DebugOutput output;
  TempDir dir;
  TempDir outside;
  WriteFile(outside.file("keep"), "not ours");
  const std::string root = dir.file("root");
  MakeTree(root, 500, outside.path());
  WriteFile(root + "/except", "stays");
  ASSERT_EQ(::mkfifo((root + "/d0/fifo").c_str(), 0600), 0);
  ASSERT_EQ(::symlink(outside.path().c_str(), (root + "/d0/e0/outlink").c_str()), 0);

  ZNDirectory listing;
  ASSERT_EQ(listing.open(root.c_str()), 0);
  EXPECT_EQ(listing.removeFiles("except"), 0);
  EXPECT_EQ(Tree(root), (std::map<std::string, std::string>{{"except", "f:stays"}}));
  EXPECT_EQ(ReadFile(outside.file("keep")), "not ours");
  EXPECT_TRUE(output.has("DIRECTORY: removeFiles from " + root + " (except except)\n"));
  EXPECT_EQ(output.text().find("unlink"), std::string::npos);
  EXPECT_EQ(listing.removeFiles(nullptr), 0);
  EXPECT_TRUE(output.has("DIRECTORY: removeFiles from " + root + " (except (null))\n"));
  EXPECT_TRUE(Tree(root).empty());
  EXPECT_TRUE(PathExists(root));  // the folder itself stays
}

TEST(ZNDirectoryTest, RemoveFilesGoesOnPastWhatItMayNotRemove) {
  if (!zn::test::files::IsRoot()) GTEST_SKIP() << "needs root to act as another user";
  DebugOutput output;
  ASSERT_EQ(::chmod(output.folder().c_str(), 0777), 0);
  WriteFile(output.folder() + "/log.out", "");
  TempDir dir;
  struct stat rootInfo {};
  ASSERT_EQ(::stat(zn::test::ScratchRoot().c_str(), &rootInfo), 0);
  ASSERT_EQ(::chmod(zn::test::ScratchRoot().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  const std::string root = dir.file("root");
  ASSERT_EQ(::mkdir(root.c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((root + "/theirs").c_str(), 0755), 0);  // root's: its content stays
  WriteFile(root + "/theirs/f", "root's");
  WriteFile(root + "/a", "");
  WriteFile(root + "/z", "");
  ASSERT_EQ(::chown(root.c_str(), zn::test::files::kNobody, 0), 0);
  ASSERT_EQ(::chown((root + "/a").c_str(), zn::test::files::kNobody, 0), 0);

  Child child(
      [&] {
        ZNTDebuggable::logEvents(0);
        ZNDirectory listing;
        if (listing.open(root.c_str()) != 0) return 1;
        if (listing.removeFiles(nullptr) != -1) return 2;
        return listing.getLastError() == 5 ? 0 : 3;
      },
      zn::test::files::kNobody);
  EXPECT_EQ(child.wait(), 0);
  const std::string text = output.text(child.pid());
  EXPECT_NE(text.find("DIRECTORY: removeFiles unlink " + root + "/theirs/f failed, errno 13\n"), std::string::npos)
      << text;
  EXPECT_FALSE(PathExists(root + "/a"));
  EXPECT_FALSE(PathExists(root + "/z"));
  EXPECT_EQ(ReadFile(root + "/theirs/f"), "root's");
  ::chmod(zn::test::ScratchRoot().c_str(), rootInfo.st_mode & 07777);
}

TEST(ZNDirectoryTest, CopyFilesCopiesTheTreeContentModesTimesAndLinksAsLinks) {
  DebugOutput output;
  TempDir dir;
  TempDir outside;
  WriteFile(outside.file("secret"), "outside");
  const std::string from = dir.file("from");
  MakeTree(from, 500, outside.file("secret"));
  WriteFile(from + "/setuid", "program", 0755);
  ASSERT_EQ(::chmod((from + "/setuid").c_str(), 04755), 0);
  const struct timeval times[2] = {{1000000000, 0}, {1200000000, 0}};
  ASSERT_EQ(::utimes((from + "/setuid").c_str(), times), 0);
  ASSERT_EQ(::mkdir((from + "/ro").c_str(), 0755), 0);
  WriteFile(from + "/ro/inside", "x");
  ASSERT_EQ(::chmod((from + "/ro").c_str(), 0555), 0);
  const std::map<std::string, std::string> expected = Tree(from);

  const std::string to = dir.file("to");
  ZNDirectory listing;
  ASSERT_EQ(listing.open(from.c_str()), 0);
  ASSERT_EQ(listing.copyFiles(nullptr, to.c_str()), 0) << output.text();
  EXPECT_EQ(Tree(to), expected);
  const struct stat copied = LStat(to + "/setuid");
  EXPECT_EQ(copied.st_mode & 07777, 0755U);  // no set-user-id on a copy
  EXPECT_EQ(copied.st_mtim.tv_sec, 1200000000);
  EXPECT_EQ(LStat(to + "/ro").st_mode & 07777, 0555U);
  EXPECT_TRUE(S_ISLNK(LStat(to + "/d0/e0/f0").st_mode));

  // Again over the copy: every file replaced, nothing left half-made.
  WriteFile(from + "/d1/e1/f1", "changed");
  ASSERT_EQ(listing.copyFiles(from.c_str(), to.c_str()), 0);
  EXPECT_EQ(ReadFile(to + "/d1/e1/f1"), "changed");
  for (const auto& [name, kind] : Tree(to)) EXPECT_EQ(name.find(".zncopy."), std::string::npos) << name;
  ::chmod((from + "/ro").c_str(), 0755);
  ::chmod((to + "/ro").c_str(), 0755);
}

TEST(ZNDirectoryTest, CopyFilesReportsWhatItCannotCopyAndGoesOn) {
  DebugOutput output;
  TempDir dir;
  const std::string from = dir.file("from");
  ASSERT_EQ(::mkdir(from.c_str(), 0755), 0);
  WriteFile(from + "/a", "a");
  ASSERT_EQ(::mkfifo((from + "/fifo").c_str(), 0600), 0);
  WriteFile(from + "/z", "z");
  const std::string to = dir.file("to");
  ASSERT_EQ(::mkdir(to.c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((to + "/z").c_str(), 0755), 0);  // a folder where a file goes
  WriteFile(to + "/z/kept", "kept");

  ZNDirectory listing;
  ASSERT_EQ(listing.open(from.c_str()), 0);
  EXPECT_EQ(listing.copyFiles(nullptr, to.c_str()), -1);
  EXPECT_TRUE(output.has("DIRECTORY: copyFiles cannot copy '" + from + "/fifo' to '" + to + "/fifo', code 50\n"));
  EXPECT_TRUE(output.has("DIRECTORY: copyFiles cannot copy '" + from + "/z' to '" + to + "/z', code 5\n"))
      << output.text();
  EXPECT_EQ(ReadFile(to + "/a"), "a");
  EXPECT_FALSE(PathExists(to + "/fifo"));
  EXPECT_EQ(ReadFile(to + "/z/kept"), "kept");
  for (const auto& entry : std::filesystem::directory_iterator(to)) {
    EXPECT_EQ(entry.path().filename().string().find(".zncopy."), std::string::npos);
  }
  EXPECT_EQ(listing.copyFiles(dir.file("none").c_str(), to.c_str()), -1);
  EXPECT_TRUE(output.has("DIRECTORY: copyFiles cannot copy '" + dir.file("none") + "' to '" + to + "', code 2\n"));
}

TEST(ZNDirectoryTest, ACopyThatFillsTheDiskLeavesNoFileThatLooksComplete) {
  zn::test::TmpfsMount disk(256 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << disk.reason();
  DebugOutput output;
  TempDir dir;
  const std::string from = dir.file("from");
  ASSERT_EQ(::mkdir(from.c_str(), 0755), 0);
  WriteFile(from + "/small", std::string(1000, 's'));
  WriteFile(from + "/big", std::string(4 << 20, 'b'));
  const std::string to = disk.file("to");
  ASSERT_EQ(::mkdir(to.c_str(), 0755), 0);
  WriteFile(to + "/big", "the old big");  // an older copy stays until a new one is whole

  ZNDirectory listing;
  ASSERT_EQ(listing.open(from.c_str()), 0);
  EXPECT_EQ(listing.copyFiles(nullptr, to.c_str()), -1);
  EXPECT_EQ(listing.getLastError(), 112);
  EXPECT_TRUE(output.has("DIRECTORY: copyFiles cannot copy '" + from + "/big' to '" + to + "/big', code 112\n"));
  EXPECT_EQ(ReadFile(to + "/small"), std::string(1000, 's'));
  EXPECT_EQ(ReadFile(to + "/big"), "the old big");
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(to)) names.insert(entry.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"big", "small"}));
}

TEST(ZNDirectoryTest, CopyFilesIntoItsOwnSubfolderEnds) {
  TempDir dir;
  const std::string from = dir.file("from");
  ASSERT_EQ(::mkdir(from.c_str(), 0755), 0);
  WriteFile(from + "/a", "a");
  ASSERT_EQ(::mkdir((from + "/sub").c_str(), 0755), 0);
  WriteFile(from + "/sub/b", "b");
  ZNDirectory listing;
  ASSERT_EQ(listing.open(from.c_str()), 0);
  EXPECT_EQ(listing.copyFiles(nullptr, (from + "/sub/copy").c_str()), 0);
  EXPECT_EQ(Tree(from + "/sub/copy"),
            (std::map<std::string, std::string>{{"a", "f:a"}, {"sub", "d"}, {"sub/b", "f:b"}}));
}

TEST(ZNDirectoryTest, TenThousandEntriesWithLinksAreCopiedAndRemovedWhole) {
  TempDir dir;
  TempDir outside;
  WriteFile(outside.file("keep"), "outside");
  const std::string from = dir.file("from");
  MakeTree(from, 10000, outside.path());
  const std::map<std::string, std::string> expected = Tree(from);
  ASSERT_GT(expected.size(), 10000U);

  ZNDirectory listing;
  ASSERT_EQ(listing.open(from.c_str()), 0);
  const std::string to = dir.file("to");
  ASSERT_EQ(listing.copyFiles(nullptr, to.c_str()), 0);
  EXPECT_EQ(Tree(to), expected);

  ZNDirectory copy;
  ASSERT_EQ(copy.open(to.c_str()), 0);
  EXPECT_EQ(copy.removeFiles(nullptr), 0);
  EXPECT_TRUE(Tree(to).empty());
  EXPECT_EQ(Tree(from), expected);
  EXPECT_EQ(ReadFile(outside.file("keep")), "outside");
}

// Another process adds files all over the tree until told to stop (or
// until it added kMaxAdded, so that it cannot outrun the work it races):
// each through a temporary name and a rename, so a file is whole when seen.
class Adder {
 public:
  static constexpr int kMaxAdded = 3000;

  explicit Adder(const std::string& root)
      : m_child([this, root] {
          m_started.send();
          for (int i = 0; i < kMaxAdded && m_stop.receive(std::chrono::milliseconds(0)) == 0; ++i) {
            const std::string folder = root + "/d" + std::to_string(i % 10) + "/e" + std::to_string(i % 7);
            const std::string temporary = root + "/.adding" + std::to_string(i);
            const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (fd < 0) continue;
            const std::string content = "added " + std::to_string(i);
            if (::write(fd, content.data(), content.size()) < 0) return 1;
            ::close(fd);
            if (::rename(temporary.c_str(), (folder + "/added" + std::to_string(i)).c_str()) != 0) {
              ::unlink(temporary.c_str());
              ::mkdir(root.c_str(), 0755);
              ::mkdir((root + "/d" + std::to_string(i % 10)).c_str(), 0755);
              ::mkdir(folder.c_str(), 0755);
            }
          }
          return 0;
        }) {
    m_started.receive();
  }
  int stop() {
    m_stop.send();
    return m_child.wait();
  }

 private:
  Signal m_started;
  Signal m_stop;
  Child m_child;
};

TEST(ZNDirectoryTest, ATreeThatGrowsWhileItIsCopiedOrRemovedLosesNothingAndLeavesNoPart) {
  TempDir dir;
  const std::string from = dir.file("from");
  MakeTree(from, 10000, dir.path());
  const std::map<std::string, std::string> original = Tree(from);
  const std::string to = dir.file("to");
  {
    Adder adder(from);
    ZNDirectory listing;
    ASSERT_EQ(listing.open(from.c_str()), 0);
    // Files made meanwhile may or may not be copied; a copy may also meet
    // the adder's temporary names as they go.
    listing.copyFiles(nullptr, to.c_str());
    ASSERT_EQ(adder.stop(), 0);
  }
  const std::map<std::string, std::string> source = Tree(from);
  const std::map<std::string, std::string> copy = Tree(to);
  for (const auto& [name, kind] : original) EXPECT_EQ(copy.count(name) == 1 ? copy.at(name) : "missing", kind) << name;
  for (const auto& [name, kind] : copy) {
    EXPECT_EQ(name.find(".zncopy."), std::string::npos) << name;
    if (name.find("/.adding") != std::string::npos || name.rfind(".adding", 0) == 0) continue;
    ASSERT_EQ(source.count(name), 1U) << name;
    EXPECT_EQ(kind, source.at(name)) << name;  // whole, never a part
  }

  // Removal while files keep coming: what was there goes; the adder's new
  // files may keep a folder alive, and the result then says so.
  int result;
  int code;
  {
    Adder adder(to);
    ZNDirectory listing;
    ASSERT_EQ(listing.open(to.c_str()), 0);
    result = listing.removeFiles(nullptr);
    code = listing.getLastError();
    ASSERT_EQ(adder.stop(), 0);
  }
  const std::map<std::string, std::string> left = Tree(to);
  for (const auto& [name, kind] : left) {
    if (kind == "d") continue;
    EXPECT_TRUE(name.find("added") != std::string::npos || name.find(".adding") != std::string::npos) << name;
  }
  if (result != 0) {
    EXPECT_EQ(code, 145);
  }
}

}  // namespace
