// The block in /dev/shm that the writers of one log file share: who may
// open it, how long a writer waits on it, and when it goes.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "helpers/TempDir.h"
#include "sync/SyncTestUtil.h"
#include "zuzazer/CYqLogger.h"
#include "zuzazer/LogControlBlock.h"
#include "zuzazer/LogVersions.h"

namespace {

namespace fs = std::filesystem;
using zn::test::TempDir;

// The block of `base`.log in `folder`.
std::string BlockPath(const std::string& folder, const std::string& base) {
  char resolved[PATH_MAX];
  const std::string real = ::realpath(folder.c_str(), resolved) != nullptr ? resolved : folder;
  return "/dev/shm" + yq::LogControlBlock::SharedMemoryName(real + "/" + base + ".log");
}

std::unique_ptr<CYqLogger> Writer(const std::string& folder, const std::string& base) {
  auto writer = std::make_unique<CYqLogger>();
  EXPECT_TRUE(writer->Initialize(base, folder, 100, false, true).IsSuccess());
  return writer;
}

// Whether a forked child running as `uid`/`gid` may open `path`: 0 not at
// all, 1 for writing, 2 for reading only; 3 when it cannot become that user.
int OpensAs(uid_t uid, gid_t gid, const std::string& path) {
  zn::test::ChildProcess child([&] {
    if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) return 3;
    for (const int flags : {O_RDWR, O_RDONLY}) {
      const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
      if (fd >= 0) return flags == O_RDWR ? 1 : 2;
    }
    return 0;
  });
  return child.wait();
}

TEST(LogControlBlock, HasTheLogFoldersOwnerAndGroupAndNobodyElseMayOpenIt) {
  TempDir dir;
  const std::string folder = dir.file("logs");
  fs::create_directories(folder);
  const bool root = ::geteuid() == 0;
  constexpr uid_t kOwner = 65534;  // nobody
  constexpr gid_t kGroup = 4343;
  if (root) {
    ASSERT_EQ(::chown(folder.c_str(), kOwner, kGroup), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 02770), 0);
  } else {
    ASSERT_EQ(::chmod(folder.c_str(), 0700), 0);
  }
  auto writer = Writer(folder, "guarded");
  writer->LogMessage(0, 0, "F", 0, 0, nullptr, "one line");
  const std::string block = BlockPath(folder, "guarded");
  struct stat st {};
  ASSERT_EQ(::stat(block.c_str(), &st), 0) << block;
  EXPECT_EQ(st.st_mode & 0007, 0u) << "others may use the block";
  if (!root) {
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    GTEST_SKIP() << "the other users' side needs root";
  }
  EXPECT_EQ(st.st_mode & 0777, 0660u);
  EXPECT_EQ(st.st_uid, kOwner);
  EXPECT_EQ(st.st_gid, kGroup);
  // A user who may not write the log folder may not touch its block; its
  // owner and group may.
  EXPECT_EQ(OpensAs(12345, 12345, block), 0);
  EXPECT_EQ(OpensAs(kOwner, 12345, block), 1);
  EXPECT_EQ(OpensAs(12345, kGroup, block), 1);
  writer.reset();
}

// Lines of `base`.log (and its versions) that are not exactly "... F line <n>".
int BrokenLines(const std::string& folder, const std::string& base, int& lines) {
  int broken = 0;
  lines = 0;
  std::vector<std::string> files = yq::ListLogVersions(folder, base);
  files.push_back(base + ".log");
  for (const std::string& file : files) {
    std::istringstream text(zn::test::ReadFile(folder + "/" + file));
    for (std::string line; std::getline(text, line);) {
      const auto at = line.find(" F line ");
      if (at == std::string::npos || line.find_first_not_of("0123456789", at + 8) != std::string::npos) ++broken;
      ++lines;
    }
  }
  return broken;
}

