// The store when things around it go wrong: another process in the middle of
// a write, a folder nobody may write, a full disk, a store path that is no
// file.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <list>
#include <string>
#include <vector>

#include "config/ConfigTestUtil.h"
#include "helpers/AdminRunner.h"
#include "helpers/StoreWriteLock.h"
#include "helpers/TmpfsMount.h"

namespace {

using zn::ConfigStore;
using zn::StoreStatus;
using zn::StoreValue;
using zn::test::OnFreshThread;
using zn::test::ScopedEnv;
using zn::test::TempDir;

using StoreFailures = zn::test::ConfigTest;

long long FileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

TEST_F(StoreFailures, AReaderNeverWaitsForAnotherProcessInTheMiddleOfAWrite) {
  TempDir dir;
  const std::string store = dir.file("store.db");
  OnFreshThread([&] {
    ScopedEnv env("ZN_CONFIG_STORE", store);
    ZNPlatformInfo info;
    ASSERT_TRUE(info.setString("S", "sName", "committed"));
    ASSERT_TRUE(info.setNumber("S\\Sub", "nCount", 3));
  });

  // Another process holds the write lock, with a change it has not committed.
  zn::test::StoreWriteLock writer(store, "UPDATE vals SET data = CAST('uncommitted' AS BLOB) WHERE name = 'sName';");
  ASSERT_TRUE(writer.held());
  // A new connection, as a process that starts now makes: every read answers
  // at once with what was committed (a read that waited would fail after the
  // busy time-out with "database is locked").
  OnFreshThread([&] {
    ScopedEnv env("ZN_CONFIG_STORE", store);
    ZNPlatformInfo info;
    std::string text;
    EXPECT_EQ(info.getString("S", "sName", &text), 1) << info.getLastErrorMsg();
    EXPECT_EQ(text, "committed");
    std::list<std::string> subkeys;
    EXPECT_TRUE(info.getSubKeys("S", &subkeys)) << info.getLastErrorMsg();
    EXPECT_EQ(subkeys, std::list<std::string>{"Sub"});
    EXPECT_FALSE(ConfigStore::ForThisThread().readOnly());
  });
  writer.release();
}

TEST_F(StoreFailures, AWritableStoreInAFolderNobodyMayWriteIsStillRead) {
  // The store file may be written, its folder may not (so no WAL index can be
  // made beside it). Root ignores permission bits: the reader drops to
  // "nobody" when the test runs as root.
  std::string folder = "/tmp/zn_lockedfolder.XXXXXX";
  ASSERT_NE(::mkdtemp(folder.data()), nullptr);
  const std::string store = folder + "/config.db";
  OnFreshThread([&] {
    ScopedEnv env("ZN_CONFIG_STORE", store);
    ZNPlatformInfo info;
    ASSERT_TRUE(info.setString("S", "sName", "kept"));
    ASSERT_TRUE(info.setNumber("S\\Sub", "nCount", 3));
  });
  ASSERT_FALSE(std::filesystem::exists(store + "-wal"));  // the last connection folded it in
  std::filesystem::remove(store + "-shm");
  ASSERT_EQ(::chmod(store.c_str(), 0666), 0);
  ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);

  zn::test::Child child([&]() -> std::string {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return "SKIP";
    if (::access(store.c_str(), W_OK) != 0) return "the store is not writable";
    ::setenv("ZN_CONFIG_STORE", store.c_str(), 1);
    std::string failures;
    ZNPlatformInfo info(0, 0);
    std::string text;
    unsigned long number = 0;
    std::list<std::string> subkeys;
    if (info.getString("S", "sName", &text) != 1 || text != "kept") {
      failures += "string read: " + std::to_string(info.getRegError()) + " " + info.getLastErrorMsg() + "\n";
    }
    if (info.getNumber("S\\Sub", "nCount", &number) != 1 || number != 3) failures += "number read\n";
    if (!info.getSubKeys("S", &subkeys) || subkeys != std::list<std::string>{"Sub"}) failures += "subkeys\n";
    if (info.setString("S", "sName", "changed") != 0 || info.getRegError() != -1 || info.getLastErrorMsg().empty()) {
      failures += "a write was not refused with -1 and a message\n";
    }
    if (info.getString("S", "sName", &text) != 1 || text != "kept") failures += "read after the refused write\n";
    return failures;
  });
  const std::string result = child.finish();
  ::chmod(folder.c_str(), 0755);
  std::filesystem::remove_all(folder);
  if (result.find(": SKIP") != std::string::npos) GTEST_SKIP() << "running as root and cannot become nobody";
  EXPECT_EQ(result, "");
}

