#include "zn/store/ConfigStore.h"

#include <cstdlib>
#include <memory>
#include <optional>

#include "zn/store/internal/ConnectionReads.h"
#include "zn/store/internal/EnvironmentValue.h"
#include "zn/store/internal/SqliteConnection.h"
#include "zn/store/internal/StoreCache.h"
#include "zuzazer/LogLineFormat.h"

namespace zn {

using detail::SqliteConnection;
using detail::Statement;
using yq::CachedProcessId;

namespace {

constexpr const char* kDefaultStorePath = "/var/lib/tessaly/config.db";

// Statements. The path column compares without regard to ASCII case.
constexpr const char* kReadValue =
    "SELECT v.type, v.data, v.key IS NOT NULL FROM keys k LEFT JOIN vals v ON v.key = k.id AND v.name = ?2 "
    "WHERE k.path = ?1";
constexpr const char* kWriteValueIntoExistingKey =
    "INSERT INTO vals(key, name, type, data) SELECT id, ?2, ?3, ?4 FROM keys WHERE path = ?1 "
    "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data";
constexpr const char* kWriteValue =
    "INSERT INTO vals(key, name, type, data) VALUES(?1, ?2, ?3, ?4) "
    "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data";
constexpr const char* kFindKey = "SELECT id FROM keys WHERE path = ?1";
constexpr const char* kInsertKey = "INSERT INTO keys(parent, name, path) VALUES(?1, ?2, ?3)";
constexpr const char* kDeleteValue =
    "DELETE FROM vals WHERE key = (SELECT id FROM keys WHERE path = ?1) AND name = ?2";
constexpr const char* kDeleteKey = "DELETE FROM keys WHERE path = ?1 AND id <> 0";
constexpr const char* kSubKeys =
    "SELECT c.name FROM keys k LEFT JOIN keys c ON c.parent = k.id WHERE k.path = ?1 ORDER BY c.name";
constexpr const char* kSubKeysById = "SELECT id, name FROM keys WHERE parent = ?1 ORDER BY name";
constexpr const char* kValues =
    "SELECT v.name, v.type, v.data FROM keys k LEFT JOIN vals v ON v.key = k.id WHERE k.path = ?1 ORDER BY v.name";
constexpr const char* kValuesById = "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY name";

// An immediate transaction: a deferred one that upgrades to writing gets
// SQLITE_BUSY at once and would lose the write. Rolled back unless
// committed. A failed commit keeps its reason: the rollback after it must
// not replace it (SQLite may have rolled back already, as it does when the
// disk is full).
class Transaction {
 public:
  explicit Transaction(SqliteConnection& connection) : m_connection(connection) {
    m_open = m_connection.run("BEGIN IMMEDIATE") == SQLITE_OK;
    if (m_open) m_connection.writeLocked();
  }
  ~Transaction() {
    if (m_open && sqlite3_get_autocommit(m_connection.db()) == 0) m_connection.run("ROLLBACK");
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  bool open() const { return m_open; }
  bool commit() {
    m_open = false;
    if (m_connection.run("COMMIT") == SQLITE_OK) return true;
    m_failure = m_connection.takeFailure();
    if (sqlite3_get_autocommit(m_connection.db()) == 0) m_connection.run("ROLLBACK");
    return false;
  }
  const std::string& failure() const { return m_failure; }

 private:
  SqliteConnection& m_connection;
  bool m_open;
  std::string m_failure;
};

// Declared before a write's transaction, so that once the transaction has
// ended, committed or not, every process's cache is told (before the
// writing call returns) and the WAL is looked after.
class WriteEnd {
 public:
  explicit WriteEnd(SqliteConnection& connection) : m_connection(connection) {}
  ~WriteEnd() { m_connection.afterWritingCall(); }
  WriteEnd(const WriteEnd&) = delete;
  WriteEnd& operator=(const WriteEnd&) = delete;

