// One SQLite connection with its cached prepared statements. Owned by one
// thread; never carried across fork.
#pragma once

#include <sqlite3.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace zn::detail {

class ConnectionReads;

// Owner of an sqlite3 handle that is not (yet) a connection.
struct SqliteCloser {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using UniqueSqlite = std::unique_ptr<sqlite3, SqliteCloser>;

// A cached statement in use: reset and its bindings cleared when it goes,
// so that no statement stays open and pins an old snapshot.
class Statement {
 public:
  explicit Statement(sqlite3_stmt* statement) : m_statement(statement) {}
  ~Statement() {
    if (m_statement != nullptr) {
      sqlite3_reset(m_statement);
      sqlite3_clear_bindings(m_statement);
    }
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  explicit operator bool() const { return m_statement != nullptr; }
  sqlite3_stmt* get() const { return m_statement; }

  void bind(int index, std::string_view text) {
    sqlite3_bind_text(m_statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
  void bindBlob(int index, std::string_view bytes) {
    sqlite3_bind_blob(m_statement, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
  }
  void bind(int index, long long value) { sqlite3_bind_int64(m_statement, index, value); }
  // SQLITE_ROW, SQLITE_DONE or an error code.
  int step() { return sqlite3_step(m_statement); }

  long long columnInt(int column) const { return sqlite3_column_int64(m_statement, column); }
  bool columnIsNull(int column) const { return sqlite3_column_type(m_statement, column) == SQLITE_NULL; }
  std::string columnText(int column) const;
  std::string columnBlob(int column) const;

 private:
  sqlite3_stmt* m_statement;
};

class SqliteConnection {
 public:
  // Opens (creating it when missing, with its folder) the store at `path`.
  // A store that cannot be written is opened read-only. On failure returns
  // null and sets `error`.
  static std::unique_ptr<SqliteConnection> Open(const std::string& path, std::string& error);
  ~SqliteConnection();
  SqliteConnection(const SqliteConnection&) = delete;
  SqliteConnection& operator=(const SqliteConnection&) = delete;

  sqlite3* db() const { return m_db; }
  const std::string& path() const { return m_path; }
  bool readOnly() const { return m_readOnly; }

  // The cached statement for `sql` (prepared on first use); empty on failure.
  Statement prepare(const char* sql);
  int exec(const char* sql);
  // One statement without results, prepared once: for the transaction
  // statements every write runs.
  int run(const char* sql);
  // The last failure's text; a full disk says so, with its code 112.
  std::string errorText() const;
  // The same for a write that failed, which also notes a full disk for
  // afterWrite.
  std::string takeFailure();

  // Keeps the WAL small: run by the store after each write, once its
  // transaction has ended. After a large commit, or a write that failed for
  // space, the WAL is checkpointed and truncated.
  void afterWrite();

  // The cached value reads of this connection; null when there is no
  // cache.
  ConnectionReads* reads() const { return m_reads.get(); }
  // This connection has just taken the store's write lock: every process's
  // cache is told a write is under way.
  void writeLocked();
  // After every writing call, once its transaction has ended: every
  // process's cache is told it ended, then the WAL looked after. A write
  // inside an open transaction (a ReadSnapshot) ends when that ends.
  void afterWritingCall();
  void afterTransaction();

  // Leaves the handle open and unused: for a copy inherited across fork,
  // whose locks and files belong to the parent.
  void abandon() { m_abandoned = true; }

 private:
  SqliteConnection(sqlite3* db, std::string path, bool readOnly) : m_db(db), m_path(std::move(path)), m_readOnly(readOnly) {}
  bool hasSchema();
  // Sets a new store up (journal mode, schema) and watches the WAL's size.
  bool prepareForWriting(std::string& error);
  static int OnWalCommit(void* self, sqlite3* db, const char* name, int pages);
  bool diskFull() const;

  sqlite3* m_db;
  std::string m_path;
  bool m_readOnly;
  bool m_abandoned = false;
  int m_walPages = 0;       // pages in the WAL after the last commit
  int m_walPagesAdded = 0;  // by that commit
  bool m_spaceFailure = false;
  std::map<const char*, sqlite3_stmt*> m_statements;  // keyed by the SQL text's address
  std::unique_ptr<ConnectionReads> m_reads;
  bool m_writeBegun = false;    // writeLocked, not yet ended
  bool m_counterRaised = false;  // what the counter said to it
};

}  // namespace zn::detail
