// The store's cache of value reads against other processes: a write told of
// through a pipe is read at once, readers on many threads never see a torn
// or an older value while another process writes, writes that bypass the
// library (a restored backup, the sqlite3 tool) are seen within the
// documented bound, snapshots keep their snapshot, memory stays bounded,
// and a counter segment made by anyone else is not trusted.
//
// The parent does its store work on short-lived threads until its children
// are forked, so that no connection is open in it when it forks.

#include <fcntl.h>
#include <poll.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "config/ConfigTestUtil.h"
#include "zn/store/StoreTesting.h"

namespace {

using zn::ConfigStore;
using zn::StoreStatus;
using zn::StoreValue;
using zn::test::Child;
using zn::test::OnFreshThread;

constexpr std::chrono::seconds kWaitLimit{20};
const std::string kCacheKey = std::string(zn::test::kInstanceKey) + "\\Cache";

// Reads exactly `size` bytes, waiting at most kWaitLimit.
bool ReadExactly(int fd, void* data, std::size_t size) {
  auto* bytes = static_cast<char*>(data);
  const auto deadline = std::chrono::steady_clock::now() + kWaitLimit;
  std::size_t done = 0;
  while (done < size) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) return false;
    struct pollfd poll = {fd, POLLIN, 0};
    if (::poll(&poll, 1, static_cast<int>(left)) <= 0) continue;
    const ssize_t n = ::read(fd, bytes + done, size - done);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool WriteAll(int fd, const void* data, std::size_t size) {
  return ::write(fd, data, size) == static_cast<ssize_t>(size);
}

// A text whose every byte follows from its number: a torn value shows.
std::string Pattern(int number) {
  return std::to_string(number) + ":" + std::string(static_cast<std::size_t>(number % 300 + 1), "abcdefgh"[number % 8]);
}

int PatternNumber(const std::string& text) {
  const auto colon = text.find(':');
  if (colon == std::string::npos || colon == 0) return -1;
  const int number = std::stoi(text.substr(0, colon));
  return Pattern(number) == text ? number : -1;
}

// A raw SQLite connection to the store: writes the library never sees.
class RawStore {
 public:
  RawStore() {
    sqlite3_open_v2(ConfigStore::DefaultPath().c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_busy_timeout(m_db, 10000);
  }
  ~RawStore() { sqlite3_close(m_db); }
  RawStore(const RawStore&) = delete;
  RawStore& operator=(const RawStore&) = delete;
  sqlite3* db() const { return m_db; }
  int exec(const std::string& sql) { return sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr); }

