#include "zn/store/internal/StoreCache.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <utility>

#include "zuzazer/LogLineFormat.h"

namespace zn::detail {
namespace {

constexpr std::size_t kDefaultCapacity = 4096;
constexpr std::size_t kCapacityUnset = std::numeric_limits<std::size_t>::max();
std::atomic<std::size_t> g_capacity{kCapacityUnset};

// The caches of this process by store file. A registry inherited across
// fork may be locked by a thread the child does not have: the child leaves
// it (and what it holds) alone and starts its own.
struct Registry {
  explicit Registry(long owner) : pid(owner) {}
  const long pid;
  std::mutex lock;
  std::map<std::pair<dev_t, ino_t>, std::weak_ptr<StoreCache>> caches;
};
std::atomic<Registry*> g_registry{nullptr};

Registry& ThisProcessRegistry() {
  const long pid = yq::CachedProcessId();
  Registry* current = g_registry.load(std::memory_order_acquire);
  while (current == nullptr || current->pid != pid) {
    auto fresh = std::make_unique<Registry>(pid);
    if (g_registry.compare_exchange_weak(current, fresh.get(), std::memory_order_acq_rel)) {
      return *fresh.release();  // process-wide, never destroyed
    }
  }
  return *current;
}

}  // namespace

std::size_t StoreCache::Capacity() {
  std::size_t capacity = g_capacity.load(std::memory_order_relaxed);
  if (capacity != kCapacityUnset) return capacity;
  capacity = kDefaultCapacity;
  if (const char* text = std::getenv("ZN_CONFIG_CACHE_ENTRIES"); text != nullptr && text[0] != '\0') {
    char* end = nullptr;
    const unsigned long long entries = std::strtoull(text, &end, 10);
    if (*end == '\0' && text[0] != '-' && entries < kCapacityUnset) capacity = static_cast<std::size_t>(entries);
  }
  std::size_t unset = kCapacityUnset;
  g_capacity.compare_exchange_strong(unset, capacity, std::memory_order_relaxed);
  return g_capacity.load(std::memory_order_relaxed);
}

void StoreCache::SetCapacity(std::size_t entries) {
  g_capacity.store(entries == kCapacityUnset ? entries - 1 : entries, std::memory_order_relaxed);
  Registry& registry = ThisProcessRegistry();
  const std::lock_guard<std::mutex> hold(registry.lock);
  for (auto& [file, weak] : registry.caches) {
    if (const std::shared_ptr<StoreCache> cache = weak.lock()) cache->shrink();
  }
}

std::size_t StoreCache::ShardCapacity(std::size_t shard) {
  const std::size_t capacity = Capacity();
  return capacity / kShards + (shard < capacity % kShards ? 1 : 0);
}

void StoreCache::shrink() {
  for (std::size_t index = 0; index < kShards; ++index) {
    Shard& shard = m_shards[index];
    const std::unique_lock<std::shared_mutex> hold(shard.lock);
    shrinkLocked(shard, ShardCapacity(index));
  }
}

void StoreCache::shrinkLocked(Shard& shard, std::size_t capacity) {
  while (shard.slots.size() > capacity) {
    shard.places.erase(shard.slotHashes.back());
    shard.slots.pop_back();
    shard.slotHashes.pop_back();
  }
}

void StoreCache::MakeKey(std::string_view path, std::string_view name, std::string& key) {
  // The bytes as given: another spelling of the same value is another
  // entry, read from the store and made stale the same way.
  const auto length = static_cast<uint32_t>(path.size());
  key.resize(sizeof length + path.size() + name.size());
  char* out = key.data();
  std::memcpy(out, &length, sizeof length);
  // An empty view may have no data at all, which memcpy must not see.
  if (!path.empty()) std::memcpy(out + sizeof length, path.data(), path.size());
  if (!name.empty()) std::memcpy(out + sizeof length + path.size(), name.data(), name.size());
}

uint64_t StoreCache::Hash(std::string_view key) {
  // Sixteen bytes a step, folded by one 64x64-bit multiplication: a read
  // hashes its whole key every time, and the tables take their slot from
  // the low bits, which the fold mixes as well as the high ones.
  constexpr uint64_t kSeed[4] = {0xA0761D6478BD642FULL, 0xE7037ED1A0B428DBULL, 0x8EBC6AF09C88C6E3ULL,
                                 0x589965CC75374CC3ULL};
  const auto fold = [](uint64_t a, uint64_t b) {
    const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
    return static_cast<uint64_t>(product) ^ static_cast<uint64_t>(product >> 64);
  };
  const auto word = [](const char* at, std::size_t length) {
    uint64_t value = 0;
    std::memcpy(&value, at, length);
    return value;
  };
  const char* bytes = key.data();
  std::size_t left = key.size();
  uint64_t hash = kSeed[0] ^ key.size();
  for (; left > 16; left -= 16, bytes += 16) {
    hash = fold(word(bytes, 8) ^ kSeed[1], word(bytes + 8, 8) ^ hash);
  }
  uint64_t first = 0;
  uint64_t second = 0;
  if (left > 8) {
    first = word(bytes, 8);
    second = word(bytes + left - 8, 8);  // overlaps the first: every byte counts once or twice
  } else {
    first = word(bytes, left);
  }
  hash = fold(first ^ kSeed[2], second ^ hash);
  return fold(hash ^ kSeed[3], key.size() ^ kSeed[1]);
}

std::shared_ptr<StoreCache> StoreCache::ForFile(const struct stat& store) {
  Registry& registry = ThisProcessRegistry();
  const std::lock_guard<std::mutex> hold(registry.lock);
  std::weak_ptr<StoreCache>& slot = registry.caches[{store.st_dev, store.st_ino}];
  std::shared_ptr<StoreCache> cache = slot.lock();
  if (!cache) {
    cache = std::make_shared<StoreCache>(store);
    slot = cache;
  }
  for (auto it = registry.caches.begin(); it != registry.caches.end();) {
    it = it->second.expired() ? registry.caches.erase(it) : std::next(it);
  }
  return cache;
}

StoreCache::StoreCache(const struct stat& store) : m_store(store) { retryCounter(); }

void StoreCache::retryCounter() {
  if (m_counter.load(std::memory_order_acquire) != nullptr) return;
  const std::lock_guard<std::mutex> hold(m_counterLock);
  if (m_ownedCounter) return;
  m_ownedCounter = StoreChangeCounter::Open(m_store);
  m_counter.store(m_ownedCounter.get(), std::memory_order_release);
}

bool StoreCache::stamp(CacheStamp& now) const {
  const StoreChangeCounter* counter = m_counter.load(std::memory_order_acquire);
  if (counter == nullptr || Capacity() == 0) return false;
  now.epoch = m_epoch.load(std::memory_order_acquire);
  return counter->stamp(now.counter);
}

bool StoreCache::beginWrite() {
  StoreChangeCounter* counter = m_counter.load(std::memory_order_acquire);
  return counter != nullptr && counter->beginWrite();
}

void StoreCache::endWrite(bool begun) {
  StoreChangeCounter* counter = m_counter.load(std::memory_order_acquire);
  if (begun && counter != nullptr) {
    counter->endWrite();
  } else {
    invalidate();  // a process that may not raise the counter still keeps its own reads fresh
  }
}

bool StoreCache::lookup(std::string_view key, uint64_t hash, const CacheStamp& now, CachedRead& read) const {
  const Shard& shard = shardOf(hash);
  const std::shared_lock<std::shared_mutex> hold(shard.lock);
  const auto place = shard.places.find(hash);
  if (place == shard.places.end()) return false;
  const Entry& entry = *shard.slots[place->second];
  if (!(entry.stamp == now) || entry.key != key) return false;
  if (!entry.referenced.load(std::memory_order_relaxed)) entry.referenced.store(true, std::memory_order_relaxed);
  read.status = entry.read.status;
  read.type = entry.read.type;
  read.data.assign(entry.read.data);
  return true;
}

std::size_t StoreCache::evictOne(Shard& shard) {
  // Two turns at most: the first clears every mark it passes.
  for (;;) {
    if (shard.hand >= shard.slots.size()) shard.hand = 0;
    Entry& entry = *shard.slots[shard.hand];
    const std::size_t slot = shard.hand++;
    if (!entry.referenced.exchange(false, std::memory_order_relaxed)) return slot;
  }
}

void StoreCache::insert(std::string_view key, uint64_t hash, const CacheStamp& stamp, const CachedRead& read) {
  if (read.data.size() > kMaxValueBytes) return;
  const std::size_t shardIndex = hash % kShards;
  const std::size_t shardCapacity = ShardCapacity(shardIndex);
  if (shardCapacity == 0) return;
  Shard& shard = m_shards[shardIndex];
  const std::unique_lock<std::shared_mutex> hold(shard.lock);
  shrinkLocked(shard, shardCapacity);  // a capacity made smaller meanwhile
  std::size_t slot;
  if (const auto place = shard.places.find(hash); place != shard.places.end()) {
    slot = place->second;
  } else if (shard.slots.size() < shardCapacity) {
    slot = shard.slots.size();
    shard.slots.push_back(std::make_unique<Entry>());
    shard.slotHashes.push_back(hash);
    shard.places.emplace(hash, slot);
  } else {
    slot = evictOne(shard);
    shard.places.erase(shard.slotHashes[slot]);
    shard.slotHashes[slot] = hash;
    shard.places.emplace(hash, slot);
  }
  Entry& entry = *shard.slots[slot];
  entry.key.assign(key);
  entry.stamp = stamp;
  entry.read.status = read.status;
  entry.read.type = read.type;
  entry.read.data.assign(read.data);
  entry.referenced.store(false, std::memory_order_relaxed);
}

StoreCache::Stats StoreCache::stats() const {
  Stats stats;
  stats.counter = m_counter.load(std::memory_order_acquire) != nullptr;
  for (const Shard& shard : m_shards) {
    const std::shared_lock<std::shared_mutex> hold(shard.lock);
    stats.entries += shard.slots.size();
  }
  return stats;
}

}  // namespace zn::detail