TEST_F(StoreFailures, AStorePathThatIsNoRegularFileIsRefusedAtOnce) {
  TempDir dir;
  const std::string fifo = dir.file("fifo.db");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string folder = dir.file("folder.db");
  std::filesystem::create_directory(folder);
  for (const std::string& path : {fifo, folder, std::string("/dev/null")}) {
    SCOPED_TRACE(path);
    // In a child, so that a store that blocks fails the test instead of
    // hanging it.
    zn::test::Child child([&]() -> std::string {
      ::setenv("ZN_CONFIG_STORE", path.c_str(), 1);
      ZNPlatformInfo info(0, 0);
      std::string text;
      if (info.getString("S", "sName", &text) != 0 || info.getRegError() != -1) return "the read did not fail with -1";
      if (info.getLastErrorMsg().find("is not a regular file") == std::string::npos) {
        return "unexpected message: " + info.getLastErrorMsg();
      }
      if (info.setString("S", "sName", "x") != 0) return "the write did not fail";
      return "";
    });
    EXPECT_EQ(child.finish(std::chrono::seconds(20)), "");
  }
  const auto run = zn::test::RunAdmin({"--store", fifo, "config", "list", "~S"});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("is not a regular file"), std::string::npos) << run.err;
  struct stat st {};
  ASSERT_EQ(::stat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));  // left as it was
}

// Values of `count` x `size` bytes below `key`, each byte `fill`.
std::vector<ConfigStore::BatchValue> Batch(const std::string& key, int count, std::size_t size, char fill) {
  std::vector<ConfigStore::BatchValue> batch;
  for (int i = 0; i < count; ++i) batch.push_back({key, "v" + std::to_string(i), 3, std::string(size, fill)});
  return batch;
}

TEST_F(StoreFailures, AFullDiskIsReportedAsSuchAndTheWalGivesItsSpaceBack) {
  zn::test::TmpfsMount disk(3 * 1024 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << disk.reason();
  const std::string store = disk.file("config.db");
  const std::string wal = store + "-wal";
  const std::string key = "SOFTWARE\\Full";
  OnFreshThread([&] {
    ScopedEnv env("ZN_CONFIG_STORE", store);
    ConfigStore& db = ConfigStore::ForThisThread();
    // A store of 1 MB, written again and again in large transactions: the
    // WAL must not keep the old copies (four of them would not fit).
    for (const char fill : {'a', 'b', 'c', 'd', 'e'}) {
      ASSERT_EQ(db.writeBatch({}, Batch(key, 250, 4000, fill)), StoreStatus::kOk) << fill << ": " << db.lastError();
      EXPECT_LT(FileSize(wal), 256 * 1024) << "after " << fill;
    }

    // One write too large for the disk fails as a full disk and leaves the
    // space it took free again.
    ZNPlatformInfo info(0, 0);
    const std::string huge(4 * 1024 * 1024, 'z');
    EXPECT_FALSE(info.setRegValue(key.c_str(), "huge", 3, huge.data(), static_cast<int>(huge.size())));
    EXPECT_EQ(info.getRegError(), -1);
    const std::string message = info.getLastErrorMsg();
    EXPECT_NE(message.find("There is not enough space on the disk."), std::string::npos) << message;
    EXPECT_NE(message.find("112"), std::string::npos) << message;
    EXPECT_EQ(message.find("cannot rollback"), std::string::npos) << message;
    EXPECT_EQ(db.writeBatch({}, Batch(key + "\\Big", 1000, 4000, 'y')), StoreStatus::kFailed);
    EXPECT_NE(db.lastError().find("There is not enough space on the disk."), std::string::npos) << db.lastError();
    EXPECT_LT(FileSize(wal), 256 * 1024);
    EXPECT_GT(disk.freeBytes(), 1024u * 1024u);

    // Later writes work, and nothing committed was lost.
    ASSERT_TRUE(info.setString("~Later", "sText", "written")) << info.getLastErrorMsg();
    StoreValue value;
    ASSERT_EQ(db.readValue(key, "v249", value), StoreStatus::kOk);
    EXPECT_EQ(value.data, std::string(4000, 'e'));
    EXPECT_EQ(db.readValue(key, "huge", value), StoreStatus::kValueMissing);
    EXPECT_EQ(db.keyExists(key + "\\Big"), StoreStatus::kKeyMissing);
  });
}

TEST_F(StoreFailures, SmallWritesReuseABoundedWalAndLoseNothing) {
  TempDir dir;
  const std::string store = dir.file("config.db");
  OnFreshThread([&] {
    ScopedEnv env("ZN_CONFIG_STORE", store);
    ZNPlatformInfo info(0, 0);
    // Each write adds a few pages: enough writes for several checkpoints.
    constexpr unsigned long kWrites = 3000;
    long long largest = 0;
    for (unsigned long i = 1; i <= kWrites; ++i) {
      ASSERT_TRUE(info.setNumber("~Small", ("n" + std::to_string(i % 50)).c_str(), i)) << info.getLastErrorMsg();
      if (i % 100 == 0) largest = std::max(largest, FileSize(store + "-wal"));
    }
    EXPECT_GT(largest, 0);
    EXPECT_LE(largest, 5LL * 1024 * 1024);  // 1,000 pages and the last commit's
    unsigned long value = 0;
    for (unsigned long i = kWrites - 49; i <= kWrites; ++i) {
      ASSERT_EQ(info.getNumber("~Small", ("n" + std::to_string(i % 50)).c_str(), &value), 1);
      EXPECT_EQ(value, i);
    }
  });
}

}  // namespace
