// The store access layer: every read and write of the configuration store
// goes through here. Keys are paths of names separated by "\" (or "/");
// empty components are ignored and names compare without regard to ASCII
// case. Values carry a registry type code and their exact bytes.
//
// Each thread has its own connection (opened on first use, again after a
// fork, when $ZN_CONFIG_STORE changes or when its path comes to name
// another file). Single-value reads and writes are one statement or one
// immediate transaction; copies, renames and deletes of trees run in one
// transaction.
//
// Value reads are cached per process and stay exact: every writing call
// bumps the store's machine-wide change counter before it returns, and a
// cached value is used only while that counter is unchanged. Writes that
// bypass the library are noticed within 100 ms (docs/configuration.md).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "zn/base/ZnExport.h"

namespace zn {

namespace detail {
class ConnectionReads;
class SqliteConnection;
}  // namespace detail

enum class StoreStatus {
  kOk,
  kKeyMissing,
  kValueMissing,
  kKeyExists,
  kFailed,
};

struct ZN_EXPORT StoreValue {
  uint32_t type = 0;
  std::string data;  // the exact bytes
};

struct ZN_EXPORT StoreEntry {
  std::string name;
  uint32_t type = 0;
  std::string data;
};

// The limits of a key, as the registry has them: a name of at most 255
// characters, at most 512 levels, a value name of at most 16,383.
inline constexpr std::size_t kMaxKeyNameLength = 255;
inline constexpr std::size_t kMaxKeyDepth = 512;
inline constexpr std::size_t kMaxValueNameLength = 16383;

// What a tree copy may refuse, as the registry's fixed enumeration buffers
// would: a value name or data longer than this.
inline constexpr std::size_t kCopyBufferBytes = 1024;

enum class CopyFailure {
  kNone,
  kSourceMissing,
  kTargetExists,
  kIntoItself,
  kValueTooLarge,  // a value's name or data does not fit the copy buffers
  kStore,          // the store failed; see lastError()
};

class ZN_EXPORT ConfigStore {
 public:
  // The calling thread's store ($ZN_CONFIG_STORE, default
  // /var/lib/tessaly/config.db).
  static ConfigStore& ForThisThread();
  // The store file in use by default.
  static std::string DefaultPath();

  // Entries the process's cache of value reads keeps per store file
  // (default 4096, or $ZN_CONFIG_CACHE_ENTRIES); 0 reads the store every
  // time.
  static void SetCacheCapacity(std::size_t entries);
  static std::size_t CacheCapacity();

  // "a\\b//c" and "a/b/c" give "a\b\c".
  static std::string NormalizePath(std::string_view path);

  // The key a value is cached under, with its hash: made once by a caller
  // that reads the same value again and again, so that its reads neither
  // build nor hash it. A pure function of the path and name as given.
  class ValueKey {
   public:
    ValueKey() { assign({}, {}); }
    ValueKey(std::string_view path, std::string_view name) { assign(path, name); }
    void assign(std::string_view path, std::string_view name);
    std::string_view path() const { return {m_bytes.data() + kLengthBytes, m_pathSize}; }
    std::string_view name() const {
      return {m_bytes.data() + kLengthBytes + m_pathSize, m_bytes.size() - kLengthBytes - m_pathSize};
    }
    // Whether this is the key of `path` and `name`, byte for byte.
    bool is(std::string_view path, std::string_view name) const {
      return path == this->path() && name == this->name();
    }

   private:
    friend class detail::ConnectionReads;
    static constexpr std::size_t kLengthBytes = sizeof(uint32_t);
    std::string m_bytes;  // the path's length, the path and the name
    std::size_t m_pathSize = 0;
    uint64_t m_hash = 0;
  };

  // kFailed when the store cannot be opened: lastError() says why.
  StoreStatus keyExists(std::string_view path);
  StoreStatus readValue(std::string_view path, std::string_view name, StoreValue& value);
  StoreStatus readValue(const ValueKey& key, StoreValue& value);
  // Creates the key and its parents when missing.
  StoreStatus writeValue(std::string_view path, std::string_view name, uint32_t type, std::string_view data);
  StoreStatus deleteValue(std::string_view path, std::string_view name);
  // `existed` tells whether the key was already there.
  StoreStatus createKey(std::string_view path, bool& existed);
  // The key and everything below it.
  StoreStatus deleteTree(std::string_view path);
  // Names as first spelled, in case-insensitive order.
  StoreStatus subKeys(std::string_view path, std::vector<std::string>& names);
  StoreStatus values(std::string_view path, std::vector<StoreEntry>& entries);

  // Copies `from` and its subtree into the new key `to` (never into an
  // existing key or into itself). On kValueTooLarge or a failing subkey the
  // part copied so far stays, as a registry copy would leave it; with
  // `deleteSource` the source is removed afterwards (a rename). All in one
  // transaction: a crash leaves all or nothing. `failedAt` names the key
  // (or value) where a copy stopped.
  CopyFailure copyTree(std::string_view from, std::string_view to, bool deleteSource, std::string& failedAt);

  // Creates every key and writes every value of `batch` in one transaction:
  // all of it lands, or none.
  struct BatchValue {
    std::string key;
    std::string name;
    uint32_t type = 0;
    std::string data;
  };
  StoreStatus writeBatch(const std::vector<std::string>& keys, const std::vector<BatchValue>& values);

  // While it lives, this thread's reads see one snapshot of the store (a
  // read transaction), so a walk over many keys is consistent.
  class ReadSnapshot {
   public:
    explicit ReadSnapshot(ConfigStore& store);
    ~ReadSnapshot();
    ReadSnapshot(const ReadSnapshot&) = delete;
    ReadSnapshot& operator=(const ReadSnapshot&) = delete;

   private:
    detail::SqliteConnection* m_connection;
  };

  // A consistent copy of the whole store into a new file, while others keep
  // using it.
  StoreStatus backupTo(const std::string& file);
  // SQLite's integrity check: "ok", or what it found.
  StoreStatus integrityCheck(std::string& report);
  // The same check for walks that must never answer short (a damaged page
  // can end a scan early without any error): kOk for an intact store, else
  // kFailed with "The configuration store [...] is damaged: ..." in
  // lastError(). Inside a ReadSnapshot it checks the walk's snapshot.
  StoreStatus verify();

  const std::string& lastError() const { return m_lastError; }
  bool readOnly();

  // What this process caches of the thread's store: the entries held, and
  // whether a change counter is in use (without one nothing is cached).
  struct CacheState {
    std::size_t entries = 0;
    bool counter = false;
  };
  CacheState cacheState();

 private:
  ConfigStore() = default;
  detail::SqliteConnection* connection();
  ZN_HIDDEN StoreStatus readStoredValue(detail::SqliteConnection& db, std::string_view path, std::string_view name,
                                        StoreValue& value);
  StoreStatus fail(const std::string& text);
  StoreStatus failStore();
  // Inside a transaction: the id of the key, created with its parents.
  bool ensureKey(const std::string& path, long long& id, bool& existed);
  // False (with the reason in lastError) for a path the store cannot hold.
  bool validKeyPath(const std::string& path);
  bool findKey(const std::string& path, long long& id, bool& found);
  CopyFailure copyKeyLocked(long long fromId, const std::string& fromPath, const std::string& toPath,
                            std::string& failedAt);

  std::string m_path;
  ValueKey m_readKey;  // of the last readValue by path and name
  long m_pid = 0;
  detail::SqliteConnection* m_connection = nullptr;  // owned by the thread's slot
  std::string m_lastError;
};

}  // namespace zn
