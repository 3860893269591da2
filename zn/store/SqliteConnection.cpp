#include "zn/store/internal/SqliteConnection.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "zn/store/internal/ConnectionReads.h"
#include "zn/store/internal/StoreCache.h"
#include "zuzazer/FXFile.h"
#include "zuzazer/FXPath.h"
#include "zuzazer/FXUniqueFd.h"
#include "zuzazer/YqWin32Errors.h"

namespace zn::detail {
namespace {

constexpr int kBusyTimeoutMs = 10000;
// A WAL that holds this many pages (4 MiB of 4 KiB pages) after a commit is
// folded back into the database, as SQLite's own checkpoint does: the file
// keeps its size and is written again from its start, which costs less
// than growing it anew. A large commit, the kind an import makes, has it
// folded back and cut from 1 MiB on, so that a disk with room for a few
// copies of the store never fills with old ones.
constexpr int kWalCheckpointPages = 1000;
constexpr int kLargeCommitWalPages = 256;
constexpr int kLargeCommitPages = 64;
constexpr const char* kSuiteGroup = "tessaly";

// The schema. Names compare without regard to ASCII case and keep their
// first spelling; a key's full path is kept folded-comparable and indexed,
// so resolving a key is one indexed read. Deleting a key deletes its
// subtree and values.
constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS keys(
  id INTEGER PRIMARY KEY,
  parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,
  name TEXT NOT NULL COLLATE NOCASE,
  path TEXT NOT NULL UNIQUE COLLATE NOCASE);
CREATE UNIQUE INDEX IF NOT EXISTS keys_by_parent ON keys(parent, name);
INSERT OR IGNORE INTO keys(id, parent, name, path) VALUES(0, NULL, '', '');
CREATE TABLE IF NOT EXISTS vals(
  key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,
  name TEXT NOT NULL COLLATE NOCASE,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  PRIMARY KEY(key, name)) WITHOUT ROWID;
)sql";

// The store's folder is shared by the suite's group (set-group-id so new
// files inherit it) and closed to others; the store file likewise.
void PrepareFolderAndFile(const std::string& path) {
  const std::string folder = FXPath::GetDirectory(path);
  if (!folder.empty() && !FXFile::IsDirectory(folder)) {
    if (FXFile::CreateDirectories(folder).IsSuccess()) {
      ::chmod(folder.c_str(), 02770);
      if (const struct group* suite = ::getgrnam(kSuiteGroup)) ::chown(folder.c_str(), static_cast<uid_t>(-1), suite->gr_gid);
    }
  }
  const yq::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0660));
  if (fd) ::fchmod(fd.get(), 0660);
}

// "file:<path>?immutable=1": the store read as the file stands, without the
// WAL's shared-memory index or locks.
std::string ImmutableUri(const std::string& path) {
  std::string uri = "file:";
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '%' || c == '?' || c == '#' || byte < 0x20 || byte >= 0x7F) {
      char escape[4];
      std::snprintf(escape, sizeof escape, "%%%02X", byte);
      uri += escape;
    } else {
      uri.push_back(c);
    }
  }
  return uri + "?immutable=1";
}

// What a complete schema holds: its three tables and indexes, and the root.
constexpr const char* kSchemaTables =
    "SELECT count(*) FROM sqlite_master WHERE name IN ('keys', 'keys_by_parent', 'vals')";
constexpr long long kSchemaTableCount = 3;
constexpr const char* kRootKey = "SELECT 1 FROM keys WHERE id = 0";

// An sqlite3 handle while a connection is being opened.
class Handle {
 public:
  Handle() = default;
  ~Handle() { sqlite3_close(m_db); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  // Closes any handle held, then opens `name` with `flags`.
  bool open(const std::string& name, int flags, std::string& reason) {
    sqlite3_close(m_db);
    m_db = nullptr;
    if (sqlite3_open_v2(name.c_str(), &m_db, flags | SQLITE_OPEN_NOMUTEX, nullptr) == SQLITE_OK) {
      sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
      return true;
    }
    reason = m_db != nullptr ? sqlite3_errmsg(m_db) : "out of memory";
    return false;
  }
  // A first read, which shows whether the store can be read at all.
  int probe() { return sqlite3_exec(m_db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr); }
  sqlite3* get() const { return m_db; }
  sqlite3* release() {
    sqlite3* db = m_db;
    m_db = nullptr;
    return db;
  }

 private:
  sqlite3* m_db = nullptr;
};

}  // namespace

std::string Statement::columnText(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
  return text != nullptr ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(m_statement, column)))
                         : std::string();
}