 private:
  sqlite3* m_db = nullptr;
};

class StoreCacheTest : public zn::test::ConfigTest {
 protected:
  void TearDown() override {
    ConfigStore::SetCacheCapacity(4096);
    ConfigTest::TearDown();
  }
};

// Process A writes (or deletes) the value and then tells B the round
// through a pipe; B reads at once, twice (the second read comes from the
// cache), and answers. Never stale, in 10,000 rounds.
TEST_F(StoreCacheTest, AWriteToldThroughAPipeIsReadAtOnce) {
  constexpr int kRounds = 10000;
  OnFreshThread([] { ASSERT_EQ(ZNPlatformInfo().setNumber("Cache", "nRound", 0), 1); });
  int toReader[2];
  int toWriter[2];
  ASSERT_EQ(::pipe(toReader), 0);
  ASSERT_EQ(::pipe(toWriter), 0);
  Child reader([&]() -> std::string {
    ::close(toReader[1]);
    ::close(toWriter[0]);
    ZNPlatformInfo info;
    std::string failures;
    int hits = 0;
    for (int round = 1; round <= kRounds; ++round) {
      int32_t told = 0;
      if (!ReadExactly(toReader[0], &told, sizeof told)) return "no word from the writer in round " + std::to_string(round);
      for (int read = 0; read < 2; ++read) {
        unsigned long number = 0;
        const int found = info.getNumber("Cache", "nRound", &number);
        const bool deleted = told < 0;
        if (deleted ? (found != 0 || info.getRegError() != -3) : (found != 1 || number != static_cast<unsigned long>(told))) {
          failures += "round " + std::to_string(round) + " read " + std::to_string(found) + "/" + std::to_string(number) +
                      " code " + std::to_string(info.getRegError()) + " after " + std::to_string(told) + "\n";
          if (failures.size() > 2000) return failures;
        }
      }
      hits += ConfigStore::ForThisThread().cacheState().entries > 0 ? 1 : 0;
      if (!WriteAll(toWriter[1], &told, sizeof told)) return "cannot answer";
    }
    if (hits == 0) failures += "the cache was never used\n";
    return failures;
  });
  ::close(toReader[0]);
  ::close(toWriter[1]);
  std::string writerFailure;
  std::thread writer([&] {
    ZNPlatformInfo info;
    for (int32_t round = 1; round <= kRounds; ++round) {
      int32_t told = round;
      if (round % 10 == 0) {
        told = -round;
        if (ConfigStore::ForThisThread().deleteValue(kCacheKey, "nRound") != StoreStatus::kOk) {
          writerFailure = "deleteValue failed";
          break;
        }
      } else if (info.setNumber("Cache", "nRound", static_cast<unsigned long>(round)) != 1) {
        writerFailure = "setNumber failed: " + info.getLastErrorMsg();
        break;
      }
      int32_t answer = 0;
      if (!WriteAll(toReader[1], &told, sizeof told) || !ReadExactly(toWriter[0], &answer, sizeof answer) ||
          answer != told) {
        writerFailure = "no answer from the reader in round " + std::to_string(round);
        break;
      }
    }
  });
  writer.join();
  ::close(toReader[1]);
  EXPECT_EQ(writerFailure, "");
  EXPECT_EQ(reader.finish(), "");
  ::close(toWriter[0]);
}

// Four reader threads while another process writes a self-checking text
// 2,000 times: every value read is whole, no thread ever sees an older
// value after a newer one, and once the writer has gone every thread reads
// its last value.
TEST_F(StoreCacheTest, ThreadsReadingWhileAnotherProcessWritesSeeNoTornOrOlderValue) {
  constexpr int kWrites = 2000;
  constexpr int kThreads = 4;
  OnFreshThread([] { ASSERT_EQ(ZNPlatformInfo().setString("Cache", "sText", Pattern(0).c_str()), 1); });
  int gate[2];
  ASSERT_EQ(::pipe(gate), 0);
  Child writer([&]() -> std::string {
    ::close(gate[1]);
    char byte;
    while (::read(gate[0], &byte, 1) > 0) {
    }
    ZNPlatformInfo info;
    for (int number = 1; number <= kWrites; ++number) {
      if (info.setString("Cache", "sText", Pattern(number).c_str()) != 1) return "write failed: " + info.getLastErrorMsg();
    }
    return std::string();
  });
  ::close(gate[0]);
  std::atomic<bool> writerDone{false};
  std::atomic<int> started{0};
  std::vector<std::string> failures(kThreads);
  std::vector<std::thread> readers;
  for (int t = 0; t < kThreads; ++t) {
    readers.emplace_back([&, t] {
      ZNPlatformInfo info;
      int last = 0;
      started.fetch_add(1);
      const auto check = [&](bool final) {
        std::string text;
        if (info.getString("Cache", "sText", &text) != 1) {
          failures[t] = "read failed: " + info.getLastErrorMsg();
          return false;
        }
        const int number = PatternNumber(text);
        if (number < 0) {
          failures[t] = "torn value [" + text.substr(0, 40) + "]";
          return false;
        }
        if (number < last || (final && number != kWrites)) {
          failures[t] = "read " + std::to_string(number) + " after " + std::to_string(last) + (final ? " at the end" : "");
          return false;
        }
        last = number;
        return true;
      };
      while (!writerDone.load()) {
        if (!check(false)) return;
      }
      check(true);
    });
  }
  while (started.load() < kThreads) std::this_thread::yield();
  ::close(gate[1]);  // the writer starts
  const std::string writerFailures = writer.finish();
  writerDone.store(true);
  for (std::thread& reader : readers) reader.join();
  EXPECT_EQ(writerFailures, "");
  for (const std::string& failure : failures) EXPECT_EQ(failure, "");
}

// Reads the value until it is `expected`, at most kWaitLimit; what it read
// last.
unsigned long ReadUntil(ZNPlatformInfo& info, const char* name, unsigned long expected) {
  unsigned long number = 0;
  const auto deadline = std::chrono::steady_clock::now() + kWaitLimit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (info.getNumber("Cache", name, &number) == 1 && number == expected) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return number;
}

// A backup restored into the live store through SQLite by another process,
// and a value changed with plain SQL: neither tells the change counter,
// and readers see both within the documented bound.
TEST_F(StoreCacheTest, ChangesThatBypassTheLibraryAreSeenWithinTheBound) {
  zn::test::TempDir folder;
  const std::string backup = folder.file("backup.db");
  ZNPlatformInfo info;
  ASSERT_EQ(info.setNumber("Cache", "nRestored", 1), 1);
  ASSERT_EQ(ConfigStore::ForThisThread().backupTo(backup), StoreStatus::kOk);
  ASSERT_EQ(info.setNumber("Cache", "nRestored", 2), 1);
  unsigned long number = 0;
  ASSERT_EQ(info.getNumber("Cache", "nRestored", &number), 1);
  ASSERT_EQ(number, 2u);
  ASSERT_GT(ConfigStore::ForThisThread().cacheState().entries, 0u);
  ASSERT_TRUE(ConfigStore::ForThisThread().cacheState().counter);

  Child restorer([&]() -> std::string {
    sqlite3* source = nullptr;
    sqlite3_open_v2(backup.c_str(), &source, SQLITE_OPEN_READONLY, nullptr);
    RawStore target;
    sqlite3_backup* restore = sqlite3_backup_init(target.db(), "main", source, "main");
    if (restore == nullptr) return std::string("backup_init: ") + sqlite3_errmsg(target.db());
    const int rc = sqlite3_backup_step(restore, -1);
    sqlite3_backup_finish(restore);
    sqlite3_close(source);
    return rc == SQLITE_DONE ? std::string() : std::string("backup_step: ") + sqlite3_errstr(rc);
  });
  ASSERT_EQ(restorer.finish(), "");
  EXPECT_EQ(ReadUntil(info, "nRestored", 1), 1u);

  // The sqlite3 tool's way: plain SQL on the value's row.
  {
    RawStore raw;
    ASSERT_EQ(raw.exec("UPDATE vals SET data = X'07000000' WHERE name = 'nRestored'"), SQLITE_OK);
  }
  EXPECT_EQ(ReadUntil(info, "nRestored", 7), 7u);
}

// A snapshot reads its own moment, whatever the cache holds; afterwards
// the latest value is read.
TEST_F(StoreCacheTest, ASnapshotIsNotAnsweredFromTheCache) {
  ZNPlatformInfo info;
  ASSERT_EQ(info.setNumber("Cache", "nSnap", 1), 1);
  unsigned long number = 0;
  {
    const ConfigStore::ReadSnapshot snapshot(ConfigStore::ForThisThread());
    ASSERT_EQ(info.getNumber("Cache", "nSnap", &number), 1);
    ASSERT_EQ(number, 1u);
    std::thread([] { ASSERT_EQ(ZNPlatformInfo().setNumber("Cache", "nSnap", 2), 1); }).join();
    // Another thread has read (and cached) the new value meanwhile.
    std::thread([] {
      unsigned long seen = 0;
      ASSERT_EQ(ZNPlatformInfo().getNumber("Cache", "nSnap", &seen), 1);
      EXPECT_EQ(seen, 2u);
    }).join();
    ASSERT_EQ(info.getNumber("Cache", "nSnap", &number), 1);
    EXPECT_EQ(number, 1u);
  }
  ASSERT_EQ(info.getNumber("Cache", "nSnap", &number), 1);
  EXPECT_EQ(number, 2u);
}

// The cache holds at most its capacity; none at 0, where every read goes
// to the store; reads stay right throughout.
TEST_F(StoreCacheTest, MemoryStaysWithinTheCapacity) {
  ZNPlatformInfo info;
  constexpr int kValues = 300;
  std::vector<ConfigStore::BatchValue> batch;
  for (int i = 0; i < kValues; ++i) {
    const auto number = static_cast<uint32_t>(i * 3);
    batch.push_back({kCacheKey, "n" + std::to_string(i), 4, std::string(reinterpret_cast<const char*>(&number), 4)});
  }
  ASSERT_EQ(ConfigStore::ForThisThread().writeBatch({}, batch), StoreStatus::kOk);
  for (const std::size_t capacity : {std::size_t{40}, std::size_t{0}, std::size_t{1000}}) {
    ConfigStore::SetCacheCapacity(capacity);
    for (int pass = 0; pass < 2; ++pass) {
      for (int i = 0; i < kValues; ++i) {
        unsigned long number = 0;
        ASSERT_EQ(info.getNumber("Cache", ("n" + std::to_string(i)).c_str(), &number), 1);
        ASSERT_EQ(number, static_cast<unsigned long>(i * 3));
      }
      EXPECT_LE(ConfigStore::ForThisThread().cacheState().entries, capacity);
    }
  }
  // All but those the thread's own front table answered.
  EXPECT_GE(ConfigStore::ForThisThread().cacheState().entries, std::size_t{kValues} - 64);
}

// The counter segment has the store file's owner and access bits; one
// that someone else made first, or that grants more than the store file,
// is not used, and every read then goes to the store.
TEST_F(StoreCacheTest, ACounterSegmentOfAnotherOwnerIsNotTrusted) {
  ZNPlatformInfo info;
  ASSERT_EQ(info.setNumber("Cache", "nOwner", 1), 1);
  const std::string path = ConfigStore::DefaultPath();
  const std::string name = zn::testing::StoreCounterName(path);
  ASSERT_FALSE(name.empty());
  struct stat store {};
  struct stat segment {};
  ASSERT_EQ(::stat(path.c_str(), &store), 0);
  ASSERT_EQ(::stat(("/dev/shm" + name).c_str(), &segment), 0);
  EXPECT_EQ(segment.st_uid, store.st_uid);
  EXPECT_EQ(segment.st_mode & 0777, store.st_mode & 0666);

  // A file in the store's place: a new inode, whose segment "another user"
  // made beforehand, open to all.
  zn::test::TempDir folder;
  const std::string other = folder.file("other.db");
  zn::test::ScopedEnv env("ZN_CONFIG_STORE", other);
  const int fd = ::open(other.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0660);
  ASSERT_GE(fd, 0);
  ::close(fd);
  const std::string otherName = zn::testing::StoreCounterName(other);
  const int planted = ::shm_open(otherName.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
  ASSERT_GE(planted, 0);
  ASSERT_EQ(::fchmod(planted, 0666), 0);
  ASSERT_EQ(::ftruncate(planted, 64), 0);
  const uint64_t magic = 0x5a4e53544f524531;  // what a ready segment begins with
  ASSERT_EQ(::pwrite(planted, &magic, sizeof magic, 0), static_cast<ssize_t>(sizeof magic));
  const uid_t nobody = 65534;
  if (::geteuid() == 0) {
    ASSERT_EQ(::fchown(planted, nobody, nobody), 0);
  }
  ::close(planted);
  for (unsigned long value = 1; value <= 3; ++value) {
    ASSERT_EQ(info.setNumber("Cache", "nOwner", value), 1);
    unsigned long number = 0;
    ASSERT_EQ(info.getNumber("Cache", "nOwner", &number), 1);
    EXPECT_EQ(number, value);
  }
  EXPECT_FALSE(ConfigStore::ForThisThread().cacheState().counter);
  EXPECT_EQ(ConfigStore::ForThisThread().cacheState().entries, 0u);
}

}  // namespace
