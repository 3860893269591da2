// ZNTempFile: the names it builds, where it builds them, that it never goes
// through a name someone else prepared, and four processes making a
// thousand each in one folder.

#include "zn/file/ZNTempFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <dirent.h>
#include <set>
#include <string>
#include <vector>

#include "file/FileTestUtil.h"
#include "zn/config/ZNPlatformInfo.h"
#include "zn/util/ZNProcessId.h"
#include "zuzazer/FXUniqueDir.h"

namespace {

using zn::test::files::Child;
using zn::test::ReadFile;
using zn::test::TempDir;
using zn::test::files::WriteFile;

// "<pid>_<high>_<low>" of this process, the pid from the system itself.
std::string OwnIdPart() {
  ZNProcessId self;
  self.thisProcess();
  std::string id;
  EXPECT_EQ(self.getIdString(id), 0);
  std::replace(id.begin(), id.end(), '/', '_');
  EXPECT_EQ(id.substr(0, id.find('_')), std::to_string(::getpid()));
  return id;
}

TEST(ZNTempFileTest, NamesArePrefixProcessIdAndTheFirstFreeNumber) {
  TempDir dir;
  ZNTempFile first;
  EXPECT_STREQ(first.getName(), "Error");
  ASSERT_EQ(first.create(dir.path().c_str(), "sort"), 0);
  ZNTempFile second;
  ASSERT_EQ(second.create(dir.path().c_str(), "sort"), 0);
  const std::string base = dir.path() + "/sort_" + OwnIdPart();
  EXPECT_EQ(std::string(first.getName()), base + "_0");
  EXPECT_EQ(std::string(second.getName()), base + "_1");

  // New, private, open for reading and writing.
  struct stat st {};
  ASSERT_EQ(::stat(first.getName(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600U);
  EXPECT_EQ(st.st_size, 0);
  EXPECT_EQ(first.putLine("temp", true), 0);
  EXPECT_EQ(first.seek(0, ZNFile::ZNFILE_SEEK_BEGIN), 0);
  char line[8];
  EXPECT_EQ(first.getLine(line, sizeof line), 1);
  EXPECT_STREQ(line, "temp");
  EXPECT_EQ(first.create(dir.path().c_str(), "sort"), -1);  // already open
  EXPECT_EQ(first.getLastError(), -1);

  // A freed number is taken again; a folder given with its separator makes
  // the same names.
  first.close();
  ASSERT_EQ(::unlink((base + "_0").c_str()), 0);
  ZNTempFile third;
  ASSERT_EQ(third.create((dir.path() + "/").c_str(), "sort"), 0);
  EXPECT_EQ(std::string(third.getName()), base + "_0");
}

TEST(ZNTempFileTest, ANamePreparedByAnotherIsNeverUsed) {
  TempDir dir;
  const std::string base = dir.path() + "/p_" + OwnIdPart();
  const std::string victim = dir.file("victim");
  WriteFile(victim, "precious");
  // A file, a link to a file someone wants written, a dangling link and a
  // folder on the first four numbers.
  WriteFile(base + "_0", "someone's");
  ASSERT_EQ(::symlink(victim.c_str(), (base + "_1").c_str()), 0);
  ASSERT_EQ(::symlink(dir.file("nowhere").c_str(), (base + "_2").c_str()), 0);
  ASSERT_EQ(::mkdir((base + "_3").c_str(), 0700), 0);
  ZNTempFile file;
  ASSERT_EQ(file.create(dir.path().c_str(), "p"), 0);
  EXPECT_EQ(std::string(file.getName()), base + "_4");
  EXPECT_EQ(file.write("mine", 4), 4);
  EXPECT_EQ(ReadFile(victim), "precious");
  EXPECT_EQ(ReadFile(base + "_0"), "someone's");
  EXPECT_FALSE(zn::test::files::PathExists(dir.file("nowhere")));
}

TEST(ZNTempFileTest, BadFoldersAndPrefixesFailAtOnce) {
  TempDir dir;
  ZNTempFile file;
  EXPECT_EQ(file.create(dir.path().c_str(), "../escape"), -1);
  EXPECT_EQ(file.getLastError(), 123);
  EXPECT_EQ(file.create(dir.path().c_str(), nullptr), -1);
  EXPECT_EQ(file.getLastError(), -1);
  EXPECT_EQ(file.create(dir.file("missing").c_str(), "p"), -1);
  EXPECT_EQ(file.getLastError(), 3);
  WriteFile(dir.file("plain"), "");
  EXPECT_EQ(file.create(dir.file("plain").c_str(), "p"), -1);
  EXPECT_EQ(file.getLastError(), 3);
  EXPECT_EQ(file.create(dir.path().c_str(), std::string(1100, 'n').c_str()), -1);
  EXPECT_EQ(file.getLastError(), 206);
  EXPECT_STREQ(file.getName(), "Error");

  if (!zn::test::files::IsRoot()) return;
  // A folder the user may not write to refuses every number: the probe
  // must stop at the first, not try a million.
  const std::string locked = dir.file("locked");
  ASSERT_EQ(::mkdir(locked.c_str(), 0755), 0);
  Child child(
      [&] {
        ZNTempFile probe;
        if (probe.create(locked.c_str(), "p") != -1) return 1;
        return probe.getLastError() == 5 ? 0 : 2;
      },
      zn::test::files::kNobody);
  EXPECT_EQ(child.wait(std::chrono::seconds(30)), 0);
}

TEST(ZNTempFileTest, WithoutAFolderTheProductsTemporaryFolderThenTheSystemsIsUsed) {
  TempDir product;
  TempDir system;
  const char* saved = std::getenv("TMPDIR");
  const std::string savedValue = saved != nullptr ? saved : "";
  ::setenv("TMPDIR", system.path().c_str(), 1);
  {
    ZNTempFile file;
    ASSERT_EQ(file.create("sys"), 0);
    EXPECT_EQ(std::string(file.getName()).rfind(system.path() + "/sys_", 0), 0U) << file.getName();
  }
  ZNPlatformInfo store;
  ASSERT_EQ(store.setString("Base", "dORVANETEMPDIR", product.path().c_str()), 1);
  {
    ZNTempFile file;
    ASSERT_EQ(file.create(nullptr, "prod"), 0);
    EXPECT_EQ(std::string(file.getName()).rfind(product.path() + "/prod_", 0), 0U) << file.getName();
    ZNTempFile empty;
    ASSERT_EQ(empty.create("", "prod"), 0);
    EXPECT_EQ(std::string(empty.getName()).rfind(product.path() + "/prod_", 0), 0U) << empty.getName();
  }
  if (saved != nullptr) {
    ::setenv("TMPDIR", savedValue.c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }
}

TEST(ZNTempFileTest, FourProcessesMakingAThousandEachInOneFolderGetUniqueNames) {
  TempDir dir;
  constexpr int kProcesses = 4;
  constexpr int kFilesEach = 1000;
  std::vector<std::unique_ptr<Child>> children;
  for (int p = 0; p < kProcesses; ++p) {
    children.push_back(std::make_unique<Child>([&] {
      for (int i = 0; i < kFilesEach; ++i) {
        ZNTempFile file;
        if (file.create(dir.path().c_str(), "work") != 0) return 1;
        const std::string mark = std::to_string(::getpid()) + " " + std::to_string(i);
        if (file.write(mark.data(), mark.size()) != static_cast<long>(mark.size())) return 2;
      }
      return 0;
    }));
  }
  std::set<pid_t> pids;
  for (auto& child : children) {
    EXPECT_EQ(child->wait(std::chrono::seconds(180)), 0);
    pids.insert(child->pid());
  }

  // Every name is "work_<pid>_<high>_<low>_<n>"; per process the numbers
  // are 0..999 in the order made, and the file holds what its maker wrote.
  std::map<pid_t, std::set<int>> numbers;
  std::map<pid_t, std::string> creationTimes;
  int count = 0;
  yq::UniqueDir listing(::opendir(dir.path().c_str()));
  ASSERT_TRUE(listing);
  while (const struct dirent* entry = ::readdir(listing.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    unsigned long pidNumber = 0, high = 0, low = 0;
    int n = -1;
    int used = 0;
    ASSERT_EQ(std::sscanf(name.c_str(), "work_%lu_%lu_%lu_%d%n", &pidNumber, &high, &low, &n, &used), 4) << name;
    ASSERT_EQ(static_cast<std::size_t>(used), name.size()) << name;
    const pid_t pid = static_cast<pid_t>(pidNumber);
    EXPECT_EQ(pids.count(pid), 1U) << name;
    EXPECT_TRUE(numbers[pid].insert(n).second) << name;
    const std::string time = std::to_string(high) + "_" + std::to_string(low);
    if (creationTimes.count(pid) == 0) creationTimes[pid] = time;
    EXPECT_EQ(creationTimes[pid], time) << name;
    EXPECT_EQ(ReadFile(dir.file(name)), std::to_string(pid) + " " + std::to_string(n)) << name;
    ++count;
  }
  EXPECT_EQ(count, kProcesses * kFilesEach);
  for (const auto& [pid, seen] : numbers) {
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kFilesEach));
    EXPECT_EQ(*seen.begin(), 0);
    EXPECT_EQ(*seen.rbegin(), kFilesEach - 1);
  }
}

}  // namespace