 private:
  SqliteConnection& m_connection;
};

std::string LastComponent(const std::string& path) {
  const auto slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ParentPath(const std::string& path) {
  const auto slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// True when `inner` is `outer` or lies below it (ASCII case ignored).
bool IsWithin(const std::string& inner, const std::string& outer) {
  if (inner.size() < outer.size()) return false;
  for (std::size_t i = 0; i < outer.size(); ++i) {
    char a = inner[i], b = outer[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 32);
    if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 32);
    if (a != b) return false;
  }
  return inner.size() == outer.size() || inner[outer.size()] == '\\';
}

}  // namespace

ConfigStore& ConfigStore::ForThisThread() {
  [[gnu::tls_model("initial-exec")]] thread_local ConfigStore store;
  return store;
}

namespace {

std::string_view DefaultPathView() {
  // Every store call asks; each thread remembers its last answer.
  [[gnu::tls_model("initial-exec")]] thread_local detail::EnvironmentValue variable("ZN_CONFIG_STORE=");
  const char* path = variable.get();
  return path != nullptr && path[0] != '\0' ? std::string_view(path) : std::string_view(kDefaultStorePath);
}

}  // namespace

std::string ConfigStore::DefaultPath() { return std::string(DefaultPathView()); }

void ConfigStore::SetCacheCapacity(std::size_t entries) { detail::StoreCache::SetCapacity(entries); }

std::size_t ConfigStore::CacheCapacity() { return detail::StoreCache::Capacity(); }

std::string ConfigStore::NormalizePath(std::string_view path) {
  std::string result;
  result.reserve(path.size());
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) {
      if (!result.empty()) result.push_back('\\');
      result.append(path.substr(start, end - start));
    }
    start = end + 1;
  }
  return result;
}

SqliteConnection* ConfigStore::connection() {
  [[gnu::tls_model("initial-exec")]] thread_local std::unique_ptr<SqliteConnection> owned;
  const std::string_view path = DefaultPathView();
  const long pid = yq::CachedProcessId();
  const bool replaced = owned && owned->reads() != nullptr && owned->reads()->replaced();
  if (owned && (m_pid != pid || owned->path() != path || replaced)) {
    // A connection inherited across fork belongs to the parent: leave it.
    if (m_pid != pid) owned->abandon();
    owned.reset();
  }
  if (!owned) {
    std::string error;
    owned = SqliteConnection::Open(std::string(path), error);
    if (!owned) {
      m_lastError = error;
      m_connection = nullptr;
      return nullptr;
    }
    m_pid = pid;
  }
  m_connection = owned.get();
  return m_connection;
}

ConfigStore::CacheState ConfigStore::cacheState() {
  SqliteConnection* db = connection();
  if (db == nullptr || db->reads() == nullptr) return {};
  const detail::StoreCache::Stats stats = db->reads()->cache().stats();
  return {stats.entries, stats.counter};
}

bool ConfigStore::readOnly() {
  SqliteConnection* db = connection();
  return db == nullptr || db->readOnly();
}

StoreStatus ConfigStore::fail(const std::string& text) {
  m_lastError = text;
  return StoreStatus::kFailed;
}

StoreStatus ConfigStore::failStore() {
  return fail(m_connection != nullptr ? m_connection->takeFailure() : m_lastError);
}

StoreStatus ConfigStore::keyExists(std::string_view path) {
  SqliteConnection* db = connection();
  if (db == nullptr) return StoreStatus::kFailed;
  Statement find = db->prepare(kFindKey);
  if (!find) return failStore();
  find.bind(1, NormalizePath(path));
  const int rc = find.step();
  if (rc == SQLITE_ROW) return StoreStatus::kOk;
  return rc == SQLITE_DONE ? StoreStatus::kKeyMissing : failStore();
}

void ConfigStore::ValueKey::assign(std::string_view path, std::string_view name) {
  detail::StoreCache::MakeKey(path, name, m_bytes);
  m_pathSize = path.size();
  m_hash = detail::StoreCache::Hash(m_bytes);
}

StoreStatus ConfigStore::readValue(std::string_view path, std::string_view name, StoreValue& value) {
  // A caller reading one value again and again gets its key built once.
  if (!m_readKey.is(path, name)) m_readKey.assign(path, name);
  return readValue(m_readKey, value);
}

StoreStatus ConfigStore::readValue(const ValueKey& key, StoreValue& value) {
  SqliteConnection* db = connection();
  if (db == nullptr) return StoreStatus::kFailed;
  detail::ConnectionReads* cache = db->reads();
  StoreStatus status = StoreStatus::kFailed;
  if (cache != nullptr && cache->find(*db, key, status, value)) return status;
  status = readStoredValue(*db, key.path(), key.name(), value);
  if (cache != nullptr) cache->remember(key, status, value);
  return status;
}

StoreStatus ConfigStore::readStoredValue(SqliteConnection& db, std::string_view path, std::string_view name,
                                         StoreValue& value) {
  Statement read = db.prepare(kReadValue);
  if (!read) return failStore();
  read.bind(1, NormalizePath(path));
  read.bind(2, name);
  const int rc = read.step();
  if (rc == SQLITE_DONE) return StoreStatus::kKeyMissing;
  if (rc != SQLITE_ROW) return failStore();
  if (read.columnInt(2) == 0) return StoreStatus::kValueMissing;
  value.type = static_cast<uint32_t>(read.columnInt(0));
  value.data = read.columnBlob(1);
  return StoreStatus::kOk;
}

bool ConfigStore::findKey(const std::string& path, long long& id, bool& found) {
  Statement find = m_connection->prepare(kFindKey);
  if (!find) return false;
  find.bind(1, path);
  const int rc = find.step();
  found = rc == SQLITE_ROW;
  if (found) id = find.columnInt(0);
  return rc == SQLITE_ROW || rc == SQLITE_DONE;
}

bool ConfigStore::validKeyPath(const std::string& path) {
  std::size_t depth = 0;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    ++depth;
    if (end - start > kMaxKeyNameLength) {
      m_lastError = "The key name [" + path.substr(start, 32) + "...] is longer than " +
                    std::to_string(kMaxKeyNameLength) + " characters";
      return false;
    }
    start = end + 1;
  }
  if (depth > kMaxKeyDepth) {
    m_lastError = "The key is deeper than " + std::to_string(kMaxKeyDepth) + " levels";
    return false;
  }
  return true;
}

