#include "zn/store/internal/ConnectionReads.h"

#include <sqlite3.h>
#include <time.h>

#include <utility>

#include "zn/store/internal/SqliteConnection.h"

namespace zn::detail {
namespace {

// The coarse clock costs a few nanoseconds and ticks every few
// milliseconds: plenty for an interval of a tenth of a second.
std::chrono::steady_clock::rep CoarseNow() {
  struct timespec now {};
  ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return static_cast<std::chrono::steady_clock::rep>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

bool Cacheable(StoreStatus status) {
  return status == StoreStatus::kOk || status == StoreStatus::kKeyMissing || status == StoreStatus::kValueMissing;
}

}  // namespace

ConnectionReads::ConnectionReads(std::shared_ptr<StoreCache> cache, const struct stat& file)
    : m_cache(std::move(cache)), m_device(file.st_dev), m_inode(file.st_ino) {}

void ConnectionReads::verifyIfDue(SqliteConnection& connection) {
  const auto now = CoarseNow();
  if (now < m_nextCheck) return;
  m_nextCheck = now + std::chrono::nanoseconds(kVerifyInterval).count();
  m_cache->retryCounter();
  struct stat file {};
  if (::stat(connection.path().c_str(), &file) == 0 && (file.st_dev != m_device || file.st_ino != m_inode)) {
    m_replaced = true;
    return;
  }
  // Changes when any other connection, of any process, has committed since
  // this one last asked. The first answer of a connection is a baseline
  // that may already hold such a change: it invalidates too.
  Statement version = connection.prepare("PRAGMA data_version");
  if (!version || version.step() != SQLITE_ROW) {
    m_cache->invalidate();
    return;
  }
  const long long dataVersion = version.columnInt(0);
  if (dataVersion != m_dataVersion) m_cache->invalidate();
  m_dataVersion = dataVersion;
}

bool ConnectionReads::find(SqliteConnection& connection, const ConfigStore::ValueKey& key, StoreStatus& status,
                           StoreValue& value) {
  m_pending = false;
  // A snapshot (or a transaction) reads the store itself.
  if (StoreCache::Capacity() == 0 || sqlite3_get_autocommit(connection.db()) == 0) return false;
  verifyIfDue(connection);
  if (m_replaced) return false;
  CacheStamp now;
  if (!m_cache->stamp(now)) return false;
  if (const CachedRead* hit = m_front.find(key.m_bytes, key.m_hash, now)) {
    status = hit->status;
    if (status == StoreStatus::kOk) {
      value.type = hit->type;
      value.data.assign(hit->data);
    }
    return true;
  }
  CachedRead shared;
  if (m_cache->lookup(key.m_bytes, key.m_hash, now, shared)) {
    m_front.put(key.m_bytes, key.m_hash, now, shared);
    status = shared.status;
    if (status == StoreStatus::kOk) {
      value.type = shared.type;
      value.data = std::move(shared.data);
    }
    return true;
  }
  m_stamp = now;
  m_pending = true;
  return false;
}

void ConnectionReads::remember(const ConfigStore::ValueKey& key, StoreStatus status, const StoreValue& value) {
  if (!m_pending || !Cacheable(status)) return;
  m_pending = false;
  if (status == StoreStatus::kOk && value.data.size() > StoreCache::kMaxValueBytes) return;
  CachedRead read;
  read.status = status;
  if (status == StoreStatus::kOk) {
    read.type = value.type;
    read.data = value.data;
  }
  m_cache->insert(key.m_bytes, key.m_hash, m_stamp, read);
  m_front.put(key.m_bytes, key.m_hash, m_stamp, read);
}

}  // namespace zn::detail
