// The cached value reads of one connection (one thread): its front table,
// the process's shared cache of the store file, and the check that notices
// writes the change counter cannot tell of (the sqlite3 tool, a restored
// backup): at most every kVerifyInterval, a read first asks SQLite whether
// any other connection has committed since the last check (PRAGMA
// data_version) and whether the store's path still names the same file.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "zn/store/ConfigStore.h"
#include "zn/store/internal/StoreCache.h"

namespace zn::detail {

class SqliteConnection;

class ConnectionReads {
 public:
  static constexpr std::chrono::milliseconds kVerifyInterval{100};

  ConnectionReads(std::shared_ptr<StoreCache> cache, const struct stat& file);

  // True, with `status` and `value` set, when the cache answers. Otherwise
  // the caller reads the store and hands what it found to remember(), with
  // the same key.
  bool find(SqliteConnection& connection, const ConfigStore::ValueKey& key, StoreStatus& status, StoreValue& value);
  void remember(const ConfigStore::ValueKey& key, StoreStatus status, const StoreValue& value);
  StoreCache& cache() const { return *m_cache; }
  // The store's path has come to name another file (a backup moved into
  // its place): the connection is to be opened again.
  bool replaced() const { return m_replaced; }

 private:
  void verifyIfDue(SqliteConnection& connection);

  const std::shared_ptr<StoreCache> m_cache;
  const dev_t m_device;
  const ino_t m_inode;
  FrontCache m_front;
  // The stamp taken before the last read that missed went to the store.
  CacheStamp m_stamp;
  bool m_pending = false;
  std::chrono::steady_clock::rep m_nextCheck = 0;  // CLOCK_MONOTONIC_COARSE, ns
  long long m_dataVersion = -1;                    // none yet
  bool m_replaced = false;
};

}  // namespace zn::detail
