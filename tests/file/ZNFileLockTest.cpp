// The first-byte lock of ZNFile between two opens of one process and
// between two real processes: who gets it, how long a refused lock tries,
// and what releases it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>

#include "file/FileTestUtil.h"
#include "zn/file/ZNFile.h"

namespace {

using zn::test::files::Child;
using zn::test::files::Signal;
using zn::test::TempDir;
using zn::test::files::WriteFile;

constexpr auto kExclusive = ZNFile::ZNFILE_LOCK_EXCLUSIVE;
constexpr auto kShared = ZNFile::ZNFILE_LOCK_SHARED;

TEST(ZNFileLockTest, TwoOpensInOneProcessConflictAsTwoProcessesWould) {
  TempDir dir;
  const std::string path = dir.file("locked");
  WriteFile(path, "data");
  ZNFile first;
  ZNFile second;
  ASSERT_EQ(first.open(path.c_str(), ZNFile::ZNFILE_READ_WRITE), 0);
  ASSERT_EQ(second.open(path.c_str(), ZNFile::ZNFILE_READ_WRITE), 0);

  EXPECT_EQ(first.lock(kExclusive, 0), 1);
  EXPECT_TRUE(first.isLocked());
  EXPECT_EQ(first.lock(kExclusive, 0), -1);  // already locked
  EXPECT_EQ(first.getLastError(), -1);
  EXPECT_EQ(second.lock(kExclusive, 0), 0);
  EXPECT_EQ(second.getLastError(), 33);
  EXPECT_EQ(second.lock(kShared, 0), 0);
  {
    // Opening and closing the file elsewhere in the process leaves the
    // lock alone (a classic POSIX lock would be dropped here).
    ZNFile passer;
    ASSERT_EQ(passer.open(path.c_str(), ZNFile::ZNFILE_READ), 0);
    EXPECT_EQ(passer.close(), 0);
  }
  EXPECT_EQ(second.lock(kShared, 0), 0);
  EXPECT_EQ(first.unlock(), 0);
  EXPECT_EQ(first.unlock(), -1);
  EXPECT_EQ(second.lock(kShared, 0), 1);

  // Shared with shared: both; exclusive against shared: refused.
  EXPECT_EQ(first.lock(kShared, 0), 1);
  ZNFile third;
  ASSERT_EQ(third.open(path.c_str(), ZNFile::ZNFILE_READ_WRITE), 0);
  EXPECT_EQ(third.lock(kExclusive, 0), 0);
  EXPECT_EQ(first.close(), 0);  // close unlocks
  EXPECT_EQ(second.unlock(), 0);
  EXPECT_EQ(third.lock(kExclusive, 0), 1);
  EXPECT_EQ(third.lock(static_cast<ZNFile::LockMode_t>(2), 0), -1);
}

TEST(ZNFileLockTest, AReadOnlyOpenTakesAnExclusiveLockAndAWriteOnlyOpenASharedOne) {
  TempDir dir;
  const std::string path = dir.file("locked");
  WriteFile(path, "data");
  ZNFile reader;
  ZNFile writer;
  ASSERT_EQ(reader.open(path.c_str(), ZNFile::ZNFILE_READ), 0);
  ASSERT_EQ(writer.open(path.c_str(), ZNFile::ZNFILE_WRITE), 0);
  EXPECT_EQ(reader.lock(kExclusive, 0), 1);
  EXPECT_EQ(writer.lock(kShared, 0), 0);
  EXPECT_EQ(reader.unlock(), 0);
  EXPECT_EQ(writer.lock(kShared, 0), 1);
  EXPECT_EQ(reader.lock(kExclusive, 0), 0);
  EXPECT_EQ(writer.close(), 0);
  EXPECT_EQ(reader.lock(kExclusive, 0), 1);
}

TEST(ZNFileLockTest, ALockHeldByAnotherProcessIsTriedFiveTimesASecondThenTakenWhenFreed) {
  TempDir dir;
  const std::string path = dir.file("locked");
  WriteFile(path, "data");
  Signal locked;
  Signal release;
  Child holder([&] {
    ZNFile file;
    if (file.open(path.c_str(), ZNFile::ZNFILE_READ_WRITE) != 0 || file.lock(kExclusive, 0) != 1) return 1;
    locked.send();
    if (release.receive() == 0) return 2;
    return file.unlock() == 0 ? 0 : 3;
  });
  ASSERT_EQ(locked.receive(), '.');

  ZNFile file;
  ASSERT_EQ(file.open(path.c_str(), ZNFile::ZNFILE_READ_WRITE), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(file.lock(kExclusive, 1), 0);
  // Five retries 200 ms apart after the first try.
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(990));
  EXPECT_EQ(file.getLastError(), 33);
  EXPECT_EQ(file.lock(kShared, 0), 0);

  release.send();
  ASSERT_EQ(holder.wait(), 0);
  EXPECT_EQ(file.lock(kExclusive, 0), 1);
}

TEST(ZNFileLockTest, AWaitingLockGetsTheByteWhenItsHolderDies) {
  TempDir dir;
  const std::string path = dir.file("locked");
  WriteFile(path, "data");
  Signal locked;
  Child holder([&] {
    ZNFile file;
    if (file.open(path.c_str(), ZNFile::ZNFILE_READ) != 0 || file.lock(kShared, 0) != 1) return 1;
    locked.send();
    ::pause();
    return 0;
  });
  ASSERT_EQ(locked.receive(), '.');
  ZNFile file;
  ASSERT_EQ(file.open(path.c_str(), ZNFile::ZNFILE_READ_WRITE), 0);
  EXPECT_EQ(file.lock(kExclusive, 0), 0);
  EXPECT_EQ(file.lock(kShared, 0), 1);  // shared locks share
  EXPECT_EQ(file.unlock(), 0);
  // Up to a minute of retries, while the holder is killed: taken as soon
  // as the kernel drops the dead process's lock.
  auto waiting = std::async(std::launch::async, [&] { return file.lock(kExclusive, 60); });
  ::kill(holder.pid(), SIGKILL);
  EXPECT_EQ(holder.wait(), 100 + SIGKILL);
  ASSERT_EQ(waiting.wait_for(zn::test::files::kFileWaitLimit), std::future_status::ready);
  EXPECT_EQ(waiting.get(), 1);
}

TEST(ZNFileLockTest, ALockNeedsAnOpenFile) {
  ZNFile closed;
  EXPECT_EQ(closed.lock(kShared, 0), -1);
  EXPECT_EQ(closed.getLastError(), -1);
  EXPECT_EQ(closed.unlock(), -1);
}

}  // namespace
