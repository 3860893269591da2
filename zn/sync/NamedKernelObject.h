// A kernel object that unrelated processes share by name: one shared-memory
// segment per name ("/zn.<name>") holding a header, a recursive lock that
// survives its holder's death (a futex word with the owner's thread id:
// no pointers in memory that others may write), a futex word that wakes
// waiters and the object's state; a file mapping's bytes follow the
// header's page.
//
// The creator sets the ready word last; openers wait for it. Every user
// holds a shared flock on the segment; the last one to close unlinks it, so
// an object lives exactly as long as some process uses it. A segment that
// no process holds is the leftover of users that died: a creator starts it
// afresh, an opener finds no object.
//
// Unnamed objects live in a memory file of their own and are shared with
// forked children only.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "zn/base/ZnExport.h"
#include "zuzazer/FXUniqueFd.h"
#include "zuzazer/FXUniqueMapping.h"

namespace zn {

enum class NamedObjectType : uint32_t { kMutex = 1, kSemaphore = 2, kEvent = 3, kFileMapping = 4 };

enum class WaitOutcome { kAcquired, kAbandoned, kTimeout, kFailed };

// All-ones as the Windows original's 32-bit time-outs have it; wider values (a
// caller's -1 is 64 bits of ones here) wait without limit too.
inline constexpr unsigned long kWaitForever = 0xFFFFFFFFUL;

// The most objects one wait takes, as on the Windows original platform.
inline constexpr std::size_t kMaxWaitObjects = 64;

struct ZN_EXPORT NamedObjectInit {
  int initialCount = 0;   // semaphore
  int maximumCount = 1;   // semaphore
  bool manualReset = true;  // event
  bool signalled = false;   // event
  unsigned long long mappingSize = 0;  // file mapping: its bytes, at least 1
};

// What one wait on several objects gave: the outcome and, for kAcquired
// and kAbandoned, the index of the object (wait for any: the lowest one
// ready; wait for all: 0, or the first abandoned mutex).
struct ZN_EXPORT MultiWaitResult {
  WaitOutcome outcome = WaitOutcome::kFailed;
  std::size_t index = 0;
  uint32_t error = 0;  // Win32 number for kFailed
};

// One named object of the machine as a listing shows it.
struct ZN_EXPORT NamedObjectInfo {
  std::string segment;  // file name under /dev/shm
  std::string name;     // as its creator gave it (cut at 255 bytes)
  std::string kind;     // "mutex", "semaphore", "event", "mapping"; "?" when unreadable
  unsigned long long size = 0;  // a mapping's bytes, else the segment's
  std::vector<pid_t> users;     // processes holding it
  std::string state;
};

class ZN_EXPORT NamedKernelObject {
 public:
  // The layout of the segment (zn/sync/internal: this module's own).
  struct Shared;

  ~NamedKernelObject();
  NamedKernelObject(const NamedKernelObject&) = delete;
  NamedKernelObject& operator=(const NamedKernelObject&) = delete;

  // Creates the object or opens the existing one. `openToEveryone` gives the
  // segment mode 0666 instead of 0600; without it, an existing object must
  // belong to the caller's user or to root. Returns 0 or a Win32 error: 6
  // when the name holds another type of object, 123 for a bad name, 87 for
  // a mapping of 0 bytes, 5 for a private object of another user, or the
  // mapped errno. `created` tells whether this call made
  // it (also when it started a leftover afresh).
  static uint32_t Create(const std::string& name, NamedObjectType type, const NamedObjectInit& init,
                         bool openToEveryone, std::unique_ptr<NamedKernelObject>& object, bool& created);
  // Opens an existing object only; 2 when there is none.
  static uint32_t Open(const std::string& name, NamedObjectType type, std::unique_ptr<NamedKernelObject>& object);
  // An object without a name, shared with forked children only.
  static uint32_t CreateUnnamed(NamedObjectType type, const NamedObjectInit& init,
                                std::unique_ptr<NamedKernelObject>& object);

  // The segment name used for an object name ("/zn.<name>", separators
  // replaced, long names shortened by a hash of the whole name).
  static std::string SegmentName(const std::string& name);

  NamedObjectType type() const;
  const std::string& name() const { return m_name; }