TEST(LogControlBlock, AHeldBlockDelaysAWriterBoundedlyAndItsLinesStayWhole) {
  TempDir dir;
  auto writer = Writer(dir.path(), "held");
  writer->SetLogFileSizeBytes(200);
  writer->SetMaxVersions(100);
  writer->LogMessage(0, 0, "F", 0, 0, nullptr, "line 0");
  const std::string block = BlockPath(dir.path(), "held");
  ASSERT_TRUE(fs::exists(block));

  // Another process holds the block's lock and does not let go.
  zn::test::Pipe held;
  zn::test::ChildProcess holder([&] {
    const int fd = ::open(block.c_str(), O_RDWR | O_CLOEXEC);
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (fd < 0 || ::fcntl(fd, F_OFD_SETLKW, &whole) != 0) return 2;
    held.send('h');
    ::pause();
    return 0;
  });
  ASSERT_EQ(held.receive(), 'h');

  // Every line needs a rollover, which needs the lock: the lines go to the
  // current file, whole, each writer waiting a bounded time.
  auto writing = std::async(std::launch::async, [&] {
    for (int n = 1; n <= 50; ++n) writer->LogMessage(0, 0, "F", 0, 0, nullptr, "line %d", n);
  });
  const bool done = writing.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
  holder.kill();  // lets a writer that is stuck go on
  holder.wait();
  writing.wait();
  ASSERT_TRUE(done) << "the writer waited on the block without limit";
  int lines = 0;
  EXPECT_EQ(BrokenLines(dir.path(), "held", lines), 0);
  EXPECT_EQ(lines, 51);
  EXPECT_TRUE(yq::ListLogVersions(dir.path(), "held").empty());

  // Once the lock is free, rollovers happen again.
  auto other = Writer(dir.path(), "held");
  other->SetLogFileSizeBytes(200);
  other->SetMaxVersions(100);
  other->LogMessage(0, 0, "F", 0, 0, nullptr, "line 51");
  EXPECT_FALSE(yq::ListLogVersions(dir.path(), "held").empty());
  EXPECT_EQ(BrokenLines(dir.path(), "held", lines), 0);
  EXPECT_EQ(lines, 52);
}

TEST(LogControlBlock, TheLastWriterToCloseRemovesItAndTheNextMakesItAgain) {
  TempDir dir;
  const std::string block = BlockPath(dir.path(), "shared");
  auto first = Writer(dir.path(), "shared");
  auto second = Writer(dir.path(), "shared");
  first->LogMessage(0, 0, "F", 0, 0, nullptr, "line 1");
  second->LogMessage(0, 0, "F", 0, 0, nullptr, "line 2");
  ASSERT_TRUE(fs::exists(block));
  // A forked copy of a writer that ends leaves it to its parent.
  zn::test::ChildProcess child([&] {
    first->LogMessage(0, 0, "F", 0, 0, nullptr, "line 3");
    first.reset();
    return fs::exists(block) ? 0 : 1;
  });
  EXPECT_EQ(child.wait(), 0) << "the child removed its parent's block";
  first.reset();
  EXPECT_TRUE(fs::exists(block)) << "removed while a writer still uses it";
  second.reset();
  EXPECT_FALSE(fs::exists(block)) << "left behind by the last writer";

  auto again = Writer(dir.path(), "shared");
  again->LogMessage(0, 0, "F", 0, 0, nullptr, "line 4");
  EXPECT_TRUE(fs::exists(block));
  again.reset();
  EXPECT_FALSE(fs::exists(block));

  // A process that ends with its writer still alive, as services leave
  // their process-wide writers, removes the block too.
  zn::test::ChildProcess service([&] {
    static CYqLogger* kept = Writer(dir.path(), "shared").release();
    kept->LogMessage(0, 0, "F", 0, 0, nullptr, "line 5");
    if (!fs::exists(block)) return 1;
    std::exit(0);
  });
  EXPECT_EQ(service.wait(), 0);
  EXPECT_FALSE(fs::exists(block)) << "left behind by a process that ended";
  int lines = 0;
  EXPECT_EQ(BrokenLines(dir.path(), "shared", lines), 0);
  EXPECT_EQ(lines, 5);
}

}  // namespace