std::string Statement::columnBlob(int column) const {
  const void* bytes = sqlite3_column_blob(m_statement, column);
  const int size = sqlite3_column_bytes(m_statement, column);
  return bytes != nullptr ? std::string(static_cast<const char*>(bytes), static_cast<std::size_t>(size))
                          : std::string();
}

std::unique_ptr<SqliteConnection> SqliteConnection::Open(const std::string& path, std::string& error) {
  // A FIFO would block every command in open(2) or read(2), a device would
  // be written to: only a regular file (or none yet) is a store.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    error = "The configuration store [" + path + "] is not a regular file";
    return nullptr;
  }
  PrepareFolderAndFile(path);
  bool readOnly = false;
  Handle db;
  std::string reason;
  if (!db.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, reason)) {
    readOnly = true;
    if (!db.open(path, SQLITE_OPEN_READONLY, reason)) {
      error = "Cannot open the configuration store [" + path + "]: " + reason;
      return nullptr;
    }
  }
  // A file this process may not write opens "read-write" as read-only.
  if (!readOnly && sqlite3_db_readonly(db.get(), "main") == 1) readOnly = true;
  // A WAL store is read through the shared-memory index beside it, which
  // cannot be made in a folder this process may not write, even when the
  // file itself may be written: such a store is read read-only. With no
  // writer active (no -wal file) the file alone holds the whole store, and a
  // reader that cannot even open the index reads it as it stands.
  int probe = db.probe();
  if (!readOnly && (probe == SQLITE_CANTOPEN || probe == SQLITE_READONLY)) {
    readOnly = true;
    if (!db.open(path, SQLITE_OPEN_READONLY, reason)) {
      error = "Cannot open the configuration store [" + path + "]: " + reason;
      return nullptr;
    }
    probe = db.probe();
  }
  if ((probe == SQLITE_CANTOPEN || probe == SQLITE_READONLY) && !FXFile::Exists(path + "-wal")) {
    if (!db.open(ImmutableUri(path), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, reason)) {
      error = "Cannot open the configuration store [" + path + "]: " + reason;
      return nullptr;
    }
    probe = db.probe();
  }
  // A file that is not a database shows itself here.
  if (probe != SQLITE_OK) {
    error = "Cannot use the configuration store [" + path + "]: " + sqlite3_errmsg(db.get());
    return nullptr;
  }
  sqlite3_extended_result_codes(db.get(), 0);
  std::unique_ptr<SqliteConnection> connection(new SqliteConnection(db.release(), path, readOnly));
  if (connection->exec("PRAGMA foreign_keys=ON") != SQLITE_OK ||
      (!readOnly && connection->exec("PRAGMA synchronous=NORMAL") != SQLITE_OK)) {
    error = "Cannot use the configuration store [" + path + "]: " + connection->errorText();
    return nullptr;
  }
  if (!readOnly && !connection->prepareForWriting(error)) return nullptr;
  if (::stat(path.c_str(), &st) == 0) {
    connection->m_reads = std::make_unique<ConnectionReads>(StoreCache::ForFile(st), st);
  }
  return connection;
}

bool SqliteConnection::hasSchema() {
  Statement tables = prepare(kSchemaTables);
  if (!tables || tables.step() != SQLITE_ROW || tables.columnInt(0) != kSchemaTableCount) return false;
  Statement root = prepare(kRootKey);
  return root && root.step() == SQLITE_ROW;
}

// Opening never writes to a store that has its schema, so that it never
// waits for another process's write; only a new store is set up.
bool SqliteConnection::prepareForWriting(std::string& error) {
  const auto failed = [&] {
    error = "Cannot use the configuration store [" + m_path + "]: " + errorText();
    return false;
  };
  if (!hasSchema()) {
    if (exec("PRAGMA journal_mode=WAL") != SQLITE_OK) {
      if (sqlite3_errcode(m_db) != SQLITE_READONLY) return failed();
      m_readOnly = true;  // read-only after all (a read-only folder, say): still read
      return true;
    }
    // All of it or nothing: a store is never left with half a schema.
    if (exec("BEGIN IMMEDIATE") != SQLITE_OK) return failed();
    const int schema = exec(kSchema);
    if (schema != SQLITE_OK) {
      const bool readOnly = schema == SQLITE_READONLY;
      if (!readOnly) failed();
      exec("ROLLBACK");
      if (!readOnly) return false;
      m_readOnly = true;
      return true;
    }
    if (exec("COMMIT") != SQLITE_OK) {
      failed();
      if (sqlite3_get_autocommit(m_db) == 0) exec("ROLLBACK");
      return false;
    }
  } else {
    // Only a store made by someone else may still need WAL mode.
    Statement mode = prepare("PRAGMA journal_mode");
    const bool wal = mode && mode.step() == SQLITE_ROW && mode.columnText(0) == "wal";
    if (!wal && exec("PRAGMA journal_mode=WAL") != SQLITE_OK && sqlite3_errcode(m_db) != SQLITE_READONLY) {
      return failed();
    }
  }
  // Replaces SQLite's own checkpoints after commits (see afterWrite).
  sqlite3_wal_hook(m_db, &SqliteConnection::OnWalCommit, this);
  return true;
}

