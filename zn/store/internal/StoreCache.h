// The process's cache of value reads from one store file. An entry is valid
// while the store's machine-wide change counter and the process's own epoch
// (raised when a change is noticed that the counter did not tell) are what
// they were before its read went to the store. Reads look the process-wide
// table up under a shard's shared lock; each connection (one per thread)
// keeps a small front table of its own that it reads without any lock.
#pragma once

#include <sys/stat.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "zn/store/ConfigStore.h"
#include "zn/store/internal/StoreChangeCounter.h"

namespace zn::detail {

// What a read found: a value, or which part was missing.
struct CachedRead {
  StoreStatus status = StoreStatus::kKeyMissing;
  uint32_t type = 0;
  std::string data;
};

struct CacheStamp {
  uint64_t counter = 0;
  uint64_t epoch = 0;
  friend bool operator==(const CacheStamp&, const CacheStamp&) = default;
};

class StoreCache {
 public:
  // Larger values are always read from the store.
  static constexpr std::size_t kMaxValueBytes = 4096;

  // The process's cache of the store file `store` (its stat), shared by
  // every connection to that file. A forked child gets a cache of its own.
  static std::shared_ptr<StoreCache> ForFile(const struct stat& store);

  // Entries per store file ($ZN_CONFIG_CACHE_ENTRIES until set); 0 caches
  // nothing.
  static std::size_t Capacity();
  static void SetCapacity(std::size_t entries);

  // The key of a value: the path's length, the path and the name.
  static void MakeKey(std::string_view path, std::string_view name, std::string& key);
  static uint64_t Hash(std::string_view key);

  explicit StoreCache(const struct stat& store);
  StoreCache(const StoreCache&) = delete;
  StoreCache& operator=(const StoreCache&) = delete;

  // The stamp a read made now is valid for; false when nothing may be
  // cached (no counter this process trusts, or no capacity).
  bool stamp(CacheStamp& now) const;
  bool lookup(std::string_view key, uint64_t hash, const CacheStamp& now, CachedRead& read) const;
  void insert(std::string_view key, uint64_t hash, const CacheStamp& stamp, const CachedRead& read);

  // Around every write of this process: begun once it holds the store's
  // write lock, ended once its transaction is over. endWrite takes what
  // beginWrite answered.
  bool beginWrite();
  void endWrite(bool begun);
  // A change the counter did not tell (a write that bypassed the library):
  // everything this process has cached is stale.
  void invalidate() { m_epoch.fetch_add(1, std::memory_order_acq_rel); }
  // Looks for the counter again when there was none to trust yet.
  void retryCounter();

  struct Stats {
    std::size_t entries = 0;
    bool counter = false;
  };
  Stats stats() const;

 private:
  static constexpr std::size_t kShards = 16;
  struct Entry {
    std::string key;
    CacheStamp stamp;
    CachedRead read;
    mutable std::atomic<bool> referenced{false};
  };
  // A CLOCK table: a hit marks its entry; a full shard evicts the first
  // unmarked entry after its hand, clearing marks as it passes. Two keys of
  // one hash share a place (a lookup compares the key).
  struct Shard {
    mutable std::shared_mutex lock;
    std::unordered_map<uint64_t, std::size_t> places;  // hash to slot
    std::vector<std::unique_ptr<Entry>> slots;
    std::vector<uint64_t> slotHashes;
    std::size_t hand = 0;
  };
  Shard& shardOf(uint64_t hash) const { return m_shards[hash % kShards]; }
  static std::size_t ShardCapacity(std::size_t shard);
  void shrink();
  static void shrinkLocked(Shard& shard, std::size_t capacity);
  std::size_t evictOne(Shard& shard);

  const struct stat m_store;
  std::atomic<StoreChangeCounter*> m_counter{nullptr};
  std::unique_ptr<StoreChangeCounter> m_ownedCounter;  // set once, under m_counterLock
  std::mutex m_counterLock;
  std::atomic<uint64_t> m_epoch{0};
  mutable std::array<Shard, kShards> m_shards;
};

// One connection's front table: the last reads of this thread, direct
// mapped by hash, checked against the same stamp as the shared table.
class FrontCache {
 public:
  static constexpr std::size_t kSlots = 64;

  const CachedRead* find(std::string_view key, uint64_t hash, const CacheStamp& now) const {
    const Slot& slot = m_slots[hash % kSlots];
    if (!slot.used || slot.hash != hash || !(slot.stamp == now) || slot.key != key) return nullptr;
    return &slot.read;
  }
  void put(std::string_view key, uint64_t hash, const CacheStamp& stamp, const CachedRead& read) {
    Slot& slot = m_slots[hash % kSlots];
    slot.used = true;
    slot.hash = hash;
    slot.stamp = stamp;
    slot.key.assign(key);
    slot.read.status = read.status;
    slot.read.type = read.type;
    slot.read.data.assign(read.data);
  }

 private:
  struct Slot {
    bool used = false;
    uint64_t hash = 0;
    CacheStamp stamp;
    std::string key;
    CachedRead read;
  };
  std::array<Slot, kSlots> m_slots;
};

}  // namespace zn::detail