bool ConfigStore::ensureKey(const std::string& path, long long& id, bool& existed) {
  bool found = false;
  if (!findKey(path, id, found)) return false;
  existed = found;
  if (found) return true;
  long long parent = 0;
  const std::string parentPath = ParentPath(path);
  if (!parentPath.empty()) {
    bool parentExisted = false;
    if (!ensureKey(parentPath, parent, parentExisted)) return false;
  }
  Statement insert = m_connection->prepare(kInsertKey);
  if (!insert) return false;
  insert.bind(1, parent);
  insert.bind(2, LastComponent(path));
  insert.bind(3, path);
  if (insert.step() != SQLITE_DONE) return false;
  id = sqlite3_last_insert_rowid(m_connection->db());
  return true;
}

StoreStatus ConfigStore::writeValue(std::string_view path, std::string_view name, uint32_t type,
                                    std::string_view data) {
  SqliteConnection* db = connection();
  if (db == nullptr) return StoreStatus::kFailed;
  const WriteEnd writeEnd(*db);
  const std::string key = NormalizePath(path);
  if (key.empty()) return fail("No key given");
  if (name.size() > kMaxValueNameLength) return fail("The value name is longer than 16383 characters");
  {
    // The usual case, the key exists: one statement, under the write lock
    // taken first so that every process's cache hears of the write before
    // it lands. Inside a snapshot it joins the snapshot's transaction.
    std::optional<Transaction> own;
    if (sqlite3_get_autocommit(db->db()) != 0) {
      own.emplace(*db);
      if (!own->open()) return failStore();
    }
    Statement write = db->prepare(kWriteValueIntoExistingKey);
    if (!write) return failStore();
    write.bind(1, key);
    write.bind(2, name);
    write.bind(3, static_cast<long long>(type));
    write.bindBlob(4, data);
    if (write.step() != SQLITE_DONE) return failStore();
    db->writeLocked();
    if (sqlite3_changes(db->db()) > 0) {
      if (!own) return StoreStatus::kOk;
      return own->commit() ? StoreStatus::kOk : fail(own->failure());
    }
  }
  if (!validKeyPath(key)) return StoreStatus::kFailed;
  Transaction transaction(*db);
  if (!transaction.open()) return failStore();
  long long id = 0;
  bool existed = false;
  if (!ensureKey(key, id, existed)) return failStore();
  Statement write = db->prepare(kWriteValue);
  if (!write) return failStore();
  write.bind(1, id);
  write.bind(2, name);
  write.bind(3, static_cast<long long>(type));
  write.bindBlob(4, data);
  if (write.step() != SQLITE_DONE) return failStore();
  return transaction.commit() ? StoreStatus::kOk : fail(transaction.failure());
}

