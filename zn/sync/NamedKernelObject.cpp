// Opening, creating and closing named objects: who sets a segment up, who
// may take over a leftover, and who removes the name.

#include "zn/sync/NamedKernelObject.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "zn/error/ZnErrorCodes.h"
#include "zn/sync/internal/NamedObjectShared.h"

namespace zn {
namespace {

using detail::kMappingDataOffset;
using detail::kNamedObjectMagic;

constexpr std::size_t kMaxPlainNameLength = 200;
constexpr int kOpenAttempts = 5000;  // with 1 ms pauses: about 5 seconds

void PauseBriefly() {
  const struct timespec pause = {0, 1000000L};
  ::nanosleep(&pause, nullptr);
}

bool SameInode(int fd, const std::string& segment) {
  struct stat open {}, named {};
  const std::string path = "/dev/shm" + segment;
  return ::fstat(fd, &open) == 0 && ::stat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
         open.st_ino == named.st_ino;
}

off_t SegmentBytes(NamedObjectType type, const NamedObjectInit& init) {
  if (type != NamedObjectType::kFileMapping) return static_cast<off_t>(sizeof(NamedKernelObject::Shared));
  return static_cast<off_t>(kMappingDataOffset + init.mappingSize);
}

}  // namespace

static_assert(sizeof(NamedKernelObject::Shared) <= kMappingDataOffset);

std::string NamedKernelObject::SegmentName(const std::string& name) {
  std::string plain;
  plain.reserve(name.size());
  for (const char c : name) plain.push_back(c == '/' || c == '\\' ? '_' : c);
  if (plain.size() > kMaxPlainNameLength) {
    uint64_t hash = 0xcbf29ce484222325ULL;  // FNV-1a of the whole name
    for (const unsigned char c : name) {
      hash ^= c;
      hash *= 0x100000001b3ULL;
    }
    char suffix[20];
    std::snprintf(suffix, sizeof suffix, ".%016llx", static_cast<unsigned long long>(hash));
    plain = plain.substr(0, kMaxPlainNameLength - 20) + suffix;
  }
  return "/zn." + plain;
}

uint32_t NamedKernelObject::Create(const std::string& name, NamedObjectType type, const NamedObjectInit& init,
                                   bool openToEveryone, std::unique_ptr<NamedKernelObject>& object, bool& created) {
  return OpenOrCreate(name, type, &init, openToEveryone, object, &created);
}

uint32_t NamedKernelObject::Open(const std::string& name, NamedObjectType type,
                                 std::unique_ptr<NamedKernelObject>& object) {
  return OpenOrCreate(name, type, nullptr, false, object, nullptr);
}

uint32_t NamedKernelObject::CreateUnnamed(NamedObjectType type, const NamedObjectInit& init,
                                          std::unique_ptr<NamedKernelObject>& object) {
  object.reset();
  if (type == NamedObjectType::kFileMapping && init.mappingSize == 0) return kErrorInvalidParameter;
  std::unique_ptr<NamedKernelObject> made(new NamedKernelObject());
  made->m_opener = ::getpid();
  made->m_fd.reset(::memfd_create("zn.unnamed", MFD_CLOEXEC));
  if (!made->m_fd) return ErrorFromErrno(errno);
  uint32_t error = 0;
  if (!made->SizeForSetUp(type, init, false, error)) return error;
  made->m_mapping = yq::UniqueMapping::MapShared(made->m_fd.get(), sizeof(Shared));
  if (!made->m_mapping) return ErrorFromErrno(errno);
  made->m_shared = made->m_mapping.as<Shared>();
  made->InitializeShared(type, init);
  struct stat st {};
  if (::fstat(made->m_fd.get(), &st) == 0) made->m_inode = st.st_ino;
  object = std::move(made);
  return 0;
}

// One attempt at opening or creating the segment. kRetry: the segment
// changed hands under us (its creator died or its last user left); start
// over from the name. kGone: only leftovers of dead users were there.
enum class NamedKernelObject::Attempt { kDone, kRetry, kFailed, kGone };

NamedKernelObject::Attempt NamedKernelObject::OpenSegment(const NamedObjectInit* init, mode_t mode,
                                                          bool& madeHere, uint32_t& error) {
  madeHere = false;
  if (init != nullptr) {
    m_fd.reset(::shm_open(m_segment.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    madeHere = static_cast<bool>(m_fd);
    if (!m_fd && errno != EEXIST) {
      error = ErrorFromErrno(errno);
      return Attempt::kFailed;
    }
  }
  if (!m_fd) {
    m_fd.reset(::shm_open(m_segment.c_str(), O_RDWR | O_CLOEXEC, 0));
    if (!m_fd) {
      if (errno == ENOENT && init != nullptr) return Attempt::kRetry;  // its last user just left: create it
      error = ErrorFromErrno(errno);
      return Attempt::kFailed;
    }
    // Anyone may put files under /dev/shm: only a plain file is an object.
    // A private object that another user made first would let that user
    // read and change what we keep in it: refused, and left alone.
    struct stat st {};
    if (::fstat(m_fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
      m_fd.reset();
      error = kErrorInvalidHandle;
      return Attempt::kFailed;
    }
    if (init != nullptr && (mode & 0077) == 0 && st.st_uid != ::geteuid() && st.st_uid != 0) {
      m_fd.reset();
      error = kErrorAccessDenied;
      return Attempt::kFailed;
    }
  }
  return Attempt::kDone;
}

bool NamedKernelObject::SizeForSetUp(NamedObjectType type, const NamedObjectInit& init, bool afresh,
                                     uint32_t& error) {
  const int fd = m_fd.get();
  const off_t bytes = SegmentBytes(type, init);
  // Cutting to nothing first gives a leftover started afresh all zeros.
  if ((afresh && ::ftruncate(fd, 0) != 0) || ::ftruncate(fd, bytes) != 0) {
    error = ErrorFromErrno(errno);
    return false;
  }
  // A mapping's pages are reserved now: on a full /dev/shm a write into a
  // view would otherwise fault long after the object was made.
  if (type == NamedObjectType::kFileMapping) {
    const int rc = ::posix_fallocate(fd, 0, bytes);
    if (rc != 0 && rc != EOPNOTSUPP && rc != ENOSYS) {
      error = ErrorFromErrno(rc);
      return false;
    }
  }
  return true;
}

NamedKernelObject::Attempt NamedKernelObject::SizeSegment(NamedObjectType type, const NamedObjectInit* init,
                                                          mode_t mode, bool& madeHere, uint32_t& error) {
  const int fd = m_fd.get();
  if (madeHere && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    // An opener got in between the create and the lock and sets the object
    // up itself (below); waiting for the lock would wait until that opener
    // closes. Carry on as an opener.
    ::fchmod(fd, mode);
    madeHere = false;
  }
  if (madeHere) {
    if (::fchmod(fd, mode) != 0 || !SizeForSetUp(type, *init, false, error)) {
      if (error == 0) error = ErrorFromErrno(errno);
      ::shm_unlink(m_segment.c_str());
      return Attempt::kFailed;
    }
  } else {
    ::flock(fd, LOCK_SH);
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    error = ErrorFromErrno(errno);
    return Attempt::kFailed;
  }
  m_inode = st.st_ino;
  if (static_cast<std::size_t>(st.st_size) >= sizeof(Shared)) return Attempt::kDone;
  // The creator has not sized it yet, or died before it could.
  if (!madeHere && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    if (init == nullptr) {
      // A live creator that has not locked it yet starts over when it
      // finds the name gone.
      if (SameInode(fd, m_segment)) ::shm_unlink(m_segment.c_str());
      return Attempt::kGone;
    }
    ::fchmod(fd, mode);  // the creator may have died before its own fchmod
    if (!SizeForSetUp(type, *init, false, error)) return Attempt::kFailed;
    madeHere = true;
    return Attempt::kDone;
  }
  ::flock(fd, LOCK_UN);
  return Attempt::kRetry;
}

NamedKernelObject::Attempt NamedKernelObject::MapSegment(NamedObjectType type, const NamedObjectInit* init,
                                                         mode_t mode, bool& madeHere, uint32_t& error) {
  m_mapping = yq::UniqueMapping::MapShared(m_fd.get(), sizeof(Shared));
  if (!m_mapping) {
    error = ErrorFromErrno(errno);
    return Attempt::kFailed;
  }
  m_shared = m_mapping.as<Shared>();
  if (madeHere) return Attempt::kDone;
  // Every user holds the segment; when nobody but us does, it is what
  // users that died left behind: a creator that died before the object was
  // ready, or a last user killed before it could remove the name.
  if (::flock(m_fd.get(), LOCK_EX | LOCK_NB) == 0) {
    if (init != nullptr) {
      ::fchmod(m_fd.get(), mode);
      if (!SizeForSetUp(type, *init, true, error)) return Attempt::kFailed;
      madeHere = true;
      return Attempt::kDone;
    }
    if (SameInode(m_fd.get(), m_segment)) ::shm_unlink(m_segment.c_str());
    return Attempt::kGone;
  }
  // Someone else holds it. The failed conversion gave up our shared lock:
  // take it again (an exclusive holder is a creator setting the object up,
  // or a last user removing it).
  ::flock(m_fd.get(), LOCK_SH);
  if (m_shared->ready.load(std::memory_order_acquire) == 1) return Attempt::kDone;
  ::flock(m_fd.get(), LOCK_UN);
  return Attempt::kRetry;
}

void NamedKernelObject::InitializeShared(NamedObjectType type, const NamedObjectInit& init) {
  Shared& shared = *m_shared;
  std::memset(static_cast<void*>(&shared), 0, sizeof shared);  // a leftover started afresh
  detail::InitRobustLock(shared.lock);
  shared.type = static_cast<uint32_t>(type);
  shared.count = init.initialCount;
  shared.maximum = init.maximumCount;
  shared.manualReset = init.manualReset ? 1 : 0;
  shared.signalled = init.signalled ? 1 : 0;
  shared.mappingSize = type == NamedObjectType::kFileMapping ? init.mappingSize : 0;
  std::snprintf(shared.name, sizeof shared.name, "%s", m_name.c_str());
  shared.magic.store(kNamedObjectMagic);
  shared.ready.store(1, std::memory_order_release);
  // From exclusive to shared; the conversion may let a closer in, which the
  // name check of the caller catches.
  if (!m_segment.empty()) ::flock(m_fd.get(), LOCK_SH);
}

// A ready object of the wanted type, whose segment holds what its header
// says (anyone may write an object opened to everyone).
uint32_t NamedKernelObject::CheckOpened(NamedObjectType type) const {
  const Shared& shared = *m_shared;
  if (shared.magic.load() != kNamedObjectMagic || shared.type != static_cast<uint32_t>(type)) {
    return kErrorInvalidHandle;
  }
  if (type == NamedObjectType::kFileMapping) {
    struct stat st {};
    if (shared.mappingSize == 0 || ::fstat(m_fd.get(), &st) != 0 ||
        static_cast<unsigned long long>(st.st_size) < kMappingDataOffset + shared.mappingSize) {
      return kErrorInvalidHandle;
    }
  }
  return 0;
}

uint32_t NamedKernelObject::OpenOrCreate(const std::string& name, NamedObjectType type, const NamedObjectInit* init,
                                         bool openToEveryone, std::unique_ptr<NamedKernelObject>& object,
                                         bool* created) {
  object.reset();
  if (name.empty()) return kErrorInvalidName;
  if (init != nullptr && type == NamedObjectType::kFileMapping && init->mappingSize == 0) {
    return kErrorInvalidParameter;
  }
  const std::string segment = SegmentName(name);
  const mode_t mode = openToEveryone ? 0666 : 0600;

  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    std::unique_ptr<NamedKernelObject> candidate(new NamedKernelObject());
    candidate->m_name = name;
    candidate->m_segment = segment;
    candidate->m_opener = ::getpid();

    bool madeHere = false;
    uint32_t error = 0;
    Attempt step = candidate->OpenSegment(init, mode, madeHere, error);
    if (step == Attempt::kDone) step = candidate->SizeSegment(type, init, mode, madeHere, error);
    if (step == Attempt::kDone) step = candidate->MapSegment(type, init, mode, madeHere, error);
    if (step == Attempt::kFailed) return error;
    if (step == Attempt::kGone) return kErrorFileNotFound;
    if (step == Attempt::kRetry) {
      PauseBriefly();
      continue;
    }
    if (madeHere) candidate->InitializeShared(type, *init);
    if (!SameInode(candidate->m_fd.get(), segment)) continue;  // unlinked by its last user meanwhile: start over
    if (const uint32_t wrong = candidate->CheckOpened(type); wrong != 0) return wrong;
    if (created != nullptr) *created = madeHere;
    object = std::move(candidate);
    return 0;
  }
  return kErrorBusy;
}

NamedKernelObject::~NamedKernelObject() {
  if (!m_fd || m_segment.empty()) return;
  // The last user removes the name, so the object dies with it. A forked
  // child's copy shares the parent's open file description and its lock:
  // converting that lock would end the parent's object, so it only closes.
  if (::getpid() == m_opener && ::flock(m_fd.get(), LOCK_EX | LOCK_NB) == 0 && SameInode(m_fd.get(), m_segment)) {
    ::shm_unlink(m_segment.c_str());
  }
}

NamedObjectType NamedKernelObject::type() const { return static_cast<NamedObjectType>(m_shared->type); }

unsigned long long NamedKernelObject::mappingSize() const {
  return type() == NamedObjectType::kFileMapping ? m_shared->mappingSize : 0;
}

uint32_t NamedKernelObject::mapView(unsigned long long size, bool writable, yq::UniqueMapping& view) const {
  view.reset();
  if (type() != NamedObjectType::kFileMapping) return kErrorInvalidHandle;
  const unsigned long long available = m_shared->mappingSize;
  if (size == 0) size = available;
  if (size > available) return kErrorAccessDenied;
  // The header may lie (see CheckOpened): the file itself must hold the view.
  struct stat st {};
  if (::fstat(m_fd.get(), &st) != 0) return ErrorFromErrno(errno);
  if (static_cast<unsigned long long>(st.st_size) < kMappingDataOffset + size) return kErrorAccessDenied;
  const int protection = writable ? PROT_READ | PROT_WRITE : PROT_READ;
  void* address = ::mmap(nullptr, size, protection, MAP_SHARED, m_fd.get(), kMappingDataOffset);
  if (address == MAP_FAILED) return ErrorFromErrno(errno);
  view = yq::UniqueMapping(address, size);
  return 0;
}

}  // namespace zn