  // Any kind but a mapping, as a wait for one object: a mutex is locked, a
  // semaphore unit taken, an event waited for.
  WaitOutcome wait(unsigned long timeoutMs);
  // Waits for any or all of `objects` (at most kMaxWaitObjects, none a
  // mapping, none twice), without ever holding one object's guard while it
  // sleeps: a waiter killed in the wait blocks nobody. An owner of a mutex
  // in the list that dies is noticed within 50 ms.
  static MultiWaitResult WaitForMultiple(std::span<NamedKernelObject* const> objects, bool waitAll,
                                         unsigned long timeoutMs);

  // ---- Mutex ----
  // Recursive for the owning thread. kAbandoned: the previous owner died
  // holding it; the caller now owns it and the state is consistent again.
  WaitOutcome lockMutex(unsigned long timeoutMs);
  // False when the calling thread does not own the mutex.
  bool unlockMutex();

  // ---- Semaphore ----
  WaitOutcome waitSemaphore(unsigned long timeoutMs);
  // False (and nothing changes) when the count would exceed the maximum.
  bool releaseSemaphore(int count, int* previous);
  int semaphoreCount();

  // ---- Event ----
  WaitOutcome waitEvent(unsigned long timeoutMs);
  void setEvent();
  void resetEvent();
  // Releases the threads waiting now (an automatic event: one of them) and
  // leaves the event not signalled; nothing is kept for later waiters.
  void pulseEvent();
  bool isEventSignalled();

  // ---- File mapping ----
  unsigned long long mappingSize() const;
  // Maps `size` bytes (0: all of them) for reading, or for reading and
  // writing. 5 when the object has fewer bytes (checked before mapping: a
  // view beyond the end would fault on first touch), 6 for another kind.
  uint32_t mapView(unsigned long long size, bool writable, yq::UniqueMapping& view) const;

  // ---- Listing (znadmin shm) ----
  // The named objects of this machine, by segment name.
  static std::vector<NamedObjectInfo> List();
  // One of them by object name; 2 when there is none.
  static uint32_t Describe(const std::string& name, NamedObjectInfo& info);
  // Reads a segment's first bytes as a header (any bytes: segments of the
  // objects opened to everyone can be written by anyone).
  static void DescribeHeader(std::span<const unsigned char> bytes, unsigned long long segmentSize,
                             NamedObjectInfo& info);

 private:
  enum class Attempt;
  NamedKernelObject() = default;
  static uint32_t OpenOrCreate(const std::string& name, NamedObjectType type, const NamedObjectInit* init,
                               bool openToEveryone, std::unique_ptr<NamedKernelObject>& object, bool* created);
  // The steps of one attempt: open (or create) the name, size it, map it,
  // and set it up when this process made it.
  Attempt OpenSegment(const NamedObjectInit* init, mode_t mode, bool& madeHere, uint32_t& error);
  Attempt SizeSegment(NamedObjectType type, const NamedObjectInit* init, mode_t mode, bool& madeHere,
                      uint32_t& error);
  Attempt MapSegment(NamedObjectType type, const NamedObjectInit* init, mode_t mode, bool& madeHere,
                     uint32_t& error);
  // Sizes a segment this process sets up, reserving a mapping's space.
  bool SizeForSetUp(NamedObjectType type, const NamedObjectInit& init, bool afresh, uint32_t& error);
  void InitializeShared(NamedObjectType type, const NamedObjectInit& init);
  uint32_t CheckOpened(NamedObjectType type) const;
  // Takes the guard mutex of a semaphore or event; a guard abandoned by a
  // dead process is made consistent (its state is a few counters).
  bool lockGuard();
  void unlockGuard();

  std::string m_name;
  std::string m_segment;  // empty for an unnamed object
  yq::UniqueFd m_fd;
  pid_t m_opener = 0;  // a forked child's copy shares the opener's flock
  ino_t m_inode = 0;
  yq::UniqueMapping m_mapping;
  Shared* m_shared = nullptr;  // in m_mapping
};

// A file as /proc/locks names it: device major and minor, inode.
struct ZN_EXPORT LockedFile {
  unsigned int major = 0;
  unsigned int minor = 0;
  unsigned long long inode = 0;
  auto operator<=>(const LockedFile&) const = default;
};

// The processes holding flock locks (not those waiting for one), by file,
// from the text of /proc/locks.
ZN_EXPORT std::map<LockedFile, std::vector<pid_t>> ParseFlockHolders(std::string_view procLocks);

// The state letter and the start time (clock ticks after boot) of a
// thread from the text of /proc/<id>/stat; false when the text is not
// one. The command name may hold anything, ')' and blanks among it.
ZN_EXPORT bool ParseThreadStat(std::string_view text, char& state, unsigned long long& startTicks);

}  // namespace zn