StoreStatus ConfigStore::deleteValue(std::string_view path, std::string_view name) {
  SqliteConnection* db = connection();
  if (db == nullptr) return StoreStatus::kFailed;
  const WriteEnd writeEnd(*db);
  const std::string key = NormalizePath(path);
  Transaction transaction(*db);
  if (!transaction.open()) return failStore();
  long long id = 0;
  bool found = false;
  if (!findKey(key, id, found)) return failStore();
  if (!found) return StoreStatus::kKeyMissing;
  Statement remove = db->prepare(kDeleteValue);
  if (!remove) return failStore();
  remove.bind(1, key);
  remove.bind(2, name);
  if (remove.step() != SQLITE_DONE) return failStore();
  const bool deleted = sqlite3_changes(db->db()) > 0;
  if (!transaction.commit()) return fail(transaction.failure());
  return deleted ? StoreStatus::kOk : StoreStatus::kValueMissing;
}

StoreStatus ConfigStore::createKey(std::string_view path, bool& existed) {
  SqliteConnection* db = connection();
  if (db == nullptr) return StoreStatus::kFailed;
  const WriteEnd writeEnd(*db);
  const std::string key = NormalizePath(path);
  if (key.empty()) return fail("No key given");
  if (!validKeyPath(key)) return StoreStatus::kFailed;
  Transaction transaction(*db);
  if (!transaction.open()) return failStore();
  long long id = 0;
  if (!ensureKey(key, id, existed)) return failStore();
  return transaction.commit() ? StoreStatus::kOk : fail(transaction.failure());
}

StoreStatus ConfigStore::deleteTree(std::string_view path) {
  SqliteConnection* db = connection();
  if (db == nullptr) return StoreStatus::kFailed;
  const WriteEnd writeEnd(*db);
  const std::string key = NormalizePath(path);
  if (key.empty()) return fail("The root of the store cannot be deleted");
  std::optional<Transaction> own;  // as in writeValue
  if (sqlite3_get_autocommit(db->db()) != 0) {
    own.emplace(*db);
    if (!own->open()) return failStore();
  }
  Statement remove = db->prepare(kDeleteKey);
  if (!remove) return failStore();
  remove.bind(1, key);
  if (remove.step() != SQLITE_DONE) return failStore();
  db->writeLocked();
  const StoreStatus status = sqlite3_changes(db->db()) > 0 ? StoreStatus::kOk : StoreStatus::kKeyMissing;
  if (own && !own->commit()) return fail(own->failure());
  return status;
}

StoreStatus ConfigStore::subKeys(std::string_view path, std::vector<std::string>& names) {
  names.clear();
  SqliteConnection* db = connection();
  if (db == nullptr) return StoreStatus::kFailed;
  Statement list = db->prepare(kSubKeys);
  if (!list) return failStore();
  list.bind(1, NormalizePath(path));
  bool keyFound = false;
  int rc;
  while ((rc = list.step()) == SQLITE_ROW) {
    keyFound = true;
    if (!list.columnIsNull(0)) names.push_back(list.columnText(0));
  }
  if (rc != SQLITE_DONE) return failStore();
  return keyFound ? StoreStatus::kOk : StoreStatus::kKeyMissing;
}

StoreStatus ConfigStore::values(std::string_view path, std::vector<StoreEntry>& entries) {
  entries.clear();
  SqliteConnection* db = connection();
  if (db == nullptr) return StoreStatus::kFailed;
  Statement list = db->prepare(kValues);
  if (!list) return failStore();
  list.bind(1, NormalizePath(path));
  bool keyFound = false;
  int rc;
  while ((rc = list.step()) == SQLITE_ROW) {
    keyFound = true;
    if (list.columnIsNull(0)) continue;
    entries.push_back({list.columnText(0), static_cast<uint32_t>(list.columnInt(1)), list.columnBlob(2)});
  }
  if (rc != SQLITE_DONE) return failStore();
  return keyFound ? StoreStatus::kOk : StoreStatus::kKeyMissing;
}

