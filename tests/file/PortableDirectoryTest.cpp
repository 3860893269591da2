// PortableDirectory: children with their sizes, times and types, the
// listing's codes and its debug line, folder trees made level by level,
// and made as another user (a throw-away account when the tests run as
// root).

#include "zn/file/PortableDirectory.h"

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "file/FileTestUtil.h"
#include "log/LogTestUtil.h"

namespace {

using zn::test::TempDir;
using zn::test::files::Child;
using zn::test::files::WriteFile;

struct ChildInfo {
  long long size;
  long long modified;
  bool isDir;
  int error;
};

// Every child of `path` by name; false when the listing fails.
bool ListChildren(PortableDirectory& dir, const std::string& path, std::map<std::string, ChildInfo>& children) {
  if (!dir.initGettingChildInfos(path.c_str())) return false;
  while (true) {
    char name[PortableDirectory::kMaxNameLength + 1];
    ChildInfo info{};
    bool end = false;
    if (!dir.getNextChildInfo(name, &info.size, &info.modified, &info.isDir, &info.error, &end)) return false;
    if (end) {
      EXPECT_EQ(info.error, 0);
      break;
    }
    children[name] = info;
  }
  return dir.closeGettingChildInfos();
}

class PortableDirectoryTest : public zn::test::LogTest {};

TEST_F(PortableDirectoryTest, ChildrenComeWithSizeTimeAndTypeLinksFollowed) {
  TempDir dir;
  WriteFile(dir.file("file"), "12345");
  ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0755), 0);
  ASSERT_EQ(::symlink("file", dir.file("link").c_str()), 0);
  ASSERT_EQ(::symlink("sub", dir.file("sublink").c_str()), 0);
  ASSERT_EQ(::symlink("nowhere", dir.file("xdangling").c_str()), 0);
  struct stat fileInfo {};
  ASSERT_EQ(::stat(dir.file("file").c_str(), &fileInfo), 0);

  for (const std::string& path : {dir.path(), dir.path() + "/", dir.path() + "\\"}) {
    SCOPED_TRACE(path);
    PortableDirectory listing;
    std::map<std::string, ChildInfo> children;
    ASSERT_TRUE(ListChildren(listing, path, children));
    ASSERT_EQ(children.size(), 7U);
    for (const char* name : {".", "..", "sub", "sublink"}) {
      ASSERT_EQ(children.count(name), 1U) << name;
      EXPECT_TRUE(children[name].isDir) << name;
    }
    for (const char* name : {"file", "link"}) {
      ASSERT_EQ(children.count(name), 1U) << name;
      EXPECT_FALSE(children[name].isDir);
      EXPECT_EQ(children[name].size, 5);
      EXPECT_EQ(children[name].modified, fileInfo.st_mtim.tv_sec);
      EXPECT_EQ(children[name].error, 0);
    }
    // The child that cannot be examined: its first character made '.', its
    // error given, and the listing goes on.
    ASSERT_EQ(children.count(".dangling"), 1U);
    EXPECT_EQ(children[".dangling"].error, 2);
    EXPECT_EQ(children[".dangling"].size, 0);
  }
}

TEST_F(PortableDirectoryTest, ListingFailuresHaveTheirCodesAndTheDebugLine) {
  Open();
  TempDir dir;
  PortableDirectory listing;
  EXPECT_FALSE(listing.initGettingChildInfos(dir.file("missing").c_str()));
  EXPECT_EQ(listing.getLastError(), 2);
  WriteFile(dir.file("plain"), "");
  EXPECT_FALSE(listing.initGettingChildInfos(dir.file("plain").c_str()));
  EXPECT_EQ(listing.getLastError(), 2);
  EXPECT_FALSE(listing.closeGettingChildInfos());

  char name[PortableDirectory::kMaxNameLength + 1] = "x";
  long long size = 1, modified = 1;
  bool isDir = true, end = true;
  int error = 0;
  EXPECT_FALSE(listing.getNextChildInfo(name, &size, &modified, &isDir, &error, &end));
  EXPECT_STREQ(name, "");
  EXPECT_FALSE(end);
  EXPECT_TRUE(HasLine(Content(), "open failed for [" + dir.file("plain") + "], errcode [-1]")) << Content();

  PortableDirectory fromConstructor(dir.path().c_str());
  EXPECT_TRUE(fromConstructor.initGettingChildInfos(nullptr));
  EXPECT_TRUE(fromConstructor.closeGettingChildInfos());
  EXPECT_TRUE(fromConstructor.init());
  EXPECT_FALSE(fromConstructor.initGettingChildInfos(nullptr));

  if (!zn::test::files::IsRoot()) return;
  const std::string shut = dir.file("shut");
  ASSERT_EQ(::mkdir(shut.c_str(), 0700), 0);
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  struct stat rootInfo {};
  ASSERT_EQ(::stat(zn::test::ScratchRoot().c_str(), &rootInfo), 0);
  ASSERT_EQ(::chmod(zn::test::ScratchRoot().c_str(), 0755), 0);
  Child child(
      [&] {
        PortableDirectory refused;
        if (refused.initGettingChildInfos(shut.c_str())) return 1;
        return refused.getLastError() == 13 ? 0 : 2;
      },
      zn::test::files::kNobody);
  EXPECT_EQ(child.wait(), 0);
  ::chmod(zn::test::ScratchRoot().c_str(), rootInfo.st_mode & 07777);
}