int SqliteConnection::OnWalCommit(void* self, sqlite3* /*db*/, const char* /*name*/, int pages) {
  auto* connection = static_cast<SqliteConnection*>(self);
  // Fewer pages than before: another connection has cut the WAL since.
  connection->m_walPagesAdded = pages >= connection->m_walPages ? pages - connection->m_walPages : pages;
  connection->m_walPages = pages;
  return SQLITE_OK;
}

void SqliteConnection::writeLocked() {
  if (m_writeBegun) return;
  m_writeBegun = true;
  m_counterRaised = m_reads != nullptr && m_reads->cache().beginWrite();
}

void SqliteConnection::afterWritingCall() {
  if (sqlite3_get_autocommit(m_db) == 0) return;  // inside a transaction: when it ends
  if (m_writeBegun) {
    m_writeBegun = false;
    if (m_reads != nullptr) m_reads->cache().endWrite(m_counterRaised);
  }
  afterWrite();
}

void SqliteConnection::afterTransaction() {
  if (m_writeBegun) afterWritingCall();
}

void SqliteConnection::afterWrite() {
  if (m_readOnly || sqlite3_get_autocommit(m_db) == 0) return;  // inside a transaction
  const bool cut = m_spaceFailure || (m_walPages >= kLargeCommitWalPages && m_walPagesAdded >= kLargeCommitPages);
  if (!cut && m_walPages < kWalCheckpointPages) return;
  m_spaceFailure = false;
  // Every frame back into the database, and after a large write the WAL
  // file cut to nothing, so that old copies of the store do not take the
  // disk. Readers still on an older snapshot are not waited for: the
  // checkpoint then does what it can and the next write tries again.
  sqlite3_busy_timeout(m_db, 0);
  const int rc = sqlite3_wal_checkpoint_v2(m_db, nullptr, cut ? SQLITE_CHECKPOINT_TRUNCATE : SQLITE_CHECKPOINT_PASSIVE,
                                           nullptr, nullptr);
  sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
  if (rc == SQLITE_OK) m_walPages = m_walPagesAdded = 0;
}

bool SqliteConnection::diskFull() const {
  const int code = sqlite3_errcode(m_db);
  const int system = sqlite3_system_errno(m_db);
  return code == SQLITE_FULL || (code == SQLITE_IOERR && (system == ENOSPC || system == EDQUOT));
}

std::string SqliteConnection::errorText() const {
  // The disk's own word for it, with the suite's code; SQLite's text after.
  if (diskFull()) {
    return yq::Win32ErrorText(yq::kErrorDiskFull) + " (error " + std::to_string(yq::kErrorDiskFull) + ": " +
           sqlite3_errmsg(m_db) + ")";
  }
  return sqlite3_errmsg(m_db);
}

std::string SqliteConnection::takeFailure() {
  if (diskFull()) m_spaceFailure = true;
  return errorText();
}

SqliteConnection::~SqliteConnection() {
  if (m_abandoned) {
    // The cache and its counter mapping came across fork with the handle;
    // they belong to the parent's threads as much as the handle does.
    (void)m_reads.release();
    return;
  }
  for (auto& [sql, statement] : m_statements) sqlite3_finalize(statement);
  sqlite3_close(m_db);
}

Statement SqliteConnection::prepare(const char* sql) {
  auto it = m_statements.find(sql);
  if (it != m_statements.end()) return Statement(it->second);
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK) {
    return Statement(nullptr);
  }
  m_statements.emplace(sql, statement);
  return Statement(statement);
}

int SqliteConnection::exec(const char* sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr); }

int SqliteConnection::run(const char* sql) {
  Statement statement = prepare(sql);
  if (!statement) return sqlite3_errcode(m_db);
  const int rc = statement.step();
  return rc == SQLITE_DONE || rc == SQLITE_ROW ? SQLITE_OK : rc;
}

}  // namespace zn::detail