CopyFailure ConfigStore::copyKeyLocked(long long fromId, const std::string& fromPath, const std::string& toPath,
                                       std::string& failedAt) {
  const auto storeFailure = [this] {
    m_lastError = m_connection->takeFailure();
    return CopyFailure::kStore;
  };
  long long toId = 0;
  bool existed = false;
  if (!validKeyPath(toPath)) return CopyFailure::kStore;  // a deep source made deeper still
  if (!ensureKey(toPath, toId, existed)) return storeFailure();
  if (existed) {
    failedAt = toPath;
    return CopyFailure::kTargetExists;
  }
  // Read each list whole before writing: the cached statements are reused
  // by the writes and by the recursion.
  std::vector<StoreEntry> entries;
  {
    Statement list = m_connection->prepare(kValuesById);
    if (!list) return storeFailure();
    list.bind(1, fromId);
    int rc;
    while ((rc = list.step()) == SQLITE_ROW) {
      entries.push_back({list.columnText(0), static_cast<uint32_t>(list.columnInt(1)), list.columnBlob(2)});
    }
    if (rc != SQLITE_DONE) return storeFailure();
  }
  for (const StoreEntry& entry : entries) {
    if (entry.name.size() >= kCopyBufferBytes || entry.data.size() > kCopyBufferBytes) {
      failedAt = fromPath;
      return CopyFailure::kValueTooLarge;
    }
    Statement write = m_connection->prepare(kWriteValue);
    if (!write) return storeFailure();
    write.bind(1, toId);
    write.bind(2, entry.name);
    write.bind(3, static_cast<long long>(entry.type));
    write.bindBlob(4, entry.data);
    if (write.step() != SQLITE_DONE) return storeFailure();
  }
  std::vector<std::pair<long long, std::string>> children;
  {
    Statement list = m_connection->prepare(kSubKeysById);
    if (!list) return storeFailure();
    list.bind(1, fromId);
    int rc;
    while ((rc = list.step()) == SQLITE_ROW) children.emplace_back(list.columnInt(0), list.columnText(1));
    if (rc != SQLITE_DONE) return storeFailure();
  }
  for (const auto& [childId, childName] : children) {
    const CopyFailure failure =
        copyKeyLocked(childId, fromPath + "\\" + childName, toPath + "\\" + childName, failedAt);
    if (failure != CopyFailure::kNone) {
      if (failedAt.empty()) failedAt = fromPath + "\\" + childName;
      return failure;
    }
  }
  return CopyFailure::kNone;
}

CopyFailure ConfigStore::copyTree(std::string_view from, std::string_view to, bool deleteSource,
                                  std::string& failedAt) {
  failedAt.clear();
  SqliteConnection* db = connection();
  if (db == nullptr) return CopyFailure::kStore;
  const WriteEnd writeEnd(*db);
  const std::string source = NormalizePath(from);
  const std::string target = NormalizePath(to);
  if (source.empty() || target.empty()) {
    m_lastError = "No key given";
    return CopyFailure::kStore;
  }
  if (IsWithin(target, source)) return CopyFailure::kIntoItself;
  if (!validKeyPath(target)) return CopyFailure::kStore;
  Transaction transaction(*db);
  if (!transaction.open()) {
    m_lastError = db->takeFailure();
    return CopyFailure::kStore;
  }
  long long sourceId = 0;
  bool found = false;
  if (!findKey(source, sourceId, found)) {
    m_lastError = db->takeFailure();
    return CopyFailure::kStore;
  }
  if (!found) return CopyFailure::kSourceMissing;
  const CopyFailure failure = copyKeyLocked(sourceId, source, target, failedAt);
  if (failure == CopyFailure::kStore) return failure;  // rolled back
  if (failure == CopyFailure::kNone && deleteSource) {
    Statement remove = db->prepare(kDeleteKey);
    if (!remove) return CopyFailure::kStore;
    remove.bind(1, source);
    if (remove.step() != SQLITE_DONE) {
      m_lastError = db->takeFailure();
      return CopyFailure::kStore;
    }
  }
  // A copy that stopped keeps what it made, as the registry would; a
  // target that existed was not touched.
  if (!transaction.commit()) {
    m_lastError = transaction.failure();
    return CopyFailure::kStore;
  }
  return failure;
}