TEST_F(PortableDirectoryTest, CreateMakesEveryMissingLevelAndAgainSucceeds) {
  TempDir dir;
  ASSERT_EQ(::mkdir(dir.file("a").c_str(), 0755), 0);
  PortableDirectory maker;
  const std::string path = dir.file("a/b/c");
  EXPECT_TRUE(maker.create(path.c_str()));
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_TRUE(maker.create(path.c_str()));
  EXPECT_TRUE(maker.create((dir.file("a/./b//d") + "/").c_str()));
  EXPECT_TRUE(zn::test::files::PathExists(dir.file("a/b/d")));

  WriteFile(dir.file("a/file"), "");
  EXPECT_FALSE(maker.create(dir.file("a/file").c_str()));
  EXPECT_EQ(maker.getLastError(), 183);
  EXPECT_FALSE(maker.create(dir.file("a/file/under").c_str()));
  EXPECT_EQ(maker.getLastError(), 3);
  EXPECT_FALSE(maker.create(""));
  EXPECT_FALSE(maker.create(dir.file(std::string(300, 'n')).c_str()));
  EXPECT_EQ(maker.getLastError(), 206);
}

// A local account with a password for the length of a test; removed after.
class ThrowAwayUser {
 public:
  ThrowAwayUser() : m_name("zntest" + std::to_string(::getpid())) {
    const std::string add = "useradd -M -N -s /usr/sbin/nologin " + m_name + " >/dev/null 2>&1";
    const std::string password = "echo '" + m_name + ":" + kPassword + "' | chpasswd >/dev/null 2>&1";
    m_made = std::system(add.c_str()) == 0 && std::system(password.c_str()) == 0;
    if (const struct passwd* entry = ::getpwnam(m_name.c_str()); entry != nullptr) m_uid = entry->pw_uid;
  }
  ~ThrowAwayUser() {
    const std::string remove = "userdel " + m_name + " >/dev/null 2>&1";
    [[maybe_unused]] const int ignored = std::system(remove.c_str());
  }
  bool made() const { return m_made; }
  uid_t uid() const { return m_uid; }
  std::wstring name() const { return std::wstring(m_name.begin(), m_name.end()); }

  static constexpr const char* kPassword = "Zn-test-1pass";

 private:
  std::string m_name;
  bool m_made = false;
  uid_t m_uid = 0;
};

// Drops the rights to change ids, as a root process without CAP_SETUID
// and CAP_SETGID would have them.
bool DropIdChangeRights() {
  struct __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
  struct __user_cap_data_struct data[2] = {};
  if (::syscall(SYS_capget, &header, data) != 0) return false;
  const unsigned drop = (1U << CAP_SETUID) | (1U << CAP_SETGID);
  data[0].effective &= ~drop;
  data[0].permitted &= ~drop;
  data[0].inheritable &= ~drop;
  return ::syscall(SYS_capset, &header, data) == 0;
}

TEST_F(PortableDirectoryTest, CreateAsAnotherUserMakesTheirFoldersOrSaysWhyNot) {
  if (!zn::test::files::IsRoot()) GTEST_SKIP() << "a throw-away account needs root";
  ThrowAwayUser user;
  if (!user.made()) GTEST_SKIP() << "useradd/chpasswd not available";
  Open();
  TempDir dir;
  ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
  struct stat rootInfo {};
  ASSERT_EQ(::stat(zn::test::ScratchRoot().c_str(), &rootInfo), 0);
  ASSERT_EQ(::chmod(zn::test::ScratchRoot().c_str(), 0755), 0);
  const std::wstring password(ThrowAwayUser::kPassword, ThrowAwayUser::kPassword + std::strlen(ThrowAwayUser::kPassword));

  PortableDirectory maker;
  const std::string theirs = dir.file("theirs/deeper");
  ASSERT_TRUE(maker.create(theirs.c_str(), user.name().c_str(), L"", password.c_str())) << maker.getLastError();
  struct stat st {};
  ASSERT_EQ(::stat(theirs.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, user.uid());
  ASSERT_EQ(::stat(dir.file("theirs").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, user.uid());
  // The thread is itself again afterwards.
  ASSERT_TRUE(maker.create(dir.file("mine").c_str()));
  ASSERT_EQ(::stat(dir.file("mine").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 0U);
  // Their rights decide: a folder only root may write stays closed to them.
  ASSERT_EQ(::mkdir(dir.file("rootonly").c_str(), 0755), 0);
  EXPECT_FALSE(maker.create(dir.file("rootonly/x").c_str(), user.name().c_str(), nullptr, password.c_str()));
  EXPECT_EQ(maker.getLastError(), 5);

  EXPECT_FALSE(maker.create(dir.file("wrong").c_str(), user.name().c_str(), L"", L"not the password"));
  EXPECT_EQ(maker.getLastError(), 1326);
  EXPECT_FALSE(zn::test::files::PathExists(dir.file("wrong")));
  EXPECT_NE(Content().find("Failed to Logon as ER user."), std::string::npos) << Content();

  Child child([&] {
    if (!DropIdChangeRights()) return 1;
    PortableDirectory limited;
    if (limited.create(dir.file("limited").c_str(), user.name().c_str(), L".", password.c_str())) return 2;
    return limited.getLastError() == 5 ? 0 : 3;
  });
  EXPECT_EQ(child.wait(), 0);
  EXPECT_FALSE(zn::test::files::PathExists(dir.file("limited")));
  EXPECT_TRUE(zn::test::files::WaitFor([&] { return Content().find("Failed to Impersonate ER user.") != std::string::npos; }))
      << Content();
  ::chmod(zn::test::ScratchRoot().c_str(), rootInfo.st_mode & 07777);
}

}  // namespace
