#include "zn/store/internal/SqliteConnection.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "zuzazer/FXFile.h"
#include "zuzazer/FXPath.h"

namespace zn::detail {
namespace {

constexpr int kBusyTimeoutMs = 10000;
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
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0660);
  if (fd >= 0) {
    ::fchmod(fd, 0660);
    ::close(fd);
  }
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
  PrepareFolderAndFile(path);
  sqlite3* db = nullptr;
  bool readOnly = false;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                           nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close(db);
    db = nullptr;
    rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    readOnly = true;
  }
  if (rc != SQLITE_OK) {
    error = "Cannot open the configuration store [" + path + "]: " + (db != nullptr ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_close(db);
    return nullptr;
  }
  // A file this process may not write opens "read-write" as read-only.
  if (!readOnly && sqlite3_db_readonly(db, "main") == 1) readOnly = true;
  // A WAL store is read through the shared-memory index beside it, which a
  // reader cannot create in a folder it may not write. With no writer
  // active (no -wal file) the file alone holds the whole store: read it as
  // it stands.
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  const int probe = readOnly ? sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr)
                             : SQLITE_OK;
  if ((probe == SQLITE_CANTOPEN || probe == SQLITE_READONLY) && !FXFile::Exists(path + "-wal")) {
    sqlite3_close(db);
    db = nullptr;
    rc = sqlite3_open_v2(ImmutableUri(path).c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX,
                         nullptr);
    if (rc != SQLITE_OK) {
      error = "Cannot open the configuration store [" + path + "]: " + (db != nullptr ? sqlite3_errmsg(db) : "out of memory");
      sqlite3_close(db);
      return nullptr;
    }
  }
  sqlite3_extended_result_codes(db, 0);
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  std::unique_ptr<SqliteConnection> connection(new SqliteConnection(db, path, readOnly));
  // A file that is not a database shows itself at the first statement.
  if (connection->exec("PRAGMA foreign_keys=ON") != SQLITE_OK) {
    error = "Cannot use the configuration store [" + path + "]: " + connection->errorText();
    return nullptr;
  }
  if (!readOnly) {
    if (connection->exec("PRAGMA journal_mode=WAL") != SQLITE_OK ||
        connection->exec("PRAGMA synchronous=NORMAL") != SQLITE_OK) {
      error = "Cannot use the configuration store [" + path + "]: " + connection->errorText();
      return nullptr;
    }
    // A store that turns out read-only (a read-only folder, say) is still
    // read; its writes fail.
    const int schema = connection->exec(kSchema);
    if (schema == SQLITE_READONLY) {
      connection->m_readOnly = true;
    } else if (schema != SQLITE_OK) {
      error = "Cannot use the configuration store [" + path + "]: " + connection->errorText();
      return nullptr;
    }
  }
  return connection;
}

SqliteConnection::~SqliteConnection() {
  if (m_abandoned) return;
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

}  // namespace zn::detail