StoreStatus ConfigStore::writeBatch(const std::vector<std::string>& keys, const std::vector<BatchValue>& batch) {
  SqliteConnection* db = connection();
  if (db == nullptr) return StoreStatus::kFailed;
  const WriteEnd writeEnd(*db);
  Transaction transaction(*db);
  if (!transaction.open()) return failStore();
  for (const std::string& key : keys) {
    long long id = 0;
    bool existed = false;
    const std::string path = NormalizePath(key);
    if (path.empty()) return fail("No key given");
    if (!validKeyPath(path)) return StoreStatus::kFailed;
    if (!ensureKey(path, id, existed)) return failStore();
  }
  for (const BatchValue& value : batch) {
    long long id = 0;
    bool existed = false;
    const std::string path = NormalizePath(value.key);
    if (path.empty()) return fail("No key given");
    if (!validKeyPath(path)) return StoreStatus::kFailed;
    if (value.name.size() > kMaxValueNameLength) return fail("The value name is longer than 16383 characters");
    if (!ensureKey(path, id, existed)) return failStore();
    Statement write = db->prepare(kWriteValue);
    if (!write) return failStore();
    write.bind(1, id);
    write.bind(2, value.name);
    write.bind(3, static_cast<long long>(value.type));
    write.bindBlob(4, value.data);
    if (write.step() != SQLITE_DONE) return failStore();
  }
  return transaction.commit() ? StoreStatus::kOk : fail(transaction.failure());
}

ConfigStore::ReadSnapshot::ReadSnapshot(ConfigStore& store) : m_connection(store.connection()) {
  if (m_connection != nullptr && m_connection->exec("BEGIN") != SQLITE_OK) m_connection = nullptr;
}

ConfigStore::ReadSnapshot::~ReadSnapshot() {
  if (m_connection == nullptr) return;
  m_connection->exec("COMMIT");
  m_connection->afterTransaction();
}

StoreStatus ConfigStore::backupTo(const std::string& file) {
  SqliteConnection* db = connection();
  if (db == nullptr) return StoreStatus::kFailed;
  sqlite3* opened = nullptr;
  const int openResult =
      sqlite3_open_v2(file.c_str(), &opened, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  const detail::UniqueSqlite target(opened);
  if (openResult != SQLITE_OK) {
    return fail("Cannot create [" + file + "]: " + (target ? sqlite3_errmsg(target.get()) : "out of memory"));
  }
  // The online backup copies a consistent snapshot page by page while other
  // connections go on reading and writing.
  sqlite3_backup* backup = sqlite3_backup_init(target.get(), "main", db->db(), "main");
  if (backup == nullptr) return fail("Cannot back up into [" + file + "]: " + sqlite3_errmsg(target.get()));
  int rc;
  while ((rc = sqlite3_backup_step(backup, 256)) == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
    if (rc != SQLITE_OK) sqlite3_sleep(10);
  }
  sqlite3_backup_finish(backup);
  if (rc != SQLITE_DONE) return fail("Backup into [" + file + "] failed: " + sqlite3_errmsg(target.get()));
  return StoreStatus::kOk;
}

StoreStatus ConfigStore::integrityCheck(std::string& report) {
  report.clear();
  SqliteConnection* db = connection();
  if (db == nullptr) return StoreStatus::kFailed;
  Statement check = db->prepare("PRAGMA integrity_check");
  if (!check) return failStore();
  int rc;
  while ((rc = check.step()) == SQLITE_ROW) {
    if (!report.empty()) report += '\n';
    report += check.columnText(0);
  }
  return rc == SQLITE_DONE ? StoreStatus::kOk : failStore();
}

StoreStatus ConfigStore::verify() {
  std::string report;
  const StoreStatus status = integrityCheck(report);
  if (status == StoreStatus::kOk && report == "ok") return StoreStatus::kOk;
  if (m_connection == nullptr) return StoreStatus::kFailed;  // not even opened: lastError says why
  const std::string found = status == StoreStatus::kOk ? report.substr(0, report.find('\n')) : m_lastError;
  return fail("The configuration store [" + m_connection->path() + "] is damaged: " + found);
}

}  // namespace zn
