#include "zn/store/internal/StoreChangeCounter.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <vector>

#include "zuzazer/FXUniqueFd.h"

namespace zn::detail {
namespace {

// The segment: a word that says it is one, and the counters.
struct Segment {
  uint64_t magic;
  std::atomic<uint64_t> begun;
  std::atomic<uint64_t> ended;
};
static_assert(std::atomic<uint64_t>::is_always_lock_free, "the counter is shared between processes");
constexpr uint64_t kMagic = 0x5a4e53544f524531;  // "ZNSTORE1"
constexpr std::size_t kSegmentSize = 64;
static_assert(sizeof(Segment) <= kSegmentSize);

constexpr mode_t kAccessBits = 0666;
constexpr mode_t kGroupBits = 0060;

// A segment is trusted when everyone who may change it may also write the
// store file itself: it belongs to root, to the store's owner, or to a
// member of the store's group when that group may write the store, and it
// grants nobody more than the store file does.
bool Trusted(const struct stat& segment, const struct stat& store) {
  if (!S_ISREG(segment.st_mode) || segment.st_size < static_cast<off_t>(kSegmentSize)) return false;
  if ((segment.st_mode & 07777 & ~(store.st_mode & kAccessBits)) != 0) return false;
  if ((segment.st_mode & kGroupBits) != 0 && segment.st_gid != store.st_gid) return false;
  if (segment.st_uid == 0 || segment.st_uid == store.st_uid) return true;
  // A user other than root can give a file only a group it belongs to.
  return (store.st_mode & S_IWGRP) != 0 && segment.st_gid == store.st_gid;
}

// Whether this process may make the segment, by the same rule.
bool MayCreate(const struct stat& store) {
  const uid_t self = ::geteuid();
  if (self == 0 || self == store.st_uid) return true;
  if ((store.st_mode & S_IWGRP) == 0) return false;
  if (::getegid() == store.st_gid) return true;
  const int count = ::getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  const int got = ::getgroups(count, groups.data());
  if (got < 0) return false;
  groups.resize(static_cast<std::size_t>(got));
  return std::find(groups.begin(), groups.end(), store.st_gid) != groups.end();
}

// Makes the segment with the store file's owner, group and access bits;
// an opener that finds it before it has its size leaves it alone.
void Create(const std::string& name, const struct stat& store) {
  const yq::UniqueFd fd(::shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (!fd) return;
  mode_t mode = store.st_mode & kAccessBits;
  if (::geteuid() == 0) {
    if (::fchown(fd.get(), store.st_uid, store.st_gid) != 0) mode &= ~kGroupBits & ~S_IRWXO;
  } else if (::fchown(fd.get(), static_cast<uid_t>(-1), store.st_gid) != 0) {
    mode &= ~kGroupBits;
  }
  if (::fchmod(fd.get(), mode) != 0 || ::ftruncate(fd.get(), kSegmentSize) != 0) {
    ::shm_unlink(name.c_str());
    return;
  }
  const yq::UniqueMapping mapping = yq::UniqueMapping::MapShared(fd.get(), kSegmentSize);
  if (!mapping) return;
  std::atomic_ref<uint64_t>(mapping.as<Segment>()->magic).store(kMagic, std::memory_order_release);
}

}  // namespace

std::string StoreChangeCounter::SegmentName(const struct stat& store) {
  char name[64];
  std::snprintf(name, sizeof name, "/zn.store.%" PRIx64 ".%" PRIx64, static_cast<uint64_t>(store.st_dev),
                static_cast<uint64_t>(store.st_ino));
  return name;
}

StoreChangeCounter::StoreChangeCounter(yq::UniqueMapping mapping, bool writable)
    : m_mapping(std::move(mapping)),
      m_begun(&m_mapping.as<Segment>()->begun),
      m_ended(&m_mapping.as<Segment>()->ended),
      m_writable(writable) {}

std::unique_ptr<StoreChangeCounter> StoreChangeCounter::Open(const struct stat& store) {
  const std::string name = SegmentName(store);
  yq::UniqueFd fd(::shm_open(name.c_str(), O_RDWR | O_CLOEXEC, 0));
  bool writable = true;
  if (!fd && errno == ENOENT && MayCreate(store)) {
    Create(name, store);
    fd.reset(::shm_open(name.c_str(), O_RDWR | O_CLOEXEC, 0));
  }
  if (!fd && errno == EACCES) {
    writable = false;
    fd.reset(::shm_open(name.c_str(), O_RDONLY | O_CLOEXEC, 0));
  }
  if (!fd) return nullptr;
  struct stat segment {};
  if (::fstat(fd.get(), &segment) != 0 || !Trusted(segment, store)) return nullptr;
  const int protection = writable ? PROT_READ | PROT_WRITE : PROT_READ;
  yq::UniqueMapping mapping(::mmap(nullptr, kSegmentSize, protection, MAP_SHARED, fd.get(), 0), kSegmentSize);
  if (!mapping) return nullptr;
  // The creator writes the magic word last: until then the segment is not
  // ready, and whoever asks again later finds it.
  if (std::atomic_ref<uint64_t>(mapping.as<Segment>()->magic).load(std::memory_order_acquire) != kMagic) {
    return nullptr;
  }
  return std::unique_ptr<StoreChangeCounter>(new StoreChangeCounter(std::move(mapping), writable));
}

}  // namespace zn::detail
